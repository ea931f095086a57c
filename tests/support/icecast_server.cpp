#include "support/icecast_server.h"

#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "support/service_emulator.h"

namespace brovana::test {
namespace {

// Two neighbouring free ports: Icecast takes the one above for the source.
int freePortPair() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    int port = freeLoopbackPort();
    if (port > 0 && port < 65535 && freeLoopbackPort(port + 1) == port + 1) return port;
  }
  return -1;
}

}  // namespace

IcecastServer::IcecastServer(Options options) : port_(freePortPair()) {
  // The server's user must reach the folder and write its logs there (as root it is another
  // user; should the chown fail, the 0777 still lets it write).
  const std::string logs = folder_.file("log");
  std::filesystem::create_directories(logs);
  chmod(folder_.path().c_str(), 0755);
  chmod(logs.c_str(), 0777);
  passwd* user = getpwnam("icecast2");  // the user and group the Debian package creates
  group* grp = getgrnam("icecast");
  [[maybe_unused]] bool owned =
      geteuid() == 0 && user && grp && chown(logs.c_str(), user->pw_uid, grp->gr_gid) == 0;
  // Icecast will not run as root; as root it binds its ports and then becomes the server's user.
  std::string owner = "<changeowner><user>icecast2</user><group>icecast</group></changeowner>";
  // Always on, not on demand: a relay fetches the master's mount as soon as it is served. After a
  // failed fetch Icecast waits the master update interval (120 s by default) before it asks again.
  std::string relay =
      "\n<master-update-interval>5</master-update-interval><relay><server>127.0.0.1</server><port>" +
      std::to_string(options.relayOf) +
      "</port><mount>/live</mount><local-mount>/live</local-mount><on-demand>0</on-demand></relay>";
  std::string mounts;
  if (!options.onlyMounts.empty())
    mounts = "<mount type=\"default\"><password>no-source-knows-this</password></mount>";
  for (const std::string& mount : options.onlyMounts)
    mounts += "<mount><mount-name>" + mount + "</mount-name><password>" + options.sourcePassword +
              "</password></mount>";
  std::string tls;
  if (options.tls) {
    tlsPort_ = freeLoopbackPort();
    const std::string pem = folder_.file("icecast.pem");
    commandOutput("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout '" + pem +
                  ".key' -out '" + pem + ".crt' 2>&1 && cat '" + pem + ".crt' '" + pem + ".key' > '" + pem +
                  "'");
    chmod(pem.c_str(), 0644);
    tls = "<listen-socket><port>" + std::to_string(tlsPort_) +
          "</port><bind-address>127.0.0.1</bind-address><ssl>1</ssl></listen-socket>";
  }
  folder_.write("icecast.xml", fillIn(R"(<icecast><location>test</location><admin>test@localhost</admin>
<limits><clients>20</clients><sources>12</sources><queue-size>524288</queue-size>
<header-timeout>15</header-timeout><source-timeout>10</source-timeout><burst-size>0</burst-size></limits>
<authentication><source-password>{password}</source-password><admin-user>admin</admin-user>
<admin-password>admin-{port}</admin-password></authentication><hostname>127.0.0.1</hostname>
<listen-socket><port>{port}</port><bind-address>127.0.0.1</bind-address>
<shoutcast-mount>/live</shoutcast-mount></listen-socket>{tls}<fileserve>0</fileserve>{relay}{mounts}
<paths><basedir>{folder}</basedir><ssl-certificate>{folder}/icecast.pem</ssl-certificate><logdir>{folder}/log</logdir><webroot>/usr/share/icecast2/web</webroot>
<adminroot>/usr/share/icecast2/admin</adminroot></paths>
<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>
<security><chroot>0</chroot>{owner}</security></icecast>
)",
                                      {{"{relay}", options.relayOf > 0 ? relay : ""},
                                       {"{tls}", tls},
                                       {"{mounts}", mounts},
                                       {"{password}", options.sourcePassword},
                                       {"{port}", std::to_string(port_)},
                                       {"{folder}", folder_.path()},
                                       {"{owner}", geteuid() == 0 ? owner : ""}}));
}

bool IcecastServer::start() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  auto running = [this] { return process_ && process_->running(); };
  // Icecast 2.4 can crash in its first moments when a source is already knocking (as a
  // reconnecting studio does); a server that died while starting is started once more.
  for (int attempt = 0; port_ > 0 && attempt < 3; ++attempt) {
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"icecast2", "-c", folder_.file("icecast.xml")}, folder_.file("console.log"));
    bool up = true;
    for (int port : {port_, port_ + 1, tlsPort_})
      while (up && port > 0 && !waitForPort(port, std::chrono::milliseconds(200)))
        up = running() && std::chrono::steady_clock::now() < deadline;
    // An answer to a request: past its first moments.
    up = up && waitUntil([&] { return !running() || httpGetLoopback(port_, "/status-json.xsl"); },
                         std::chrono::seconds(10));
    if (up && running()) return true;
    kill();
  }
  return false;
}

std::string IcecastServer::errorLog() const {
  return folder_.read("console.log") + folder_.read("log/error.log");
}

StreamListener::StreamListener(int port, const std::string& mount)
    : thread_([this, port, mount] {
        int fd = connectLoopback(port);
        std::string request =
                        "GET " + mount + " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: test-listener\r\n\r\n",
                    pending;
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[8192];
        for (pollfd p{fd, POLLIN, 0}; fd >= 0 && !stop_;) {
          if (poll(&p, 1, 20) <= 0) continue;
          ssize_t n = recv(fd, buffer, sizeof buffer, 0);
          if (n <= 0) break;
          std::lock_guard lock(mutex_);
          (head_.empty() ? pending : body_).append(buffer, static_cast<size_t>(n));
          if (size_t end = pending.find("\r\n\r\n"); head_.empty() && end != std::string::npos)
            head_ = pending.substr(0, end + 2), body_ = pending.substr(end + 4);
        }
        close(fd);
        std::lock_guard lock(mutex_);
        ended_ = true;
      }) {}

StreamListener::~StreamListener() {
  stop_ = true;
  thread_.join();
}

bool StreamListener::waitForBody(size_t bytes, std::chrono::milliseconds limit) {
  bool result = false;
  waitUntil(
      [&] {
        std::lock_guard lock(mutex_);
        result = !head_.empty() && body_.size() >= bytes;
        return result || ended_;
      },
      limit);
  return result;
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
  std::string head = this->head(), wanted = "\n" + name + ":";
  auto at = std::search(head.begin(), head.end(), wanted.begin(), wanted.end(),
                        [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
  if (at == head.end()) return "<none>";
  size_t from = head.find_first_not_of(" \t", static_cast<size_t>(at - head.begin()) + wanted.size());
  return head.substr(from, head.find('\r', from) - from);
}

std::unique_ptr<StreamListener> listenWhenServed(const IcecastServer& server, std::chrono::seconds limit,
                                                 const std::string& mount) {
  std::unique_ptr<StreamListener> listener;
  waitUntil(
      [&] {
        listener = std::make_unique<StreamListener>(server.port(), mount);
        return listener->waitForBody(0, std::chrono::seconds(3)) &&
               listener->head().find(" 200 ") != std::string::npos;
      },
      limit);
  return listener && listener->head().find(" 200 ") != std::string::npos ? std::move(listener) : nullptr;
}

}  // namespace brovana::test
