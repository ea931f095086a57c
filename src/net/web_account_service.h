#pragma once
// The web service client as the server connection's account service.

#include "net/account_service.h"
#include "net/web_service.h"

namespace brovana {

class WebAccountService : public AccountService {
 public:
  explicit WebAccountService(WebService& web) : web_(web) {}

  int bcinfo(ServerInfo& info, bool sessionFormAllowed) override {
    return web_.bcinfo(info, sessionFormAllowed);
  }
  bool livelogin(ServerInfo& info) override { return web_.livelogin(info); }
  bool netcastSwitch(const std::string& member, const std::string& password, StationMode mode,
                     int waitSeconds) override {
    return web_.netcastSwitch(member, password, mode, waitSeconds);
  }

 private:
  WebService& web_;
};

}  // namespace brovana
