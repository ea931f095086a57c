#include "net/source_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "diag/logger.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kProgressLook{250};

bool resolve(const std::string& host, in_addr& address) {
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

bool setBlocking(int fd, bool blocking) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

SourceSocket::~SourceSocket() {
  close();
}

void SourceSocket::setTimeouts(std::chrono::milliseconds connectTimeout,
                               std::chrono::milliseconds ioTimeout) {
  connectTimeoutMs_ = connectTimeout.count();
  ioTimeoutMs_ = ioTimeout.count();
}

void SourceSocket::setStallTimeout(std::chrono::milliseconds stallTimeout) {
  stallTimeoutMs_ = stallTimeout.count();
}

bool SourceSocket::open() {
  close();
  // Close-on-exec: programs started later (the editor, the browser) must not hold the link open.
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int sendBuffer = kSendBufferBytes;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  int noDelay = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  std::lock_guard lock(fdMutex_);
  if (shut_) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

// Waits until the socket is ready for `events`; false on time-out or when the socket is gone.
bool SourceSocket::waitFor(short events, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  for (;;) {
    int fd = fd_.load();
    if (fd < 0) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() < 0) return false;
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (n > 0) return true;  // ready, or an error that the next call reports
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool SourceSocket::connect(const std::string& host, int port) {
  int fd = fd_.load();
  if (fd < 0 || port <= 0 || port > 65535) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (!resolve(host, address.sin_addr)) return false;

  // The system's own connect time-out can be minutes; this one is ours.
  if (!setBlocking(fd, false)) return false;
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && errno == EINPROGRESS &&
      waitFor(POLLOUT, std::chrono::milliseconds(connectTimeoutMs_.load()))) {
    int error = 0;
    socklen_t length = sizeof error;
    connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  setBlocking(fd, true);
  written_ = acknowledged_ = 0;
  lastProgress_ = Clock::now();
  return connected;
}

int SourceSocket::receive(char* buffer, size_t size) {
  if (size == 0) return 0;
  for (;;) {
    if (!waitFor(POLLIN, std::chrono::milliseconds(ioTimeoutMs_.load()))) return 0;
    ssize_t n = ::recv(fd_.load(), buffer, size, MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    return 0;
  }
}

int SourceSocket::sendAll(const void* data, size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) return -1;
  const char* next = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    if (!waitWritable()) return -1;
    ssize_t n = ::send(fd_.load(), next, left, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return -1;
    }
    if (n == 0) return 0;
    written_ += n;
    next += n;
    left -= static_cast<size_t>(n);
  }
  return static_cast<int>(size);
}

// Room to write is not the measure: the peer's system may take bytes long after its server stopped
// reading, and once its window is shut nothing moves. The deadline counts from the last byte that
// the peer acknowledged, so a slow line goes on and a stalled one is left.
bool SourceSocket::waitWritable() {
  for (;;) {
    if (fd_.load() < 0) return false;
    if (stalled()) {
      Logger::log("The server has taken nothing for %lld seconds\n", stallTimeoutMs_.load() / 1000);
      return false;
    }
    // Looked at again every so often, so that the deadline counts from the progress itself.
    auto deadline = lastProgress_ + std::chrono::milliseconds(stallTimeoutMs_.load());
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (waitFor(POLLOUT, std::clamp(left, std::chrono::milliseconds(1), kProgressLook))) return true;
  }
}

bool SourceSocket::stalled() {
  auto now = Clock::now();
  // Linux counts the bytes that the peer has not acknowledged yet (sent or not) with TIOCOUTQ.
  int waiting = 0;
  if (::ioctl(fd_.load(), TIOCOUTQ, &waiting) == 0) {
    long long acknowledged = written_ - waiting;
    if (waiting == 0 || acknowledged != acknowledged_) {
      acknowledged_ = acknowledged;
      lastProgress_ = now;
    }
  }
  return now - lastProgress_ >= std::chrono::milliseconds(stallTimeoutMs_.load());
}

void SourceSocket::interrupt(bool forGood) {
  std::lock_guard lock(fdMutex_);
  shut_ = shut_ || forGood;
  int fd = fd_.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void SourceSocket::close() {
  std::lock_guard lock(fdMutex_);
  int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

}  // namespace brovana
