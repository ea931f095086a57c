#include "diag/logger.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }

  // Seconds of 29 Jan 2001 (a Monday), hh:mm, plus `days`.
  static std::time_t at(int hour, int minute, int days = 0) {
    return 980726400 + days * 86400 + hour * 3600 + minute * 60;
  }

  std::string logText() const { return folder.read("live_log6.txt"); }

  test::TempFolder folder;
  test::ScopedChdir inFolder{folder.path()};
  test::FakePrompts prompts;
  LogBook book{[] { return 6; }};
};

void logLine(LogBook& book, const char* format, ...) {
  va_list args;
  va_start(args, format);
  book.log(format, args);
  va_end(args);
}

TEST_F(LoggerTest, FileIsNamedBySessionAndStartsWithTheHeader) {
  folder.write("live_log6.txt", "an older run\n");
  logLine(book, "Now playing %s\n", "tone.mp3");
  EXPECT_EQ(book.logPath(), folder.path() + "/live_log6.txt");
  std::string text = logText();
  EXPECT_EQ(text.find("an older run"), std::string::npos) << "an older log of that number is replaced";
  EXPECT_EQ(text.rfind("Brovana-Live 2.01 - Jan. 29, 2001 (build 110)\nLog file for ", 0), 0u);
  EXPECT_NE(text.find(", built on Thu Jan 25 10:41:35 2001\n" + std::string(kSeparatorLine) + "("),
            std::string::npos);
  EXPECT_NE(text.find(") Now playing tone.mp3\n"), std::string::npos);
}

TEST_F(LoggerTest, LineWithoutLineEndRunsIntoTheNext) {
  logLine(book, "first");
  logLine(book, "second\n");
  std::string text = logText();
  size_t first = text.find(") first(");
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_NE(text.find(") second\n", first), std::string::npos);
}

TEST_F(LoggerTest, LongMessagesAreCutAt1024Characters) {
  std::string longText(3000, 'x');
  logLine(book, "%s", longText.c_str());
  std::string text = logText();
  size_t start = text.rfind(") ") + 2;
  EXPECT_EQ(text.size() - start, 1024u);
}

TEST_F(LoggerTest, ListenerGraphRepeatsTheLastValueInEmptySlots) {
  book.addSample(0, at(10, 2), 5);
  book.addSample(0, at(10, 3), 9);  // same slot: passed over
  book.addSample(0, at(10, 17), 7);
  book.finish(prompts);
  std::string text = logText();
  std::string graph = "\n\n" + std::string(kSeparatorLine) + "Time Graph for Listeners\n" + kSeparatorLine +
                      "10:00 (5)|    *\n"
                      "10:05 (5)|    *\n"
                      "10:10 (5)|    *\n"
                      "10:15 (7)|      *\n";
  EXPECT_NE(text.find(graph), std::string::npos) << text;
  EXPECT_EQ(text.find("Time Graph for Dropouts"), std::string::npos) << "no dropouts, no dropout graph";
  EXPECT_EQ(text.find("Time Graph for Reconnects"), std::string::npos);
  EXPECT_TRUE(prompts.questions().empty());
}

TEST_F(LoggerTest, DayChangeWritesTheDateBetweenSeparatorsWithoutFillers) {
  book.addSample(0, at(23, 58), 3);
  book.addSample(0, at(0, 3, 1), 4);
  book.finish(prompts);
  std::string expected = std::string("23:55 (3)|  *\n") + kSeparatorLine + "01/30/01, Tuesday\n" + kSeparatorLine +
                         " 0:00 (4)|   *\n";
  EXPECT_NE(logText().find(expected), std::string::npos) << logText();
}

TEST_F(LoggerTest, SummaryCountsInOrderThenDropoutAndReconnectGraphs) {
  book.countTrackPlayed();
  book.countTrackPlayed();
  book.countPlaylistLoop();
  book.countFailedFile();
  EXPECT_EQ(book.countReconnect(), 1);
  book.setDropouts(3);
  book.setDropouts(3);
  book.setDropouts(5);
  book.finish(prompts);
  std::string text = logText();
  const char* lines[] = {") Exiting Brovana-Live\n",
                         ") 1 : files couldn't be played.\n",
                         ") 0 : internal errors\n",
                         ") 2 : tracks played\n",
                         ") 1 : loops through the playlist\n",
                         ") 1 : number of reconnects\n",
                         ") 0 : internal warnings\n",
                         ") 5 : total number of signal dropouts\n",
                         "Time Graph for Listeners\n",
                         "Time Graph for Dropouts\n",
                         "Time Graph for Reconnects\n"};
  size_t from = 0;
  for (const char* line : lines) {
    size_t found = text.find(line, from);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
    from = found;
  }
  // 3 then 2 more dropouts in one slot: a line that counts the slot's 5.
  std::string dropouts = text.substr(text.find("Time Graph for Dropouts"));
  EXPECT_NE(dropouts.find(" (5)|    *\n"), std::string::npos) << dropouts;
}

TEST_F(LoggerTest, SummingGraphCountsEachSlotOnItsOwn) {
  book.addSample(1, at(9, 1), 2);
  book.addSample(1, at(9, 4), 1);
  book.addSample(1, at(9, 12), 4);
  book.setDropouts(7);
  book.finish(prompts);
  std::string text = logText();
  std::string graph = text.substr(text.find("Time Graph for Dropouts"));
  EXPECT_NE(graph.find(" 9:00 (3)|  *\n 9:05 (0)|\n 9:10 (4)|   *\n"), std::string::npos) << graph;
}

TEST_F(LoggerTest, ManyReconnectsWithFailedFilesOfferTheLog) {
  for (int i = 0; i < 4; ++i) book.countReconnect();
  book.finish(prompts);
  EXPECT_TRUE(prompts.questions().empty()) << "4 reconnects without a failed file ask nothing";

  LogBook second([] { return 7; });
  for (int i = 0; i < 4; ++i) second.countReconnect();
  second.countFailedFile();
  second.finish(prompts);
  ASSERT_EQ(prompts.questions().size(), 1u);
  EXPECT_EQ(prompts.questions()[0].text,
            "Your broadcast encountered some errors. Would you like to see the log file?");
  ASSERT_EQ(prompts.opened().size(), 1u);
  EXPECT_EQ(prompts.opened()[0], folder.path() + "/live_log7.txt");
}

TEST_F(LoggerTest, SeriesBeyondTheFiveAreIgnored) {
  book.addcount(7, 1);
  book.addcount(-1, 1);
  book.addcount(2, 1);
  EXPECT_EQ(book.reconnects(), 0) << "addcount does not count reconnects";
}

class FixedStats : public StatsSource {
 public:
  bool refreshStats(ListenerStats& out) override {
    out = {12, 34, 4.5f};
    return true;
  }
  std::string memberName() const override { return "djtest"; }
};

TEST_F(LoggerTest, StatisticsComeFromTheSourceAndTheUserLineNamesTheMember) {
  EXPECT_EQ(book.listeners(), 0) << "no source: the values last stored";
  FixedStats stats;
  book.setStatsSource(&stats);
  EXPECT_EQ(book.listeners(), 12);
  EXPECT_EQ(book.averageMinutes(), 34);
  EXPECT_FLOAT_EQ(book.rating(), 4.5f);
  logLine(book, "start\n");
  book.logUserInfo();
  book.sampleListeners();
  std::string text = logText();
  EXPECT_NE(text.find(") User : djtest, "), std::string::npos);
  EXPECT_NE(text.find(std::string(kSeparatorLine), text.find("User : ")), std::string::npos);
  book.finish(prompts);
  EXPECT_NE(logText().find("(12)|           *\n"), std::string::npos);
}

TEST_F(LoggerTest, ConcurrentFirstLinesLandWholeInOneFile) {
  constexpr int kThreads = 8, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) logLine(book, "thread %d line %d end\n", t, i);
    });
  for (auto& thread : threads) thread.join();
  std::istringstream in(logText());
  std::string line;
  int whole = 0;
  while (std::getline(in, line)) {
    if (line.find("thread ") == std::string::npos) continue;
    EXPECT_EQ(line.rfind(" end"), line.size() - 4) << line;
    EXPECT_EQ(line.find("thread ", line.find("thread ") + 1), std::string::npos) << line;
    ++whole;
  }
  EXPECT_EQ(whole, kThreads * kLines);
}

}  // namespace
}  // namespace brovana
