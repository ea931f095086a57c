#include "audio/silence_detector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace brovana {
namespace {

int peakLimitFor(double levelDb) {
  return static_cast<int>(std::lround(32768.0 * std::pow(10.0, std::min(levelDb, 0.0) / 20.0)));
}

}  // namespace

SilenceDetector::SilenceDetector(const SilenceRule& rule)
    : peakLimit_(peakLimitFor(rule.levelDb)), rule_(rule) {}

void SilenceDetector::reset(bool silent) {
  silent_ = silent;
  runSeconds_ = 0;
}

SilenceDetector::Change SilenceDetector::feed(const uint8_t* pcm, int length, const PcmFormat& format) {
  if (length <= 0 || !format.valid()) return Change::None;
  int peak = 0, samples = 0, at = 0;
  auto take = [&](int low, int high) {
    peak = std::max(peak, std::abs(static_cast<int16_t>(low | (high << 8))));
    ++samples;
  };
  if (carry_ >= 0) take(std::exchange(carry_, -1), pcm[at++]);
  for (; at + 1 < length; at += 2) take(pcm[at], pcm[at + 1]);
  if (at < length) carry_ = pcm[at];

  const bool sound = heard_ = peak >= peakLimit_;
  if (sound != silent_) {
    runSeconds_ = 0;  // the stream is what it counts as: nothing builds up
    return Change::None;
  }
  runSeconds_ += static_cast<double>(samples) / format.channels / format.sampleRate;
  const double needed = silent_ ? rule_.soundSeconds : rule_.silentSeconds;
  if (runSeconds_ < needed) return Change::None;
  reset(!silent_);
  return silent_ ? Change::SilenceBegan : Change::SoundReturned;
}

}  // namespace brovana
