#pragma once
// The PCM side of the encoders: 16-bit input of one to eight channels, a sample frame possibly
// split between two blocks, turned into whole mono or stereo frames of the encoder's rate. The
// channels are mixed before resampling, so libsoxr filters no more channels than go out.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/pcm_format.h"
#include "platform/soxr_resampler.h"

namespace brovana {

class PcmShaper {
 public:
  static constexpr int kMaxChannels = 8;
  PcmShaper(const PcmFormat& in, const PcmFormat& out);
  // False when libsoxr refused the rates or the channels are out of range.
  bool valid() const {
    return in_.channels >= 1 && in_.channels <= kMaxChannels && (out_.channels == 1 || out_.channels == 2) &&
           (in_.sampleRate == out_.sampleRate || resampler_ != nullptr);
  }
  // Appends to `out` the frames of `bytes` (and of a frame left over from the last call).
  void shape(std::span<const uint8_t> bytes, std::vector<int16_t>& out);
  // What the resampler still holds, at the end of a stream; it starts afresh afterwards.
  void drain(std::vector<int16_t>& out);

 private:
  void mapChannels(const uint8_t* bytes, size_t frames);

  const PcmFormat in_, out_;
  std::unique_ptr<SoxrResampler> resampler_;
  std::vector<uint8_t> carry_;   // a sample frame split between two calls
  std::vector<int16_t> mapped_;  // the input frames with the output's channels
};

}  // namespace brovana
