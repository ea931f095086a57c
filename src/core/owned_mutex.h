#pragma once
// An in-process stand-in for a named mutex that a worker thread owns while it works. Other
// threads never take it; they only wait, with a time limit, for the worker to let go. A worker
// that ends without letting go counts as having let go (the holder is an RAII guard).

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace brovana {

class OwnedMutex {
 public:
  class Hold {
   public:
    explicit Hold(OwnedMutex& mutex) : mutex_(&mutex) { mutex_->own(); }
    ~Hold() { release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    void release() {
      if (mutex_ != nullptr) mutex_->letGo();
      mutex_ = nullptr;
    }

   private:
    OwnedMutex* mutex_;
  };

  // True when no worker owns it: at once when none does ("the mutex does not exist"), else once
  // the owner lets go within `limit`; false on a time-out.
  bool waitReleased(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return released_.wait_for(lock, limit, [this] { return owners_ == 0; });
  }

  bool owned() const {
    std::lock_guard lock(mutex_);
    return owners_ > 0;
  }

 private:
  void own() {
    std::lock_guard lock(mutex_);
    ++owners_;
  }
  void letGo() {
    {
      std::lock_guard lock(mutex_);
      --owners_;
    }
    released_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable released_;
  // Two workers can overlap briefly when a new list run starts while an old one is ending.
  int owners_ = 0;
};

// A mutex with timed waits, on a plain mutex and a condition variable. (The library's
// timed_mutex waits with a call that ThreadSanitizer does not follow, which then reports every
// unlock after a timed lock as wrong.) Usable with lock_guard and unique_lock.
class TimedMutex {
 public:
  void lock() {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [this] { return !locked_; });
    locked_ = true;
  }
  bool try_lock() {
    std::lock_guard lock(mutex_);
    if (locked_) return false;
    locked_ = true;
    return true;
  }
  template <typename Rep, typename Period>
  bool try_lock_for(std::chrono::duration<Rep, Period> limit) {
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, limit, [this] { return !locked_; })) return false;
    locked_ = true;
    return true;
  }
  void unlock() {
    {
      std::lock_guard lock(mutex_);
      locked_ = false;
    }
    freed_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  bool locked_ = false;
};

}  // namespace brovana
