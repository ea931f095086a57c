#include "app/control_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

// More at once is a flood, not a script: the newest are let go at once.
constexpr size_t kMaxClients = 32;

bool addressOf(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A socket connected to `path`, or -1 with errno set.
int connectTo(const std::string& path) {
  sockaddr_un address;
  if (!addressOf(path, address)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  int error = errno;
  close(fd);
  errno = error;
  return -1;
}

bool sendAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

// A folder only its user can write to: what keeps another user from putting a socket of theirs
// where the client looks.
bool ownFolder(const std::string& folder) {
  struct stat facts;
  return lstat(folder.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) && facts.st_uid == getuid() &&
         (facts.st_mode & 022) == 0;
}

// FNV-1a: the same name from every build, for the client and the studio alike.
std::string folderKey(const std::string& folder) {
  std::error_code error;
  std::string canonical = std::filesystem::weakly_canonical(folder, error).string();
  if (error) canonical = folder;
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : canonical) hash = (hash ^ c) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace

struct ControlSocket::Client {
  int fd;
  std::string buffer;  // what came after the last complete line
  Clock::time_point deadline;
};

ControlSocket::ControlSocket(Handler handler, ControlLimits limits)
    : handler_(std::move(handler)), limits_(limits) {}

ControlSocket::~ControlSocket() {
  if (thread_.joinable()) {
    (void)!write(wake_[1], "x", 1);
    thread_.join();
  }
  for (int fd : {wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
  if (listener_ >= 0) {
    close(listener_);
    unlink(path_.c_str());
  }
}

bool ControlSocket::open(const std::string& path, std::string& error) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (!ownFolder(folder)) {
    error = "the folder " + folder + " of the control socket is not yours alone";
    return false;
  }
  struct stat facts;
  if (lstat(path.c_str(), &facts) == 0) {
    if (!S_ISSOCK(facts.st_mode)) {
      error = path + " exists and is not a socket; remove it to have remote control";
      return false;
    }
    if (int other = connectTo(path); other >= 0) {
      close(other);
      error = "another studio answers on " + path;
      return false;
    }
    // Left behind by a studio that did not end its run.
    unlink(path.c_str());
  }
  sockaddr_un address;
  if (!addressOf(path, address)) {
    error = "the path " + path + " is too long for a socket";
    return false;
  }
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path.c_str(), 0600) != 0 || listen(listener_, 8) != 0 || pipe2(wake_, O_CLOEXEC) != 0) {
    error = "cannot listen on " + path + ": " + std::strerror(errno);
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    return false;
  }
  path_ = path;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void ControlSocket::serve() {
  std::vector<Client> clients;
  auto drop = [&](size_t at) {
    close(clients[at].fd);
    clients.erase(clients.begin() + static_cast<long>(at));
  };
  for (;;) {
    std::vector<pollfd> polled{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    Clock::time_point next = Clock::now() + limits_.idle;
    for (const Client& client : clients) {
      polled.push_back({client.fd, POLLIN, 0});
      next = std::min(next, client.deadline);
    }
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    if (poll(polled.data(), polled.size(), static_cast<int>(std::max<long long>(wait, 0) + 1)) < 0 &&
        errno != EINTR)
      break;
    if (polled[0].revents) break;
    // From the last, so that a client let go does not move the ones still to be looked at.
    for (size_t at = clients.size(); at-- > 0;) {
      short events = polled[at + 2].revents;
      if (events == 0) {
        if (Clock::now() >= clients[at].deadline) drop(at);  // connected and said nothing
        continue;
      }
      char bytes[4096];
      ssize_t got = read(clients[at].fd, bytes, sizeof bytes);
      if (got <= 0 || !takeInput(clients[at], std::string_view(bytes, static_cast<size_t>(got)))) drop(at);
    }
    if (polled[1].revents & POLLIN) {
      int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0 && clients.size() < kMaxClients)
        clients.push_back({fd, {}, Clock::now() + limits_.idle});
      else if (fd >= 0)
        close(fd);
    }
  }
  for (size_t at = clients.size(); at-- > 0;) drop(at);
}

bool ControlSocket::takeInput(Client& client, std::string_view bytes) {
  client.buffer.append(bytes);
  client.deadline = Clock::now() + limits_.idle;
  for (;;) {
    size_t end = client.buffer.find('\n');
    if ((end == std::string::npos ? client.buffer.size() : end) > limits_.maxRequestBytes) {
      sendAll(client.fd, oversizedRequest().line + "\n");
      return false;
    }
    if (end == std::string::npos) return true;
    std::string line = client.buffer.substr(0, end);
    client.buffer.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    RemoteReply reply = handler_(line);
    if (!sendAll(client.fd, reply.line + "\n") || reply.close) return false;
  }
}

std::string controlSocketPath(const std::string& workingFolder, bool make) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && *runtime ? runtime : "/tmp/brovana-live-" + std::to_string(getuid());
  if (make && !(runtime && *runtime)) mkdir(folder.c_str(), 0700);
  return folder + "/brovana-live-" + folderKey(workingFolder) + ".sock";
}

std::optional<std::string> callControlSocket(const std::string& path, const std::string& request,
                                             std::chrono::milliseconds limit, std::string& error) {
  int fd = connectTo(path);
  if (fd < 0) {
    error = "no studio is running on this working folder (nothing answers at " + path + ")";
    return std::nullopt;
  }
  std::string answer;
  Clock::time_point deadline = Clock::now() + limit;
  // A refused request may be answered before the studio has read all of it: the answer counts.
  sendAll(fd, request + "\n");
  while (answer.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd polled{fd, POLLIN, 0};
    if (left <= 0 || poll(&polled, 1, static_cast<int>(left)) <= 0) break;
    char bytes[4096];
    ssize_t got = read(fd, bytes, sizeof bytes);
    if (got <= 0) break;
    answer.append(bytes, static_cast<size_t>(got));
  }
  close(fd);
  size_t end = answer.find('\n');
  if (end == std::string::npos) {
    error = "the studio did not answer at " + path;
    return std::nullopt;
  }
  return answer.substr(0, end);
}

}  // namespace brovana
