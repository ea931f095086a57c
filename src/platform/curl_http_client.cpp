#include "platform/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace brovana {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Stores at most capacity - 1 bytes; the rest of the body is read and dropped, so that the
// transfer ends normally.
struct Sink {
  std::string* answer;
  size_t limit;
};

size_t storeBody(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  size_t bytes = size * count;
  size_t room = sink->limit > sink->answer->size() ? sink->limit - sink->answer->size() : 0;
  sink->answer->append(data, std::min(room, bytes));
  return bytes;
}

int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(user);
  return stop->load() ? 1 : 0;
}

// A host from the command line goes into a URL: nothing in it may end the authority part.
bool plausibleHost(const std::string& host) {
  if (host.empty()) return false;
  for (char c : host)
    if (c == '/' || c == '@' || c == '?' || c == '#' || c == '\\' || static_cast<unsigned char>(c) <= ' ')
      return false;
  return true;
}

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlHttpClient::CurlHttpClient() : CurlHttpClient(Limits{}) {}

CurlHttpClient::CurlHttpClient(Limits limits) : limits_(limits) {
  initCurlOnce();
}

bool CurlHttpClient::get(const std::string& host, const std::string& user, const std::string& path,
                         std::string& answer, size_t capacity, bool async) {
  GetOptions options;
  options.async = async;
  return getDetailed(host, user, path, answer, capacity, options);
}

bool CurlHttpClient::getDetailed(const std::string& host, const std::string& user, const std::string& path,
                                 std::string& answer, size_t capacity, const GetOptions& options) {
  answer.clear();
  if (options.status) *options.status = 0;
  if (!plausibleHost(host) || path.empty() || path.front() != '/') return false;
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return false;
  CURL* h = easy.get();

  std::string url = "http://" + host + path;
  Sink sink{&answer, capacity > 0 ? capacity - 1 : 0};
  curl_slist* list = nullptr;
  for (const char* line : {"Cache-Control: no-cache", "Pragma: no-cache", "Connection: keep-alive"}) {
    curl_slist* longer = curl_slist_append(list, line);
    if (!longer) {
      curl_slist_free_all(list);
      return false;
    }
    list = longer;
  }
  std::unique_ptr<curl_slist, ListDeleter> headers(list);

  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, options.userAgent ? options.userAgent : "Brovana");
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  // The user name goes out only if the server asks for it; no password.
  curl_easy_setopt(h, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  auto shorter = [&](std::chrono::milliseconds own) {
    return static_cast<long>((options.limit.count() > 0 ? std::min(own, options.limit) : own).count());
  };
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, shorter(limits_.connect));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, shorter(limits_.total));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, storeBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  if (options.stop) {
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkStop);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(options.stop));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  }

  CURLcode result = curl_easy_perform(h);
  if (options.status) {
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    *options.status = static_cast<int>(code);
  }
  if (result != CURLE_OK) {
    answer.clear();
    return false;
  }
  // The answer is a text: a NUL byte ends it.
  size_t nul = answer.find('\0');
  if (nul != std::string::npos) answer.resize(nul);
  return true;
}

}  // namespace brovana
