#include "platform/source_clients.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <shout/shout.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/text.h"

namespace brovana {
namespace {

// How long a connection and log-in may take, as for the member's link.
constexpr auto kConnectTimeout = std::chrono::seconds(10);
// How often a connection in progress is looked at.
constexpr auto kConnectPoll = std::chrono::milliseconds(10);
// How long a title's request over TLS may take: the server's worker waits for it.
constexpr long kTitleTimeoutMs = 5000;

// Taken for a server whose certificate does not verify when the member said so.
int acceptAnyCertificate(shout_t*, shout_event_t event, void*, va_list) {
  return event == SHOUT_EVENT_TLS_CHECK_PEER_CERTIFICATE ? SHOUTERR_SUCCESS : SHOUT_CALLBACK_PASS;
}

class ShoutClient final : public SourceClient {
 public:
  ShoutClient(const ServerAddress& address, const StreamFacts& facts) : address_(address), facts_(facts) {
    static std::once_flag initialised;
    std::call_once(initialised, [] {
      shout_init();
      curl_global_init(CURL_GLOBAL_DEFAULT);
    });
  }
  ~ShoutClient() override { close(); }

  std::string open(const std::atomic<bool>& cancel) override {
    close();
    shout_.reset(shout_new());
    if (!shout_) return "libshout has no memory";
    if (std::string refused = configure(); !refused.empty()) return refused;
    int result = shout_open(shout_.get());
    const auto until = std::chrono::steady_clock::now() + kConnectTimeout;
    while ((result == SHOUTERR_BUSY || result == SHOUTERR_RETRY) && !cancel.load() &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(kConnectPoll);
      result = shout_get_connected(shout_.get());
    }
    if (result == SHOUTERR_SUCCESS || result == SHOUTERR_CONNECTED) return {};
    std::string reason = result == SHOUTERR_BUSY ? "no answer within 10 seconds" : explain(result);
    close();
    return reason;
  }

  // Raw: libshout's shout_send would parse every MP3 frame or Ogg page again for each server,
  // only to time shout_sync, which the live source makes needless. What the socket does not take
  // waits in libshout's queue (backlog) for the next call.
  bool send(std::span<const uint8_t> bytes) override {
    if (!shout_) return false;
    if (shout_send_raw(shout_.get(), bytes.data(), bytes.size()) >= 0) return true;
    // Its result is -1 whatever went wrong; the handle keeps the reason.
    const int reason = shout_get_errno(shout_.get());
    if (reason == SHOUTERR_BUSY) return true;
    lastError_ = explain(reason);
    return false;
  }

  size_t backlog() override {
    ssize_t queued = shout_ ? shout_queuelen(shout_.get()) : 0;
    return queued > 0 ? static_cast<size_t>(queued) : 0;
  }

  bool setTitle(const std::string& title) override {
    if (!shout_ || facts_.ogg) return true;  // Ogg carries its title in the stream
    if (address_.tls) return setTitleOverTls(title);
    shout_metadata_t* metadata = shout_metadata_new();
    int result = metadata ? shout_metadata_add(metadata, "song", title.c_str()) : SHOUTERR_MALLOC;
    if (result == SHOUTERR_SUCCESS) result = shout_set_metadata_utf8(shout_.get(), metadata);
    if (metadata) shout_metadata_free(metadata);
    if (result != SHOUTERR_SUCCESS) lastError_ = explain(result);
    return result == SHOUTERR_SUCCESS;
  }

  void close() override {
    if (shout_) shout_close(shout_.get());
    shout_.reset();
  }

  std::string error() override { return lastError_; }

 private:
  // libshout makes its metadata request on a connection of its own that never asks the
  // certificate callback, so a server taken with tls=insecure would refuse every title. The
  // request goes through curl instead, under the same rule for the certificate.
  bool setTitleOverTls(const std::string& title) {
    std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy) {
      lastError_ = "curl has no memory";
      return false;
    }
    CURL* h = easy.get();
    auto escaped = [h](const std::string& text) {
      std::unique_ptr<char, void (*)(void*)> out(
          curl_easy_escape(h, text.data(), static_cast<int>(text.size())), curl_free);
      return std::string(out ? out.get() : "");
    };
    const bool ipv6 = address_.host.find(':') != std::string::npos;
    const std::string url =
        formatText("https://%s%s%s:%d/admin/metadata?mode=updinfo&charset=UTF-8&mount=%s&song=%s",
                   ipv6 ? "[" : "", address_.host.c_str(), ipv6 ? "]" : "", address_.port,
                   escaped(address_.mount).c_str(), escaped(title).c_str());
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_PROXY, "");  // as the stream's own connection: direct
    curl_easy_setopt(h, CURLOPT_USERNAME, address_.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, address_.password.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Brovana-Live");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kTitleTimeoutMs);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, address_.tlsInsecure ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, address_.tlsInsecure ? 0L : 2L);
    curl_easy_setopt(
        h, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    CURLcode result = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK)
      lastError_ = curl_easy_strerror(result);
    else if (status != 200)
      lastError_ = formatText("the server answered HTTP %ld", status);
    else
      lastError_.clear();
    return result == CURLE_OK && status == 200;
  }

  // Empty when libshout took every setting.
  std::string configure() {
    shout_t* s = shout_.get();
    const bool icy = address_.protocol == ServerProtocol::Shoutcast;
    const std::string bitrate = std::to_string(facts_.bitrate / 1000),
                      rate = std::to_string(facts_.sampleRate), channels = std::to_string(facts_.channels);
    int results[] = {
        shout_set_host(s, address_.host.c_str()),
        shout_set_port(s, static_cast<unsigned short>(address_.port)),
        shout_set_protocol(s, icy ? SHOUT_PROTOCOL_ICY : SHOUT_PROTOCOL_HTTP),
        shout_set_password(s, address_.password.c_str()),
        icy ? SHOUTERR_SUCCESS : shout_set_user(s, address_.user.c_str()),
        icy ? SHOUTERR_SUCCESS : shout_set_mount(s, address_.mount.c_str()),
        shout_set_content_format(s, facts_.ogg ? SHOUT_FORMAT_OGG : SHOUT_FORMAT_MP3, SHOUT_USAGE_AUDIO,
                                 nullptr),
        shout_set_tls(s, address_.tls ? SHOUT_TLS_RFC2818 : SHOUT_TLS_DISABLED),
        address_.tlsInsecure ? shout_set_callback(s, acceptAnyCertificate, nullptr) : SHOUTERR_SUCCESS,
        address_.name.empty() ? SHOUTERR_SUCCESS : shout_set_meta(s, SHOUT_META_NAME, address_.name.c_str()),
        shout_set_audio_info(s, SHOUT_AI_BITRATE, bitrate.c_str()),
        shout_set_audio_info(s, SHOUT_AI_SAMPLERATE, rate.c_str()),
        shout_set_audio_info(s, SHOUT_AI_CHANNELS, channels.c_str()),
        shout_set_agent(s, "Brovana-Live"),
        shout_set_nonblocking(s, 1),
    };
    for (int result : results)
      if (result != SHOUTERR_SUCCESS) return "libshout refused a setting: " + explain(result);
    return {};
  }

  std::string explain(int result) {
    switch (result) {
      case SHOUTERR_NOCONNECT:
        return "cannot connect (" + std::string(shout_get_error(shout_.get())) + ")";
      case SHOUTERR_NOLOGIN:
        return "the server refused the log-in (wrong password or mount, or the mount is in use)";
      case SHOUTERR_TLSBADCERT:
        return "the server's TLS certificate does not verify (add tls=insecure to take it anyway)";
      case SHOUTERR_NOTLS:
        return "the server speaks no TLS";
      case SHOUTERR_SOCKET:
        return "the connection dropped";
      default:
        return shout_ ? std::string(shout_get_error(shout_.get())) : formatText("libshout error %d", result);
    }
  }

  struct Deleter {
    void operator()(shout_t* s) const { shout_free(s); }
  };
  const ServerAddress address_;
  const StreamFacts facts_;
  std::unique_ptr<shout_t, Deleter> shout_;
  std::string lastError_;
};

// A recording: the stream as the servers get it, into a file emptied at the first open and
// appended to after that.
class FileClient final : public SourceClient {
 public:
  explicit FileClient(std::string path) : path_(std::move(path)) {}
  ~FileClient() override { close(); }

  std::string open(const std::atomic<bool>&) override {
    close();
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (opened_ ? O_APPEND : O_TRUNC), 0644);
    if (fd_ < 0) return "cannot write " + path_ + ": " + std::strerror(errno);
    opened_ = true;
    return {};
  }
  bool send(std::span<const uint8_t> bytes) override {
    for (size_t at = 0; at < bytes.size();) {
      ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
      }
      at += static_cast<size_t>(n);
    }
    return true;
  }
  size_t backlog() override { return 0; }
  bool setTitle(const std::string&) override { return true; }
  void close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string error() override { return error_; }

 private:
  const std::string path_;
  int fd_ = -1;
  bool opened_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<SourceClient> makeSourceClient(const ServerAddress& address, const StreamFacts& facts) {
  if (address.protocol == ServerProtocol::File) return std::make_unique<FileClient>(address.mount);
  return std::make_unique<ShoutClient>(address, facts);
}

}  // namespace brovana
