#pragma once
// The title on the air, to the member's own broadcast server, the way a SHOUTcast v1 server takes
// it from its source: GET /admin.cgi?pass=PASSWORD&mode=updinfo&song=TITLE on its listener port
// (one below the source port). Listeners' players show it from the stream's metadata.
//
// One thread of its own with one slot, as the service's song updates: a title handed over while
// another waits replaces it. A server that refuses is logged once until it takes one again; the
// stream never waits for any of this.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "net/server_info.h"

namespace brovana {

class HttpClient;

class StationTitleSender {
 public:
  explicit StationTitleSender(HttpClient& http);
  ~StationTitleSender();
  StationTitleSender(const StationTitleSender&) = delete;
  StationTitleSender& operator=(const StationTitleSender&) = delete;

  // The server as the account names it; nothing goes out without a host and port.
  void send(const ServerInfo& server, const std::string& title);

 private:
  struct Update {
    std::string host;  // "HOST:PORT", the listener port
    std::string path;
  };
  void run();
  void deliver(const Update& update);

  HttpClient& http_;
  std::mutex mutex_;  // the slot and stop_
  std::condition_variable wake_;
  std::optional<Update> pending_;
  std::atomic<bool> stop_{false};
  bool refusing_ = false;  // the thread's: the episode already logged
  std::thread thread_;     // last: it starts once the rest is made
};

}  // namespace brovana
