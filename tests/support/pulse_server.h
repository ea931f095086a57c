#pragma once
// A sound card for machines without one: a private PulseAudio daemon with a null sink, reached
// through PULSE_SERVER. PortAudio's default ALSA device then plays into the sink at real time.

#include <memory>
#include <string>

#include "support/child_process.h"

namespace brovana::test {

class PulseServer {
 public:
  // Keeps its socket and state in `folder`; sets PULSE_SERVER for this process while it lives.
  explicit PulseServer(const std::string& folder);
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  // True once the daemon accepts clients.
  bool ready() const { return ready_; }

 private:
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

}  // namespace brovana::test
