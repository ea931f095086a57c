#include "audio/encoder.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "audio/acm_convert.h"
#include "audio/engine_reports.h"
#include "audio/line_speed.h"
#include "audio/resampler.h"
#include "core/interval.h"
#include "core/prompts.h"
#include "core/text.h"
#include "core/thread_priority.h"
#include "diag/logger.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// The run a thread that start() made is to play; 0 when broadcast() is called directly.
thread_local int pendingRun = 0;

// Worker-thread state of the list run on this thread: the pass time and the stats updates.
thread_local long long passTimeMs = 0;
thread_local long long lastStatsMs = 0;

// Interval slots: the once-a-second update, the 5-second gauge update and the list start.
constexpr int kSlotGauge = 0;
constexpr int kSlotSecond = 1;
constexpr int kSlotListStart = 3;
constexpr long long kGaugeAfterMs = 20000;
constexpr int kTitleRefreshSeconds = 120;
constexpr std::chrono::milliseconds kQuickWait{500};

constexpr const char* kInitFailedLine =
    "****InitACM failed for song %s ripped at %d bps, %d channel(s), with a sample rate of %d. Could this be "
    "at the "
    "wrong speed?\n";

void raiseTo(std::atomic<int>& value, int atLeast) {
  int now = value.load();
  while (now < atLeast && !value.compare_exchange_weak(now, atLeast)) {
  }
}

long long nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The rate the conversion stage gets: the stream's own, so that the encoder need not resample;
// the track's when the line speed is not one of the four (the stage refuses it anyway).
int streamRate(int outputBitrate, int trackRate) {
  std::optional<LineSpeedFormat> format = lineSpeedFormat(outputBitrate);
  return format ? format->sampleRate : trackRate;
}

// Clears a flag when the scope ends, however it ends.
class FlagScope {
 public:
  explicit FlagScope(std::atomic<bool>& flag) : flag_(flag) { flag_.store(true); }
  ~FlagScope() { flag_.store(false); }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

Encoder::Encoder(AcmConvert& acm, DecoderLibrary& decoders, Prompts& prompts, EncoderTimings timings)
    : acm_(acm),
      decoders_(decoders),
      prompts_(prompts),
      timings_(timings),
      playback_(PlaybackSettings::fromEnvironment()) {}

Encoder::~Encoder() {
  closing_.store(true);
  stopRun_.store(INT_MAX);
  abort_.store(true);
  runningChanged_.notify_all();
  checkBroadcastMutex();
  // Every run now leaves at its next block or check; the join is what makes that certain.
  reapWorkers(true);
  std::lock_guard lock(decoderMutex_);
  closeDecoder();
}

void Encoder::setReports(EngineReports* reports) {
  reports_.store(reports);
}
void Encoder::setVisual(VisualFeed* visual) {
  visual_.store(visual);
}
void Encoder::setNoStats(bool on) {
  noStats_.store(on);
}

void Encoder::setPlayback(const PlaybackSettings& settings) {
  std::lock_guard lock(playbackMutex_);
  playback_ = settings;
}

void Encoder::reapWorkers(bool all) {
  std::vector<Worker> finished;
  {
    std::lock_guard lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (all || it->done->load()) {
        finished.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (Worker& worker : finished) worker.thread.join();
}

void Encoder::start(Playlist& playlist, int outputBitrate, int startIndex) {
  if (closing_.load()) return;
  outputBitrate_.store(outputBitrate);
  reapWorkers(false);
  int run = ++startedRun_;
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, run, done, &playlist, outputBitrate, startIndex] {
    long id = currentThreadId();
    workerThreadId_.store(id);
    // The thread starts at normal priority and then takes the engine's.
    if (priority_.load() != kPriorityNormal) applyPriority();
    pendingRun = run;
    broadcast(playlist, outputBitrate, startIndex);
    workerThreadId_.compare_exchange_strong(id, 0);
    done->store(true);
  });
  std::lock_guard lock(workersMutex_);
  workers_.push_back(Worker{std::move(thread), std::move(done)});
}

bool Encoder::broadcast(Playlist& playlist, int outputBitrate, int startIndex) {
  int run = pendingRun != 0 ? std::exchange(pendingRun, 0) : ++startedRun_;
  return runBroadcast(run, playlist, outputBitrate, startIndex);
}

bool Encoder::runBroadcast(int run, Playlist& playlist, int outputBitrate, int startIndex) {
  checkBroadcastMutex();
  OwnedMutex::Hold loopHold(broadcastLoopMutex_);

  if (!acm_.hasFormats()) {
    prompts_.warning(kNoCodecText);
    return false;
  }
  if (running_.load()) {
    // A second loop must not start, unless the one running is being aborted.
    if (!abort_.load()) return false;
    std::unique_lock lock(runningMutex_);
    for (int i = 0; i < timings_.runningWaitSeconds && running_.load() && !closing_.load(); ++i) {
      runningChanged_.wait_for(lock, 1s, [this] { return !running_.load() || closing_.load(); });
    }
  }
  if (closing_.load() || run <= stopRun_.load()) return false;

  restartInterval(kSlotListStart);
  abortThread();

  activeRun_.store(run);
  {
    std::lock_guard lock(indexMutex_);
    currentIndex_ = startIndex;
    indexJumped_ = false;
  }
  outputBitrate_.store(outputBitrate);
  playlist_.store(&playlist);
  running_.store(true);
  int count = playlist.count();

  std::string name = playlist.name();
  Logger::log("%s", kSeparatorLine);
  Logger::log("Starting playlist \"%s\"\n", name.c_str());
  Logger::countPlaylistLoop();
  if (EngineReports* reports = reports_.load()) reports->playlistName(name);

  int failures = 0;
  bool leave = false;
  while (!leave) {
    passTimeMs = 0;
    lastStatsMs = nowMs();
    for (;;) {
      if (failures > count) {
        prompts_.warning(kPlaylistFailedText);
        closeStage(false, timings_.trackWait);
        if (EngineReports* reports = reports_.load()) {
          reports->listFailed();
        } else {
          stopPlaying(false);
        }
        // Whatever the supervisor did, this run is over.
        raiseTo(stopRun_, run);
      }
      if (stopped(run)) {
        leave = true;
        break;
      }

      int index;
      {
        std::lock_guard lock(indexMutex_);
        index = currentIndex_;
        indexJumped_ = false;
      }
      PlaylistItemRef item = playlist.item(index);
      PlaylistItemRef next = playlist.nextItem(index, continuous_.load());
      {
        std::lock_guard lock(indexMutex_);
        currentItem_ = item;
        nextItem_ = next;
      }
      refreshTitleIfDue();
      playlist.clearNewFlags();

      std::string path;
      if (!item) {
        prompts_.warning(kPlaylistMessedUpText);
        // Counted as a failure, so that a list with nothing playable in it cannot go round forever.
        ++failures;
      } else {
        path = item->fullpath();
        MP3Info facts = item->mp3Info();
        TrackFormat trackFormat{path, streamRate(outputBitrate, facts.sampleRate()), facts.channels()};
        int result;
        {
          std::lock_guard lock(stageMutex_);
          result = acm_.InitACM(outputBitrate, &trackFormat);
        }
        if (result != kInitOpened) {
          item->setPlayable(false);
          playlist.redrawList();
          Logger::log(kInitFailedLine, item->filename().c_str(), facts.bitrate(), facts.channels(),
                      facts.sampleRate());
          ++failures;
        } else {
          item->setPlayable(true);
          playing_.store(true);
          EngineReports* reports = reports_.load();
          if (reports) {
            std::string title = facts.displayTitle();
            if (acm_.getSideChannel() != nullptr) title = formatText("(+mic) %s", title.c_str());
            reports->nowPlaying(title);
            reports->trackFormat(facts.formatInfo());
            reports->nextTrack(next ? next->mp3Info().displayTitle() : std::string(kEndOfProgramText));
            reports->announce(*item);
          }
          Logger::log("%s", kSeparatorLine);
          Logger::log(">>>> %d : Now playing : %s (%s)\n", trackNumber_.load(), item->filename().c_str(),
                      item->time().value_or("").c_str());
          Logger::log("listener count : %d, ripped at : %d, channels : %d\n", Logger::listeners(),
                      facts.bitrate(), facts.channels());
          Logger::sampleListeners();
          playlist.setCurrent(index);
          if (reports) reports->trackChanged();

          if (playTrack(run, item)) {
            Logger::countTrackPlayed();
            if (reports) reports->trackNumber(trackNumber_.load());
            failures = 0;
            ++trackNumber_;
          } else {
            item->setPlayable(false);
            playlist.redrawList();
            ++failures;
          }
        }
      }

      // Advance by the path, so that edits of the list during the track keep the order; a
      // removed track gives -1, and the list starts over from its first item.
      int found = item ? playlist.findByPath(index, path) : -1;
      {
        std::lock_guard lock(indexMutex_);
        if (!indexJumped_) currentIndex_ = found + 1;
        index = currentIndex_;
      }
      count = playlist.count();
      if (index < count) continue;

      if (continuous_.load() && !stopped(run)) {
        {
          std::lock_guard lock(indexMutex_);
          currentIndex_ = 0;
        }
        Logger::countPlaylistLoop();
        if (random_.load()) playlist.shuffle();
        break;  // a new pass
      }
      leave = true;
      break;
    }
  }

  if (activeRun_.load() == run) {
    playlist_.store(nullptr);
    running_.store(false);
    playing_.store(false);
    if (!final_.load()) playlist.setCurrent(-1);
    std::lock_guard lock(indexMutex_);
    currentItem_.reset();
    nextItem_.reset();
    currentIndex_ = -1;
  }
  Logger::log("Playlist done\n");
  runningChanged_.notify_all();
  return true;
}

bool Encoder::readAndBroadcastData(const PlaylistItemRef& item) {
  // Outside a list run (a caller of its own) the track belongs to a run of its own.
  int run = activeRun_.load();
  if (run == 0) {
    run = ++startedRun_;
    activeRun_.store(run);
  }
  return playTrack(run, item);
}

bool Encoder::playTrack(int run, const PlaylistItemRef& item) {
  int call = ++callCount_;
  std::string path = item->fullpath();
  MP3Info facts = item->mp3Info();
  FlagScope inTrack(inTrack_);

  std::unique_lock decoderLock(decoderMutex_);
  // A stop that could not wait for this track left the closing to it, however it ends.
  struct CloseAfterTrack {
    Encoder& engine;
    ~CloseAfterTrack() {
      if (!engine.closeAfterTrack_.exchange(false)) return;
      engine.closeDecoder();
      engine.closeStage(engine.final_.load(), engine.timings_.trackWait);
    }
  } closeAfterTrack{*this};
  if (!decoder_ && !openDecoder()) return false;

  int status = decoder_->createInput(path);
  if (status != kDecoderOk) {
    prompts_.warning(formatText("cannot create input, status=%d\n", status));
    Logger::log("Cannot open XAudio decoder output, error=%d\n", status);
    return false;
  }
  status = decoder_->openInput();
  if (status != kDecoderOk) {
    std::string text = formatText(
        "XAudio failed for song %s ripped at %d bps with %d channel(s). Could this be at the wrong speed?\n",
        item->filename().c_str(), facts.bitrate(), facts.channels());
    if (EngineReports* reports = reports_.load()) reports->lastError(text);
    Logger::log("%s", text.c_str());
    if (status == kDecoderInternal) Logger::log("***** XAUDIO.DLL Internal error\n");
    decoder_->closeInput();
    return false;
  }
  PcmFormat pcm = decoder_->format();
  const int outputBitrate = outputBitrate_.load();
  if (pcm.sampleRate != facts.sampleRate() || pcm.channels != facts.channels()) {
    // The header facts were wrong about this file (a false frame sync ahead of the audio, say).
    // The rate is the resampler's business; other channels need the stream opened again.
    Logger::log("%s decodes at %d Hz, %d channel(s); its header said %d Hz, %d channel(s)\n", path.c_str(),
                pcm.sampleRate, pcm.channels, facts.sampleRate(), facts.channels());
  }
  if (pcm.channels != facts.channels()) {
    TrackFormat trackFormat{path, streamRate(outputBitrate, pcm.sampleRate), pcm.channels};
    int result;
    {
      std::lock_guard lock(stageMutex_);
      result = acm_.InitACM(outputBitrate, &trackFormat);
    }
    if (result != kInitOpened) {
      decoder_->closeInput();
      return false;
    }
  }

  // Played at the file's own rate; handed on at the stream's.
  Resampler resampler(pcm.sampleRate, streamRate(outputBitrate, pcm.sampleRate), pcm.channels);
  auto hand = [&](std::span<const int16_t> samples) {
    if (samples.empty()) return;
    std::lock_guard lock(stageMutex_);
    acm_.convertAndSend(reinterpret_cast<const uint8_t*>(samples.data()),
                        static_cast<int>(samples.size() * sizeof(int16_t)), call, path.c_str());
  };
  auto send = [&](std::span<const int16_t> samples) {
    if (resampler.passThrough()) return hand(samples);
    streamBlock_.clear();
    resampler.process(samples, streamBlock_);
    hand(streamBlock_);
  };

  const long long trackStart = nowMs();
  long long trackOutputBytes = 0;
  lastStatsMs = trackStart;
  OwnedMutex::Hold trackHold(readAndBroadcastMutex_);
  abort_.store(false);

  for (;;) {
    playing_.store(true);
    DecodeStatus result = decoder_->decode();
    if (result == DecodeStatus::Block || result == DecodeStatus::LastBlock) {
      std::span<const int16_t> block = decoder_->block();
      if (!block.empty()) {
        output_->play(block, pcm);
        send(block);
      }
      if (!noStats_.load()) {
        EngineReports* reports = reports_.load();
        if (intervalElapsed(kSlotSecond, 1000)) {
          trackOutputBytes += acm_.takeBytesSent();
          if (reports != nullptr) {
            reports->dataCounter(formatText("%d kb (input) , %d kb (output)",
                                            static_cast<int>(decoder_->bytesRead() / 1000),
                                            static_cast<int>(trackOutputBytes / 1000)));
            if (Playlist* playlist = playlist_.load()) showTimes(*playlist, facts, nowMs() - trackStart);
          }
          if (abort_.load()) break;
          long long now = nowMs();
          passTimeMs += now - lastStatsMs;
          lastStatsMs = now;
          refreshTitleIfDue();
        }
        if (reports != nullptr && nowMs() - trackStart > kGaugeAfterMs && intervalElapsed(kSlotGauge, 5000))
          reports->quality(acm_.getThroughputRatio(), acm_.getTransmitBitRate());
      }
    } else if (result == DecodeStatus::Timeout) {
      Logger::log("XA_ERROR_TIMEOUT\n");
    } else if (result == DecodeStatus::InvalidFrame) {
      Logger::log("XA_ERROR_INVALID_FRAME\n");
    }
    if (abort_.load() || stopped(run)) break;
    if (result != DecodeStatus::Block && result != DecodeStatus::Timeout &&
        result != DecodeStatus::InvalidFrame) {
      break;
    }
  }

  if (!resampler.passThrough()) {
    streamBlock_.clear();
    resampler.drain(streamBlock_);
    hand(streamBlock_);
  }
  {
    std::lock_guard lock(stageMutex_);
    acm_.flush();
  }
  trackOutputBytes += acm_.takeBytesSent();
  Logger::log("%d bytes transmitted for %s\n", static_cast<int>(trackOutputBytes), path.c_str());
  if (VisualFeed* visual = visual_.load()) visual->addData(nullptr, 0, pcm.channels, 2);

  decoder_->closeInput();
  trackHold.release();
  return true;
}

bool Encoder::openDecoder() {
  decoder_ = decoders_.newDecoder();
  if (!decoder_) {
    prompts_.warning("cannot create decoder\n");
    return false;
  }
  PlaybackSettings settings;
  {
    std::lock_guard lock(playbackMutex_);
    settings = playback_;
  }
  OpenedOutput opened = openPlayback(decoders_, settings);
  if (opened.status == kOutputBusy) {
    prompts_.warning("Cannot open XAudio decoder output, Device is busy");
    Logger::log("Cannot open XAudio decoder output, device is busy, error=%d\n", opened.status);
  } else if (opened.status != kDecoderOk || !opened.output) {
    prompts_.warning(formatText("Cannot open XAudio decoder output, error=%d\n", opened.status));
    Logger::log("Cannot open XAudio decoder output, error=%d", opened.status);
  }
  if (opened.status != kDecoderOk || !opened.output) {
    decoder_.reset();
    return false;
  }
  output_ = std::move(opened.output);
  return true;
}

void Encoder::closeDecoder() {
  if (decoder_) decoder_->closeInput();
  if (output_) output_->close();
  output_.reset();
  decoder_.reset();
}

bool Encoder::closeStage(bool final, std::chrono::milliseconds wait) {
  std::unique_lock lock(stageMutex_, std::defer_lock);
  if (!lock.try_lock_for(wait)) return false;
  acm_.closeACM(final);
  return true;
}

void Encoder::stopPlaying(bool final) {
  raiseTo(stopRun_, startedRun_.load());
  final_.store(final);
  EngineReports* reports = reports_.load();
  if (reports != nullptr && playing_.load()) reports->trackCleared();
  bool aborted = abortThread();

  // The decoder is closed only when no track routine holds it; otherwise the worker closes it
  // (and the stream) when its track ends, which the stop makes happen at its next block.
  // The locks are held only briefly outside a track, except while the worker shows a message
  // box, which may need this very thread: a short wait, and the worker does the rest.
  const auto wait = std::min<std::chrono::milliseconds>(timings_.trackWait, kQuickWait);
  std::unique_lock decoderLock(decoderMutex_, std::defer_lock);
  if (aborted && decoderLock.try_lock_for(wait)) {
    closeDecoder();
    decoderLock.unlock();
    if (!closeStage(final, wait)) closeAfterTrack_.store(true);
  } else {
    closeAfterTrack_.store(true);
  }
}

bool Encoder::abortThread() {
  prompts_.waitCursor(true);
  abort_.store(true);
  bool released = readAndBroadcastMutex_.waitReleased(timings_.trackWait);
  playing_.store(false);
  prompts_.waitCursor(false);
  return released;
}

bool Encoder::checkBroadcastMutex() {
  return broadcastLoopMutex_.waitReleased(timings_.loopWait);
}

PlaylistItemRef Encoder::currentItem() const {
  std::lock_guard lock(indexMutex_);
  return currentItem_;
}

PlaylistItemRef Encoder::nextItem() const {
  std::lock_guard lock(indexMutex_);
  return nextItem_;
}

int Encoder::currentIndex() const {
  std::lock_guard lock(indexMutex_);
  return currentIndex_;
}

void Encoder::setCurrentIndex(int index) {
  {
    std::lock_guard lock(indexMutex_);
    currentIndex_ = index;
    indexJumped_ = true;
  }
  abortThread();
}

bool Encoder::setPriorityClass(int priorityClass) {
  switch (priorityClass) {
    case kPriorityClassNormal:
      return setPriority(kPriorityNormal);
    case kPriorityClassHigh:
      return setPriority(kPriorityAboveNormal);
    case kPriorityClassRealtime:
      return setPriority(kPriorityHighest);
    default:
      return applyPriority();
  }
}

bool Encoder::setPriority(int priority) {
  if (priority < kPriorityNormal || priority > kPriorityHighest) return false;
  priority_.store(priority);
  return applyPriority();
}

bool Encoder::applyPriority() {
  long thread = workerThreadId_.load();
  if (thread == 0) return true;
  return setThreadPriority(thread, priority_.load());
}

void Encoder::refreshTitleIfDue() {
  std::time_t now = std::time(nullptr);
  std::time_t last = lastTitleRefresh_.load();
  if (now - last <= kTitleRefreshSeconds) return;
  if (!lastTitleRefresh_.compare_exchange_strong(last, now)) return;
  if (EngineReports* reports = reports_.load()) {
    reports->onAirTitle();
    reports->listeners();
  }
}

void Encoder::showTimes(Playlist& playlist, const MP3Info& facts, long long trackMs) {
  EngineReports* reports = reports_.load();
  if (reports == nullptr) return;
  int total = playlist.totalTime(false);
  if (total <= 0) total = playlist.totalTime(true);
  int trackSeconds = static_cast<int>(trackMs / 1000);
  int passSeconds = static_cast<int>(passTimeMs / 1000);
  reports->trackTimes(trackSeconds, facts.duration() - trackSeconds);
  reports->playlistTimes(passSeconds, total - passSeconds);
}

}  // namespace brovana
