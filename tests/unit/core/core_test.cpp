#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "core/interval.h"
#include "core/owned_mutex.h"
#include "core/text.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

TEST(IntervalElapsed, EachSlotPassesOnceAnInterval) {
  EXPECT_TRUE(intervalElapsed(7, 60'000));
  EXPECT_FALSE(intervalElapsed(7, 60'000));
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
}

}  // namespace
}  // namespace brovana
