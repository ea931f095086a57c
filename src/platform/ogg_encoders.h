#pragma once
// The Ogg encoders of the extra servers: Opus through libopusenc (48 kHz, 16 to 256 kbit/s) and
// Vorbis through libvorbisenc and libogg (44.1 or 48 kHz, the bit rates its managed mode takes
// for the rate and channels). Both hand out whole Ogg pages only, from any 16-bit mono or stereo
// PCM (resampled by libsoxr, channels mixed as needed). A title starts a chained logical stream
// whose comments carry it.

#include <string>

#include "audio/audio_encoder.h"

namespace brovana {

inline constexpr int kOpusRate = 48000;
inline constexpr int kOpusMinBitrate = 16000, kOpusMaxBitrate = 256000;

// An Opus encoder for `out`, or none and why not.
EncoderOpened openOpusEncoder(const PcmFormat& in, const EncodedFormat& out);
// A Vorbis encoder for `out`, or none and why not (libvorbisenc refuses the bit rate).
EncoderOpened openVorbisEncoder(const PcmFormat& in, const EncodedFormat& out);

}  // namespace brovana
