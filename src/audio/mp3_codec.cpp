#include "audio/mp3_codec.h"

#include <cstring>

namespace brovana {

std::string codecErrorText(int code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return "MMSYSERR_NOERROR";
    case MMSYSERR_ERROR:
      return "MMSYSERR_ERROR";
    case MMSYSERR_INVALHANDLE:
      return "MMSYSERR_INVALHANDLE";
    case MMSYSERR_NOMEM:
      return "MMSYSERR_NOMEM";
    case MMSYSERR_INVALFLAG:
      return "MMSYSERR_INVALFLAG";
    case MMSYSERR_INVALPARAM:
      return "MMSYSERR_INVALPARAM";
    case ACMERR_NOTPOSSIBLE:
      return "ACMERR_NOTPOSSIBLE";
    case ACMERR_BUSY:
      return "ACMERR_BUSY";
    case ACMERR_UNPREPARED:
      return "ACMERR_UNPREPARED";
    default:
      return std::to_string(code);
  }
}

std::vector<uint8_t> WaveFormat::bytes() const {
  WAVEFORMATEX record = wfx;
  record.cbSize = static_cast<uint16_t>(extra.size());
  std::vector<uint8_t> out(sizeof record + extra.size());
  std::memcpy(out.data(), &record, sizeof record);
  if (!extra.empty()) std::memcpy(out.data() + sizeof record, extra.data(), extra.size());
  return out;
}

std::optional<MPEGLAYER3WAVEFORMAT> WaveFormat::mpegLayer3() const {
  if (wfx.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || extra.size() < MPEGLAYER3_WFX_EXTRA_BYTES)
    return std::nullopt;
  MPEGLAYER3WAVEFORMAT format;
  format.wfx = wfx;
  std::memcpy(reinterpret_cast<uint8_t*>(&format) + sizeof(WAVEFORMATEX), extra.data(),
              MPEGLAYER3_WFX_EXTRA_BYTES);
  return format;
}

WaveFormat WaveFormat::fromMpegLayer3(const MPEGLAYER3WAVEFORMAT& format) {
  WaveFormat out;
  out.wfx = format.wfx;
  out.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  out.extra.resize(MPEGLAYER3_WFX_EXTRA_BYTES);
  std::memcpy(out.extra.data(), reinterpret_cast<const uint8_t*>(&format) + sizeof(WAVEFORMATEX),
              MPEGLAYER3_WFX_EXTRA_BYTES);
  return out;
}

}  // namespace brovana
