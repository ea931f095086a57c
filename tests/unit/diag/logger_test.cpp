#include "diag/logger.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace brovana {
namespace {

const std::string kSep = kSeparatorLine;

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
  void line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    book.log(format, args);
    va_end(args);
  }
  std::string text() const { return folder.read("live_log6.txt"); }
  std::string finished() {
    book.writeSummary();
    book.writeGraphsAndClose();
    return text();
  }

  test::TempFolder folder;
  test::ScopedChdir inFolder{folder.path()};
  LogBook book{[] { return 6; }};
};

TEST_F(LoggerTest, FileIsNamedBySessionStartsWithTheHeaderAndCutsLongLines) {
  folder.write("live_log6.txt", "an older run\n");
  line("first");
  line("Now playing %s\n", "tone.mp3");
  line("%s", std::string(3000, 'x').c_str());
  EXPECT_EQ(book.logPath(), folder.path() + "/live_log6.txt");
  std::string log = text();
  EXPECT_EQ(log.rfind("Brovana-Live 2.01 - Jan. 29, 2001 (build 110)\nLog file for ", 0), 0u) << log;
  EXPECT_NE(log.find(", built on Thu Jan 25 10:41:35 2001\n" + kSep + "("), std::string::npos);
  EXPECT_NE(log.find(") first("), std::string::npos) << "a line without its end runs into the next";
  EXPECT_NE(log.find(") Now playing tone.mp3\n"), std::string::npos);
  EXPECT_EQ(log.size() - (log.rfind(") ") + 2), 1024u);
}

TEST_F(LoggerTest, SummaryInOrderThenTheGraphs) {
  book.countTrackPlayed();
  book.countTrackPlayed();
  book.countPlaylistLoop();
  book.countFailedFile();
  EXPECT_EQ(book.countReconnect(), 1);
  EXPECT_FALSE(book.troubledRun()) << "a failed file and one reconnect are no troubled run";
  for (int i = 0; i < 2; ++i) book.countReconnect();
  EXPECT_TRUE(book.troubledRun()) << "three reconnects with a failed file are";
  for (int total : {3, 3, 5}) book.setDropouts(total);
  book.addSample(0, at(10, 2), 5);
  book.addSample(0, at(10, 3), 9);  // the same slot: passed over
  book.addSample(0, at(10, 17), 7);
  book.addcount(7, 1);  // no such series
  std::string log = finished();
  size_t from = 0;
  for (const std::string& expected :
       {std::string(") 1 : files couldn't be played.\n"), std::string(") 2 : tracks played\n"),
        std::string(") 1 : loops through the playlist\n"), std::string(") 3 : number of reconnects\n"),
        std::string(") 5 : total number of signal dropouts\n"),
        "Time Graph for Listeners\n" + kSep +
            "10:00 (5)|    *\n10:05 (5)|    *\n10:10 (5)|    *\n10:15 (7)|      *\n",
        std::string("Time Graph for Dropouts\n"), std::string(" (5)|    *\n")}) {
    size_t found = log.find(expected, from);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << expected << "\n" << log;
    from = found;
  }
}

TEST_F(LoggerTest, ConcurrentFirstLinesLandWholeInOneFile) {
  constexpr int kThreads = 8, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) line("thread %d line %d end\n", t, i);
    });
  for (auto& thread : threads) thread.join();
  std::istringstream in(text());
  int whole = 0;
  for (std::string l; std::getline(in, l);) {
    if (l.find("thread ") == std::string::npos) continue;
    EXPECT_EQ(l.rfind(" end"), l.size() - 4) << l;
    ++whole;
  }
  EXPECT_EQ(whole, kThreads * kLines);
}

}  // namespace
}  // namespace brovana
