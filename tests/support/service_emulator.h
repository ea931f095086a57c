#pragma once
// The service emulator (build/bin/zelvora-service) as a test peer: started on a free loopback
// port with the given members, stopped with the object. What it was told is read back from its
// JSON view.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace brovana::test {

struct EmulatorOptions {
  std::vector<std::string> accounts{};  // "NAME:PASSWORD[:MODE]"
  int broadcastPort = 8001;             // the source port; bcinfo names the port below it
};

// A record of one of the view's lists: its values by name ("fields" records, the songs and
// version checks, hold their decoded query beside "accepted").
using EmulatorRecord = std::map<std::string, std::string>;

class ServiceEmulator {
 public:
  explicit ServiceEmulator(EmulatorOptions options = {});

  // True once the emulator answers on its port.
  bool ready() const { return process_ != nullptr; }
  // "127.0.0.1:PORT": the web host for the studio's client (and its -host switch).
  std::string webHost() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& logFile() const { return log_; }

  // /control with the pairs, which need no escaping, as query (account=NAME first for one
  // member's facts); true when it answered "OK".
  bool control(const std::vector<std::pair<std::string, std::string>>& values) const;

  // The records of one list of the view: "accounts", "songs", "checkversion" or "requests".
  std::vector<EmulatorRecord> records(const std::string& list) const;

 private:
  TempFolder folder_;
  std::string log_ = folder_.file("zelvora-service.log");
  int port_ = -1;
  std::unique_ptr<ChildProcess> process_;
};

// A plain HTTP/1.0 GET on 127.0.0.1; the body, or nullopt without an answer.
std::optional<std::string> httpGetLoopback(int port, const std::string& target);

}  // namespace brovana::test
