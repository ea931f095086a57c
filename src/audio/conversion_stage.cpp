#include "audio/conversion_stage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "audio/codec_install.h"
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

ConversionStage::ConversionStage(StreamSink& connection, ConversionStatus& status, Mp3Codec& codec,
                                 Prompts& prompts, ProgramExit& exit)
    : connection_(connection), status_(status), codec_(codec), prompts_(prompts), table_(codec) {
  scratch_.resize(kScratchBytes);
  if (!installCodec(codec_, prompts_)) codecInstallFailed(prompts_, exit);
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
void ConversionStage::setMusicGain(float gain) {
  musicGain_.store(gain, std::memory_order_relaxed);
}

std::optional<WaveFormat> ConversionStage::getSourceFormat() const {
  std::lock_guard lock(codecMutex_);
  return sourceFormat_;
}

std::optional<WaveFormat> ConversionStage::getMp3Format() const {
  std::lock_guard lock(codecMutex_);
  return mp3Format_;
}

int ConversionStage::sourceBufferSize() const {
  std::lock_guard lock(codecMutex_);
  return sourceBufferSize_;
}

int ConversionStage::pendingBytes() const {
  // The reader's view; the conversion thread only reads the ring under the codec lock.
  std::lock_guard lock(codecMutex_);
  return ring_.unread();
}

int ConversionStage::openStream(int lineSpeed, const TrackFormat* track) {
  if (!table_.hasFormats()) return kInitNoFormats;
  bool streamOpen;
  {
    std::lock_guard lock(codecMutex_);
    streamOpen = stream_ != nullptr;
  }
  if (streamOpen) closeStream(false);
  {
    // The conversion thread reads the ring only under this lock; this thread is its writer.
    std::lock_guard lock(codecMutex_);
    ring_.zeroStorage();
  }

  const Mp3FormatEntry* entry = table_.findFormatForLineSpeed(lineSpeed, prompts_);
  if (!entry) {
    prompts_.information("Your MP3 driver doesn't support selected format!");
    return kInitNoFormatForLineSpeed;
  }
  const WaveFormat& mp3 = entry->format;
  std::unique_ptr<CodecDriver> driver;
  int result = codec_.openDriver(entry->driverId, driver);
  if (result != MMSYSERR_NOERROR || !driver) {
    char text[300];
    std::snprintf(text, sizeof text, "unable to open the driver, mmerr=%ld, had=%lx, hadid=%lx, bitrate=%d",
                  static_cast<long>(result), 0ul, static_cast<unsigned long>(entry->driverId), lineSpeed);
    prompts_.information(text);
    std::snprintf(text, sizeof text, "tag=%d, channels=%d, samp/sec=%d, bytes/sec=%d", mp3.wfx.wFormatTag,
                  mp3.wfx.nChannels, static_cast<int>(mp3.wfx.nSamplesPerSec),
                  static_cast<int>(mp3.wfx.nAvgBytesPerSec));
    prompts_.information(text);
    return kInitDriverFailed;
  }

  WaveFormat source = track ? makePcmFormat(track->sampleRate, track->channels)
                            : makePcmFormat(static_cast<int>(mp3.wfx.nSamplesPerSec), mp3.wfx.nChannels);
  std::unique_ptr<CodecStream> stream;
  result = codec_.openStream(source, mp3, stream);
  {
    std::lock_guard lock(codecMutex_);
    sourceFormat_ = source;
    mp3Format_ = mp3;
    sourceChannels_.store(source.wfx.nChannels);
    sourceRate_.store(static_cast<int>(source.wfx.nSamplesPerSec));
    sourceBytesPerSec_.store(static_cast<int>(source.wfx.nAvgBytesPerSec));
    if (result == MMSYSERR_NOERROR && stream) {
      driver_ = std::move(driver);
      driverId_ = entry->driverId;
      stream_ = std::move(stream);
      return kInitOpened;
    }
  }
  driver->close();
  driver.reset();
  return failStream(result, track, source, mp3);
}

int ConversionStage::failStream(int result, const TrackFormat* track, const WaveFormat& source,
                                const WaveFormat& mp3) {
  if (!track) {
    Logger::log("This MP3 codec failed to open for your line-in conversion stream.\n");
    prompts_.information("This MP3 codec failed to open for your line-in conversion stream.");
    status_.refreshCounters();
    return kInitStreamFailed;
  }
  std::string name = fileNamePart(track->path);
  char line[600];
  if (source.wfx.nChannels == 1 && mp3.wfx.nChannels == 2) {
    Logger::log("This MP3 codec cannot convert %s to from MONO to STEREO\n", track->path.c_str());
    Logger::log("so must skip this track, mmerr=%d\n", result);
    std::snprintf(line, sizeof line, "Cannot convert mono track to stereo, %s skipped", name.c_str());
  } else {
    Logger::log(
        "This MP3 codec cannot convert %s to your chosen line speed,\nwhich happens with some bitrate "
        "combinations "
        "(such as files ripped at 24000 and transmitted at 56000).\nTry a different connection rate. "
        "mmerr=%d\n",
        track->path.c_str(), result);
    std::snprintf(line, sizeof line, "Cannot convert track %s", name.c_str());
  }
  status_.showLastError(line);
  status_.refreshCounters();
  return kInitStreamFailed;
}

ACMSTREAMHEADER* ConversionStage::prepareBuffers(ACMSTREAMHEADER* header) {
  if (!stream_) return nullptr;
  if (!header) {
    header_ = std::make_unique<ACMSTREAMHEADER>();
    header = header_.get();
  }
  uint32_t sourceSize = 0, destinationSize = 0, chunkOutput = 0;
  stream_->size(kSizeQuestion, StreamSize::Source, sourceSize);
  stream_->size(kSizeQuestion, StreamSize::Destination, destinationSize);
  sourceSize = std::max<uint32_t>(sourceSize, kChunkBytes);
  // The destination must also hold what one full source buffer turns into, whatever the
  // codec's answer about 100,000 destination bytes was.
  stream_->size(sourceSize, StreamSize::Source, chunkOutput);
  destinationSize = std::max(destinationSize, chunkOutput);

  // Buffers only grow, and never while a conversion uses them (the codec lock is held).
  sourceBuffer_.growTo(sourceSize);
  sourceBufferSize_ = static_cast<int>(sourceSize);
  destinationBuffer_.growTo(destinationSize);

  *header = ACMSTREAMHEADER{};
  header->cbStruct = kAcmStreamHeaderSize;
  header->pbSrc = sourceBuffer_.bytes.get();
  header->cbSrcLength = sourceSize;
  header->pbDst = destinationBuffer_.bytes.get();
  header->cbDstLength = static_cast<uint32_t>(destinationBuffer_.size);
  int result = stream_->prepareHeader(*header);
  if (result != MMSYSERR_NOERROR) {
    // Not ready: the next block tries again, rather than letting every conversion fail.
    Logger::debug(1, "acmStreamPrepareHeader ERROR : MMError : %s\n", codecErrorText(result).c_str());
    return header;
  }
  ready_.store(true);
  return header;
}

bool ConversionStage::convertAndSend(const uint8_t* block, int length, int blockTag, const char* sourceName) {
  blockTag_.store(blockTag, std::memory_order_relaxed);
  std::snprintf(sourceName_, sizeof sourceName_, "%s", sourceName ? sourceName : "");
  int64_t now = nowMs();
  stats_.start(now);
  if (!ready_.load()) {
    std::lock_guard lock(codecMutex_);
    prepareBuffers(header_.get());
  }
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
  // The microphone and the visualisation work on the ring's copy, before the conversion thread
  // can see it.
  bool stored = ring_.writeBlock(pcm, length, [&](uint8_t* copy, int n) {
    if (side) mixSideChannel(*side, copy, n);
    if (visual) visual->addData(copy, n, channels, 2);
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

void ConversionStage::mixSideChannel(SideChannel& side, uint8_t* at, int length) {
  if (length <= 0) return;
  if (scratch_.size() < static_cast<size_t>(length)) {
    size_t size = std::max<size_t>(scratch_.size(), kScratchBytes);
    while (size < static_cast<size_t>(length)) size *= 2;
    scratch_.resize(size);
  }
  int n = side.getData(scratch_.data(), length);
  if (n <= 0 || side.sampleWidth() != 2) return;
  mixSamples(at, scratch_.data(), n, musicGain_.load(std::memory_order_relaxed));
}

void ConversionStage::mixSamples(uint8_t* music, const uint8_t* microphone, int bytes, float gain) {
  for (int i = 0; i + 1 < bytes; i += 2) {
    int16_t m, v;
    std::memcpy(&m, music + i, 2);
    std::memcpy(&v, microphone + i, 2);
    int mixed = static_cast<int>(static_cast<float>(m) * gain) + v;
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
    int produced = 0;
    int flushSeen = 0;
    bool drained = false;
    {
      std::unique_lock lock(codecMutex_);
      if (!header_ || !ready_.load()) {
        lock.unlock();
        waitForWork();
        continue;
      }
      flushSeen = flushRequests_.load();
      bool flushPending = flushSeen != flushesServed_.load();
      // Held: the chunk stays in the ring, untouched by the writer, until it is converted.
      int n = ring_.getData(header_->pbSrc, sourceBufferSize_, flushPending ? 0 : kChunkBytes, false, true);
      // A flush is served by the conversion that empties the ring, however many chunks that
      // takes, and that conversion tells the codec it is the end, so that the codec's last
      // partial frame goes out too. With the ring empty already, that is a conversion of nothing.
      drained = flushPending && ring_.unread() == 0;
      if ((n <= 0 && !drained) || !stream_) {
        // Without a stream (it is being reopened) the chunk is dropped.
        lock.unlock();
        waitForWork();
        continue;
      }
      n = std::max(n, 0);
      header_->cbSrcLength = static_cast<uint32_t>(n);
      header_->cbSrcLengthUsed = static_cast<uint32_t>(n);
      int64_t begin = nowMs();
      int result = stream_->convert(*header_, drained ? ACM_STREAMCONVERTF_END : 0);
      int64_t end = nowMs();
      stats_.conversion(n, end - begin, end, sourceBytesPerSec_.load());
      if (result != MMSYSERR_NOERROR) {
        Logger::debug(1, "AcmConvert::convertThread - error, %s\n", codecErrorText(result).c_str());
        if (result == ACMERR_UNPREPARED) {
          // The header was unprepared under the conversion: the chunk goes back for the next
          // stream, and the header gets prepared again with the next block.
          ring_.undoGetData();
          ready_.store(false);
        }
        continue;
      }
      produced = static_cast<int>(header_->cbDstLengthUsed);
      // The connection may block for a reconnect; the codec is free again meanwhile.
      sendBuffer_.assign(header_->pbDst, header_->pbDst + produced);
    }
    int sent = connection_.sendStream(sendBuffer_.data(), produced, true);
    stats_.transmission(sent, nowMs());
    if (drained) serveFlush(flushSeen);
    bytesProduced_.fetch_add(produced);
  }
  std::lock_guard lock(threadMutex_);
  threadRunning_ = false;
  threadEnded_.notify_all();
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

void ConversionStage::reset() {
  ready_.store(false);
  bytesProduced_.store(0);
}

void ConversionStage::closeStream(bool stopThread) {
  if (closing_.exchange(true)) {
    Logger::debug(1, "AcmConvert::closeACM ERROR - already closing from another call\n");
    return;
  }
  {
    std::lock_guard lock(codecMutex_);
    if (header_) {
      // Unprepare wants the source length the header was prepared with.
      header_->cbSrcLength = static_cast<uint32_t>(sourceBufferSize_);
      int result = stream_ ? stream_->unprepareHeader(*header_) : MMSYSERR_INVALHANDLE;
      if (result != MMSYSERR_NOERROR)
        Logger::debug(1, "AcmConvert::closeACM - unprepare, %s\n", codecErrorText(result).c_str());
    }
    ready_.store(false);
  }
  if (stopThread) shutDown();
  reset();
  {
    std::lock_guard lock(codecMutex_);
    if (stream_) {
      int result = stream_->close();
      if (result != MMSYSERR_NOERROR)
        Logger::debug(1, "AcmConvert::closeACM - acmStreamClose, %s\n", codecErrorText(result).c_str());
      stream_.reset();
    }
    if (driver_) {
      int result = driver_->close();
      if (result != MMSYSERR_NOERROR)
        Logger::debug(1, "AcmConvert::closeACM - acmDriverClose, %s\n", codecErrorText(result).c_str());
      driver_.reset();
    }
    driverId_ = 0;
  }
  // What the closed stream held cannot go out any more; a flush left open would end the next
  // stream's first chunk instead.
  serveFlush(flushRequests_.load());
  closing_.store(false);
}

}  // namespace brovana
