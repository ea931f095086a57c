#pragma once
// The service emulator (build/bin/zelvora-service) as a test peer: started on a free loopback
// port with the given members, stopped with the object. What it was told is read back from its
// JSON view. Integration tests of other modules use it for account facts that point at their
// own broadcast server:
//
//   test::ServiceEmulator service({.accounts = {"dj:secret"}, .broadcastPort = icecastSourcePort});
//   ASSERT_TRUE(service.ready());
//   WebService web(http, service.webHost());

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
  std::string accountsFile{};           // text of an accounts file; empty: none
  std::string broadcastHost = "127.0.0.1";
  int broadcastPort = 8001;  // the source port; bcinfo names the port below it
  std::vector<std::string> extraArgs{};
};

// A record of one of the view's lists (accounts, songs, version checks, requests): its values
// by name; "fields" records (songs, version checks) keep their decoded query apart.
struct EmulatorRecord {
  std::map<std::string, std::string> values, fields;
  std::string field(const std::string& key) const { return fields.contains(key) ? fields.at(key) : ""; }
  bool has(const std::string& key) const { return fields.contains(key); }
};
using AnnouncedSong = EmulatorRecord;

struct EmulatedAccount {
  std::string mode;
  bool serverOn = false;
  int sessions = 0;
};

class ServiceEmulator {
 public:
  explicit ServiceEmulator(EmulatorOptions options = {});
  ServiceEmulator(const ServiceEmulator&) = delete;
  ServiceEmulator& operator=(const ServiceEmulator&) = delete;

  // True once the emulator answers on its port.
  bool ready() const { return process_ != nullptr; }
  // "127.0.0.1:PORT": the web host for the studio's client (and its -host switch).
  std::string webHost() const { return "127.0.0.1:" + std::to_string(port_); }
  const std::string& logFile() const { return log_; }

  // /control with the pairs as query (with account=NAME first for controlAccount); true when
  // it answered "OK".
  bool control(const std::vector<std::pair<std::string, std::string>>& values) const;
  bool controlAccount(const std::string& name, std::vector<std::pair<std::string, std::string>> values) const;

  // The records of one list of the view: "accounts", "songs", "checkversion" or "requests".
  std::vector<EmulatorRecord> records(const std::string& list) const;
  std::vector<AnnouncedSong> songs() const { return records("songs"); }
  std::optional<EmulatedAccount> account(const std::string& name) const;

 private:
  TempFolder folder_;
  std::string log_ = folder_.file("zelvora-service.log");
  int port_ = -1;
  std::unique_ptr<ChildProcess> process_;
};

// A plain HTTP/1.0 GET on 127.0.0.1; the body, or nullopt without an answer.
std::optional<std::string> httpGetLoopback(int port, const std::string& target);

}  // namespace brovana::test
