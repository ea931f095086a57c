#include "core/interval.h"

#include <array>
#include <atomic>
#include <chrono>

namespace brovana {
namespace {

// Every slot starts at 0, the clock's origin, so a slot's first question is answered true.
std::array<std::atomic<long long>, kIntervalSlots> stamps{};

long long nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool intervalElapsed(int slot, long milliseconds) {
  if (slot < 0 || slot >= kIntervalSlots) return false;
  long long now = nowMs();
  long long last = stamps[slot].load(std::memory_order_relaxed);
  if (now - last <= milliseconds) return false;
  // Only one of several racing callers wins the slot.
  return stamps[slot].compare_exchange_strong(last, now, std::memory_order_relaxed);
}

void restartInterval(int slot) {
  if (slot >= 0 && slot < kIntervalSlots) stamps[slot].store(nowMs(), std::memory_order_relaxed);
}

}  // namespace brovana
