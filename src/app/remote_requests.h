#pragma once
// The control socket's language: one JSON object per line each way. A request names its command
// ("status", "start", "stop", "next", "previous", "song" with "text", "record" with "on", "source"
// with "name"); the answer says "ok" and, when not, the "error". A request that is not such an
// object, or names no command the studio knows, is refused and its connection closed: a client
// that speaks another language gets nothing more from it.
//
// Without a socket, so the rules can be tried line by line; the station behind the commands is a
// port the front ends implement.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brovana {

// One server's state as the status shows it.
struct RemoteServer {
  std::string name;   // "main" for the member's own server, else the URL without its password
  std::string state;  // "connected", "connecting", "off" ...
};

struct RemoteStatus {
  std::string onAir;  // "off", "starting", "playlist" or "live"
  std::string source;
  std::string title;
  int uptimeSeconds = 0;
  long long bytesSent = 0;
  int dropouts = 0;
  std::vector<RemoteServer> servers;
  std::string recording;  // the file, empty when not recording
  std::string error;      // why there is no status now; the rest is then empty
};

// What the remote commands act on. Each command returns empty when it was done (or handed over
// to be done), else why it cannot be done now. Called on the control socket's thread.
class RemoteStation {
 public:
  virtual ~RemoteStation() = default;
  virtual RemoteStatus status() = 0;
  virtual std::string start() = 0;
  virtual std::string stop() = 0;
  // The track `step` places after (or before) the one on the air.
  virtual std::string skip(int step) = 0;
  virtual std::string song(const std::string& text) = 0;
  virtual std::string record(bool on) = 0;
  virtual std::string source(const std::string& name) = 0;
};

struct RemoteReply {
  std::string line;    // the answer, without its line end
  bool close = false;  // the request was refused: the connection ends after the answer
};

// The answer to one request line (without its line end).
RemoteReply answerRemoteRequest(std::string_view line, RemoteStation& station);
// The refusal of a request longer than the socket takes.
RemoteReply oversizedRequest();

// The request line for `brovana-live --remote WORDS...`; none, with `error` set, for words that
// are no command.
std::optional<std::string> remoteRequestLine(const std::vector<std::string>& words, std::string& error);
// Whether an answer line says the command was done.
bool remoteAnswerOk(const std::string& line);

}  // namespace brovana
