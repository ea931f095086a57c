#include "broadcast/server_fan_out.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "audio/ogg_pages.h"
#include "diag/logger.h"

namespace brovana {
namespace {

// About six seconds of 44.1 kHz stereo: the encoder lane's PCM queue.
constexpr size_t kLanePcmBytes = 1 << 20;
// The lane's thread takes the PCM in batches (about this many a second): each wake-up costs the
// encoders and every server a round of calls and system calls.
constexpr int kLaneWakesPerSecond = 5;
constexpr auto kLaneBatch = std::chrono::milliseconds(1000 / kLaneWakesPerSecond);
// The encoded stream a server's queue holds, in seconds of its bit rate (at least 64 KiB).
constexpr int kServerQueueSeconds = 5;
// The PCM format tried for each encoder at the start, before the first block comes.
constexpr PcmFormat kProbeFormat{44100, 2};
// How often the bytes a server took are reported while it streams.
constexpr auto kReportEvery = std::chrono::seconds(1);

// A piece of the encoded stream, shared by every server of its lane; `start` is where a
// listener's stream may begin in it (its size: nowhere).
struct Piece {
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  size_t start = 0;
};

// A thread of the fan-out, woken under its lock for its work, its stop or the latest title,
// which it hands on once whatever came before.
class TitledWorker {
 public:
  void setTitle(const std::string& title) {
    {
      std::lock_guard lock(mutex_);
      title_ = title;
      titleDue_ = true;
    }
    wake_.notify_all();
  }

 protected:
  mutable std::mutex mutex_;  // the fields below, and the worker's own where it says so
  std::condition_variable wake_;
  bool stop_ = false;
  std::string title_;
  bool titleDue_ = false;
};

}  // namespace

// One server and its thread.
class ServerWorker : public TitledWorker {
 public:
  ServerWorker(const StreamTarget& target, SourceClientMaker& clients, const FanOutTimings& timings,
               std::function<void()> connected, FanOutReports* reports, int index)
      : label_(targetLabel(target.server)),
        key_(serverUrl(target)),
        facts_(streamFacts(target.format)),
        client_(clients(target.server, facts_)),
        timings_(timings),
        queueLimit_(
            std::max<size_t>(64 << 10, static_cast<size_t>(facts_.bitrate / 8 * kServerQueueSeconds))),
        onConnected_(std::move(connected)),
        reports_(reports),
        index_(index) {
    report_.label = target.server.name.empty() ? label_ : target.server.name + " (" + label_ + ")";
  }
  ~ServerWorker() { stop(); }

  const std::string& label() const { return label_; }
  // Alike for two servers alike in every setting.
  const std::string& key() const { return key_; }
  bool connected() const { return connected_.load(); }
  void start() { thread_ = std::thread(&ServerWorker::run, this); }
  // Without waiting, so that several servers close side by side.
  void requestStop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cancel_.store(true);
    wake_.notify_all();
  }
  void stop() {
    requestStop();
    if (thread_.joinable()) thread_.join();
  }
  // Its new place in the list, where its last report shows at once; -1: leaving, reporting no more.
  void reindex(int index) {
    std::lock_guard lock(mutex_);
    if (index == index_) return;
    index_ = index;
    if (reports_ && index_ >= 0 && !shown_.state.empty()) reports_->serverReport(index_, shown_);
  }

  // From the lane's thread; never waits for the server.
  void push(const Piece& piece) {
    {
      std::lock_guard lock(mutex_);
      if (!connected_.load()) return;  // off the air: nothing to keep
      if (queued_ + piece.bytes->size() > queueLimit_) {
        if (!behind_) Logger::log("Extra server %s falls behind; its listeners lose audio\n", label_.c_str());
        behind_ = true;
        return;
      }
      behind_ = false;
      queued_ += piece.bytes->size();
      queue_.push_back(piece);
    }
    wake_.notify_all();
  }

 private:
  void run() {
    pthread_setname_np(pthread_self(), ("server " + std::to_string(index_ + 1)).c_str());
    // A server that went away must fail the write, not end the program.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    bool failing = false, connectedBefore = false;
    tell("connecting");
    for (;;) {
      std::string reason = client_->open(cancel_);
      if (stopping()) break;
      if (!reason.empty()) {
        if (!failing) {
          Logger::log("Extra server %s: %s; trying again\n", label_.c_str(), reason.c_str());
          tell("trying again: " + reason);
        }
        failing = true;
        std::unique_lock lock(mutex_);
        if (wake_.wait_for(lock, timings_.retryEvery, [this] { return stop_; })) break;
        continue;
      }
      Logger::log("Extra server %s: on the air\n", label_.c_str());
      report_.reconnects += connectedBefore ? 1 : 0;
      connectedBefore = true;
      tell("on the air");
      failing = false;
      reason = stream();
      client_->close();
      if (stopping()) break;
      Logger::log("Extra server %s: %s; trying again\n", label_.c_str(), reason.c_str());
      tell("trying again: " + reason);
      failing = true;  // the tries that follow belong to this message
    }
    client_->close();
    tell("off");
  }

  // The worker's thread.
  void tell(std::string state) {
    report_.state = std::move(state);
    lastReport_ = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    shown_ = report_;
    if (reports_ && index_ >= 0) reports_->serverReport(index_, shown_);
  }

  bool stopping() {
    std::lock_guard lock(mutex_);
    return stop_;
  }

  // Connected: sends until the link fails or stalls (the reason) or the stop (empty).
  std::string stream() {
    {
      std::lock_guard lock(mutex_);
      queue_.clear();
      queued_ = 0;
      titleDue_ = !title_.empty();
      connected_.store(true);
    }
    if (onConnected_) onConnected_();
    bool started = false, titleRefused = false;
    std::string reason;
    while (reason.empty()) {
      Piece piece;
      std::string title;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || titleDue_ || !queue_.empty(); });
        if (stop_) break;
        if (titleDue_) title = title_;
        titleDue_ = false;
        if (!queue_.empty()) {
          piece = queue_.front();
          queue_.pop_front();
          queued_ -= piece.bytes->size();
        }
      }
      // Once a connection: a server that refuses titles refuses each one.
      if (!title.empty() && !client_->setTitle(title) && !titleRefused)
        Logger::log("Extra server %s did not take the title: %s\n", label_.c_str(), client_->error().c_str());
      titleRefused = titleRefused || (!title.empty() && !client_->error().empty());
      if (piece.bytes) reason = send(piece, started);
    }
    std::lock_guard lock(mutex_);
    connected_.store(false);
    return reason;
  }

  // A listener's stream begins at a piece's start; what comes before one is not sent.
  std::string send(const Piece& piece, bool& started) {
    size_t from = started ? 0 : piece.start;
    if (from >= piece.bytes->size()) return {};
    started = true;
    std::span<const uint8_t> bytes(piece.bytes->data() + from, piece.bytes->size() - from);
    if (!client_->send(bytes)) return client_->error();
    report_.bytesSent += bytes.size();
    if (std::chrono::steady_clock::now() - lastReport_ >= kReportEvery) tell(report_.state);
    if (client_->backlog() > static_cast<size_t>(facts_.bitrate / 8 * timings_.stallSeconds))
      return "it stalls, taking nothing for " + std::to_string(timings_.stallSeconds) + " seconds";
    return {};
  }

  const std::string label_;
  const std::string key_;
  const StreamFacts facts_;
  std::unique_ptr<SourceClient> client_;  // the worker's thread
  const FanOutTimings timings_;
  const size_t queueLimit_;
  const std::function<void()> onConnected_;
  FanOutReports* const reports_;
  ServerReport report_;                               // the worker's thread
  std::chrono::steady_clock::time_point lastReport_;  // the worker's thread

  // Under mutex_:
  int index_;
  ServerReport shown_;  // the last report
  std::deque<Piece> queue_;
  size_t queued_ = 0;
  bool behind_ = false;

  std::atomic<bool> connected_{false};
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

// One encoder, its thread, and the servers it feeds.
class EncoderLane : public TitledWorker {
 public:
  EncoderLane(const EncodedFormat& format, EncoderLibrary& encoders) : format_(format), encoders_(encoders) {}
  ~EncoderLane() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    for (auto& server : servers_) server->requestStop();
    for (auto& server : servers_) server->stop();
  }

  const EncodedFormat& format() const { return format_; }
  // Starts the server on the lane's last title.
  void add(std::unique_ptr<ServerWorker> server) {
    std::lock_guard lock(serversMutex_);
    std::string title;
    {
      std::lock_guard titleLock(mutex_);
      title = title_;
    }
    if (!title.empty()) server->setTitle(title);
    server->start();
    servers_.push_back(std::move(server));
  }
  // Each server whose key is among `keys` (at a place not yet `taken`) is `kept` for that place;
  // the others stop reporting and move to `leaving`.
  void sort(const std::vector<std::string>& keys, std::vector<bool>& taken,
            std::vector<std::pair<ServerWorker*, int>>& kept,
            std::vector<std::unique_ptr<ServerWorker>>& leaving) {
    std::lock_guard lock(serversMutex_);
    std::vector<std::unique_ptr<ServerWorker>> staying;
    for (auto& server : servers_) {
      auto place = std::find(keys.begin(), keys.end(), server->key());
      while (place != keys.end() && taken[static_cast<size_t>(place - keys.begin())])
        place = std::find(place + 1, keys.end(), server->key());
      if (place == keys.end()) {
        server->reindex(-1);
        leaving.push_back(std::move(server));
        continue;
      }
      taken[static_cast<size_t>(place - keys.begin())] = true;
      kept.emplace_back(server.get(), static_cast<int>(place - keys.begin()));
      staying.push_back(std::move(server));
    }
    servers_.swap(staying);
  }
  bool empty() const {
    std::lock_guard lock(serversMutex_);
    return servers_.empty();
  }
  void addStates(std::vector<ExtraServerState>& states) const {
    std::lock_guard lock(serversMutex_);
    for (auto& server : servers_) states.push_back({server->label(), server->connected()});
  }
  void start() { thread_ = std::thread(&EncoderLane::run, this); }

  void onAir(const uint8_t* pcm, int length, const PcmFormat& format) {
    {
      std::lock_guard lock(mutex_);
      if (queued_ + static_cast<size_t>(length) > kLanePcmBytes) {
        if (!behind_)
          Logger::log("The %s encoder of the extra servers falls behind; audio is lost\n", name());
        behind_ = true;
        return;
      }
      behind_ = false;
      // One run of bytes per format: the encoder takes a batch in one call, not one per block.
      if (queue_.empty() || queue_.back().format != format) queue_.push_back({format, {}});
      queue_.back().bytes.insert(queue_.back().bytes.end(), pcm, pcm + length);
      queued_ += static_cast<size_t>(length);
      if (queued_ < static_cast<size_t>(format.bytesPerSecond()) / kLaneWakesPerSecond) return;
      batchReady_ = true;
    }
    wake_.notify_all();
  }
  // A server connected: an Ogg stream starts afresh, so that it gets the headers first.
  void restart() {
    if (format_.codec == Codec::Mp3) return;
    {
      std::lock_guard lock(mutex_);
      restartDue_ = true;
    }
    wake_.notify_all();
  }

  const char* name() const {
    return format_.codec == Codec::Opus ? "Opus" : format_.codec == Codec::Vorbis ? "Vorbis" : "MP3";
  }

 private:
  struct Block {
    PcmFormat format;
    std::vector<uint8_t> bytes;
  };

  void run() {
    pthread_setname_np(pthread_self(), (std::string(name()) + " lane").c_str());
    std::deque<Block> blocks;
    for (;;) {
      std::string title;
      bool titleDue, restartDue;
      {
        std::unique_lock lock(mutex_);
        // Woken for a few blocks at a time; what is left waits no longer than one batch.
        wake_.wait_for(lock, kLaneBatch, [this] { return stop_ || batchReady_ || titleDue_ || restartDue_; });
        if (stop_) return;
        blocks.swap(queue_);
        queued_ = 0;
        batchReady_ = false;
        title = title_;
        titleDue = std::exchange(titleDue_, false);
        restartDue = std::exchange(restartDue_, false);
      }
      std::vector<uint8_t> out;
      if ((titleDue || restartDue) && encoder_) encoder_->setTitle(title);
      if (titleDue) {
        std::lock_guard lock(serversMutex_);
        for (auto& server : servers_) server->setTitle(title);
      }
      for (const Block& block : blocks) encode(block, title, out);
      blocks.clear();
      handOut(out);
    }
  }

  // Through the encoder for the block's format (a new one when the format changed).
  void encode(const Block& block, const std::string& title, std::vector<uint8_t>& out) {
    if (!encoder_ || block.format != in_) {
      if (encoder_) encoder_->flush(out);
      EncoderOpened opened = encoders_.open(block.format, format_);
      encoder_ = std::move(opened.encoder);
      in_ = block.format;
      if (!encoder_) return;
      if (!title.empty()) encoder_->setTitle(title);
    }
    if (!encoder_->encode(block.bytes, out)) encoder_.reset();
  }

  void handOut(std::vector<uint8_t>& out) {
    if (out.empty()) return;
    const size_t start = format_.codec == Codec::Mp3 ? 0 : oggStreamStart(out);
    Piece piece{std::make_shared<const std::vector<uint8_t>>(std::move(out)), start};
    std::lock_guard lock(serversMutex_);
    for (auto& server : servers_) server->push(piece);
  }

  const EncodedFormat format_;
  EncoderLibrary& encoders_;
  mutable std::mutex serversMutex_;  // servers_; taken before mutex_ where both are
  std::vector<std::unique_ptr<ServerWorker>> servers_;
  std::unique_ptr<AudioEncoder> encoder_;  // the lane's thread
  PcmFormat in_;                           // the lane's thread

  // Under mutex_:
  std::deque<Block> queue_;
  size_t queued_ = 0;
  bool batchReady_ = false;
  bool behind_ = false;
  bool restartDue_ = false;

  std::thread thread_;
};

ServerFanOut::ServerFanOut(const std::vector<StreamTarget>& targets, EncoderLibrary& encoders,
                           SourceClientMaker clients, FanOutTimings timings, FanOutReports* reports)
    : encoders_(encoders), clients_(std::move(clients)), timings_(timings), reports_(reports) {
  update(targets);
}

ServerFanOut::~ServerFanOut() = default;

void ServerFanOut::update(const std::vector<StreamTarget>& targets) {
  std::lock_guard changing(updating_);
  std::vector<std::string> keys;
  for (const StreamTarget& target : targets) keys.push_back(serverUrl(target));
  std::vector<bool> taken(targets.size());
  std::vector<std::pair<ServerWorker*, int>> kept;
  std::vector<std::unique_ptr<ServerWorker>> leaving;
  // Only this thread changes the lanes: reading them needs no lock.
  for (auto& lane : lanes_) lane->sort(keys, taken, kept, leaving);
  // Those leaving report no more before the others take their places.
  for (auto [server, index] : kept) server->reindex(index);
  for (size_t i = 0; i < targets.size(); ++i)
    if (!taken[i]) add(targets[i], static_cast<int>(i));
  std::vector<std::unique_ptr<EncoderLane>> idle;
  {
    std::lock_guard lock(mutex_);
    for (auto& lane : lanes_)
      if (lane->empty()) idle.push_back(std::move(lane));
    std::erase(lanes_, nullptr);
  }
  if (reports_)
    for (int i = static_cast<int>(targets.size()); i < places_; ++i) reports_->serverReport(i, {});
  places_ = static_cast<int>(targets.size());
  for (auto& server : leaving) server->requestStop();
  // Before their lanes go: a server calls its lane when it connects.
  leaving.clear();
}

void ServerFanOut::add(const StreamTarget& target, int index) {
  if (EncoderOpened tried = encoders_.open(kProbeFormat, target.format); !tried.encoder) {
    Logger::log("Extra server %s stays off: %s\n", targetLabel(target.server).c_str(), tried.reason.c_str());
    if (reports_) reports_->serverReport(index, {targetLabel(target.server), "off: " + tried.reason});
    return;
  }
  auto lane =
      std::find_if(lanes_.begin(), lanes_.end(), [&](auto& l) { return l->format() == target.format; });
  EncoderLane* owner = lane == lanes_.end() ? nullptr : lane->get();
  if (!owner) {
    auto fresh = std::make_unique<EncoderLane>(target.format, encoders_);
    owner = fresh.get();
    owner->start();
    std::lock_guard lock(mutex_);
    if (!title_.empty()) owner->setTitle(title_);
    lanes_.push_back(std::move(fresh));
  }
  owner->add(std::make_unique<ServerWorker>(
      target, clients_, timings_, [owner] { owner->restart(); }, reports_, index));
}

void ServerFanOut::onAir(const uint8_t* pcm, int length, const PcmFormat& format) {
  if (length <= 0 || !format.valid()) return;
  std::lock_guard lock(mutex_);
  for (auto& lane : lanes_) lane->onAir(pcm, length, format);
}

void ServerFanOut::setTitle(const std::string& title) {
  std::lock_guard lock(mutex_);
  title_ = title;
  for (auto& lane : lanes_) lane->setTitle(title);
}

std::vector<ExtraServerState> ServerFanOut::states() const {
  std::vector<ExtraServerState> states;
  std::lock_guard lock(mutex_);
  for (auto& lane : lanes_) lane->addStates(states);
  return states;
}

}  // namespace brovana
