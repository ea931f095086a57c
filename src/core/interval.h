#pragma once
// A run-wide rate gate of 20 numbered slots: true, and the slot restamped, when more than
// `milliseconds` have passed since the slot's last true. Safe from any thread.

namespace brovana {

constexpr int kIntervalSlots = 20;

bool intervalElapsed(int slot, long milliseconds);
// Stamps the slot with now, so that the next true is a whole interval away.
void restartInterval(int slot);

}  // namespace brovana
