#pragma once
// The TCP link to the broadcast server: one blocking IPv4 stream socket with a small send buffer
// and Nagle's algorithm off, so each block of MP3 data leaves at once.
//
// Every wait is bounded: a connect gives up after the connect time-out, a receive after the I/O
// time-out, and a send once the peer's system has acknowledged nothing of what waits in the
// socket for the stall time, so a server that stops reading cannot hold the conversion thread for
// long. The owner serialises open, connect, send, receive and close; interrupt() may come from
// any thread and wakes whatever is blocked on the socket.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace brovana {

class SourceSocket {
 public:
  // Long enough for a slow modem line, short enough that a dead peer is noticed.
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{10000};
  static constexpr std::chrono::milliseconds kDefaultIoTimeout{30000};
  // A working line acknowledges within seconds, even after a few lost segments; a server that has
  // stopped reading is left within 20 s of the last byte its system took.
  static constexpr std::chrono::milliseconds kDefaultStallTimeout{15000};
  static constexpr int kSendBufferBytes = 1024;

  SourceSocket() = default;
  ~SourceSocket();
  SourceSocket(const SourceSocket&) = delete;
  SourceSocket& operator=(const SourceSocket&) = delete;

  void setTimeouts(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds ioTimeout);
  void setStallTimeout(std::chrono::milliseconds stallTimeout);

  // A fresh socket (an open one is closed first). False when the system refuses one.
  bool open();
  // A dotted IPv4 address is used as it is; a name is looked up and its first address taken.
  bool connect(const std::string& host, int port);
  // One receive of at most `size` bytes: the count, or 0 when the peer closed, on an error or
  // when nothing came within the I/O time-out.
  int receive(char* buffer, size_t size);
  // Writes every byte: `size` when all went out, 0 when a write took nothing, -1 on an error or
  // when the peer acknowledged nothing for the stall time (logged) while bytes waited.
  int sendAll(const void* data, size_t size);
  void close();
  bool isOpen() const { return fd_.load() >= 0; }

  // Shuts the link down so that a blocked send, receive or connect returns at once; close()
  // follows later on the owner's side. For good: no socket opens any more either, also not one
  // that an open under way is making.
  void interrupt(bool forGood = false);

 private:
  bool waitFor(short events, std::chrono::milliseconds limit);
  // Waits for room to write; false when the socket is gone or the peer stalled.
  bool waitWritable();
  // Whether bytes have waited unacknowledged for the stall time; notes any progress first.
  bool stalled();

  // Written under fdMutex_ (and the owner's serialisation); read without a lock by the I/O calls.
  std::atomic<int> fd_{-1};
  std::mutex fdMutex_;
  bool shut_ = false;  // interrupted for good; under fdMutex_
  std::atomic<long long> connectTimeoutMs_{kDefaultConnectTimeout.count()};
  std::atomic<long long> ioTimeoutMs_{kDefaultIoTimeout.count()};
  std::atomic<long long> stallTimeoutMs_{kDefaultStallTimeout.count()};
  // The send progress, in the owner's serialised calls: bytes handed to the system since the
  // connect, how many of them the peer had acknowledged at the last look, and when that grew.
  long long written_ = 0;
  long long acknowledged_ = 0;
  std::chrono::steady_clock::time_point lastProgress_{};
};

}  // namespace brovana
