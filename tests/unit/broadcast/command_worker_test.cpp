// The studio's command worker: commands in the order given, one at a time, awaited through the
// front end's waiter, and a close that keeps the command under way and drops the rest.

#include "broadcast/command_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "support/journal.h"

namespace brovana {
namespace {

// Waits as a front end would: it turns its own loop, here a count of turns, until the command is
// done; a question of the command runs on its turn.
struct CountingWaiter final : CommandWaiter {
  void waitUntil(const std::function<bool()>& done) override {
    while (!done()) {
      ++turns;
      std::unique_lock lock(mutex);
      changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return woken; });
      woken = false;
    }
  }
  void wake() override {
    std::lock_guard lock(mutex);
    woken = true;
    changed.notify_all();
  }
  std::mutex mutex;
  std::condition_variable changed;
  bool woken = false;
  std::atomic<int> turns{0};
};

TEST(CommandWorker, RunsInOrderAwaitsThroughTheWaiterAndCloseKeepsOnlyTheCommandUnderWay) {
  for (bool withWaiter : {false, true}) {
    SCOPED_TRACE(withWaiter);
    std::string done;              // written by the worker, read once it is idle
    std::atomic<int> finished{0};  // told after each command's end
    CountingWaiter waiter;
    CommandWorker worker([&] { ++finished; });
    if (withWaiter) worker.setWaiter(&waiter);
    std::atomic<bool> release{false};
    worker.post([&] {
      test::eventually([&] { return release.load(); });
      done += "a";
    });
    worker.post([&] { done += "b"; });
    EXPECT_TRUE(worker.busy());
    // Released once the front end waits (with a waiter: has turned), so that the wait is real.
    std::thread releaseFirst([&] {
      if (withWaiter) test::eventually([&] { return waiter.turns > 0; });
      release = true;
    });
    // A command awaited from the worker itself runs at once, not behind itself.
    worker.await([&] { worker.await([&] { done += "c"; }); });
    releaseFirst.join();
    EXPECT_EQ(done, "abc");
    EXPECT_TRUE(test::eventually([&] { return finished == 3; }));
    if (!withWaiter) continue;
    EXPECT_GT(waiter.turns.load(), 0) << "the front end turned while it waited";

    // Closed while a command runs: it runs to its end, what is queued behind it never runs.
    release = false;
    std::atomic<bool> running{false};
    worker.post([&] {
      running = true;
      test::eventually([&] { return release.load(); });
      done += "d";
    });
    worker.post([&] { done += "dropped"; });
    ASSERT_TRUE(test::eventually([&] { return running.load(); }));
    int turns = waiter.turns;
    std::thread releaser([&] {
      test::eventually([&] { return waiter.turns > turns; });  // close is waiting
      release = true;
    });
    worker.close();
    releaser.join();
    EXPECT_EQ(done, "abcd");
    EXPECT_FALSE(worker.busy());
    worker.post([&] { done += "refused"; });
    worker.await([&] { done += "refused"; });
    EXPECT_EQ(done, "abcd");
  }
}

}  // namespace
}  // namespace brovana
