#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "support/child_process.h"

namespace brovana::test {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);

}  // namespace

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Set before listen(), so that accepted connections start with the small window.
  if (script_.receiveBuffer > 0)
    setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &script_.receiveBuffer, sizeof script_.receiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("scripted peer: no listening socket");
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

ScriptedPeer::~ScriptedPeer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

void ScriptedPeer::acceptLoop() {
  while (!stop_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard lock(mutex_);
    pollfd p{listenFd_, POLLIN, 0};
    int fd = ::poll(&p, 1, 0) > 0 ? ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    if (fd < 0) continue;
    connections_.push_back({fd, {}});
    workers_.emplace_back([this, index = connections_.size() - 1, fd] { serve(index, fd); });
  }
}

// Appends what arrived; false once the connection ended (or the peer is stopping).
bool ScriptedPeer::readSome(size_t index, int fd) {
  pollfd p{fd, POLLIN, 0};
  if (stop_) return false;
  if (::poll(&p, 1, kPoll.count()) <= 0) return true;
  char buffer[4096];
  ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  if (n <= 0) return false;
  std::lock_guard lock(mutex_);
  connections_[index].bytes.append(buffer, static_cast<size_t>(n));
  return true;
}

void ScriptedPeer::serve(size_t index, int fd) {
  auto stall = [&] {
    while (!stop_) std::this_thread::sleep_for(kPoll);
  };
  bool alive = !script_.neverRead;
  if (!alive) stall();
  while (alive && received(index).find('\n') == std::string::npos) alive = readSome(index, fd);
  if (alive) ::send(fd, script_.reply.data(), script_.reply.size(), MSG_NOSIGNAL);
  // The header block ends with the first empty line after the password line.
  auto headersRead = [&] {
    std::string sent = received(index);
    return sent.find("\n\n", sent.find('\n') + 1) != std::string::npos;
  };
  while (alive && (script_.stallAfterHeaders || !script_.stallPhases.empty()) && !headersRead())
    alive = readSome(index, fd);
  if (alive && script_.stallAfterHeaders) stall(), alive = false;
  for (size_t phase = 0; alive && phase < script_.stallPhases.size(); ++phase) {
    auto end = std::chrono::steady_clock::now() + script_.stallPhases[phase];
    while (alive && !stop_ && std::chrono::steady_clock::now() < end) {
      if (phase % 2 == 0)
        alive = readSome(index, fd);
      else
        std::this_thread::sleep_for(kPoll);
    }
  }
  while (alive) alive = readSome(index, fd);
  std::lock_guard lock(mutex_);
  ::close(fd);
  connections_[index].fd = -1;
}

std::string ScriptedPeer::received(size_t connection) const {
  std::lock_guard lock(mutex_);
  return connection < connections_.size() ? connections_[connection].bytes : std::string();
}

size_t ScriptedPeer::unread(size_t connection) const {
  std::lock_guard lock(mutex_);
  int bytes = 0;
  if (connection < connections_.size() && connections_[connection].fd >= 0)
    ioctl(connections_[connection].fd, FIONREAD, &bytes);
  return static_cast<size_t>(bytes);
}

size_t ScriptedPeer::connectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

bool ScriptedPeer::waitForBytes(size_t connection, size_t bytes, std::chrono::milliseconds limit) {
  return waitUntil([&] { return received(connection).size() >= bytes; }, limit);
}

bool ScriptedPeer::waitForClose(size_t connection, std::chrono::milliseconds limit) {
  return waitUntil(
      [&] {
        std::lock_guard lock(mutex_);
        return connection < connections_.size() && connections_[connection].fd < 0;
      },
      limit);
}

void ScriptedPeer::dropConnections() {
  std::lock_guard lock(mutex_);
  for (Connection& c : connections_)
    if (c.fd >= 0) ::shutdown(c.fd, SHUT_RDWR);
}

}  // namespace brovana::test
