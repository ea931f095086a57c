#include "monitor/status_display.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "diag/logger.h"
#include "support/fake_views.h"

namespace brovana {
namespace {

using test::FakeMainWindow;
using test::FakeStatusWindow;
using test::FakeTextTarget;

class FixedStats : public StatsSource {
 public:
  FixedStats(int listeners, int minutes, float rating) : stats_{listeners, minutes, rating} {}
  bool refreshStats(ListenerStats& out) override {
    out = stats_;
    return true;
  }
  std::string memberName() const override { return "alice"; }

 private:
  ListenerStats stats_;
};

class StatusDisplayTest : public ::testing::Test {
 protected:
  StatusDisplayTest() {
    display.setMainField(MainField::ConnectionState, &fields[0]);
    display.setMainField(MainField::DataCounter, &fields[1]);
    display.setMainField(MainField::NextTrack, &fields[2]);
    display.setMainField(MainField::Cleared1, &fields[3]);
    display.setMainField(MainField::Cleared2, &fields[4]);
    display.setSkinLabels(&skinNowPlaying, &skinElapsed, &skinRemaining);
  }
  ~StatusDisplayTest() override { Logger::setStatsSource(nullptr); }

  FakeStatusWindow window;
  FakeMainWindow mainWindow;
  FakeTextTarget fields[kMainFieldCount];
  FakeTextTarget skinNowPlaying, skinElapsed, skinRemaining;
  StatusDisplay display{&window, &mainWindow};
};

TEST_F(StatusDisplayTest, EachReportReachesItsLabelsFieldsAndSkinLabels) {
  struct Case {
    const char* name;
    std::function<void(StatusDisplay&)> report;
    std::vector<std::pair<int, std::string>> labels;
    std::vector<std::pair<FakeTextTarget*, std::string>> targets;
  };
  const std::string gap(17, ' ');
  auto& f = fields;
  std::vector<Case> cases = {
      {"connection state",
       [](StatusDisplay& d) { d.setStatusText("Connected!!"); },
       {{1047, "Connected!!"}},
       {{&f[0], "Connected!!"}}},
      {"data counter",
       [](StatusDisplay& d) { d.setDataCounter("12 kb"); },
       {{1049, "12 kb"}},
       {{&f[1], "12 kb"}}},
      {"now playing",
       [](StatusDisplay& d) { d.setNowPlaying("Tone"); },
       {{1038, "Tone"}},
       {{&skinNowPlaying, "Tone"}}},
      {"next track", [](StatusDisplay& d) { d.setNextTrack("end"); }, {{1040, "end"}}, {{&f[2], "end"}}},
      {"playlist name, also as now playing",
       [](StatusDisplay& d) { d.setPlaylistName("e.m3u"); },
       {{1051, "e.m3u"}, {1038, "e.m3u"}},
       {{&skinNowPlaying, "e.m3u"}}},
      {"line speeds by name",
       [](StatusDisplay& d) { d.showLineSpeeds(56000, 24000); },
       {{1081, "56K modem"}, {1083, "24Kbps/mono (28.8K modem)"}},
       {}},
      {"fast line",
       [](StatusDisplay& d) { d.showLineSpeeds(100000, 56000); },
       {{1081, "T1/DSL/ISDN/Cable"}, {1083, "56Kbps/stereo (T1/DSL/ISDN/Cable)"}},
       {}},
      {"odd speeds",
       [](StatusDisplay& d) { d.showLineSpeeds(40000, 8000); },
       {{1081, "---"}, {1083, "---"}},
       {}},
      {"input speed alone", [](StatusDisplay& d) { d.showLineSpeed(32000); }, {{1081, "33K modem"}}, {}},
      {"output rate alone",
       [](StatusDisplay& d) { d.showOutputBitrate(32000); },
       {{1083, "32Kbps/stereo (56K modem)"}},
       {}},
      {"connected time past a day",
       [](StatusDisplay& d) { d.showOnAirTime(100 * 3600 + 7 * 60 + 5); },
       {{1070, "100:07:05"}},
       {}},
      {"last error",
       [](StatusDisplay& d) { d.setLastError("Cannot convert"); },
       {{1065, "Cannot convert"}},
       {}},
      {"playlist times",
       [](StatusDisplay& d) { d.showPlaylistTimes("1:00", "59:00"); },
       {{1076, "1:00" + gap + "59:00"}},
       {}},
      {"track times",
       [](StatusDisplay& d) { d.showTrackTimes("0:10", "3:20"); },
       {{1075, "0:10" + gap + "3:20"}},
       {{&skinElapsed, "0:10"}, {&skinRemaining, "3:20"}}},
      {"track number", [](StatusDisplay& d) { d.showTrackNumber(7); }, {{kLabelTrackNumber, "7"}}, {}},
      {"track format", [](StatusDisplay& d) { d.showTrackFormat("44100 Hz"); }, {{1079, "44100 Hz"}}, {}},
      {"no track format", [](StatusDisplay& d) { d.showTrackFormat(""); }, {{1079, " "}}, {}},
      {"an empty text shows as a blank",
       [](StatusDisplay& d) { d.setStatusText(""); },
       {{1047, " "}},
       {{&f[0], " "}}},
  };
  for (const Case& c : cases) {
    FakeStatusWindow caseWindow;
    display.setStatusWindow(&caseWindow);
    c.report(display);
    for (const auto& [id, text] : c.labels)
      EXPECT_EQ(caseWindow.label(id), text) << c.name << ", label " << id;
    EXPECT_EQ(caseWindow.labels().size(), c.labels.size()) << c.name << ": no other label changes";
    for (const auto& [target, text] : c.targets) EXPECT_EQ(target->text(), text) << c.name;
  }
}

TEST_F(StatusDisplayTest, ErrorCountsComeFromTheLogger) {
  int failedBefore = Logger::failedFiles();
  Logger::countFailedFile();
  Logger::countFailedFile();
  int reconnects = Logger::countReconnect();
  display.refreshCounters();
  EXPECT_EQ(window.label(1062), std::to_string(failedBefore + 2));
  EXPECT_EQ(window.label(1063), std::to_string(reconnects));
  display.showTrackNumber(4);
  EXPECT_EQ(window.label(1063), std::to_string(reconnects))
      << "the track number does not overwrite the count";
}

TEST_F(StatusDisplayTest, ClearBlanksTheTrackTextsAndKeepsTheRest) {
  FixedStats stats(3, 4, 5);
  Logger::setStatsSource(&stats);
  display.setStatusText("Connected!!");
  display.setDataCounter("1 kb");
  display.setNowPlaying("song");
  display.setNextTrack("next");
  display.setPlaylistName("list.m3u");
  display.showLineSpeeds(56000, 32000);
  display.refreshCounters();
  display.showListeners("bob");
  EXPECT_EQ(window.label(1059), "2.5") << "half the rating";
  EXPECT_EQ(window.label(1058), "4");
  display.showTrackTimes("0:01", "0:02");
  display.showTrackFormat("format");
  std::map<int, std::string> before = window.labels();

  display.clear();

  for (int id : {1047, 1049, 1038, 1040, 1045, 1054, 1079})
    EXPECT_EQ(window.label(id), " ") << "label " << id;
  for (int id : {1051, 1081, 1083, 1062, 1063, 1058, 1059, 1075})
    EXPECT_EQ(window.label(id), before[id]) << "label " << id << " stays";
  for (FakeTextTarget& field : fields) EXPECT_EQ(field.text(), " ");
  for (FakeTextTarget* skin : {&skinNowPlaying, &skinElapsed, &skinRemaining}) EXPECT_EQ(skin->text(), " ");
  EXPECT_EQ(window.title(), "bob has 3 listeners");
}

TEST_F(StatusDisplayTest, StateCodesSetTheMainWindowTitle) {
  FixedStats stats(9, 0, 0);
  Logger::setStatsSource(&stats);
  struct Case {
    int state;
    std::string title;
  };
  const Case cases[] = {
      {1, "Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (9 listeners)"},
      {2, "Brovana-Live 2.01 - Jan. 29, 2001 - Off the Air!"},
      {3, "Unable to connect, try restarting Brovana-Live"},
      {4, "Standby, turning on your server"},
  };
  for (const Case& c : cases) {
    display.setState(c.state);
    EXPECT_EQ(mainWindow.title(), c.title) << "state " << c.state;
  }
  size_t titles = mainWindow.titles().size();
  for (int unchanged : {0, 5, 6, -1}) display.setState(unchanged);
  EXPECT_EQ(mainWindow.titles().size(), titles) << "other states leave the title alone";
}

TEST_F(StatusDisplayTest, MissingTargetsAreSkipped) {
  StatusDisplay bare;
  bare.setStatusText("x");
  bare.setNowPlaying("y");
  bare.showTrackTimes("1", "2");
  bare.setState(2);
  bare.clear();
  bare.show();
  display.setMainField(MainField::ConnectionState, nullptr);
  display.setStatusText("only the label");
  EXPECT_EQ(fields[0].count(), 0u);
  EXPECT_EQ(window.label(1047), "only the label");
  display.show();
  EXPECT_EQ(window.shown(), 1);
}

TEST_F(StatusDisplayTest, ReportsFromManyThreadsAllArrive) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < 200; ++i) {
        display.setStatusText("t" + std::to_string(t));
        display.showOnAirTime(i);
        display.showTrackTimes("a", "b");
        if (i == 100 && t == 0) display.setSkinLabels(&skinNowPlaying, nullptr, nullptr);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(window.labelHistory(1047).size(), 800u);
  EXPECT_EQ(fields[0].count(), 800u);
}

}  // namespace
}  // namespace brovana
