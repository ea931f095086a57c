#include "audio/conversion_stats.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace brovana {
namespace {

// A source feeds a block every 100 ms; the stage sends a burst of one interval's worth of the
// stream, `jitterMs` early or late in turn. From `slowFrom` on the bursts come `slowEvery` apart
// (0: none come), and from `idleFrom` to `idleTo` the source feeds nothing and nothing is sent.
constexpr int64_t kNever = 1'000'000;
struct Feed {
  const char* name;
  int bitRate;
  int64_t everyMs, jitterMs;
  // The time of a look and the range the rate must be in, as fractions of bitRate.
  std::map<int64_t, std::pair<double, double>> looks;
  int64_t slowFrom = kNever, slowEvery = 0;
  int64_t idleFrom = kNever, idleTo = 0;
};

constexpr std::pair<double, double> kNotMeasured{-1, -1}, kSteady{0.96, 1.04};

TEST(ConversionStatsTest, TransmitRateSpansTheBurstsAndFallsWhenTheLineSlowsOrStops) {
  const Feed feeds[] = {
      {"56 kbit/s in quarter-second bursts",
       56000,
       283,
       100,
       {{14900, kNotMeasured}, {15000, kSteady}, {47300, kSteady}}},
      {"16 kbit/s line-in in bursts 2.3 s apart",
       16000,
       2268,
       300,
       {{15000, kSteady}, {31100, kSteady}, {59900, kSteady}}},
      {"a line at half speed", 32000, 1134, 0, {{19900, kSteady}, {36000, {0.49, 0.51}}}, 20000, 2268},
      {"a line that stops",
       56000,
       567,
       0,
       {{20500, kSteady}, {27000, {0.5, 0.6}}, {35500, {0, 0}}},
       20000,
       0},
      {"a new run after an idle source",
       24000,
       1134,
       0,
       {{19900, kSteady}, {60000, kNotMeasured}, {74900, kNotMeasured}, {76000, kSteady}},
       kNever,
       0,
       20000,
       60000},
  };
  for (const Feed& feed : feeds) {
    ConversionStats stats;
    const int64_t burst = int64_t{feed.bitRate} / 8 * feed.everyMs / 1000;
    auto look = feed.looks.begin();
    for (int64_t ms = 0, k = 1, nextSend = feed.everyMs; look != feed.looks.end(); ++ms) {
      const bool feeding = ms < feed.idleFrom || ms >= feed.idleTo;
      if (feeding && ms % 100 == 0) stats.input(4410, ms);
      if (ms == nextSend) {
        if (feeding) stats.transmission(static_cast<int>(burst), ms);
        ++k;
        if (ms < feed.slowFrom)
          nextSend = k * feed.everyMs + (k % 2 ? feed.jitterMs : -feed.jitterMs);
        else
          nextSend = feed.slowEvery ? ms + feed.slowEvery : -1;
      }
      if (ms != look->first) continue;
      const auto [low, high] = look->second;
      const int rate = stats.transmitBitRate(ms);
      if (low < 0)
        EXPECT_EQ(rate, kRateNotMeasured) << feed.name << " at " << ms;
      else
        EXPECT_TRUE(rate >= low * feed.bitRate && rate <= high * feed.bitRate)
            << feed.name << " at " << ms << ": " << rate;
      ++look;
    }
  }
}

}  // namespace
}  // namespace brovana
