#include "audio/line_speed.h"

#include <algorithm>
#include <cstdio>

#include "core/prompts.h"
#include "diag/logger.h"

namespace brovana {

std::optional<LineSpeedFormat> lineSpeedFormat(int lineSpeed) {
  for (const LineSpeedFormat& f : kLineSpeedFormats)
    if (f.lineSpeed == lineSpeed) return f;
  return std::nullopt;
}

WaveFormat makePcmFormat(int samplesPerSec, int channels) {
  WaveFormat format;
  format.wfx.wFormatTag = WAVE_FORMAT_PCM;
  format.wfx.nChannels = static_cast<uint16_t>(channels);
  format.wfx.nSamplesPerSec = static_cast<uint32_t>(samplesPerSec);
  format.wfx.nAvgBytesPerSec = static_cast<uint32_t>(samplesPerSec) * static_cast<uint32_t>(channels) * 2;
  format.wfx.nBlockAlign = static_cast<uint16_t>(channels * 2);
  format.wfx.wBitsPerSample = 16;
  format.wfx.cbSize = 0;
  return format;
}

Mp3FormatTable::Mp3FormatTable(Mp3Codec& codec) {
  // The smallest record a Layer-3 format needs.
  constexpr int kMinFormatSize = 30;
  for (DriverId id : codec.enumDrivers()) {
    std::unique_ptr<CodecDriver> driver;
    int result = codec.openDriver(id, driver);
    if (result != MMSYSERR_NOERROR || !driver) {
      Logger::debug(1, "Mp3FormatTable - acmDriverOpen failed, %s\n", codecErrorText(result).c_str());
      break;
    }
    size_t maxExtra =
        static_cast<size_t>(std::max(driver->maxFormatSize(), kMinFormatSize)) - sizeof(WAVEFORMATEX);
    driver->enumFormats([&](const WaveFormat& format) {
      if (count() >= kMaxFormats) return false;
      if (format.wfx.wFormatTag != WAVE_FORMAT_MPEGLAYER3) return true;
      Mp3FormatEntry entry{id, format};
      // The record is copied from a buffer of the driver's largest format size.
      if (entry.format.extra.size() > maxExtra) entry.format.extra.resize(maxExtra);
      entry.format.wfx.cbSize = static_cast<uint16_t>(entry.format.extra.size());
      entries_.push_back(std::move(entry));
      return count() < kMaxFormats;
    });
    driver->close();
  }
}

const Mp3FormatEntry* Mp3FormatTable::findFormatForLineSpeed(int lineSpeed, Prompts& prompts) const {
  std::optional<LineSpeedFormat> wanted = lineSpeedFormat(lineSpeed);
  if (!wanted) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Linespeed of %d is invalid. Use the Account info page to try a different linespeed.",
                  lineSpeed);
    prompts.information(text, " ");
    return nullptr;
  }
  const Mp3FormatEntry* best = nullptr;
  for (const Mp3FormatEntry& e : entries_) {
    const WAVEFORMATEX& f = e.format.wfx;
    if (f.nSamplesPerSec != static_cast<uint32_t>(wanted->sampleRate) || f.nChannels != wanted->channels)
      continue;
    if (f.nAvgBytesPerSec > static_cast<uint32_t>(wanted->maxBytesPerSec)) continue;
    if (!best || f.nAvgBytesPerSec > best->format.wfx.nAvgBytesPerSec) best = &e;
  }
  return best;
}

}  // namespace brovana
