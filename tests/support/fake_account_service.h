#pragma once
// An account service for tests: answers bcinfo with scripted facts (or a handler), accepts or
// refuses the livelogin, and records every request. Thread-safe: the connection's refresh
// thread calls it.

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/account_service.h"

namespace brovana::test {

class FakeAccountService : public AccountService {
 public:
  struct Call {
    std::string username, pass, sessionid;
    bool sessionFormAllowed = false;
  };
  struct NetcastCall {
    std::string member, password, stream;
    int waitSeconds;
  };

  // The result, and on success the facts, that bcinfo answers.
  void setAnswer(int result, const std::string& host, int port, int listeners = 0, float rating = 0,
                 int averageMinutes = 0, int accountMode = kModeLive) {
    setHandler([=](ServerInfo& info, bool) {
      if (result != 0) return result;
      info.serverOn = 1;
      info.accountMode = accountMode;
      info.listeners = listeners;
      info.maxListeners = 100;
      info.avgListenMinutes = averageMinutes;
      info.rating = rating;
      std::snprintf(info.host, sizeof info.host, "%s", host.c_str());
      info.port = port;
      return 0;
    });
  }
  // Replaces the answer altogether; called without the fake's lock held.
  void setHandler(std::function<int(ServerInfo&, bool)> handler) {
    locked([&] { handler_ = std::move(handler); });
  }
  void setSessionForLogin(const std::string& sessionid) {
    locked([&] { session_ = sessionid; });
  }

  int bcinfo(ServerInfo& info, bool sessionFormAllowed) override {
    auto handler = locked([&] {
      bcinfo_.push_back({info.username, info.pass, info.sessionid, sessionFormAllowed});
      return handler_;
    });
    return handler ? handler(info, sessionFormAllowed) : 2;
  }
  bool livelogin(ServerInfo& info) override {
    std::string session = locked([&] {
      logins_.push_back({info.username, info.pass, info.sessionid});
      return session_;
    });
    if (!session.empty()) std::snprintf(info.sessionid, sizeof info.sessionid, "%s", session.c_str());
    return !session.empty();
  }
  bool netcastSwitch(const std::string& member, const std::string& password, const std::string& stream,
                     int waitSeconds) override {
    locked([&] { netcasts_.push_back({member, password, stream, waitSeconds}); });
    return true;
  }

  std::vector<Call> bcinfoCalls() const {
    return locked([&] { return bcinfo_; });
  }
  size_t bcinfoCount() const { return bcinfoCalls().size(); }
  std::vector<Call> loginCalls() const {
    return locked([&] { return logins_; });
  }
  std::vector<NetcastCall> netcastCalls() const {
    return locked([&] { return netcasts_; });
  }

 private:
  template <typename F>
  auto locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }
  mutable std::mutex mutex_;
  std::function<int(ServerInfo&, bool)> handler_;
  std::string session_;
  std::vector<Call> bcinfo_, logins_;
  std::vector<NetcastCall> netcasts_;
};

}  // namespace brovana::test
