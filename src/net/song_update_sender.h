#pragma once
// Carries the add_song requests on its own thread, so that announcing a track never holds up
// the audio. There is one slot, no queue: a request handed over while another is waiting
// replaces it, so of a burst of updates the last one is the one sure to arrive. The slot is
// written and read under a lock, so a request is always sent whole.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "net/web_service.h"

namespace brovana {

class SongUpdateSender {
 public:
  static constexpr size_t kMaxPathBytes = 1022;  // the slot's path

  // The thread starts at once and runs until stop() or destruction.
  explicit SongUpdateSender(HttpClient& http);
  ~SongUpdateSender();
  SongUpdateSender(const SongUpdateSender&) = delete;
  SongUpdateSender& operator=(const SongUpdateSender&) = delete;

  // Copies the request into the slot; returns at once.
  void handOver(SongRequest request);
  // Abandons a request on the wire, drops the waiting one and joins the thread.
  void stop();
  // True once nothing waits and nothing is on the wire, false after `limit`.
  bool waitIdle(std::chrono::milliseconds limit);
  // Requests sent since start (whatever their answer).
  int sentCount() const;

 private:
  void run();

  HttpClient& http_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<SongRequest> pending_;
  bool sending_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

}  // namespace brovana
