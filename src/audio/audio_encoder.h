#pragma once
// The encoders the conversion stage compresses PCM with: a library that says which formats it
// makes and opens encoders, and the encoder, one open stream from a PCM format to a compressed
// one. src/platform/ holds the implementations, the tests a fake.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "audio/pcm_format.h"

namespace brovana {

enum class Codec { Mp3, Opus, Vorbis };

struct EncodedFormat {
  Codec codec = Codec::Mp3;
  int sampleRate = 0;
  int channels = 0;
  int bitrate = 0;   // bits per second
  bool vbr = false;  // MP3 only: a variable bit rate averaging `bitrate`

  friend bool operator==(const EncodedFormat&, const EncodedFormat&) = default;
};

// One open stream. Used by one thread at a time.
class AudioEncoder {
 public:
  virtual ~AudioEncoder() = default;

  // Takes PCM bytes in the format the encoder was opened for (a sample frame may be split
  // between two calls) and appends the compressed bytes that are complete. What does not make a
  // whole frame yet stays inside for the next call, so a stream may end after any call without
  // leaving part of a frame behind. False when the encoder failed; the PCM is lost then.
  virtual bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) = 0;
  // The end of the input: appends what is still inside (the last frame, padded out). The
  // encoder stays usable for more PCM.
  virtual bool flush(std::vector<uint8_t>& out) = 0;
  virtual EncodedFormat format() const = 0;
  // The now-playing title. An Ogg encoder ends its logical stream and starts a chained one whose
  // comments carry it (also the way to hand a newly connected listener fresh stream headers);
  // MP3 has no comments of its own, its servers take the title out of band.
  virtual void setTitle(const std::string& title) { (void)title; }
};

// An encoder, or none and the reason why not (for the log).
struct EncoderOpened {
  std::unique_ptr<AudioEncoder> encoder;
  std::string reason;
};

class EncoderLibrary {
 public:
  virtual ~EncoderLibrary() = default;

  // Every format the library makes.
  virtual std::vector<EncodedFormat> formats() const = 0;
  // Whether encoders can be made at all: the check before the stage relies on the library.
  virtual bool usable() = 0;
  // An encoder from `in` to one of formats(); it converts the rate and mixes the channels down
  // or up as needed.
  virtual EncoderOpened open(const PcmFormat& in, const EncodedFormat& out) = 0;
};

}  // namespace brovana
