#pragma once
// The decoder library of the studio: mpg123 decoders and PortAudio sound outputs.

#include "audio/mp3_decoder.h"

namespace brovana {

class PlatformDecoderLibrary final : public DecoderLibrary {
 public:
  std::unique_ptr<Mp3Decoder> newDecoder() override;
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override;
};

}  // namespace brovana
