#include "net/station_title_sender.h"

#include "diag/logger.h"
#include "net/web_service.h"

namespace brovana {
namespace {

// SHOUTcast servers take updates from what calls itself Mozilla compatible, as libshout's do.
constexpr const char* kTitleAgent = "Brovana-Live (Mozilla compatible)";
constexpr size_t kAnswerBytes = 4096;
constexpr auto kTitleLimit = std::chrono::seconds(10);

std::string titleUpdatePath(const std::string& password, const std::string& title) {
  return "/admin.cgi?pass=" + queryEscape(password) + "&mode=updinfo&song=" + queryEscape(title);
}

}  // namespace

StationTitleSender::StationTitleSender(HttpClient& http) : http_(http), thread_([this] { run(); }) {}

StationTitleSender::~StationTitleSender() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void StationTitleSender::send(const ServerInfo& server, const std::string& title) {
  if (server.host[0] == '\0' || server.port < 2 || title.empty()) return;
  Update update{std::string(server.host) + ":" + std::to_string(server.port - 1),
                titleUpdatePath(server.pass, title)};
  {
    std::lock_guard lock(mutex_);
    pending_ = std::move(update);
  }
  wake_.notify_all();
}

void StationTitleSender::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || pending_; });
    if (stop_) return;
    Update update = std::move(*pending_);
    pending_.reset();
    lock.unlock();
    deliver(update);
    lock.lock();
  }
}

void StationTitleSender::deliver(const Update& update) {
  std::string answer;
  int status = 0;
  GetOptions options;
  options.stop = &stop_;
  options.status = &status;
  options.limit = kTitleLimit;
  options.userAgent = kTitleAgent;
  bool answered = http_.getDetailed(update.host, "", update.path, answer, kAnswerBytes, options);
  if (stop_) return;
  if (answered && status == 200) {
    refusing_ = false;
    return;
  }
  if (!refusing_)
    Logger::log("The broadcast server %s did not take the title (%s); the stream goes on\n",
                update.host.c_str(),
                answered ? ("HTTP status " + std::to_string(status)).c_str() : "no answer");
  refusing_ = true;
}

}  // namespace brovana
