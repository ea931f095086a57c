#pragma once
// A broadcast server in a test thread, for what a real server cannot be made to do: answer the
// password with exact bytes, or stop reading. It records
// every byte each connection sent, and goes on accepting until it goes away.

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brovana::test {

class ScriptedPeer {
 public:
  struct Script {
    std::string reply{"OK"};         // sent after the password line
    bool neverRead = false;          // read nothing at all, not even the password
    bool stallAfterHeaders = false;  // read up to the end of the header block, then nothing
    // After the header block: read for the first time, stall for the second, and so on; then read.
    std::vector<std::chrono::milliseconds> stallPhases{};
    int receiveBuffer = 0;  // bytes the connections may hold unread (0: the system's); only at construction
  };

  explicit ScriptedPeer(Script script);
  ScriptedPeer() : ScriptedPeer(Script{}) {}
  ~ScriptedPeer();

  int port() const { return port_; }

  size_t connectionCount() const;
  // The bytes the connection (0 = first) sent so far.
  std::string received(size_t connection) const;
  // The bytes the connection sent that wait unread (what a stalled server holds back).
  size_t unread(size_t connection) const;
  // Waits until the connection has sent at least `bytes` bytes.
  bool waitForBytes(size_t connection, size_t bytes,
                    std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Waits until the connection has been closed by either side.
  bool waitForClose(size_t connection, std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Drops every open connection, as a line that goes down; the peer goes on accepting.
  void dropConnections();

 private:
  struct Connection {
    int fd = -1;  // -1 once closed
    std::string bytes;
  };
  void acceptLoop();
  void serve(size_t index, int fd);
  bool readSome(size_t index, int fd);

  mutable std::mutex mutex_;
  const Script script_;
  std::vector<Connection> connections_;
  std::vector<std::thread> workers_;
  std::atomic<bool> stop_{false};
  int listenFd_ = -1;
  int port_ = -1;
  std::thread acceptor_;
};

}  // namespace brovana::test
