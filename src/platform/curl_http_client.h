#pragma once
// The web service's HTTP GET on libcurl: one easy handle per call, so calls from several threads
// never share state. User agent "Brovana", never from a cache, no cookies, the proxy settings of
// the environment (http_proxy, no_proxy). A service that does not answer must not hang the
// program: the connect and the whole transfer have time limits.

#include <chrono>

#include "net/web_service.h"

namespace brovana {

class CurlHttpClient : public HttpClient {
 public:
  struct Limits {
    std::chrono::milliseconds connect{std::chrono::seconds(10)};
    std::chrono::milliseconds total{std::chrono::seconds(20)};
  };

  CurlHttpClient();
  explicit CurlHttpClient(Limits limits);

  // `async` is accepted and the call still waits: its only caller, the server switch, needs the
  // result for its log line, and the time limits bound the wait.
  bool get(const std::string& host, const std::string& user, const std::string& path, std::string& answer,
           size_t capacity, bool async = false) override;
  bool getDetailed(const std::string& host, const std::string& user, const std::string& path,
                   std::string& answer, size_t capacity, const GetOptions& options) override;

 private:
  Limits limits_;
};

}  // namespace brovana
