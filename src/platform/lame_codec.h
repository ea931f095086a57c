#pragma once
// The MPEG Layer-3 codec on LAME: one driver that offers every Layer-3 format LAME encodes
// (MPEG-1, 2 and 2.5 rates from 8000 to 48000 Hz, mono and stereo, each valid bit rate), and
// streams from any 16-bit PCM rate and channel count to one of them. LAME resamples; the
// stream mixes the channels down or up itself.

#include <vector>

#include "audio/mp3_codec.h"

namespace brovana {

class LameCodec : public Mp3Codec {
 public:
  static constexpr DriverId kDriverId = 1;

  std::vector<DriverId> enumDrivers() override;
  int openDriver(DriverId id, std::unique_ptr<CodecDriver>& driver) override;
  int openStream(const WaveFormat& source, const WaveFormat& destination,
                 std::unique_ptr<CodecStream>& stream) override;

  // Every format the driver offers, in its order: by MPEG version (2.5, 2, 1), rate, channels
  // (mono first), bit rate.
  static const std::vector<WaveFormat>& formats();
};

}  // namespace brovana
