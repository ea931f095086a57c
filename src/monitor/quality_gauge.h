#pragma once
// The stream quality gauge behind the "Stream Quality" window: it shows how much of the music
// the conversion keeps up with and how much of the stream gets out, judges the network figure
// good or bad, counts each change from good to bad as a line dropout (an error line in the log
// and the logger's dropout total), and shows its window once dropouts keep coming. Without a
// window it still judges, counts and logs.
//
// The judgement has two thresholds: a good line turns bad below 90 % of the expected rate and
// turns good again only from 95 %. A healthy stream's figure swings a few per cent with the
// bursts the conversion sends in, and a real dip wavers as the line recovers; between the two
// thresholds the line stays as it was, so neither counts a dropout that did not happen.
//
// Threads: the sources feed it on their own threads, and during a voiceover the playlist engine
// and the capture both do; every call takes mutex_. The window gets its texts as calls that it
// hands to its own thread.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "monitor/quality_reports.h"
#include "monitor/status_views.h"

namespace brovana {

// The figure labels of the window; its captions come with the skin.
enum QualityLabel : int {
  kQualityCpuLabel = 1101,
  kQualityNetworkLabel = 1076,
  kQualityStatusLabel = 1077,
  kQualitySinceLabel = 1102,
  kQualityDropoutsLabel = 1103,
};

inline constexpr const char* kStreamGoodText = "Stream quality is good";
inline constexpr const char* kStreamDropoutsText =
    "Your stream may be experiencing dropouts! Open up the \"Broadcast Info\" window and try a lower "
    "output-quality setting if this continues.";
inline constexpr const char* kDeadAirText =
    "Dead air! Your listeners hear silence. Check your source, or give a fallback playlist.";
// The window shows itself when the dropouts are more than this.
inline constexpr int kQuietDropouts = 3;

// "100%" from 0.98 up (and for 0, which means nothing measured yet), else "97.9%".
std::string cpuQualityText(float ratio);
// The least rate that turns a bad line good again: 95 % of the expected one, truncated.
int goodRateThreshold(int expected);
// Below this a good line turns bad: 90 % of the expected rate, truncated.
int dropoutRateThreshold(int expected);

class QualityGauge final : public QualityReports {
 public:
  // Milliseconds of a steady clock.
  using Clock = std::function<int64_t()>;

  // The window may be none (no windows at all) and may be set later; it must outlive its use.
  explicit QualityGauge(LabelWindowView* window = nullptr, Clock clock = {});
  void setWindow(LabelWindowView* window);

  void setCpuQuality(float ratio) override;
  // kRateNotMeasured (any negative rate) is ignored; 0 is a line that sends nothing.
  void setNetworkQuality(int actual, int expected) override;
  // Shows the window with the dead-air warning, which stays until the sound returns.
  void setDeadAir(bool silent) override;

 private:
  void post(int label, const std::string& text);  // mutex_ held
  void countDropout(int actual, int expected);    // mutex_ held

  const Clock clock_;
  std::mutex mutex_;  // everything below, for the whole of each call
  LabelWindowView* window_ = nullptr;
  // The line as judged; not good at the start, so a stream bad from its first figure counts no dropout.
  bool good_ = false;
  bool deadAir_ = false;
  int dropouts_ = 0;                 // for the whole run: never reset
  std::optional<int64_t> badSince_;  // when the last dropout began
};

}  // namespace brovana
