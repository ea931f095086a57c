#pragma once
// Throughput figures of the conversion stage: input (blocks handed in), conversion (PCM through
// the codec) and transmission (MP3 bytes the connection took). Input and conversion each have
// their own 5-second window, closed by the first event more than 5,000 ms after the window began;
// both share the start time (the stage's first block). Rates are bytes per second, truncated.
//
// The transmission rate is measured apart, at the time it is asked for, over the last 15 s: the
// stage sends in bursts (one per 50,000 bytes of PCM, from a quarter of a second apart at 56
// kbit/s to three seconds with 8 kHz mono tracks), and a window that holds a burst more or less
// would swing the figure by up to a burst. So the rate runs from the first send in the window to
// the last one, and the time since the last send counts once it is longer than the usual gap: a
// line that slows shows at once, and one that stops falls to 0.
//
// Threads: input() on the source thread; conversion() and transmission() on the conversion
// thread; the queries from anywhere.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "monitor/quality_reports.h"

namespace brovana {

class ConversionStats {
 public:
  static constexpr int64_t kWindowMs = 5000;
  static constexpr int64_t kTransmitWindowMs = 15000;
  // A source that handed in nothing for this long was idle (the broadcast was off): the sends
  // before its new run are no measure of the line.
  static constexpr int64_t kFeedGapMs = 5000;

  // The first call fixes the start time; later calls do nothing.
  void start(int64_t nowMs);

  void input(int bytes, int64_t nowMs);
  // bytesPerSec: the source format's, for the debug summary's "should take" figure.
  void conversion(int bytes, int64_t spentMs, int64_t nowMs, int bytesPerSec);
  void transmission(int bytes, int64_t nowMs);

  int averageInputRate() const { return averageInput_.load(std::memory_order_relaxed); }
  int recentInputRate() const { return recentInput_.load(std::memory_order_relaxed); }
  int averageConversionRate() const { return averageConversion_.load(std::memory_order_relaxed); }
  int recentConversionRate() const { return recentConversion_.load(std::memory_order_relaxed); }
  float throughputRatio() const { return throughput_.load(std::memory_order_relaxed); }
  // Bits per second that the connection took over the last kTransmitWindowMs (see above):
  // kRateNotMeasured until the source has fed the stage for a whole window, 0 when nothing went
  // out in it.
  int transmitBitRate(int64_t nowMs) const;

 private:
  struct Window {
    int64_t begin = -1;  // -1: not yet begun
    int64_t bytes = 0;
    // Adds the bytes; when the window is over, hands back its bytes and length and starts anew.
    bool add(int64_t count, int64_t nowMs, int64_t startMs, int64_t& windowBytes, int64_t& windowMs);
  };
  struct Send {
    int64_t atMs;
    int64_t bytes;
  };
  int64_t startTime() const { return start_.load(std::memory_order_acquire); }
  int transmitBitRateLocked(int64_t nowMs) const;  // transmitMutex_ held

  std::atomic<int64_t> start_{-1};

  Window inputWindow_;  // source thread
  int64_t inputTotal_ = 0;
  std::atomic<int> averageInput_{0};
  std::atomic<int> recentInput_{0};

  Window conversionWindow_;  // conversion thread
  int64_t convertedTotal_ = 0;
  int64_t convertMs_ = 0;
  std::atomic<int> averageConversion_{0};
  std::atomic<int> recentConversion_{0};
  std::atomic<float> throughput_{0.0f};

  mutable std::mutex transmitMutex_;  // the feed run and the sends
  int64_t feedStart_ = -1;            // the first block after the source was idle
  int64_t lastInput_ = -1;
  std::deque<Send> sends_;    // those of the last kTransmitWindowMs
  int64_t lastRateLog_ = -1;  // when the debug log last had the rate
};

}  // namespace brovana
