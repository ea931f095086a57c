#pragma once
// MP3 encoders on LAME: every format LAME encodes (MPEG-1, 2 and 2.5 rates from 8000 to
// 48000 Hz, mono and stereo, each valid constant bit rate), from any 16-bit PCM rate and up to
// eight channels; for the extra servers also with a variable bit rate around one of them. libsoxr
// resamples and the channels are mixed down or up ahead of LAME.

#include <vector>

#include "audio/audio_encoder.h"

namespace brovana {

class LameEncoderLibrary final : public EncoderLibrary {
 public:
  // In the order of formats(): by MPEG version (2.5, 2, 1), rate, channels (mono first), bit rate.
  std::vector<EncodedFormat> formats() const override;
  bool usable() override;
  EncoderOpened open(const PcmFormat& in, const EncodedFormat& out) override;
};

}  // namespace brovana
