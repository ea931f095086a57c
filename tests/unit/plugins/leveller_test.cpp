// The leveller's gain curve: a tone in, its level out once the gain has settled, and never a
// sample above the ceiling on the way.

#include "leveller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace leveller {
namespace {

constexpr int kRate = 22050;
constexpr long kSegment = 12 * kRate;  // frames per level
constexpr long kBlock = 1050;          // frames per call; a segment and the last 2 s hold whole blocks
constexpr int kCeiling = 29205;        // -1 dBFS, to the nearest sample value

struct Heard {
  double levelDb;  // of the last two seconds, as the peak level of a sine of that power
  int peak;
};

// 12 seconds of a 997 Hz tone at each of `levelsDb` in turn, stereo, through the leveller.
Heard levelled(const Settings& settings, const std::vector<double>& levelsDb) {
  Leveller leveller(settings);
  std::vector<int16_t> block(2 * kBlock);
  double sum = 0;
  int peak = 0;
  long total = static_cast<long>(levelsDb.size()) * kSegment;
  for (long start = 0; start < total; start += kBlock) {
    double amplitude = 32767 * std::pow(10, levelsDb[start / kSegment] / 20);
    for (long i = 0; i < kBlock; ++i)
      block[2 * i] = block[2 * i + 1] =
          static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * 997 * (start + i) / kRate)));
    leveller.process(block.data(), kBlock, 2, kRate);
    for (int16_t sample : block) {
      peak = std::max(peak, std::abs(static_cast<int>(sample)));
      if (start >= total - 2 * kRate) sum += double(sample) * sample;
    }
  }
  double meanSquare = sum / (2.0 * 2 * kRate) / (32768.0 * 32768.0);
  return {10 * std::log10(meanSquare) + 3.0103, peak};
}

TEST(LevellerTest, GainCurveAndCeiling) {
  struct Row {
    const char* what;
    bool level;
    std::vector<double> inDb;
    double outDb;
  } rows[] = {
      {"below the gate it is left alone", true, {-60}, -60},
      {"the make-up gain stops at +18 dB", true, {-40}, -22},
      {"a quiet track is raised to the target", true, {-30}, -14},
      {"at the target nothing changes", true, {-14}, -14},
      {"a loud track is lowered to the target", true, {-6}, -14},
      {"full scale is lowered to the target", true, {0}, -14},
      {"a loud track after a quiet one", true, {-30, -6}, -14},
      {"a quiet track after a loud one", true, {-6, -30}, -14},
      {"the limiter alone leaves what is below the ceiling", false, {-6}, -6},
      {"the limiter alone holds full scale at the ceiling", false, {0}, -1},
  };
  for (const Row& row : rows) {
    Settings settings;
    settings.level = row.level;
    Heard heard = levelled(settings, row.inDb);
    EXPECT_NEAR(heard.levelDb, row.outDb, 0.5) << row.what;
    EXPECT_LE(heard.peak, kCeiling) << row.what;
  }
}

}  // namespace
}  // namespace leveller
