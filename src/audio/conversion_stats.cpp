#include "audio/conversion_stats.h"

#include <algorithm>

#include "diag/logger.h"

namespace brovana {
namespace {

int rate(int64_t bytes, int64_t ms) {
  return ms > 0 ? static_cast<int>(bytes * 1000 / ms) : 0;
}

}  // namespace

void ConversionStats::start(int64_t nowMs) {
  int64_t unset = -1;
  start_.compare_exchange_strong(unset, nowMs, std::memory_order_acq_rel);
}

bool ConversionStats::Window::add(int64_t count, int64_t nowMs, int64_t startMs, int64_t& windowBytes,
                                  int64_t& windowMs) {
  if (begin < 0) begin = startMs < 0 ? nowMs : startMs;
  bytes += count;
  if (nowMs - begin <= kWindowMs) return false;
  windowBytes = bytes;
  windowMs = nowMs - begin;
  begin = nowMs;
  bytes = 0;
  return true;
}

void ConversionStats::input(int bytes, int64_t nowMs) {
  {
    std::lock_guard lock(transmitMutex_);
    if (lastInput_ < 0 || nowMs - lastInput_ > kFeedGapMs) feedStart_ = nowMs;
    lastInput_ = nowMs;
  }
  int64_t count = std::max(bytes, 0);
  inputTotal_ += count;
  int64_t windowBytes, windowMs;
  if (!inputWindow_.add(count, nowMs, startTime(), windowBytes, windowMs) || windowBytes == 0) return;
  averageInput_.store(rate(inputTotal_, nowMs - startTime()), std::memory_order_relaxed);
  recentInput_.store(rate(windowBytes, windowMs), std::memory_order_relaxed);
}

void ConversionStats::conversion(int bytes, int64_t spentMs, int64_t nowMs, int bytesPerSec) {
  int64_t count = std::max(bytes, 0);
  convertedTotal_ += count;
  convertMs_ += std::max<int64_t>(spentMs, 0);
  int64_t windowBytes, windowMs;
  if (!conversionWindow_.add(count, nowMs, startTime(), windowBytes, windowMs)) return;
  int64_t spent = convertMs_;
  convertMs_ = 0;
  if (windowBytes == 0) return;
  int average = rate(convertedTotal_, nowMs - startTime());
  int recent = rate(windowBytes, windowMs);
  averageConversion_.store(average, std::memory_order_relaxed);
  recentConversion_.store(recent, std::memory_order_relaxed);
  int recentIn = recentInput_.load(std::memory_order_relaxed);
  float ratio =
      recentIn > 0 ? std::min(1.0f, static_cast<float>(recent) / static_cast<float>(recentIn)) : 1.0f;
  throughput_.store(ratio, std::memory_order_relaxed);
  Logger::debug(1, "Average Output BPS : =%d (%d), TP : %2.2f, Average Input BPS : %d\n", average, recent,
                ratio, averageInput_.load());
  Logger::debug(1, "Conversion times : %d ms to convert %d bytes, should take <%d ms\n",
                static_cast<int>(spent), static_cast<int>(windowBytes),
                bytesPerSec > 0 ? static_cast<int>(windowBytes * 1000 / bytesPerSec) : 0);
}

void ConversionStats::transmission(int bytes, int64_t nowMs) {
  int bits;
  {
    std::lock_guard lock(transmitMutex_);
    while (!sends_.empty() && sends_.front().atMs <= nowMs - kTransmitWindowMs) sends_.pop_front();
    sends_.push_back({nowMs, std::max(bytes, 0)});
    if (lastRateLog_ >= 0 && nowMs - lastRateLog_ <= kWindowMs) return;
    lastRateLog_ = nowMs;
    bits = transmitBitRateLocked(nowMs);
  }
  if (bits != kRateNotMeasured)
    Logger::debug(1, "Average Transmission Rate : %d (bytes/sec), %d (bits/sec)\n", bits / 8, bits);
}

int ConversionStats::transmitBitRate(int64_t nowMs) const {
  std::lock_guard lock(transmitMutex_);
  return transmitBitRateLocked(nowMs);
}

int ConversionStats::transmitBitRateLocked(int64_t nowMs) const {
  if (feedStart_ < 0 || nowMs - feedStart_ < kTransmitWindowMs) return kRateNotMeasured;
  auto first = std::find_if(sends_.begin(), sends_.end(),
                            [&](const Send& send) { return send.atMs > nowMs - kTransmitWindowMs; });
  if (first == sends_.end()) return 0;
  const Send& last = sends_.back();
  int64_t bytes = 0;  // after the first send: its bytes belong to the time before it
  for (auto send = first + 1; send != sends_.end(); ++send) bytes += send->bytes;
  int64_t span = last.atMs - first->atMs;
  // One send, or several at one instant, leave no span to measure by: the window is the span.
  if (span <= 0) return rate(bytes + first->bytes, kTransmitWindowMs) * 8;
  const int64_t gaps = sends_.end() - first - 1;
  span += std::max<int64_t>(0, nowMs - last.atMs - span / gaps);
  return rate(bytes, span) * 8;
}

}  // namespace brovana
