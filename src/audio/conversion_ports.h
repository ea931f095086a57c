#pragma once
// What the conversion stage talks to, each implemented elsewhere: the server connection that
// takes the MP3 stream, the status display, the DSP plug-in host and the visualisation feed.
// Tests give the stage fakes of all four; the fan-out to the extra servers takes the PCM.

#include <cstdint>
#include <string_view>

#include "audio/pcm_format.h"

namespace brovana {

// The server connection's side of the stream. Called from the conversion thread only.
class StreamSink {
 public:
  virtual ~StreamSink() = default;
  // Writes the MP3 bytes; with reconnectAllowed a failed write reconnects and resends once.
  // Returns length when all went out, 0 when the peer took none, -1 on a socket error.
  virtual int sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) = 0;
  // The end of a track; nothing is buffered between sendStream and the socket.
  virtual void flush() = 0;
};

// The reports the stage sends to the status display when a stream cannot be opened.
class ConversionStatus {
 public:
  virtual ~ConversionStatus() = default;
  virtual void showLastError(std::string_view text) = 0;
  // The error counts (files that failed to play, reconnects).
  virtual void refreshCounters() = 0;
};

// The active DSP plug-in, if any. Called on the source's thread for every block.
class SampleProcessor {
 public:
  virtual ~SampleProcessor() = default;
  // Processes the interleaved samples in place. `samples` has room for twice `frames`; the
  // result is the number of frames it holds afterwards, which a plug-in may change.
  virtual int processSamples(uint8_t* samples, int frames, int bitsPerSample, int channels,
                             int sampleRate) = 0;
};

// The visualisation's input. Called on the source's thread with every block as it goes on air.
class VisualFeed {
 public:
  virtual ~VisualFeed() = default;
  virtual void addData(const uint8_t* block, int length, int channels, int bytesPerSample) = 0;
};

// Takes the PCM exactly as it goes on the air (after the plug-in and the voiceover mix). Called
// on the source's thread with every block; it must never wait for anything slow.
class PcmTap {
 public:
  virtual ~PcmTap() = default;
  // `length` bytes; a sample frame may be split between two calls.
  virtual void onAir(const uint8_t* pcm, int length, const PcmFormat& format) = 0;
};

}  // namespace brovana
