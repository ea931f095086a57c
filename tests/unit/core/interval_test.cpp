#include "core/interval.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace brovana {
namespace {

TEST(IntervalElapsed, FirstQuestionPassesThenTheSlotWaitsItsInterval) {
  EXPECT_TRUE(intervalElapsed(7, 60'000));
  EXPECT_FALSE(intervalElapsed(7, 60'000));
  EXPECT_TRUE(intervalElapsed(8, 60'000)) << "slots are independent";
  EXPECT_FALSE(intervalElapsed(20, 0)) << "slots beyond the 20 are refused";
  EXPECT_FALSE(intervalElapsed(-1, 0));
}

TEST(IntervalElapsed, RestartedSlotWaitsAWholeInterval) {
  restartInterval(9);
  EXPECT_FALSE(intervalElapsed(9, 60'000));
  EXPECT_TRUE(intervalElapsed(9, -1)) << "a negative interval has always passed";
}

TEST(IntervalElapsed, RacingThreadsWinASlotOnce) {
  std::atomic<int> wins{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      if (intervalElapsed(11, 60'000)) ++wins;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wins.load(), 1);
}

}  // namespace
}  // namespace brovana
