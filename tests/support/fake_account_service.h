#pragma once
// An account service for tests: bcinfo answers through a handler (or scripted facts), livelogin
// refuses, and the requests are recorded. Thread-safe: the connection's refresh thread calls it.

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/account_service.h"

namespace brovana::test {

class FakeAccountService : public AccountService {
 public:
  // The result, and on success the facts, that bcinfo answers.
  void setAnswer(int result, const std::string& host, int port) {
    setHandler([=](ServerInfo& info, bool) {
      if (result == 0) info.accountMode = kModeLive, info.port = port;
      if (result == 0) std::snprintf(info.host, sizeof info.host, "%s", host.c_str());
      return result;
    });
  }
  void setHandler(std::function<int(ServerInfo&, bool)> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }
  int bcinfo(ServerInfo& info, bool sessionFormAllowed) override {
    std::unique_lock lock(mutex_);
    ++bcinfoCount_;
    auto handler = handler_;
    lock.unlock();  // the handler may block
    return handler ? handler(info, sessionFormAllowed) : 2;
  }
  bool livelogin(ServerInfo&) override { return false; }
  bool netcastSwitch(const std::string& member, const std::string& password, StationMode mode,
                     int wait) override {
    std::lock_guard lock(mutex_);
    netcasts_.push_back(member + " " + password + " " + stationModeName(mode) + " " + std::to_string(wait));
    return true;
  }
  size_t bcinfoCount() const {
    std::lock_guard lock(mutex_);
    return bcinfoCount_;
  }
  // "MEMBER PASSWORD STREAM WAIT"
  std::vector<std::string> netcastCalls() const {
    std::lock_guard lock(mutex_);
    return netcasts_;
  }

 private:
  mutable std::mutex mutex_;
  std::function<int(ServerInfo&, bool)> handler_;
  size_t bcinfoCount_ = 0;
  std::vector<std::string> netcasts_;
};

}  // namespace brovana::test
