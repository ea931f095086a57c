#pragma once
// Everything the program says to the service outside the stream: plain HTTP GETs to the web
// host (account facts, switches, version check, genre list, names file) and the background
// sender of the song-title updates.
//
// CONTRACT (being implemented): the signatures below are what LiveConnect, the playlist engine
// and the supervisor call. Keep them; add what the implementation needs.

#include <cstddef>
#include <string>
#include <string_view>

#include "net/server_info.h"

namespace brovana {

class Prompts;
class ProgramExit;

// bcinfo results, as the connection turns them into its messages.
enum BcinfoResult : int {
  kBcinfoOk = 0,
  kBcinfoFailed = 2,            // no member name, no answer, error page, code -1, missing tokens
  kBcinfoNotBroadcaster = 3,    // code -4
  kBcinfoBadLogin = 4,          // bcinfo -2, djinfo -1
  kBcinfoCode3 = 5,             // code -3
};

// The one blocking HTTP GET. `host` may carry a port ("127.0.0.1:8080"); without one, port 80.
// The body goes into `answer`, at most capacity - 1 bytes; the rest is read and dropped.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual bool get(const std::string& host, const std::string& user, const std::string& path, std::string& answer,
                   size_t capacity, bool async = false) = 0;
};

class WebService {
 public:
  WebService(HttpClient& http, std::string webHost);

  const std::string& webHost() const;

  int bcinfo(ServerInfo& info, bool sessionFormAllowed);
  bool livelogin(ServerInfo& info);
  // stream "live" (wait 3 s) or "hostplay" (wait 0 s); sets switchedToLive() on success.
  bool netcastSwitch(const std::string& member, const std::string& password, const std::string& stream,
                     int waitSeconds);
  bool switchServer(Prompts& prompts, const std::string& member, const std::string& password,
                    const std::string& action);
  bool switchedToLive() const;
};

}  // namespace brovana
