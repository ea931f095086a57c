#pragma once
// Throughput figures of the conversion stage: input (blocks handed in), conversion (PCM through
// the codec) and transmission (MP3 bytes the connection took). Each measurement has its own
// 5-second window, closed by the first event more than 5,000 ms after the window began; all
// share the start time (the stage's first block). Rates are bytes per second, truncated.
//
// Threads: input() on the source thread; conversion() and transmission() on the conversion
// thread; the queries from anywhere.

#include <atomic>
#include <cstdint>

namespace brovana {

class ConversionStats {
 public:
  static constexpr int64_t kWindowMs = 5000;

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
  int transmitBitRate() const { return transmitBits_.load(std::memory_order_relaxed); }

 private:
  struct Window {
    int64_t begin = -1;  // -1: not yet begun
    int64_t bytes = 0;
    // Adds the bytes; when the window is over, hands back its bytes and length and starts anew.
    bool add(int64_t count, int64_t nowMs, int64_t startMs, int64_t& windowBytes, int64_t& windowMs);
  };
  int64_t startTime() const { return start_.load(std::memory_order_acquire); }

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

  Window transmitWindow_;  // conversion thread
  std::atomic<int> transmitBits_{0};
};

}  // namespace brovana
