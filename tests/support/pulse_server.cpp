#include "support/pulse_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

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
  ready_ = waitUntil(
               [&] {
                 int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                 bool accepts = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                 close(fd);
                 return accepts || !process_->running();
               },
               std::chrono::seconds(10)) &&
           process_->running();
  if (ready_) setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
}

PulseServer::~PulseServer() {
  if (ready_) unsetenv("PULSE_SERVER");
}

}  // namespace brovana::test
