#include "monitor/quality_gauge.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/fake_views.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

constexpr const char* kErrorLine = "ERROR : Line dropouts, output to network is";
// Figures that stand for the dead-air guard's reports instead: silence on the air, sound again.
constexpr int kSilent = -100, kSound = -101;

// A line turns bad below 90 % of the expected rate and good again only from 95 %: the swing of a
// healthy stream stays out of the dropouts, and each real dip counts once however it wavers.
TEST(QualityGaugeTest, CountsEachDipBelowTheLowThresholdOnceUntilTheRateClimbsPastTheHighOne) {
  // name, expected rate, the figures (one a second); status, dropouts and since labels, error lines, shown
  using Case =
      std::tuple<std::string, int, std::vector<int>, std::string, std::string, std::string, int, int>;
  const std::string good = kStreamGoodText, bad = kStreamDropoutsText, none = "<unset>";
  std::vector<Case> cases = {
      {"steady with bursts", 56000, {58000, 51992, 57000, 52500, 50400, 58000}, good, none, none, 0, 0},
      {"one real dip that wavers",
       56000,
       {56000, 30000, 52000, 41000, 53000, 56000},
       good,
       "1 ",
       "0:00:04",
       1,
       0},
      {"a stall is bad", 56000, {56000, 0}, bad, "1 ", none, 1, 0},
      {"not yet measured is no figure", 32000, {30399, -1}, good, none, none, 0, 0},
      {"bad from the first figure counts nothing", 32000, {28799, 0}, none, none, none, 0, 0},
      {"recovery: just below the high threshold stays bad",
       32000,
       {30399, 100, 30398},
       bad,
       "1 ",
       none,
       1,
       0},
      {"recovery: the high threshold leaves", 32000, {30399, 100, 30398, 30399}, good, "1 ", "0:00:02", 1, 0},
      {"three keep the window hidden", 24000, {22799, 1, 22799, 1, 22799, 1}, bad, "3 ", "0:00:01", 3, 0},
      {"the fourth shows it", 24000, {22799, 1, 22799, 1, 22799, 1, 22799, 1}, bad, "4 ", "0:00:01", 4, 1},
      {"dead air outranks a dropout", 56000, {56000, kSilent, 30000}, kDeadAirText, "1 ", none, 1, 1},
      {"sound again shows the line", 56000, {56000, kSilent, 30000, kSound}, bad, "1 ", none, 1, 1},
  };
  // At each output rate: 90 % is not yet a dropout, one less is.
  for (auto [rate, low] : {std::pair{16000, 14400}, {24000, 21600}, {32000, 28800}, {56000, 50400}}) {
    cases.push_back({std::to_string(rate), rate, {rate, low}, good, none, none, 0, 0});
    cases.push_back({std::to_string(rate), rate, {rate, low - 1}, bad, "1 ", none, 1, 0});
  }
  for (const auto& [name, expected, figures, status, dropouts, since, errorLines, shown] : cases) {
    test::FakeStatusWindow window;
    int64_t now = 0;
    QualityGauge gauge(&window, [&] { return now; });
    test::LogTail log;
    for (int actual : figures) {
      if (actual <= kSilent)
        gauge.setDeadAir(actual == kSilent);
      else
        gauge.setNetworkQuality(actual, expected);
      now += 1000;
    }
    EXPECT_EQ(std::tuple(window.label(kQualityStatusLabel), window.label(kQualityDropoutsLabel),
                         window.label(kQualitySinceLabel), log.count(kErrorLine), window.shown()),
              std::tuple(status, dropouts, since, errorLines, shown))
        << name;
  }
  for (auto [ratio, text] : {std::pair{0.979f, "97.9%"}, {0.98f, "100%"}, {1.3f, "100%"}, {0.0f, "100%"}})
    EXPECT_EQ(cpuQualityText(ratio), text) << ratio;
}

TEST(QualityGaugeTest, VoiceoverFeedsFromTwoThreadsCountEveryDropoutOnce) {
  test::FakeStatusWindow window;
  QualityGauge gauge(&window);
  test::LogTail log;
  auto feeder = [&](int good) {
    for (int i = 0; i < 300; ++i)
      gauge.setCpuQuality(0.5f), gauge.setNetworkQuality(i % 2 ? 100 : good, 32000);
  };
  std::thread playlist(feeder, 32000), capture(feeder, 40000);
  playlist.join();
  capture.join();
  std::vector<std::string> counts = window.labels(kQualityDropoutsLabel);
  ASSERT_FALSE(counts.empty());
  for (size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i], std::to_string(i + 1) + " ");
  EXPECT_EQ(log.count(kErrorLine), static_cast<int>(counts.size()));
}

}  // namespace
}  // namespace brovana
