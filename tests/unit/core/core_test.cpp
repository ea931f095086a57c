#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "core/ini_file.h"
#include "core/interval.h"
#include "core/owned_mutex.h"
#include "core/text.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Sections and keys match regardless of case; the first occurrence wins; odd lines are skipped.
TEST(IniFile, ProfileRules) {
  IniFile ini = IniFile::parse(
      "key=before any section\n[Names]\r\nHostPlayName = Autopilot \r\n[playlist]\nno equals sign\n[broken\n"
      "k=\"quoted value\"\nk=second\n=novalue\n[PlayList]\nfile1=a\n");
  EXPECT_EQ(ini.value("names", "HOSTPLAYNAME"), "Autopilot");
  EXPECT_EQ(ini.value("PLAYLIST", "k"), "quoted value");
  EXPECT_EQ(ini.value("", "key"), std::nullopt);
  EXPECT_EQ(ini.entries("playlist").size(), 4u);
  test::TempFolder folder;
  EXPECT_FALSE(IniFile::load(folder.file("absent.ini")));
}

TEST(Text, NumbersSaturateAndLinesEndThreeWays) {
  for (auto [text, value] : {std::pair{"  -12x", -12}, {"abc", 0}, {"99999999999999", 2147483647}})
    EXPECT_EQ(parseInt(text), value) << text;
  EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string_view>{"a", "b", "c", "d"}));
  EXPECT_EQ(formatText("%s %d", std::string(5000, 'x').c_str(), 7), std::string(5000, 'x') + " 7");
}

TEST(IntervalElapsed, EachSlotPassesOnceAnInterval) {
  EXPECT_TRUE(intervalElapsed(7, 60'000));
  EXPECT_FALSE(intervalElapsed(7, 60'000));
  EXPECT_TRUE(intervalElapsed(8, 60'000)) << "slots are independent";
  EXPECT_FALSE(intervalElapsed(20, 0) || intervalElapsed(-1, 0)) << "slots beyond the 20 are refused";
  restartInterval(9);
  EXPECT_FALSE(intervalElapsed(9, 60'000)) << "a restarted slot waits a whole interval";
  EXPECT_TRUE(intervalElapsed(9, -1)) << "a negative interval has always passed";
  std::atomic<int> wins{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&] { wins += intervalElapsed(11, 60'000); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wins.load(), 1) << "racing threads win a slot once";
}

TEST(OwnedMutex, WaitersSeeEveryOwnerLetGo) {
  OwnedMutex mutex;
  EXPECT_TRUE(!mutex.owned() && mutex.waitReleased(0ms));
  std::promise<void> owning, letGo;
  std::thread worker([&] {
    OwnedMutex::Hold hold(mutex);
    owning.set_value();
    letGo.get_future().wait();
  });  // the hold ends with the thread's function, as a worker that returns early would
  owning.get_future().wait();
  EXPECT_FALSE(mutex.waitReleased(20ms)) << "still owned: the wait times out";
  auto waiter = std::async(std::launch::async, [&] { return mutex.waitReleased(60s); });
  letGo.set_value();
  EXPECT_TRUE(waiter.get());
  worker.join();
  // Overlapping owners must both let go; a second release is no release.
  auto first = std::make_unique<OwnedMutex::Hold>(mutex);
  OwnedMutex::Hold second(mutex);
  second.release();
  second.release();
  EXPECT_TRUE(mutex.owned());
  first.reset();
  EXPECT_TRUE(mutex.waitReleased(0ms));
}

TEST(TimedMutex, TimedLockWaitsForTheHolderOrGivesUp) {
  TimedMutex mutex;
  std::unique_lock held(mutex);
  EXPECT_FALSE(mutex.try_lock_for(10ms));
  std::thread waiter([&] { EXPECT_TRUE(std::unique_lock(mutex, std::defer_lock).try_lock_for(60s)); });
  held.unlock();
  waiter.join();
}

}  // namespace
}  // namespace brovana
