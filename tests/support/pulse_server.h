#pragma once
// A sound card for machines without one: a private PulseAudio daemon with a null sink, reached
// through PULSE_SERVER. PortAudio's default ALSA device then plays into the sink at real time.

#include <cstdlib>
#include <memory>
#include <string>

#include "support/child_process.h"

namespace brovana::test {

class PulseServer {
 public:
  // Keeps its socket and state in `folder`; sets PULSE_SERVER for this process while it lives.
  explicit PulseServer(const std::string& folder) {
    const std::string socketPath = folder + "/native";
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                 "--use-pid-file=no", "--log-target=stderr", "-L",
                                 "module-null-sink sink_name=null", "-L",
                                 "module-native-protocol-unix socket=" + socketPath + " auth-anonymous=1"},
        folder + "/pulseaudio.log", std::vector<std::string>{"HOME=" + folder, "XDG_RUNTIME_DIR=" + folder});
    // Ready once a client gets its answer from the socket.
    std::string info = "PULSE_SERVER=unix:" + socketPath + " pactl info >/dev/null 2>&1";
    ready_ = waitUntil([&] { return !process_->running() || std::system(info.c_str()) == 0; },
                       std::chrono::seconds(10)) &&
             process_->running();
    if (ready_) setenv("PULSE_SERVER", ("unix:" + socketPath).c_str(), 1);
  }
  ~PulseServer() {
    if (ready_) unsetenv("PULSE_SERVER");
  }

  // True once the daemon accepts clients.
  bool ready() const { return ready_; }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

}  // namespace brovana::test
