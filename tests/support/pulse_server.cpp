#include "support/pulse_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace brovana::test {
namespace {

bool accepts(const std::string& socketPath) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

PulseServer::PulseServer(const std::string& folder) {
  std::string socketPath = folder + "/native";
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                               "--use-pid-file=no", "--log-target=stderr", "-L",
                               "module-null-sink sink_name=null", "-L",
                               "module-native-protocol-unix socket=" + socketPath + " auth-anonymous=1"},
      folder + "/pulseaudio.log", std::vector<std::string>{"HOME=" + folder, "XDG_RUNTIME_DIR=" + folder});
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (process_->running() && std::chrono::steady_clock::now() < deadline) {
    if (accepts(socketPath)) {
      ready_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (ready_) setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
}

PulseServer::~PulseServer() {
  if (ready_) unsetenv("PULSE_SERVER");
  process_.reset();
}

}  // namespace brovana::test
