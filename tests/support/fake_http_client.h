#pragma once
// An HttpClient for tests: answers by path prefix, records every call, and keeps the capacity
// rule of the real one (at most capacity - 1 bytes, a NUL ends the text, empty on failure).

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "net/web_service.h"

namespace brovana::test {

class FakeHttpClient : public HttpClient {
 public:
  struct Call {
    std::string host, user, path;
    size_t capacity = 0;
    bool async = false;
  };
  struct Answer {
    std::string pathPrefix, body;
    bool ok = true;
    int status = 200;
  };

  // The first answer whose prefix starts the path is used. Without one: a failed request.
  void answer(std::string pathPrefix, std::string body, bool ok = true, int status = 200) {
    std::lock_guard lock(mutex_);
    answers_.push_back({std::move(pathPrefix), std::move(body), ok, status});
  }
  // Runs on the calling thread before the answer, outside the lock (to block a sender, say).
  std::function<void(const Call&, const GetOptions&)> onCall;

  bool get(const std::string& host, const std::string& user, const std::string& path, std::string& answer,
           size_t capacity, bool async = false) override {
    return getDetailed(host, user, path, answer, capacity, GetOptions{async, nullptr, nullptr});
  }
  bool getDetailed(const std::string& host, const std::string& user, const std::string& path,
                   std::string& answer, size_t capacity, const GetOptions& options) override {
    Call call{host, user, path, capacity, options.async};
    if (onCall) onCall(call, options);
    Answer found{"", "", false, 0};
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(call);
      auto it = std::find_if(answers_.begin(), answers_.end(),
                             [&](const Answer& a) { return path.rfind(a.pathPrefix, 0) == 0; });
      if (it != answers_.end()) found = *it;
    }
    if (options.status) *options.status = found.status;
    answer = found.ok && capacity > 0 ? found.body.substr(0, capacity - 1) : "";
    answer.resize(std::min(answer.size(), answer.find('\0')));
    return found.ok;
  }

  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> paths() const {
    std::vector<std::string> out;
    for (const Call& c : calls()) out.push_back(c.path);
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Answer> answers_;
  std::vector<Call> calls_;
};

}  // namespace brovana::test
