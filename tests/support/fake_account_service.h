#pragma once
// An account service for tests: answers bcinfo with scripted facts, accepts or refuses the
// livelogin, and records every request. Thread-safe: the connection's refresh thread calls it.

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/account_service.h"

namespace brovana::test {

class FakeAccountService : public AccountService {
 public:
  struct BcinfoCall {
    std::string username, pass, sessionid;
    bool sessionFormAllowed;
  };
  struct NetcastCall {
    std::string member, password, stream;
    int waitSeconds;
  };

  // The account facts a successful bcinfo answer carries.
  void setAnswer(int result, const std::string& host, int port, int listeners = 0, float rating = 0,
                 int averageMinutes = 0, int accountMode = kModeLive) {
    std::lock_guard lock(mutex_);
    result_ = result, host_ = host, port_ = port, listeners_ = listeners, rating_ = rating;
    averageMinutes_ = averageMinutes, accountMode_ = accountMode;
  }
  // Replaces the scripted answer altogether (called without the fake's lock held).
  void setHandler(std::function<int(ServerInfo&, bool)> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }
  void setSessionForLogin(const std::string& sessionid) {
    std::lock_guard lock(mutex_);
    sessionForLogin_ = sessionid;
  }

  int bcinfo(ServerInfo& info, bool sessionFormAllowed) override {
    std::function<int(ServerInfo&, bool)> handler;
    {
      std::lock_guard lock(mutex_);
      bcinfoCalls_.push_back({info.username, info.pass, info.sessionid, sessionFormAllowed});
      handler = handler_;
      if (!handler) {
        if (result_ != 0) return result_;
        info.serverOn = 1;
        info.accountMode = accountMode_;
        info.listeners = listeners_;
        info.maxListeners = 100;
        info.avgListenMinutes = averageMinutes_;
        info.rating = rating_;
        std::memset(info.host, 0, sizeof info.host);
        std::strncpy(info.host, host_.c_str(), sizeof info.host - 1);
        info.port = port_;
        return 0;
      }
    }
    return handler(info, sessionFormAllowed);
  }

  bool livelogin(ServerInfo& info) override {
    std::lock_guard lock(mutex_);
    loginCalls_.push_back({info.username, info.pass, info.sessionid, false});
    if (sessionForLogin_.empty()) return false;
    std::strncpy(info.sessionid, sessionForLogin_.c_str(), sizeof info.sessionid - 1);
    return true;
  }

  bool netcastSwitch(const std::string& member, const std::string& password, const std::string& stream,
                     int waitSeconds) override {
    std::lock_guard lock(mutex_);
    netcastCalls_.push_back({member, password, stream, waitSeconds});
    return true;
  }

  std::vector<BcinfoCall> bcinfoCalls() const {
    std::lock_guard lock(mutex_);
    return bcinfoCalls_;
  }
  size_t bcinfoCount() const {
    std::lock_guard lock(mutex_);
    return bcinfoCalls_.size();
  }
  std::vector<BcinfoCall> loginCalls() const {
    std::lock_guard lock(mutex_);
    return loginCalls_;
  }
  std::vector<NetcastCall> netcastCalls() const {
    std::lock_guard lock(mutex_);
    return netcastCalls_;
  }

 private:
  mutable std::mutex mutex_;
  int result_ = 2;
  std::string host_;
  int port_ = 0;
  int listeners_ = 0;
  float rating_ = 0;
  int averageMinutes_ = 0;
  int accountMode_ = kModeLive;
  std::function<int(ServerInfo&, bool)> handler_;
  std::string sessionForLogin_;
  std::vector<BcinfoCall> bcinfoCalls_;
  std::vector<BcinfoCall> loginCalls_;
  std::vector<NetcastCall> netcastCalls_;
};

}  // namespace brovana::test
