#include "support/icecast_server.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace brovana::test {
namespace {

// The user and group that the Debian package creates for the server.
constexpr const char* kServerUser = "icecast2";
constexpr const char* kServerGroup = "icecast";

bool portFree(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// Two neighbouring free ports: Icecast takes the one above for the source.
int freePortPair() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int port = freeLoopbackPort();
    if (port > 0 && port < 65535 && portFree(port + 1)) return port;
  }
  return -1;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

IcecastServer::IcecastServer(Options options) : options_(std::move(options)), port_(freePortPair()) {
  // The server's user must reach the folder and write its logs there.
  chmod(folder_.path().c_str(), 0755);
  std::filesystem::create_directories(folder_.file("log"));
  chmod(folder_.file("log").c_str(), 0777);
  if (geteuid() == 0) {
    passwd* user = getpwnam(kServerUser);
    group* grp = getgrnam(kServerGroup);
    // Should the chown fail, the 0777 above still lets the server write its logs.
    bool owned = user && grp && chown(folder_.file("log").c_str(), user->pw_uid, grp->gr_gid) == 0;
    static_cast<void>(owned);
  }
  writeConfig();
}

IcecastServer::~IcecastServer() {
  stop();
}

void IcecastServer::writeConfig() {
  std::ostringstream xml;
  xml << "<icecast>\n"
      << "  <location>test</location><admin>test@localhost</admin>\n"
      << "  <limits><clients>20</clients><sources>4</sources><queue-size>524288</queue-size>"
      << "<header-timeout>15</header-timeout><source-timeout>10</source-timeout>"
      << "<burst-size>" << options_.burstSize << "</burst-size></limits>\n"
      << "  <authentication><source-password>" << options_.sourcePassword << "</source-password>"
      << "<admin-user>admin</admin-user><admin-password>admin-" << port_
      << "</admin-password></authentication>\n"
      << "  <hostname>127.0.0.1</hostname>\n"
      << "  <listen-socket><port>" << port_ << "</port><bind-address>127.0.0.1</bind-address>"
      << "<shoutcast-mount>" << options_.mount << "</shoutcast-mount></listen-socket>\n"
      << "  <fileserve>0</fileserve>\n";
  // Always on, not on demand: the relay fetches the master's mount as soon as it is served.
  if (options_.relayOf > 0)
    xml << "  <relay><server>127.0.0.1</server><port>" << options_.relayOf << "</port><mount>"
        << options_.mount << "</mount><local-mount>" << options_.mount
        << "</local-mount><on-demand>0</on-demand></relay>\n";
  xml << "  <paths><basedir>" << folder_.path() << "</basedir><logdir>" << folder_.file("log") << "</logdir>"
      << "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></"
         "paths>\n"
      << "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
      << "<loglevel>3</loglevel></logging>\n"
      << "  <security><chroot>0</chroot>";
  // Icecast will not run as root; as root it binds its ports and then becomes the server's user.
  if (geteuid() == 0)
    xml << "<changeowner><user>" << kServerUser << "</user><group>" << kServerGroup
        << "</group></changeowner>";
  xml << "</security>\n</icecast>\n";
  folder_.write("icecast.xml", xml.str());
}

bool IcecastServer::start(std::chrono::milliseconds limit) {
  if (port_ <= 0) return false;
  if (process_ && process_->running()) return true;
  auto deadline = std::chrono::steady_clock::now() + limit;
  // Icecast 2.4 can crash in its first moments when a source is already knocking (as a
  // reconnecting studio does); a server that died while starting is started once more.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (startOnce(deadline)) return true;
    if (process_) process_->stop(SIGKILL, std::chrono::seconds(5));
    process_.reset();
  }
  return false;
}

bool IcecastServer::startOnce(std::chrono::steady_clock::time_point deadline) {
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"icecast2", "-c", folder_.file("icecast.xml")}, folder_.file("console.log"));
  if (!process_->started()) return false;
  for (int port : {port_, port_ + 1}) {
    while (!waitForPort(port, std::chrono::milliseconds(200))) {
      if (!process_->running() || std::chrono::steady_clock::now() >= deadline) return false;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return process_->running();
}

void IcecastServer::stop() {
  if (process_) process_->stop(SIGTERM, std::chrono::seconds(5));
  process_.reset();
}

void IcecastServer::kill() {
  if (process_) process_->stop(SIGKILL, std::chrono::seconds(5));
  process_.reset();
}

bool IcecastServer::running() {
  return process_ && process_->running();
}

std::string IcecastServer::errorLog() const {
  return folder_.read("console.log") + folder_.read("log/error.log");
}

StreamListener::StreamListener(int port, const std::string& mount)
    : thread_([this, port, mount] { run(port, mount); }) {}

StreamListener::~StreamListener() {
  stop_ = true;
  thread_.join();
}

void StreamListener::run(int port, std::string mount) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    std::string request =
        "GET " + mount + " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: test-listener\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string pending;
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buffer[8192];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      std::lock_guard lock(mutex_);
      if (headDone_) {
        body_.append(buffer, static_cast<size_t>(n));
        continue;
      }
      pending.append(buffer, static_cast<size_t>(n));
      size_t end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        head_ = pending.substr(0, end + 2);
        body_ = pending.substr(end + 4);
        headDone_ = true;
      }
    }
  }
  close(fd);
  std::lock_guard lock(mutex_);
  ended_ = true;
}

bool StreamListener::waitForHead(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex_);
      if (headDone_) return true;
      if (ended_) return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool StreamListener::waitForBody(size_t bytes, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard lock(mutex_);
      if (body_.size() >= bytes) return true;
      if (ended_) return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string StreamListener::head() const {
  std::lock_guard lock(mutex_);
  return head_;
}

std::string StreamListener::body() const {
  std::lock_guard lock(mutex_);
  return body_;
}

std::string StreamListener::header(const std::string& name) const {
  std::istringstream lines(head());
  std::string line;
  std::string wanted = lower(name) + ":";
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lower(line.substr(0, wanted.size())) != wanted) continue;
    std::string value = line.substr(wanted.size());
    size_t first = value.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : value.substr(first);
  }
  return "<none>";
}

std::unique_ptr<StreamListener> listenWhenServed(const IcecastServer& server) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    auto listener = std::make_unique<StreamListener>(server.port(), server.mount());
    if (listener->waitForHead(std::chrono::seconds(3)) && listener->head().find(" 200 ") != std::string::npos)
      return listener;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

}  // namespace brovana::test
