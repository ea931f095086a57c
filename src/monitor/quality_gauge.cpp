#include "monitor/quality_gauge.h"

#include <chrono>

#include "core/text.h"
#include "diag/logger.h"
#include "monitor/status_display.h"

namespace brovana {
namespace {

int64_t steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string cpuQualityText(float ratio) {
  if (ratio == 0.0f || ratio >= 0.98f) return "100%";
  return formatText("%2.1f%%", ratio * 100.0);
}

int goodRateThreshold(int expected) {
  // 0.95 is a hair below 95 % as a double; the product is kept wider than a double so that the
  // hair survives the truncation: 30399 at 32000, not 30400.
  return static_cast<int>(static_cast<long double>(expected) * 0.95);
}

int dropoutRateThreshold(int expected) {
  return static_cast<int>(static_cast<long long>(expected) * 9 / 10);
}

QualityGauge::QualityGauge(LabelWindowView* window, Clock clock)
    : clock_(clock ? std::move(clock) : Clock(steadyMs)), window_(window) {}

void QualityGauge::setWindow(LabelWindowView* window) {
  std::lock_guard lock(mutex_);
  window_ = window;
}

void QualityGauge::post(int label, const std::string& text) {
  // Dead air outranks what the line does: a silent stream that gets out well is no good news.
  if (deadAir_ && label == kQualityStatusLabel && text != kDeadAirText) return;
  if (window_) window_->setLabel(label, text);
}

void QualityGauge::setDeadAir(bool silent) {
  std::lock_guard lock(mutex_);
  deadAir_ = silent;
  post(kQualityStatusLabel, silent ? kDeadAirText : good_ ? kStreamGoodText : kStreamDropoutsText);
  if (silent && window_) window_->show();
}

void QualityGauge::setCpuQuality(float ratio) {
  std::lock_guard lock(mutex_);
  post(kQualityCpuLabel, cpuQualityText(ratio));
}

void QualityGauge::setNetworkQuality(int actual, int expected) {
  if (actual < 0) return;
  std::lock_guard lock(mutex_);
  post(kQualityNetworkLabel, formatText("%d (%d) bps", actual, expected));
  if (good_ && actual < dropoutRateThreshold(expected)) {
    countDropout(actual, expected);
  } else if (!good_ && actual >= goodRateThreshold(expected)) {
    good_ = true;
    post(kQualityStatusLabel, kStreamGoodText);
  }
  if (good_ && badSince_)
    post(kQualitySinceLabel, clockText(static_cast<int>((clock_() - *badSince_) / 1000)));
}

void QualityGauge::countDropout(int actual, int expected) {
  good_ = false;
  ++dropouts_;
  post(kQualityStatusLabel, kStreamDropoutsText);
  if (dropouts_ > kQuietDropouts && window_) window_->show();
  post(kQualityDropoutsLabel, formatText("%d ", dropouts_));
  badSince_ = clock_();
  Logger::log("ERROR : Line dropouts, output to network is %d, it should be about %d!\n", actual, expected);
  // Under the lock, so that the logger sees the totals in order.
  Logger::setDropouts(dropouts_);
}

}  // namespace brovana
