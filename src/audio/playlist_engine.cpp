#include "audio/playlist_engine.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "audio/conversion_stage.h"
#include "audio/engine_reports.h"
#include "audio/line_speed.h"
#include "audio/resampler.h"
#include "audio/silence_trim.h"
#include "audio/track_mixer.h"
#include "core/interval.h"
#include "core/prompts.h"
#include "core/text.h"
#include "core/thread_priority.h"
#include "diag/logger.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Interval slots: the once-a-second update, the 5-second gauge update and the list start.
constexpr int kSlotGauge = 0;
constexpr int kSlotSecond = 1;
constexpr int kSlotListStart = 3;
constexpr long long kGaugeAfterMs = 20000;
constexpr int kTitleRefreshSeconds = 120;
constexpr std::chrono::milliseconds kQuickWait{500};
constexpr std::chrono::milliseconds kFlushWait{2000};

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
// the full band when the stage wants it for its tap; the track's when the line speed is not one
// of the four (the stage refuses it anyway).
int streamRate(int outputBitrate, int trackRate, bool fullBand) {
  if (fullBand) return ConversionStage::kFullBandRate;
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

PlaylistEngine::PlaylistEngine(ConversionStage& conversion, DecoderLibrary& decoders, Prompts& prompts,
                               EngineTimings timings)
    : conversion_(conversion),
      decoders_(decoders),
      prompts_(prompts),
      timings_(timings),
      playback_(PlaybackSettings::fromEnvironment()) {}

PlaylistEngine::~PlaylistEngine() {
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

void PlaylistEngine::setReports(EngineReports* reports) {
  reports_.store(reports);
}
void PlaylistEngine::setVisual(VisualFeed* visual) {
  visual_.store(visual);
}
void PlaylistEngine::setNoStats(bool on) {
  noStats_.store(on);
}

void PlaylistEngine::setLoudness(LoudnessLibrary* library, const LoudnessSettings& settings,
                                 double crossfadeSeconds) {
  std::lock_guard lock(loudnessMutex_);
  loudness_.store(library);
  loudnessSettings_ = settings;
  crossfadeSeconds_ = crossfadeSeconds;
}

void PlaylistEngine::setPlayback(const PlaybackSettings& settings) {
  std::lock_guard lock(playbackMutex_);
  playback_ = settings;
}

void PlaylistEngine::reapWorkers(bool all) {
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

void PlaylistEngine::start(Playlist& playlist, int outputBitrate, int startIndex) {
  if (closing_.load()) return;
  outputBitrate_.store(outputBitrate);
  reapWorkers(false);
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread(
      [this, run = ListRun{++startedRun_, &playlist, outputBitrate}, done, startIndex]() mutable {
        long id = currentThreadId();
        workerThreadId_.store(id);
        // The thread starts at normal priority and then takes the engine's.
        if (priority_.load() != kPriorityNormal) applyPriority();
        runBroadcast(run, startIndex);
        workerThreadId_.compare_exchange_strong(id, 0);
        done->store(true);
      });
  std::lock_guard lock(workersMutex_);
  workers_.push_back(Worker{std::move(thread), std::move(done)});
}

bool PlaylistEngine::broadcast(Playlist& playlist, int outputBitrate, int startIndex) {
  ListRun run{++startedRun_, &playlist, outputBitrate};
  return runBroadcast(run, startIndex);
}

bool PlaylistEngine::runBroadcast(ListRun& run, int startIndex) {
  checkBroadcastMutex();
  OwnedMutex::Hold loopHold(broadcastLoopMutex_);
  if (!mayStart(run)) return false;
  beginRun(run, startIndex);
  while (playPass(run)) {
  }
  endRun(run);
  return true;
}

bool PlaylistEngine::mayStart(const ListRun& run) {
  if (!conversion_.hasFormats()) {
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
  return !closing_.load() && run.number > stopRun_.load();
}

void PlaylistEngine::beginRun(ListRun& run, int startIndex) {
  restartInterval(kSlotListStart);
  {
    std::lock_guard lock(loudnessMutex_);
    mixer_ = TrackMixer{};
    mixer_.setSeconds(crossfadeSeconds_);
  }
  abortThread();
  activeRun_.store(run.number);
  {
    std::lock_guard lock(indexMutex_);
    currentIndex_ = startIndex;
    indexJumped_ = false;
  }
  outputBitrate_.store(run.outputBitrate);
  playlist_.store(run.playlist);
  running_.store(true);
  run.count = run.playlist->count();

  std::string name = run.playlist->name();
  Logger::log("%s", kSeparatorLine);
  Logger::log("Starting playlist \"%s\"\n", name.c_str());
  Logger::countPlaylistLoop();
  if (EngineReports* reports = reports_.load()) reports->playlistName(name);
}

bool PlaylistEngine::playPass(ListRun& run) {
  run.passTimeMs = 0;
  run.lastStatsMs = nowMs();
  for (;;) {
    if (run.failures > run.count) failList(run);
    if (stopped(run.number)) return false;
    int index;
    {
      std::lock_guard lock(indexMutex_);
      index = currentIndex_;
      indexJumped_ = false;
    }
    PlaylistItemRef item = run.playlist->item(index);
    PlaylistItemRef next = run.playlist->nextItem(index, continuous_.load());
    {
      std::lock_guard lock(indexMutex_);
      currentItem_ = item;
      nextItem_ = next;
    }
    refreshTitleIfDue();
    run.playlist->clearNewFlags();
    if (item) {
      playEntry(run, index, item, next);
    } else {
      prompts_.warning(kPlaylistMessedUpText);
      ++run.failures;  // so that a list with nothing playable in it cannot go round forever
    }
    if (!advance(run, index, item)) return startOver(run);
  }
}

void PlaylistEngine::playEntry(ListRun& run, int index, const PlaylistItemRef& item,
                               const PlaylistItemRef& next) {
  MP3Info facts = item->mp3Info();
  if (openStage(run.outputBitrate, item->fullpath(), facts.sampleRate(), facts.channels()) !=
      StreamOpen::Opened) {
    markUnplayable(run, *item, "the stream cannot take its format");
    Logger::log(kInitFailedLine, item->filename().c_str(), facts.bitrate(), facts.channels(),
                facts.sampleRate());
    return;
  }
  item->setPlayable(true);
  playing_.store(true);
  run.nextFollows = next != nullptr;
  // While the last track's end is laid under this one, the title changes once this one leads.
  if (mixer_.holding())
    announceOnLead_ = [this, item, facts, next] { announce(*item, facts, next); };
  else
    announce(*item, facts, next);
  run.playlist->setCurrent(index);
  if (EngineReports* reports = reports_.load()) {
    reports->trackNumber(index + 1);
    reports->trackChanged();
  }

  if (!playTrack(run, item)) {
    markUnplayable(run, *item, facts.problem().empty() ? "it could not be decoded" : facts.problem());
    return;
  }
  Logger::countTrackPlayed();
  run.failures = 0;
  ++trackNumber_;
}

void PlaylistEngine::announce(const PlaylistItem& item, const MP3Info& facts, const PlaylistItemRef& next) {
  if (EngineReports* reports = reports_.load()) {
    std::string title = facts.displayTitle();
    if (conversion_.getSideChannel() != nullptr) title = formatText("(+mic) %s", title.c_str());
    reports->nowPlaying(title);
    reports->trackFormat(facts.formatInfo());
    reports->nextTrack(next ? next->mp3Info().displayTitle() : std::string(kEndOfProgramText));
  }
  Logger::log("%s", kSeparatorLine);
  Logger::log(">>>> %d : Now playing : %s (%s)\n", trackNumber_.load(), item.filename().c_str(),
              item.time().value_or("").c_str());
  Logger::log("listener count : %d, ripped at : %d, channels : %d\n", Logger::listeners(), facts.bitrate(),
              facts.channels());
  Logger::sampleListeners();
}

void PlaylistEngine::markUnplayable(ListRun& run, PlaylistItem& item, const std::string& reason) {
  Logger::log("%s skipped: %s\n", item.fullpath().c_str(), reason.c_str());
  item.setProblem(reason);
  item.setPlayable(false);
  run.playlist->redrawList();
  ++run.failures;
  Logger::countFailedFile();
  if (EngineReports* reports = reports_.load()) reports->errorCounts();
}

void PlaylistEngine::failList(const ListRun& run) {
  prompts_.warning(kPlaylistFailedText);
  closeStage(false, timings_.trackWait);
  if (EngineReports* reports = reports_.load()) {
    reports->listFailed();
  } else {
    stopPlaying(false);
  }
  // Whatever the controller did, this run is over.
  raiseTo(stopRun_, run.number);
}

bool PlaylistEngine::advance(ListRun& run, int index, const PlaylistItemRef& item) {
  // By the path, so that edits of the list during the track keep the order; a removed track
  // gives -1, and the list starts over from its first item.
  int found = item ? run.playlist->findByPath(index, item->fullpath()) : -1;
  run.count = run.playlist->count();
  std::lock_guard lock(indexMutex_);
  if (!indexJumped_) currentIndex_ = found + 1;
  return currentIndex_ < run.count;
}

bool PlaylistEngine::startOver(const ListRun& run) {
  if (!continuous_.load() || stopped(run.number)) return false;
  {
    std::lock_guard lock(indexMutex_);
    currentIndex_ = 0;
  }
  Logger::countPlaylistLoop();
  if (random_.load()) run.playlist->shuffle();
  return true;
}

void PlaylistEngine::endRun(const ListRun& run) {
  if (activeRun_.load() == run.number) {
    playlist_.store(nullptr);
    running_.store(false);
    playing_.store(false);
    if (!final_.load()) run.playlist->setCurrent(-1);
    std::lock_guard lock(indexMutex_);
    currentItem_.reset();
    nextItem_.reset();
    currentIndex_ = -1;
  }
  Logger::log("Playlist done\n");
  runningChanged_.notify_all();
}

bool PlaylistEngine::readAndBroadcastData(const PlaylistItemRef& item) {
  // Outside a list run (a caller of its own) the track belongs to a run of its own.
  int number = activeRun_.load();
  if (number == 0) {
    number = ++startedRun_;
    activeRun_.store(number);
  }
  ListRun run{number, playlist_.load(), outputBitrate_.load()};
  return playTrack(run, item);
}

StreamOpen PlaylistEngine::openStage(int outputBitrate, const std::string& path, int sampleRate,
                                     int channels) {
  TrackFormat track{path, streamRate(outputBitrate, sampleRate, conversion_.fullBand()), channels};
  std::lock_guard lock(stageMutex_);
  return conversion_.openStream(outputBitrate, &track);
}

bool PlaylistEngine::playTrack(ListRun& run, const PlaylistItemRef& item) {
  int call = ++callCount_;
  FlagScope inTrack(inTrack_);
  std::unique_lock decoderLock(decoderMutex_);
  // A stop that could not wait for this track left the closing to it, however it ends.
  struct CloseAfterTrack {
    PlaylistEngine& engine;
    ~CloseAfterTrack() {
      if (!engine.closeAfterTrack_.exchange(false)) return;
      engine.closeDecoder();
      engine.closeStage(engine.final_.load(), engine.timings_.trackWait);
    }
  } closeAfterTrack{*this};
  if (!decoder_ && !openDecoder()) return false;
  MP3Info facts = item->mp3Info();
  std::optional<PcmFormat> pcm = openTrack(run.outputBitrate, *item, facts);
  if (!pcm) return false;

  OwnedMutex::Hold trackHold(readAndBroadcastMutex_);
  abort_.store(false);
  bool played = streamTrack(run, *item, facts, *pcm, call);
  decoder_->closeInput();
  return played;
}

std::optional<PcmFormat> PlaylistEngine::openTrack(int outputBitrate, const PlaylistItem& item,
                                                   const MP3Info& facts) {
  const std::string& path = item.fullpath();
  int status = decoder_->createInput(path);
  if (status != kDecoderOk) {
    prompts_.warning(formatText("cannot create input, status=%d\n", status));
    Logger::log("Cannot open XAudio decoder output, error=%d\n", status);
    return std::nullopt;
  }
  status = decoder_->openInput();
  if (status != kDecoderOk) {
    std::string text = formatText(
        "XAudio failed for song %s ripped at %d bps with %d channel(s). Could this be at the wrong speed?\n",
        item.filename().c_str(), facts.bitrate(), facts.channels());
    if (EngineReports* reports = reports_.load()) reports->lastError(text);
    Logger::log("%s", text.c_str());
    if (status == kDecoderInternal) Logger::log("***** XAUDIO.DLL Internal error\n");
    decoder_->closeInput();
    return std::nullopt;
  }
  PcmFormat pcm = decoder_->format();
  if (pcm.sampleRate != facts.sampleRate() || pcm.channels != facts.channels()) {
    // The header facts were wrong about this file (a false frame sync ahead of the audio, say).
    // The rate is the resampler's business; other channels need the stream opened again.
    Logger::log("%s decodes at %d Hz, %d channel(s); its header said %d Hz, %d channel(s)\n", path.c_str(),
                pcm.sampleRate, pcm.channels, facts.sampleRate(), facts.channels());
  }
  if (pcm.channels != facts.channels() &&
      openStage(outputBitrate, path, pcm.sampleRate, pcm.channels) != StreamOpen::Opened) {
    decoder_->closeInput();
    return std::nullopt;
  }
  return pcm;
}

float PlaylistEngine::playingGain(const ListRun& run, const PlaylistItem& item, bool& final, bool first) {
  std::unique_lock lock(loudnessMutex_);
  LoudnessSettings settings = loudnessSettings_;
  lock.unlock();
  std::vector<PlaylistItemRef> list = run.playlist ? run.playlist->items() : std::vector<PlaylistItemRef>{};
  return playGainFactor(settings, loudness_.load(), item, list, final, first);
}

bool PlaylistEngine::streamTrack(ListRun& run, const PlaylistItem& item, const MP3Info& facts, PcmFormat pcm,
                                 int call) {
  const std::string& path = item.fullpath();
  // Played at the file's own rate; handed on at the rate the stage was opened for.
  std::optional<PcmFormat> opened = conversion_.getSourceFormat();
  const int rate = opened ? opened->sampleRate : streamRate(run.outputBitrate, pcm.sampleRate, false);
  TrackOutput out{item, pcm, call, rate};
  if (rate != pcm.sampleRate &&
      !(out.resampler = decoders_.newResampler(pcm.sampleRate, rate, pcm.channels))) {
    Logger::log("%s cannot be resampled from %d Hz to %d Hz\n", path.c_str(), pcm.sampleRate, rate);
    return false;
  }
  // A track not measured yet starts at once at its tag's gain (or none), and moves to the
  // measured gain when the measurements it needs (its own, or its album's) come in while it plays.
  bool final = false;
  GainRamp gain(playingGain(run, item, final, true));
  LoudnessLibrary* library = loudness_.load();
  int measurements = library ? library->measuredCount() : 0;
  SilenceTrim trim(pcm.channels, pcm.sampleRate);
  if (mixer_.active()) mixer_.begin(PcmFormat{rate, pcm.channels});

  TrackClock clock{nowMs()};
  run.lastStatsMs = clock.startMs;
  for (;;) {
    playing_.store(true);
    DecodeStatus result = decoder_->decode();
    if (result == DecodeStatus::Block || result == DecodeStatus::LastBlock) {
      if (!final && std::exchange(measurements, library->measuredCount()) != measurements)
        gain.setTarget(playingGain(run, item, final, false));
      playBlock(out, gain.apply(trim.take(decoder_->block(), trimBlock_), pcm.channels, gainBlock_));
      if (!noStats_.load() && !reportProgress(run, facts, clock)) break;
    } else if (result == DecodeStatus::Timeout || result == DecodeStatus::InvalidFrame) {
      Logger::log("%s\n", toString(result));
    }
    if (abort_.load() || stopped(run.number)) {
      fadeOutOnJump(out, gain);
      break;
    }
    // The last block ends the track after it, any status but these three at once.
    if (result != DecodeStatus::Block && result != DecodeStatus::Timeout &&
        result != DecodeStatus::InvalidFrame)
      break;
  }

  if (out.resampler) {
    streamBlock_.clear();
    out.resampler->drain(streamBlock_);
    mixer_.add(streamBlock_, [&](auto samples) { sendOut(out, samples); });
  }
  // A track that ended by itself lays its end under the next; a jump's next track takes it too.
  // The list's last track plays to its end, and a stop fades what was held.
  const bool stopping = stopped(run.number);
  if (!stopping && (run.nextFollows || jumped()))
    mixer_.end();
  else
    mixer_.flush([&](auto samples) { sendOut(out, samples); }, stopping);
  {
    std::lock_guard lock(stageMutex_);
    conversion_.flush();
  }
  // The track's last PCM and the codec's last frame go out before the next track reopens the
  // stage; otherwise they would be lost, and the stream would end on half a frame.
  conversion_.waitFlushed(kFlushWait, abort_);
  clock.outputBytes += conversion_.takeBytesSent();
  Logger::log("%d bytes transmitted for %s\n", static_cast<int>(clock.outputBytes), path.c_str());
  if (VisualFeed* visual = visual_.load()) visual->addData(nullptr, 0, pcm.channels, 2);
  // A track that ended before its first block was not played; one that was stopped was.
  return out.announced || abort_.load() || stopped(run.number);
}

void PlaylistEngine::playBlock(TrackOutput& out, std::span<const int16_t> block) {
  if (block.empty()) return;
  // The service hears of the track once it plays, not of one that fails at its first frame.
  if (!out.announced)
    if (EngineReports* reports = reports_.load()) reports->announce(out.item);
  out.announced = true;
  // Crossfading, the sound card plays the mix, at the stream's rate.
  if (!mixer_.active()) output_->play(block, out.pcm);
  if (out.resampler) {
    streamBlock_.clear();
    out.resampler->process(block, streamBlock_);
    block = streamBlock_;
  }
  mixer_.add(block, [&](auto samples) { sendOut(out, samples); });
}

void PlaylistEngine::sendOut(const TrackOutput& out, std::span<const int16_t> samples) {
  if (samples.empty()) return;
  if (mixer_.active()) output_->play(samples, PcmFormat{out.rate, out.pcm.channels});
  if (announceOnLead_ && mixer_.newTrackLeads()) std::exchange(announceOnLead_, nullptr)();
  std::lock_guard lock(stageMutex_);
  conversion_.convertAndSend(reinterpret_cast<const uint8_t*>(samples.data()),
                             static_cast<int>(samples.size() * sizeof(int16_t)), out.call,
                             out.item.fullpath().c_str());
}

bool PlaylistEngine::jumped() const {
  std::lock_guard lock(indexMutex_);
  return indexJumped_;
}

void PlaylistEngine::fadeOutOnJump(TrackOutput& out, GainRamp& gain) {
  // "Next" and the jump to a track end this one with a short fade rather than a cut: one more
  // block, faded to nothing. A stop still stops at once.
  if (!jumped() || !out.announced || stopped(activeRun_.load()) || decoder_->decode() != DecodeStatus::Block)
    return;
  gain.setTarget(0);
  playBlock(out, gain.apply(decoder_->block(), out.pcm.channels, gainBlock_));
}

bool PlaylistEngine::reportProgress(ListRun& run, const MP3Info& facts, TrackClock& clock) {
  EngineReports* reports = reports_.load();
  long long trackMs = nowMs() - clock.startMs;
  if (intervalElapsed(kSlotSecond, 1000)) {
    clock.outputBytes += conversion_.takeBytesSent();
    if (reports != nullptr) {
      reports->dataCounter(formatText("%d kb (input) , %d kb (output)",
                                      static_cast<int>(decoder_->bytesRead() / 1000),
                                      static_cast<int>(clock.outputBytes / 1000)));
      if (run.playlist) showTimes(run, facts, trackMs);
    }
    if (abort_.load()) return false;
    if (LoudnessLibrary* library = loudness_.load(); library && run.playlist) {
      // New measurements reach the list's loudness figures.
      int measured = library->measuredCount();
      if (std::exchange(run.measuredShown, measured) != measured) run.playlist->redrawList();
    }
    long long now = nowMs();
    run.passTimeMs += now - run.lastStatsMs;
    run.lastStatsMs = now;
    refreshTitleIfDue();
  }
  if (reports != nullptr && nowMs() - clock.startMs > kGaugeAfterMs && intervalElapsed(kSlotGauge, 5000))
    reports->quality(conversion_.getThroughputRatio(), conversion_.getTransmitBitRate());
  return true;
}

bool PlaylistEngine::openDecoder() {
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

void PlaylistEngine::closeDecoder() {
  if (decoder_) decoder_->closeInput();
  if (output_) output_->close();
  output_.reset();
  decoder_.reset();
}

bool PlaylistEngine::closeStage(bool final, std::chrono::milliseconds wait) {
  std::unique_lock lock(stageMutex_, std::defer_lock);
  if (!lock.try_lock_for(wait)) return false;
  conversion_.closeStream(final);
  return true;
}

void PlaylistEngine::stopPlaying(bool final) {
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

bool PlaylistEngine::abortThread() {
  prompts_.waitCursor(true);
  abort_.store(true);
  bool released = readAndBroadcastMutex_.waitReleased(timings_.trackWait);
  playing_.store(false);
  prompts_.waitCursor(false);
  return released;
}

bool PlaylistEngine::checkBroadcastMutex() {
  return broadcastLoopMutex_.waitReleased(timings_.loopWait);
}

PlaylistItemRef PlaylistEngine::currentItem() const {
  std::lock_guard lock(indexMutex_);
  return currentItem_;
}

PlaylistItemRef PlaylistEngine::nextItem() const {
  std::lock_guard lock(indexMutex_);
  return nextItem_;
}

int PlaylistEngine::currentIndex() const {
  std::lock_guard lock(indexMutex_);
  return currentIndex_;
}

void PlaylistEngine::setCurrentIndex(int index) {
  {
    std::lock_guard lock(indexMutex_);
    currentIndex_ = index;
    indexJumped_ = true;
  }
  abortThread();
}

void PlaylistEngine::refreshTitleIfDue() {
  std::time_t now = std::time(nullptr);
  std::time_t last = lastTitleRefresh_.load();
  if (now - last <= kTitleRefreshSeconds) return;
  if (!lastTitleRefresh_.compare_exchange_strong(last, now)) return;
  if (EngineReports* reports = reports_.load()) {
    reports->onAirTitle();
    reports->listeners();
  }
}

void PlaylistEngine::showTimes(const ListRun& run, const MP3Info& facts, long long trackMs) {
  EngineReports* reports = reports_.load();
  if (reports == nullptr) return;
  int total = run.playlist->totalTime(false);
  if (total <= 0) total = run.playlist->totalTime(true);
  int trackSeconds = static_cast<int>(trackMs / 1000);
  int passSeconds = static_cast<int>(run.passTimeMs / 1000);
  reports->trackTimes(trackSeconds, facts.duration() - trackSeconds);
  reports->playlistTimes(passSeconds, total - passSeconds);
}

}  // namespace brovana
