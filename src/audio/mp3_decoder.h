#pragma once
// The MP3 decoder the playlist engine plays its tracks with, and the sound output the decoded
// blocks are played on. The engine relies only on what is declared here; src/platform/ holds the
// mpg123 and PortAudio implementations, the tests their fakes.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "audio/pcm_format.h"
#include "audio/resampler.h"

namespace brovana {

// What one decode step gave. The numbers are the codes the log and the engine's rules use.
enum class DecodeStatus : int {
  Block = 0,            // a block was decoded
  LastBlock = -514,     // the last block of the file was decoded
  Timeout = -103,       // nothing this time; try again
  InvalidFrame = -600,  // a damaged frame was passed over; try again
  Error = -1,           // decoding cannot go on
};

// The status as the log names it ("XA_ERROR_TIMEOUT").
const char* toString(DecodeStatus status);

// Result codes of opening inputs and outputs; 0 is success.
inline constexpr int kDecoderOk = 0;
inline constexpr int kInputMissing = -101;     // the file cannot be read
inline constexpr int kDecoderInternal = -102;  // the library itself failed
inline constexpr int kNoAudioFrames = -601;    // no MPEG audio frame where the file should have one
inline constexpr int kOutputBusy = -511;       // another program holds the sound device
inline constexpr int kOutputMissing = -512;    // no such sound device
inline constexpr int kOutputFailed = -513;     // the device refused to open

class Mp3Decoder {
 public:
  virtual ~Mp3Decoder() = default;

  // Names the file to decode: 0, or an error code when it cannot be read.
  virtual int createInput(const std::string& path) = 0;
  // Finds the first frame and fixes the output format: 0, or an error code.
  virtual int openInput() = 0;
  // Decodes the next block. After Block and LastBlock, block() holds its PCM in format().
  virtual DecodeStatus decode() = 0;
  virtual std::span<const int16_t> block() const = 0;
  // The format of every block of the open input: the file's own rate and channels, kept the
  // same when the file's frames change format part-way.
  virtual PcmFormat format() const = 0;
  // Bytes taken from the file so far.
  virtual long long bytesRead() const = 0;
  virtual void closeInput() = 0;
};

// Where decoded blocks are played. play() returns once the output has taken the block, which is
// what holds the broadcast to real time.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;

  // 0, kOutputBusy, kOutputMissing or another error code.
  virtual int open() = 0;
  virtual void play(std::span<const int16_t> samples, PcmFormat format) = 0;
  // Stops at once; whatever is still queued is dropped.
  virtual void close() = 0;
};

// The decoder library: decoders, sound-card outputs to play them on, and resamplers from a
// file's rate to the stream's.
class DecoderLibrary {
 public:
  virtual ~DecoderLibrary() = default;

  // None when the library cannot make one.
  virtual std::unique_ptr<Mp3Decoder> newDecoder() = 0;
  // An output on the named sound device, or on the default one when the name is empty.
  virtual std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) = 0;
  // For two different rates; none when the library cannot make one.
  virtual std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) = 0;
};

}  // namespace brovana
