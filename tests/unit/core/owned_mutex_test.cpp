#include "core/owned_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace brovana {
namespace {

using namespace std::chrono_literals;

TEST(OwnedMutexTest, NobodyOwningIsReleasedAtOnce) {
  OwnedMutex mutex;
  EXPECT_FALSE(mutex.owned());
  EXPECT_TRUE(mutex.waitReleased(0ms));
}

TEST(OwnedMutexTest, WaiterSeesTheOwnerLetGo) {
  OwnedMutex mutex;
  std::promise<void> owning;
  std::promise<void> letGo;
  std::thread worker([&] {
    OwnedMutex::Hold hold(mutex);
    owning.set_value();
    letGo.get_future().wait();
  });  // the hold ends with the thread's function, as a worker that returns early would
  owning.get_future().wait();
  EXPECT_TRUE(mutex.owned());
  EXPECT_FALSE(mutex.waitReleased(20ms)) << "still owned: the wait times out";
  auto waiter = std::async(std::launch::async, [&] { return mutex.waitReleased(60s); });
  letGo.set_value();
  EXPECT_TRUE(waiter.get());
  worker.join();
  EXPECT_FALSE(mutex.owned());
}

TEST(OwnedMutexTest, OverlappingOwnersMustBothLetGo) {
  OwnedMutex mutex;
  auto first = std::make_unique<OwnedMutex::Hold>(mutex);
  {
    OwnedMutex::Hold second(mutex);
    second.release();
    second.release();  // a second release is no release
    EXPECT_TRUE(mutex.owned());
  }
  EXPECT_TRUE(mutex.owned());
  first.reset();
  EXPECT_TRUE(mutex.waitReleased(0ms));
}

TEST(TimedMutexTest, TimedLockWaitsForTheHolderOrGivesUp) {
  TimedMutex mutex;
  std::unique_lock held(mutex);
  EXPECT_FALSE(mutex.try_lock());
  EXPECT_FALSE(mutex.try_lock_for(10ms));
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    std::unique_lock later(mutex, std::defer_lock);
    got = later.try_lock_for(60s);
  });
  held.unlock();
  waiter.join();
  EXPECT_TRUE(got.load());
  EXPECT_TRUE(mutex.try_lock()) << "the waiter's lock ended with its scope";
  mutex.unlock();
}

}  // namespace
}  // namespace brovana
