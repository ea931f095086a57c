#include "monitor/quality_gauge.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/fake_views.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

constexpr const char* kErrorLine = "ERROR : Line dropouts, output to network is";

TEST(QualityGaugeTest, JudgesEachRateAgainstItsThresholdAndCountsGoodToBadChanges) {
  // name, expected rate, the figures (one a second); status, dropouts and since labels, error lines, shown
  using Case =
      std::tuple<std::string, int, std::vector<int>, std::string, std::string, std::string, int, int>;
  const std::string good = kStreamGoodText, bad = kStreamDropoutsText, none = "<unset>";
  std::vector<Case> cases = {
      {"bad from the first figure counts nothing", 32000, {30398, 1000}, none, none, none, 0, 0},
      {"a rate of 0 is no figure", 32000, {30399, 0}, good, none, none, 0, 0},
      {"good, bad, good, bad: two", 32000, {40000, 100, 40000, 100}, bad, "2 ", "0:00:01", 2, 0},
      {"three keep the window hidden", 24000, {22799, 1, 22799, 1, 22799, 1}, bad, "3 ", "0:00:01", 3, 0},
      {"the fourth shows it", 24000, {22799, 1, 22799, 1, 22799, 1, 22799, 1}, bad, "4 ", "0:00:01", 4, 1},
      {"since: from the dropout's start", 56000, {53199, 53198, 10, 60000}, good, "1 ", "0:00:02", 1, 0},
  };
  // At each output rate: the threshold is good, one less is bad.
  for (auto [rate, threshold] : {std::pair{16000, 15199}, {24000, 22799}, {32000, 30399}, {56000, 53199}})
    cases.push_back({std::to_string(rate), rate, {threshold, threshold - 1}, bad, "1 ", none, 1, 0});
  for (const auto& [name, expected, figures, status, dropouts, since, errorLines, shown] : cases) {
    test::FakeStatusWindow window;
    int64_t now = 0;
    QualityGauge gauge(&window, [&] { return now; });
    test::LogTail log;
    for (int actual : figures) gauge.setNetworkQuality(actual, expected), now += 1000;
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
