#pragma once
// Every codec of the extra servers and recordings behind one library: MP3 through LAME, Opus and
// Vorbis through their Ogg encoders.

#include "audio/audio_encoder.h"
#include "platform/lame_encoder.h"

namespace brovana {

class StreamEncoderLibrary final : public EncoderLibrary {
 public:
  // LAME's formats, then Opus's and Vorbis's at every 8 kbit/s step they take.
  std::vector<EncodedFormat> formats() const override;
  bool usable() override { return lame_.usable(); }
  EncoderOpened open(const PcmFormat& in, const EncodedFormat& out) override;

 private:
  LameEncoderLibrary lame_;
};

}  // namespace brovana
