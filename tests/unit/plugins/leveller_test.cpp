// The leveller's gain curve: a tone in, its level out once the gain has settled, and never a
// sample above the ceiling on the way.

#include "leveller.h"

#include <gtest/gtest.h>

#include <cmath>

namespace leveller {
namespace {

constexpr int kRate = 22050, kBlock = 1050;  // a level's 12 s and the last 2 s hold whole blocks
constexpr int kCeiling = 29205;              // -1 dBFS, to the nearest sample value

TEST(LevellerTest, GainCurveAndCeiling) {
  // What is shown; levelling on; dB of 12 s of a 997 Hz tone at each, in turn; dB of the last 2 s
  // out, as the peak level of a sine of that power.
  const std::tuple<const char*, bool, std::vector<double>, double> rows[] = {
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
  for (const auto& [what, level, inDb, outDb] : rows) {
    Leveller leveller(Settings{.level = level});
    std::vector<int16_t> block(2 * kBlock);
    double sum = 0;
    int peak = 0;
    long total = long(inDb.size()) * 12 * kRate;
    for (long start = 0; start < total; start += kBlock) {
      double amplitude = 32767 * std::pow(10, inDb[start / (12 * kRate)] / 20);
      for (long i = 0; i < kBlock; ++i)
        block[2 * i] = block[2 * i + 1] =
            int16_t(std::lround(amplitude * std::sin(2 * M_PI * 997 * (start + i) / kRate)));
      leveller.process(block.data(), kBlock, 2, kRate);
      for (int16_t sample : block) {
        peak = std::max(peak, std::abs(int(sample)));
        if (start >= total - 2 * kRate) sum += double(sample) * sample;
      }
    }
    EXPECT_NEAR(10 * std::log10(sum / (4.0 * kRate) / (32768.0 * 32768.0)) + 3.0103, outDb, 0.5) << what;
    EXPECT_LE(peak, kCeiling) << what;
  }
}

}  // namespace
}  // namespace leveller
