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

// A parsed JSON value: enough for the emulator's views.
struct JsonValue {
  enum class Kind { Null, Bool, Number, Text, Array, Object } kind = Kind::Null;
  bool flag = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;   // Array items, or Object values
  std::vector<std::string> keys;  // Object keys, in the order written

  // Object member; a Null value when missing.
  const JsonValue& operator[](const std::string& key) const;
  static std::optional<JsonValue> parse(const std::string& text);
};

struct EmulatorOptions {
  std::vector<std::string> accounts;  // "NAME:PASSWORD[:MODE]"
  std::string accountsFile;           // text of an accounts file; empty: none
  std::string broadcastHost = "127.0.0.1";
  int broadcastPort = 8001;  // the source port; bcinfo names the port below it
  std::vector<std::string> extraArgs;
};

struct AnnouncedSong {
  bool accepted = false;
  std::map<std::string, std::string> fields;  // the add_song query, decoded
  bool has(const std::string& key) const { return fields.count(key) != 0; }
  std::string field(const std::string& key) const;
};

struct EmulatedAccount {
  std::string name;
  std::string mode;
  bool serverOn = false;
  bool broadcaster = true;
  int listeners = 0;
  int sessions = 0;
  std::string host;
  int port = 0;
};

struct SeenRequest {
  std::string target;  // path and query as they arrived
  std::string agent;
};

class ServiceEmulator {
 public:
  explicit ServiceEmulator(EmulatorOptions options = {});
  ~ServiceEmulator();
  ServiceEmulator(const ServiceEmulator&) = delete;
  ServiceEmulator& operator=(const ServiceEmulator&) = delete;

  // True once the emulator answers on its port.
  bool ready() const { return ready_; }
  int port() const { return port_; }
  // "127.0.0.1:PORT": the web host for the studio's client (and its -host switch).
  std::string webHost() const;
  const std::string& logFile() const;

  // A GET to the emulator; the body, or nullopt without an answer.
  std::optional<std::string> get(const std::string& target) const;
  // /control with the pairs as query; true when it answered "OK".
  bool control(const std::vector<std::pair<std::string, std::string>>& values) const;
  bool controlAccount(const std::string& name,
                      const std::vector<std::pair<std::string, std::string>>& values) const;

  std::optional<JsonValue> status() const;
  std::vector<AnnouncedSong> songs() const;
  std::vector<AnnouncedSong> versionChecks() const;
  std::optional<EmulatedAccount> account(const std::string& name) const;
  std::vector<SeenRequest> requests() const;

  // SIGTERM; the exit status, -1 when it had to be killed.
  int stop();

 private:
  TempFolder folder_;
  int port_ = -1;
  bool ready_ = false;
  std::unique_ptr<ChildProcess> process_;
};

// A plain HTTP/1.0 GET on 127.0.0.1; the body, or nullopt without an answer.
std::optional<std::string> httpGetLoopback(int port, const std::string& target, int* status = nullptr);
// Percent-encoding for the control queries.
std::string urlEncode(const std::string& value);

}  // namespace brovana::test
