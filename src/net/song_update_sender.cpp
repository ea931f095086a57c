#include "net/song_update_sender.h"

namespace brovana {

SongUpdateSender::SongUpdateSender(HttpClient& http) : http_(http) {
  thread_ = std::thread([this] { run(); });
}

SongUpdateSender::~SongUpdateSender() {
  stop();
}

void SongUpdateSender::handOver(SongRequest request) {
  // The slot's limits: a host of 254 characters, a user name of 29 and a path of 1,022. The
  // path is cut in front of an escape ("%41") rather than through it.
  if (request.host.size() > 254) request.host.resize(254);
  if (request.user.size() > 29) request.user.resize(29);
  if (request.path.size() > kMaxPathBytes) {
    size_t percent = request.path.rfind('%', kMaxPathBytes - 1);
    bool splitsEscape = percent != std::string::npos && percent + 3 > kMaxPathBytes;
    request.path.resize(splitsEscape ? percent : kMaxPathBytes);
  }
  {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    pending_ = std::move(request);
  }
  wake_.notify_one();
}

void SongUpdateSender::stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    pending_.reset();
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  idle_.notify_all();
}

bool SongUpdateSender::waitIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return !pending_ && !sending_; });
}

int SongUpdateSender::sentCount() const {
  return sent_;
}

void SongUpdateSender::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
    if (stop_) break;
    SongRequest request = std::move(*pending_);
    pending_.reset();
    sending_ = true;
    lock.unlock();

    std::string answer;  // never looked at: the service's word on a title changes nothing here
    GetOptions options;
    options.stop = &stop_;
    http_.getDetailed(request.host, request.user, request.path, answer, kSongAnswerSize, options);
    ++sent_;

    lock.lock();
    sending_ = false;
    if (!pending_) idle_.notify_all();
  }
  sending_ = false;
}

}  // namespace brovana
