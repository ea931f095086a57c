#pragma once
// The decoder library of the studio: decoders of every track format (mpg123 and libsndfile), PortAudio sound
// outputs, libsoxr resamplers.

#include "audio/mp3_decoder.h"

namespace brovana {

class PlatformDecoderLibrary final : public DecoderLibrary {
 public:
  std::unique_ptr<Mp3Decoder> newDecoder() override;
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override;
  std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) override;
};

}  // namespace brovana
