#include "support/pulse_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace brovana::test {

PulseServer::PulseServer(const std::string& folder) {
  const std::string socketPath = folder + "/native";
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                               "--use-pid-file=no", "--log-target=stderr", "-L",
                               "module-null-sink sink_name=null", "-L",
                               "module-native-protocol-unix socket=" + socketPath + " auth-anonymous=1"},
      folder + "/pulseaudio.log", std::vector<std::string>{"HOME=" + folder, "XDG_RUNTIME_DIR=" + folder});
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!ready_ && process_->running() && std::chrono::steady_clock::now() < deadline) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ready_ = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (ready_) setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
}

PulseServer::~PulseServer() {
  if (ready_) unsetenv("PULSE_SERVER");
}

}  // namespace brovana::test
