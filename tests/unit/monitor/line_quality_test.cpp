#include "monitor/line_quality.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/fake_views.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

using test::FakeStatusWindow;

constexpr const char* kErrorLine = "ERROR : Line dropouts, output to network is";

TEST(LineQualityTest, JudgesEachRateAgainstItsThresholdAndCountsGoodToBadChanges) {
  struct Figure {
    int actual;
    int64_t atMs = 0;
  };
  struct Case {
    std::string name;
    int expected;
    std::vector<Figure> figures;
    std::string status, dropouts, since;
    int errorLines, shown;
  };
  const std::string good = kStreamGoodText, bad = kStreamDropoutsText, unset = "<unset>";
  std::vector<Case> cases = {
      {"30399 is good at 32k", 32000, {{30399}}, good, unset, unset, 0, 0},
      {"bad from the first figure counts nothing", 32000, {{30398}, {1000}}, unset, unset, unset, 0, 0},
      {"a rate of 0 is no figure", 32000, {{30399}, {0}}, good, unset, unset, 0, 0},
      {"good, bad, good, bad: two dropouts",
       32000,
       {{40000}, {100}, {40000}, {100}},
       bad,
       "2 ",
       "0:00:00",
       2,
       0},
      {"three dropouts keep the window hidden",
       24000,
       {{22799}, {1}, {22799}, {1}, {22799}, {1}},
       bad,
       "3 ",
       "0:00:00",
       3,
       0},
      {"the fourth shows it",
       24000,
       {{22799}, {1}, {22799}, {1}, {22799}, {1}, {22799}, {1}},
       bad,
       "4 ",
       "0:00:00",
       4,
       1},
      {"since counts from the start of the last dropout",
       56000,
       {{53199, 0}, {53198, 1000}, {10, 9000}, {60000, 3725000}},
       good,
       "1 ",
       "1:02:04",
       1,
       0},
  };
  for (auto [rate, threshold] : {std::pair{16000, 15199}, {24000, 22799}, {32000, 30399}, {56000, 53199}})
    cases.push_back({std::to_string(threshold) + " - 1 is bad at " + std::to_string(rate),
                     rate,
                     {{threshold}, {threshold - 1}},
                     bad,
                     "1 ",
                     unset,
                     1,
                     0});

  for (const Case& c : cases) {
    FakeStatusWindow window;
    int64_t now = 0;
    LineQuality gauge(&window, [&] { return now; });
    test::LogTail log;
    for (const Figure& f : c.figures) {
      now = f.atMs;
      gauge.setNetworkQuality(f.actual, c.expected);
    }
    EXPECT_EQ(window.label(kQualityStatusLabel), c.status) << c.name;
    EXPECT_EQ(window.label(kQualityDropoutsLabel), c.dropouts) << c.name;
    EXPECT_EQ(window.label(kQualitySinceLabel), c.since) << c.name;
    EXPECT_EQ(log.count(kErrorLine), c.errorLines) << c.name;
    EXPECT_EQ(window.shown(), c.shown) << c.name;
  }

  FakeStatusWindow window;
  LineQuality gauge(&window);
  for (auto [ratio, text] :
       {std::pair{0.979f, "97.9%"}, {0.875f, "87.5%"}, {0.98f, "100%"}, {1.3f, "100%"}, {0.0f, "100%"}}) {
    gauge.setCpuQuality(ratio);
    EXPECT_EQ(window.label(kQualityCpuLabel), text) << ratio;
  }
  gauge.setNetworkQuality(31000, 32000);
  EXPECT_EQ(window.label(kQualityNetworkLabel), "31000 (32000) bps");
}

TEST(LineQualityTest, VoiceoverFeedsFromTwoThreadsCountEveryDropoutOnce) {
  FakeStatusWindow window;
  LineQuality gauge(&window);
  test::LogTail log;
  auto feeder = [&](int actualWhenGood) {
    for (int i = 0; i < 300; ++i) {
      gauge.setCpuQuality(0.5f + static_cast<float>(i % 2));
      gauge.setNetworkQuality(i % 2 ? 100 : actualWhenGood, 32000);
    }
  };
  std::thread playlist(feeder, 32000), capture(feeder, 40000);
  playlist.join();
  capture.join();
  std::vector<std::string> counts = window.labelHistory(kQualityDropoutsLabel);
  ASSERT_FALSE(counts.empty());
  for (size_t i = 0; i < counts.size(); ++i) EXPECT_EQ(counts[i], std::to_string(i + 1) + " ");
  EXPECT_EQ(log.count(kErrorLine), static_cast<int>(counts.size()));
}

}  // namespace
}  // namespace brovana
