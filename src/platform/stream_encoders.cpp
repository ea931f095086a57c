#include "platform/stream_encoders.h"

#include "platform/ogg_encoders.h"

namespace brovana {

std::vector<EncodedFormat> StreamEncoderLibrary::formats() const {
  std::vector<EncodedFormat> all = lame_.formats();
  for (int channels = 1; channels <= 2; ++channels)
    for (int bitrate = kOpusMinBitrate; bitrate <= kOpusMaxBitrate; bitrate += 8000)
      all.push_back({Codec::Opus, kOpusRate, channels, bitrate});
  const PcmFormat any{44100, 2};
  for (int rate : {44100, 48000})
    for (int channels = 1; channels <= 2; ++channels)
      for (int bitrate = 32000; bitrate <= 320000; bitrate += 8000)
        if (EncodedFormat vorbis{Codec::Vorbis, rate, channels, bitrate};
            openVorbisEncoder(any, vorbis).encoder)
          all.push_back(vorbis);
  return all;
}

EncoderOpened StreamEncoderLibrary::open(const PcmFormat& in, const EncodedFormat& out) {
  switch (out.codec) {
    case Codec::Opus:
      return openOpusEncoder(in, out);
    case Codec::Vorbis:
      return openVorbisEncoder(in, out);
    case Codec::Mp3:
      break;
  }
  return lame_.open(in, out);
}

}  // namespace brovana
