#include "audio/conversion_stage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "audio/codec_install.h"
#include "audio/line_speed.h"
#include "core/prompts.h"
#include "diag/logger.h"

namespace brovana {
namespace {

// The conversion thread is woken when there is work (a chunk's worth of PCM, a flush, the
// stop); this is only how long it waits when nobody wakes it.
constexpr auto kIdleWait = std::chrono::seconds(1);
constexpr auto kShutDownWait = std::chrono::milliseconds(20);

// The file name part of a track path.
std::string fileNamePart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ConversionStage::ConversionStage(StreamSink& connection, ConversionStatus& status, EncoderLibrary& encoders,
                                 Prompts& prompts, ProgramExit& exit)
    : connection_(connection),
      status_(status),
      encoders_(encoders),
      prompts_(prompts),
      offered_(encoders.formats()) {
  hasMp3_ = std::any_of(offered_.begin(), offered_.end(),
                        [](const EncodedFormat& f) { return f.codec == Codec::Mp3; });
  scratch_.resize(kScratchBytes);
  if (!installCodec(encoders_, prompts_)) codecInstallFailed(prompts_, exit);
}

ConversionStage::~ConversionStage() {
  shutDown();
  closeStream(true);
  // The thread finishes its current conversion and send before it sees the stop flag.
  if (thread_.joinable()) thread_.join();
}

int64_t ConversionStage::nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ConversionStage::startConvertThread() {
  std::lock_guard lock(threadMutex_);
  if (threadRunning_) return;  // one reader of the ring, ever
  if (thread_.joinable()) thread_.join();
  // Set here rather than in the thread, so that a shutDown right after the start is not undone.
  stop_.store(0);
  threadRunning_ = true;
  thread_ = std::thread(&ConversionStage::convertThread, this);
}

bool ConversionStage::threadRunning() const {
  std::lock_guard lock(threadMutex_);
  return threadRunning_;
}

void ConversionStage::setVisual(VisualFeed* visual) {
  visual_.store(visual, std::memory_order_release);
}
void ConversionStage::setSideChannel(SideChannel* side) {
  side_.store(side, std::memory_order_release);
}
void ConversionStage::setDspHost(SampleProcessor* dsp) {
  dsp_.store(dsp, std::memory_order_release);
}
void ConversionStage::setPcmTap(PcmTap* tap) {
  tap_.store(tap, std::memory_order_release);
}
void ConversionStage::setFullBand(bool on) {
  fullBand_.store(on);
}
bool ConversionStage::fullBand() const {
  return fullBand_.load();
}
void ConversionStage::setMusicGain(float gain) {
  musicGain_.store(gain, std::memory_order_relaxed);
}

std::optional<PcmFormat> ConversionStage::getSourceFormat() const {
  std::lock_guard lock(encoderMutex_);
  return sourceFormat_;
}

std::optional<EncodedFormat> ConversionStage::getMp3Format() const {
  std::lock_guard lock(encoderMutex_);
  return mp3Format_;
}

int ConversionStage::pendingBytes() const {
  // The reader's view; the conversion thread only reads the ring under the encoder lock.
  std::lock_guard lock(encoderMutex_);
  return ring_.unread();
}

StreamOpen ConversionStage::openStream(int lineSpeed, const TrackFormat* track) {
  if (!hasMp3_) return StreamOpen::NoFormats;
  bool streamOpen;
  {
    std::lock_guard lock(encoderMutex_);
    streamOpen = encoder_ != nullptr;
  }
  if (streamOpen) closeStream(false);
  {
    // The conversion thread reads the ring only under this lock; this thread is its writer.
    std::lock_guard lock(encoderMutex_);
    ring_.zeroStorage();
  }

  std::optional<LineSpeedFormat> line = checkedLineSpeedFormat(lineSpeed, prompts_);
  if (!line || std::find(offered_.begin(), offered_.end(), line->mp3()) == offered_.end()) {
    prompts_.information("Your MP3 driver doesn't support selected format!");
    return StreamOpen::NoFormatForLineSpeed;
  }
  const EncodedFormat mp3 = line->mp3();
  const PcmFormat source = track              ? PcmFormat{track->sampleRate, track->channels}
                           : fullBand_.load() ? PcmFormat{kFullBandRate, line->pcm().channels}
                                              : line->pcm();
  EncoderOpened opened = encoders_.open(source, mp3);
  {
    std::lock_guard lock(encoderMutex_);
    sourceFormat_ = source;
    mp3Format_ = mp3;
    sourceChannels_.store(source.channels);
    sourceRate_.store(source.sampleRate);
    sourceBytesPerSec_.store(source.bytesPerSecond());
    if (opened.encoder) {
      encoder_ = std::move(opened.encoder);
      return StreamOpen::Opened;
    }
  }
  return failStream(opened.reason, track, source, mp3);
}

StreamOpen ConversionStage::failStream(const std::string& reason, const TrackFormat* track,
                                       const PcmFormat& source, const EncodedFormat& mp3) {
  if (!track) {
    Logger::log("This MP3 codec failed to open for your line-in conversion stream.\n");
    prompts_.information("This MP3 codec failed to open for your line-in conversion stream.");
    status_.refreshCounters();
    return StreamOpen::Refused;
  }
  std::string name = fileNamePart(track->path);
  char line[600];
  if (source.channels == 1 && mp3.channels == 2) {
    Logger::log("This MP3 codec cannot convert %s to from MONO to STEREO\n", track->path.c_str());
    Logger::log("so must skip this track, %s\n", reason.c_str());
    std::snprintf(line, sizeof line, "Cannot convert mono track to stereo, %s skipped", name.c_str());
  } else {
    Logger::log(
        "This MP3 codec cannot convert %s to your chosen line speed,\nwhich happens with some bitrate "
        "combinations "
        "(such as files ripped at 24000 and transmitted at 56000).\nTry a different connection rate. %s\n",
        track->path.c_str(), reason.c_str());
    std::snprintf(line, sizeof line, "Cannot convert track %s", name.c_str());
  }
  status_.showLastError(line);
  status_.refreshCounters();
  return StreamOpen::Refused;
}

bool ConversionStage::convertAndSend(const uint8_t* block, int length, int blockTag, const char* sourceName) {
  blockTag_.store(blockTag, std::memory_order_relaxed);
  std::snprintf(sourceName_, sizeof sourceName_, "%s", sourceName ? sourceName : "");
  int64_t now = nowMs();
  stats_.start(now);
  stats_.input(length, now);

  int channels = sourceChannels_.load(std::memory_order_relaxed);
  int rate = sourceRate_.load(std::memory_order_relaxed);
  const uint8_t* pcm = block;
  if (SampleProcessor* dsp = dsp_.load(std::memory_order_acquire);
      dsp && channels > 0 && length % (channels * 2) == 0) {
    length = runDsp(*dsp, block, length, channels, rate);
    pcm = dspScratch_.data();
  }
  SideChannel* side = side_.load(std::memory_order_acquire);
  VisualFeed* visual = visual_.load(std::memory_order_acquire);
  PcmTap* tap = tap_.load(std::memory_order_acquire);
  // The microphone, the visualisation and the tap work on the ring's copy, before the conversion
  // thread can see it.
  bool stored = ring_.writeBlock(pcm, length, [&](uint8_t* copy, int n) {
    mixVoiceover(side, copy, n, channels);
    if (visual) visual->addData(copy, n, channels, 2);
    if (tap) tap->onAir(copy, n, {rate, channels});
  });
  if (stored && (unsignalledBytes_ += length) >= kChunkBytes) {
    unsignalledBytes_ = 0;
    wakeConverter();
  }
  return stored;
}

int ConversionStage::runDsp(SampleProcessor& dsp, const uint8_t* block, int length, int channels, int rate) {
  // Room for twice the block: a plug-in may hand back more frames than it was given.
  if (dspScratch_.size() < 2 * static_cast<size_t>(length))
    dspScratch_.resize(2 * static_cast<size_t>(length));
  if (length > 0) std::memcpy(dspScratch_.data(), block, static_cast<size_t>(length));
  int frames = length / (channels * 2);
  int produced =
      std::clamp(dsp.processSamples(dspScratch_.data(), frames, 16, channels, rate), 0, 2 * frames);
  return produced * channels * 2;
}

// The music fades to its voiceover gain when the voiceover starts, follows the balance as it moves,
// and fades back to full when it ends: over a block each time, never in one jump.
void ConversionStage::mixVoiceover(SideChannel* side, uint8_t* at, int length, int channels) {
  musicFade_.setTarget(side ? musicGain_.load(std::memory_order_relaxed) : 1.0f);
  if (length <= 0 || (!side && musicFade_.unity())) return;
  const size_t count = static_cast<size_t>(length) / 2;
  music_.resize(count);
  std::memcpy(music_.data(), at, count * 2);
  std::span<const int16_t> faded = musicFade_.apply(music_, channels, fadedMusic_);
  std::memcpy(at, faded.data(), count * 2);
  if (side) mixSideChannel(*side, at, length);
}

void ConversionStage::mixSideChannel(SideChannel& side, uint8_t* at, int length) {
  if (scratch_.size() < static_cast<size_t>(length)) {
    size_t size = std::max<size_t>(scratch_.size(), kScratchBytes);
    while (size < static_cast<size_t>(length)) size *= 2;
    scratch_.resize(size);
  }
  int n = side.getData(scratch_.data(), length);
  if (n <= 0 || side.sampleWidth() != 2) return;
  mixSamples(at, scratch_.data(), n);
}

void ConversionStage::mixSamples(uint8_t* music, const uint8_t* microphone, int bytes) {
  for (int i = 0; i + 1 < bytes; i += 2) {
    int16_t m, v;
    std::memcpy(&m, music + i, 2);
    std::memcpy(&v, microphone + i, 2);
    int mixed = m + v;
    int16_t out = static_cast<int16_t>(std::clamp(mixed, -32767, 32767));
    std::memcpy(music + i, &out, 2);
  }
}

void ConversionStage::flush() {
  flushRequests_.fetch_add(1);
  wakeConverter();
  connection_.flush();
}

void ConversionStage::wakeConverter() {
  {
    std::lock_guard lock(wakeMutex_);
    ++wakeRequests_;
  }
  wake_.notify_one();
}

void ConversionStage::waitForWork() {
  idlePasses_.fetch_add(1);
  std::unique_lock lock(wakeMutex_);
  wake_.wait_for(lock, kIdleWait, [this] { return wakeRequests_ != wakesSeen_ || stop_.load() != 0; });
  wakesSeen_ = wakeRequests_;
}

bool ConversionStage::waitFlushed(std::chrono::milliseconds limit, const std::atomic<bool>& abort) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (flushing() && !abort.load() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !flushing();
}

void ConversionStage::convertThread() {
  while (stop_.load() == 0) {
    int flushSeen = 0;
    bool drained = false;
    Chunk chunk;
    {
      std::lock_guard lock(encoderMutex_);
      chunk = encodeChunk(flushSeen, drained);
    }
    if (chunk == Chunk::None) {
      waitForWork();
      continue;
    }
    if (chunk == Chunk::Encoded) {
      // The connection may block for a reconnect; the encoder is free again meanwhile.
      int produced = static_cast<int>(sendBuffer_.size());
      int sent = connection_.sendStream(sendBuffer_.data(), produced, true);
      stats_.transmission(sent, nowMs());
      bytesProduced_.fetch_add(produced);
    }
    // A failed last conversion serves its flush too: what the encoder held is lost either way,
    // and trying again would only fail again.
    if (drained) serveFlush(flushSeen);
  }
  std::lock_guard lock(threadMutex_);
  threadRunning_ = false;
  threadEnded_.notify_all();
}

ConversionStage::Chunk ConversionStage::encodeChunk(int& flushSeen, bool& drained) {
  // Without an encoder (it is being reopened) the PCM waits in the ring.
  if (!encoder_) return Chunk::None;
  flushSeen = flushRequests_.load();
  bool flushPending = flushSeen != flushesServed_.load();
  int n = ring_.getData(chunk_.data(), kChunkBytes, flushPending ? 0 : kChunkBytes);
  // A flush is served by the conversion that empties the ring, however many chunks that takes,
  // and that conversion tells the encoder it is the end, so that its last partial frame goes out
  // too. With the ring empty already, that is a conversion of nothing.
  drained = flushPending && ring_.unread() == 0;
  if (n <= 0 && !drained) return Chunk::None;
  n = std::max(n, 0);
  sendBuffer_.clear();
  int64_t begin = nowMs();
  bool encoded = encoder_->encode({chunk_.data(), static_cast<size_t>(n)}, sendBuffer_);
  bool flushed = encoded && (!drained || encoder_->flush(sendBuffer_));
  int64_t end = nowMs();
  stats_.conversion(n, end - begin, end, sourceBytesPerSec_.load());
  if (flushed) return Chunk::Encoded;
  // The chunk is dropped.
  Logger::debug(1, "AcmConvert::convertThread - error, %s\n", encoded ? "flush failed" : "encode failed");
  return Chunk::Failed;
}

void ConversionStage::serveFlush(int requests) {
  int served = flushesServed_.load();
  while (requests - served > 0 && !flushesServed_.compare_exchange_weak(served, requests)) {
  }
}

void ConversionStage::shutDown() {
  stop_.store(1);
  wakeConverter();
  std::unique_lock lock(threadMutex_);
  if (!threadRunning_) return;
  if (threadEnded_.wait_for(lock, kShutDownWait, [this] { return !threadRunning_; }))
    Logger::debug(1, "AcmConvert::shutDown - WAIT_OBJECT_0\n");
  else
    Logger::debug(1, "AcmConvert::shutDown - WAIT_TIMEOUT\n");
}

void ConversionStage::closeStream(bool stopThread) {
  if (closing_.exchange(true)) {
    Logger::debug(1, "AcmConvert::closeACM ERROR - already closing from another call\n");
    return;
  }
  {
    // Never under a conversion: the conversion thread holds the lock while it encodes.
    std::lock_guard lock(encoderMutex_);
    encoder_.reset();
  }
  if (stopThread) shutDown();
  bytesProduced_.store(0);
  // What the closed encoder held cannot go out any more; a flush left open would end the next
  // stream's first chunk instead.
  serveFlush(flushRequests_.load());
  closing_.store(false);
}

}  // namespace brovana
