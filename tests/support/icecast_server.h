#pragma once
// Icecast 2 as the broadcast server of the integration tests: started on free loopback ports
// with a generated configuration in a scratch folder. Its listen socket carries a
// <shoutcast-mount>, so the port above the listener port takes a source that logs in with a
// password line, exactly as a member's broadcast server does. Icecast refuses to run as root,
// so under root it drops to the Debian package's unprivileged user. It can be killed and started
// again on the same ports, and it is stopped when the object goes away.
//
// StreamListener is the other side: an HTTP client that fetches the mount and keeps what came.

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace brovana::test {

class IcecastServer {
 public:
  struct Options {
    std::string sourcePassword = "hackme";
    std::string mount = "/live";
    // Bytes a new listener gets from before its arrival.
    int burstSize = 0;
    // The listener port of a master server whose mount this one relays (<relay>); 0: none.
    int relayOf = 0;
  };

  explicit IcecastServer(Options options);
  ~IcecastServer() { stop(); }
  IcecastServer(const IcecastServer&) = delete;
  IcecastServer& operator=(const IcecastServer&) = delete;

  // Starts the server (again) on its ports; true once both ports accept connections.
  bool start(std::chrono::milliseconds limit = std::chrono::seconds(15));
  // The signal, and the wait for the exit.
  void stop(int signal = SIGTERM);
  // SIGKILL: the server vanishes the way a crashed one does.
  void kill() { stop(SIGKILL); }
  bool running() { return process_ && process_->running(); }

  int port() const { return port_; }            // listeners (HTTP)
  int sourcePort() const { return port_ + 1; }  // the source log-in
  const std::string& mount() const { return options_.mount; }
  const std::string& sourcePassword() const { return options_.sourcePassword; }
  std::string errorLog() const;  // Icecast's own error log, for failure messages

 private:
  Options options_;
  TempFolder folder_;
  int port_ = -1;
  std::unique_ptr<ChildProcess> process_;
};

// A listener of the mount: connects, asks for the stream without metadata, and keeps the
// response head and the body bytes until it is destroyed.
class StreamListener {
 public:
  StreamListener(int port, const std::string& mount);
  ~StreamListener();
  StreamListener(const StreamListener&) = delete;
  StreamListener& operator=(const StreamListener&) = delete;

  // Waits for the response head; false when none came (refused, closed or time-out).
  bool waitForHead(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return waitFor([this] { return !head_.empty(); }, limit);
  }
  bool waitForBody(size_t bytes, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return waitFor([this, bytes] { return body_.size() >= bytes; }, limit);
  }
  std::string head() const {
    std::lock_guard lock(mutex_);
    return head_;
  }
  std::string body() const {
    std::lock_guard lock(mutex_);
    return body_;
  }
  // The value of a response header (name matched regardless of case, value trimmed), or "<none>".
  std::string header(const std::string& name) const;

 private:
  void run(int port, std::string mount);
  // Checks `done` under the lock until it holds or the connection ended.
  bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

  mutable std::mutex mutex_;
  std::string head_, body_;
  bool ended_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A listener of the server's mount once the server serves it (a source has logged in and sent
// data); null when it does not within the limit.
std::unique_ptr<StreamListener> listenWhenServed(const IcecastServer& server,
                                                 std::chrono::seconds limit = std::chrono::seconds(15));

}  // namespace brovana::test
