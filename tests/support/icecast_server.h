#pragma once
// Icecast 2 as the broadcast server of the integration tests: started on free loopback ports
// with a generated configuration in a scratch folder, serving the mount "/live" with no burst.
// Its listen socket carries a <shoutcast-mount>, so the port above the listener port takes a
// source that logs in with a password line, exactly as a member's broadcast server does.
// Icecast refuses to run as root, so under root it drops to the Debian package's unprivileged
// user. It can be killed and started again on the same ports.
//
// StreamListener is the other side: an HTTP client that fetches the mount and keeps what came.

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace brovana::test {

class IcecastServer {
 public:
  struct Options {
    std::string sourcePassword = "hackme";
    // The listener port of a master server whose mount this one relays (<relay>); 0: none.
    int relayOf = 0;
    // A TLS listener too, on tlsPort(), with a self-signed certificate for 127.0.0.1 made by
    // openssl in the scratch folder.
    bool tls = false;
    // The only mounts a source may log in to; empty: any. Others are refused the log-in as with a
    // wrong password (a default mount whose password no source knows).
    std::vector<std::string> onlyMounts = {};
  };
  explicit IcecastServer(Options options);

  // Starts the server (again) on its ports; true once both ports accept connections.
  bool start();
  // The server vanishes the way a crashed one does.
  void kill() {
    if (process_) process_->stop(SIGKILL);
    process_.reset();
  }

  int port() const { return port_; }            // listeners (HTTP)
  int sourcePort() const { return port_ + 1; }  // the source log-in
  int tlsPort() const { return tlsPort_; }
  std::string errorLog() const;  // Icecast's own logs, for failure messages

 private:
  TempFolder folder_;
  int port_ = -1;
  int tlsPort_ = -1;
  std::unique_ptr<ChildProcess> process_;
};

// A listener of a mount (default "/live"): connects, asks for the stream without metadata, and keeps the
// response head and the body bytes until it is destroyed.
class StreamListener {
 public:
  explicit StreamListener(int port, const std::string& mount = "/live");
  ~StreamListener();

  // Waits for the response head and that many body bytes; false when they did not come.
  bool waitForBody(size_t bytes, std::chrono::milliseconds limit = std::chrono::seconds(10));
  std::string head() const;
  std::string body() const;
  // The value of a response header (name matched regardless of case, value trimmed), or "<none>".
  std::string header(const std::string& name) const;

 private:
  mutable std::mutex mutex_;
  std::string head_, body_;  // under mutex_
  bool ended_ = false;       // under mutex_
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A listener of the server's mount once the server serves it (a source has logged in and sent
// data); null when it does not within the limit.
std::unique_ptr<StreamListener> listenWhenServed(const IcecastServer& server,
                                                 std::chrono::seconds limit = std::chrono::seconds(15),
                                                 const std::string& mount = "/live");

}  // namespace brovana::test
