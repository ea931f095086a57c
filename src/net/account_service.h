#pragma once
// The account requests of the web service that the server connection makes: the account facts
// (bcinfo), the session log-in (livelogin) and the switch of the account's stream (netcast).
// The web service client provides them (WebAccountService); tests give scripted ones.

#include <string>

#include "net/server_info.h"

namespace brovana {

// What the member's station plays: the member's own source, or the service's Hostplay.
enum class StationMode { Live, Hostplay };
// The mode as the service's netcast request names it.
inline const char* stationModeName(StationMode mode) {
  return mode == StationMode::Live ? "live" : "hostplay";
}

class AccountService {
 public:
  virtual ~AccountService() = default;
  // Fills the record's facts; the result is one of BcinfoResult (0 success).
  virtual int bcinfo(ServerInfo& info, bool sessionFormAllowed) = 0;
  // Stores a new session id in the record when the service accepts the log-in.
  virtual bool livelogin(ServerInfo& info) = 0;
  // Asks the service to put the account's stream in that mode; waits `waitSeconds` after a yes.
  virtual bool netcastSwitch(const std::string& member, const std::string& password, StationMode mode,
                             int waitSeconds) = 0;
};

}  // namespace brovana
