#pragma once
// The stop signal and the wait cursor, which every part of the studio shares.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/prompts.h"

namespace brovana {

// A stop asked for from any thread (a stop signal, the exit): the start-up and the waits of a
// start give up as soon as they see it. Its own mutex is held only to set and to wait.
class StopSignal {
 public:
  void request() {
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    wake_.notify_all();
  }
  bool requested() const { return requested_.load(); }
  // Waits `wait`, unless a stop comes first: then false.
  bool pause(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, wait, [this] { return requested_.load(); });
  }

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

// The wait cursor for as long as a hold lives; nested holds, from any thread, show it once.
class BusyCursor {
 public:
  explicit BusyCursor(Prompts& prompts) : prompts_(prompts) {}

  class Hold {
   public:
    explicit Hold(BusyCursor& cursor) : cursor_(cursor) {
      std::lock_guard lock(cursor_.mutex_);
      if (cursor_.depth_++ == 0) cursor_.prompts_.waitCursor(true);
    }
    ~Hold() {
      std::lock_guard lock(cursor_.mutex_);
      if (--cursor_.depth_ == 0) cursor_.prompts_.waitCursor(false);
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    BusyCursor& cursor_;
  };

 private:
  Prompts& prompts_;
  std::mutex mutex_;
  int depth_ = 0;
};

}  // namespace brovana
