#include "monitor/status_display.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "diag/logger.h"
#include "support/fake_views.h"

namespace brovana {
namespace {

class FixedStats : public StatsSource {
 public:
  bool refreshStats(ListenerStats& out) override {
    out = {9, 4, 5};
    return true;
  }
  std::string memberName() const override { return "bob"; }
};

class StatusDisplayTest : public ::testing::Test {
 protected:
  StatusDisplayTest() {
    display.setMainField(MainField::ConnectionState, &state);
    display.setMainField(MainField::NextTrack, &next);
    display.setSkinLabels(&skinTitle, &skinElapsed, &skinRemaining);
    Logger::setStatsSource(&stats);
  }
  ~StatusDisplayTest() override { Logger::setStatsSource(nullptr); }

  test::Journal journal;
  test::FakeStatusWindow window{journal};
  test::FakeMainWindow mainWindow{journal};
  test::FakeTextTarget state{journal, "field.state"}, next{journal, "field.next"};
  test::FakeTextTarget skinTitle{journal, "skin.title"}, skinElapsed{journal, "skin.elapsed"},
      skinRemaining{journal, "skin.remaining"};
  FixedStats stats;
  StatusDisplay display{&window, &mainWindow};
};

TEST_F(StatusDisplayTest, EachReportReachesItsTargets) {
  const std::string gap(17, ' ');
  const std::pair<std::function<void(StatusDisplay&)>, std::vector<std::string>> cases[] = {
      {[](StatusDisplay& d) { d.setStatusText("Connected!!"); },
       {"field.state Connected!!", "label 1047 Connected!!"}},
      {[](StatusDisplay& d) { d.setStatusText(""); }, {"field.state  ", "label 1047  "}},
      {[](StatusDisplay& d) { d.setNextTrack("end"); }, {"field.next end", "label 1040 end"}},
      {[](StatusDisplay& d) { d.setPlaylistName("e.m3u"); },
       {"label 1051 e.m3u", "label 1038 e.m3u", "skin.title e.m3u"}},
      {[](StatusDisplay& d) { d.showLineSpeeds(100000, 24000); },
       {"label 1081 T1/DSL/ISDN/Cable", "label 1083 24Kbps/mono (28.8K modem)"}},
      {[](StatusDisplay& d) { d.showLineSpeeds(40000, 8000); }, {"label 1081 ---", "label 1083 ---"}},
      {[](StatusDisplay& d) { d.showOnAirTime(100 * 3600 + 7 * 60 + 5); }, {"label 1070 100:07:05"}},
      {[](StatusDisplay& d) { d.showTrackTimes("0:10", "3:20"); },
       {"label 1075 0:10" + gap + "3:20", "skin.elapsed 0:10", "skin.remaining 3:20"}},
      {[](StatusDisplay& d) { d.showTrackNumber(7); }, {"label 1084 7"}},
      {[](StatusDisplay& d) { d.showListeners("bob"); },
       {"label 1059 2.5", "label 1058 4", "statusTitle bob has 9 listeners"}},
      {[](StatusDisplay& d) { d.setState(kTitleOnAir); },
       {"title Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (9 listeners)"}},
      {[](StatusDisplay& d) { d.setState(kTitleTurningServerOn); },
       {"title Standby, turning on your server"}},
      {[](StatusDisplay& d) { d.setState(kTitleReconnecting); }, {}},
      {[](StatusDisplay& d) { d.clear(); },
       {"field.state  ", "label 1047  ", "label 1049  ", "label 1038  ", "skin.title  ", "field.next  ",
        "label 1040  ", "skin.elapsed  ", "skin.remaining  ", "label 1045  ", "label 1054  ",
        "label 1079  "}},
  };
  for (const auto& [report, lines] : cases) {
    journal.clear();
    report(display);
    EXPECT_EQ(journal.lines(), lines);
  }
}

TEST_F(StatusDisplayTest, ReportsFromManyThreadsAllArrive) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < 200; ++i) {
        display.setStatusText("t" + std::to_string(t));
        display.refreshCounters();
        if (i == 100) display.setSkinLabels(&skinTitle, nullptr, nullptr);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(journal.with("label 1047").size(), 800u);
  EXPECT_EQ(journal.with("label 1063").size(), 800u);
}

}  // namespace
}  // namespace brovana
