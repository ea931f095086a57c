#pragma once
// Line speeds (the stream bit rate in bits per second) and what each fixes: the MP3 rate and
// channels, the highest MP3 byte rate allowed, and the PCM format captured for line-in. The
// table of MP3 formats the codec drivers offer, and the rule that picks one for a line speed.
// A line speed's display name is outputFormatName() of core/speed_names.h.

#include <optional>
#include <vector>

#include "audio/mp3_codec.h"

namespace brovana {

class Prompts;

struct LineSpeedFormat {
  int lineSpeed;
  int sampleRate;      // of the MP3 stream, and of line-in PCM
  int channels;        // likewise
  int maxBytesPerSec;  // highest nAvgBytesPerSec allowed
};

inline constexpr LineSpeedFormat kLineSpeedFormats[] = {
    {16000, 11025, 1, 2000},
    {24000, 22050, 1, 3000},
    {32000, 11025, 2, 4000},
    {56000, 22050, 2, 7000},
};

// None for a value that is not one of the four.
std::optional<LineSpeedFormat> lineSpeedFormat(int lineSpeed);

// 16-bit signed interleaved PCM: tag 1, block align channels × 2, no extra bytes.
WaveFormat makePcmFormat(int samplesPerSec, int channels);

struct Mp3FormatEntry {
  DriverId driverId = 0;
  WaveFormat format;  // tag 85 with the driver's Layer-3 extra bytes
};

class Mp3FormatTable {
 public:
  static constexpr int kSlots = 250;
  static constexpr int kMaxFormats = kSlots - 1;

  // Every tag-85 format of every driver, in enumeration order, at most kMaxFormats. A driver
  // that fails to open ends the enumeration.
  explicit Mp3FormatTable(Mp3Codec& codec);

  bool hasFormats() const { return !entries_.empty(); }
  int count() const { return static_cast<int>(entries_.size()); }
  const Mp3FormatEntry& entry(int index) const { return entries_[static_cast<size_t>(index)]; }

  // The entry of the line speed's rate and channels with the highest byte rate within the
  // bound (ties: the first). An invalid line speed gets a message box; null then, and when
  // nothing fits.
  const Mp3FormatEntry* findFormatForLineSpeed(int lineSpeed, Prompts& prompts) const;

 private:
  std::vector<Mp3FormatEntry> entries_;
};

}  // namespace brovana
