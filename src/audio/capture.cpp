#include "audio/capture.h"

#include <span>

#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

constexpr auto kQualityEvery = 3000ms;
constexpr auto kTitleEvery = 121s;
constexpr auto kListenersEvery = 10s;
constexpr auto kTimeEvery = 5s;

// True, and restamped, when `period` has passed since `last`.
template <typename TimePoint, typename Duration>
bool due(TimePoint& last, TimePoint now, Duration period) {
  if (now - last < period) return false;
  last = now;
  return true;
}

}  // namespace

Capture::Capture(ConversionStage& stage, std::unique_ptr<CaptureDevice> device, Prompts& prompts,
                 ResamplerFactory resamplers, std::chrono::milliseconds retryEvery)
    : stage_(stage),
      device_(std::move(device)),
      prompts_(prompts),
      resamplers_(std::move(resamplers)),
      retryEvery_(retryEvery) {}

Capture::~Capture() {
  std::lock_guard lock(lock_);
  closeLocked(true);
}

void Capture::setReports(EngineReports* reports) {
  reports_.store(reports);
}

void Capture::setVisual(VisualFeed* visual) {
  visual_.store(visual);
}

void Capture::setVoiceover(bool on) {
  std::lock_guard lock(lock_);
  // Clearing the side channel is safe only while its writer, the capture thread, is not running.
  if (open_.load()) closeLocked(false);
  if (!on) {
    endVoiceoverLocked();
    return;
  }
  if (!side_) side_ = std::make_unique<SideChannel>(kSideChannelBytes);
  side_->clear();
  stage_.setSideChannel(side_.get());
  voiceover_ = true;
}

bool Capture::voiceover() const {
  std::lock_guard lock(lock_);
  return voiceover_;
}

std::optional<PcmFormat> Capture::captureFormat() const {
  std::lock_guard lock(lock_);
  return captureFormat_;
}

int Capture::bufferLength() const {
  std::lock_guard lock(lock_);
  return bufferLength_;
}

bool Capture::startInput(int outputBitrate) {
  std::lock_guard lock(lock_);
  // A second start restarts rather than opening the device twice.
  if (open_.load()) closeLocked(false);
  outputBitrate_ = outputBitrate;
  return startLocked();
}

bool Capture::startLocked() {
  bool started = false;
  if (voiceover_ || stage_.openStream(outputBitrate_) == StreamOpen::Opened) {
    startTime_ = Clock::now();
    captureFormat_ = stage_.getSourceFormat();
    if (!captureFormat_) {
      if (voiceover_) prompts_.information(kVoiceoverWithoutBroadcastText);
    } else {
      DeviceStart opened = openDeviceLocked(*captureFormat_);
      showFailure(opened);
      started = opened == DeviceStart::Ok;
    }
  }
  // A voiceover that could not start is over; the next start is a direct one.
  if (!started) endVoiceoverLocked();
  return started;
}

bool Capture::startMeter() {
  // Stereo whatever the stream, so that each needle shows its own channel.
  constexpr PcmFormat kMeterFormat{22050, 2};
  std::lock_guard lock(lock_);
  if (open_.load() || voiceover_) return metering();
  metering_.store(true);
  startTime_ = Clock::now();
  if (openDeviceLocked(kMeterFormat) == DeviceStart::Ok) return true;
  metering_.store(false);
  return false;
}

void Capture::showFailure(DeviceStart failure) {
  switch (failure) {
    case DeviceStart::Ok:
      break;
    case DeviceStart::BadFormat:
      prompts_.information(formatText(kBadInputFormatText, kCaptureBadFormat));
      break;
    case DeviceStart::Busy:
      prompts_.information(kSoundcardBusyText);
      break;
    case DeviceStart::NotReading:
      prompts_.error(kStartReadingFailedText, "error.");
      break;
  }
}

Capture::DeviceStart Capture::openDeviceLocked(const PcmFormat& format) {
  int rate = format.sampleRate;
  channels_ = format.channels;
  CaptureOpened opened = device_->open(rate, channels_);
  deviceRate_ = opened.sampleRate;
  // A device that records at another rate delivers as many frames of its own rate as last as
  // long as one buffer; the resampler turns them into about one buffer of the wanted rate.
  resampler_.reset();
  if (opened.status == kCaptureOk && opened.sampleRate != rate &&
      !(resampler_ = resamplers_ ? resamplers_(opened.sampleRate, rate, channels_) : nullptr))
    opened.status = kCaptureBadFormat;
  if (opened.status != kCaptureOk) {
    device_->close();
    return opened.status == kCaptureBadFormat ? DeviceStart::BadFormat : DeviceStart::Busy;
  }

  int blockAlign = format.bytesPerFrame();
  bufferLength_ = metering_.load() ? kMeterBufferBytes
                  : voiceover_     ? kVoiceoverBufferBytes
                                   : kDirectBufferBytes;
  bufferLength_ -= bufferLength_ % blockAlign;
  int frames = bufferLength_ / blockAlign;
  deviceFrames_ = frames;
  if (resampler_) {
    deviceFrames_ = static_cast<int>(static_cast<long long>(frames) * opened.sampleRate / rate);
    converted_.reserve(static_cast<size_t>(frames + 64) * channels_);
  }
  deviceBuffer_.assign(static_cast<size_t>(deviceFrames_) * channels_, 0);
  if (voiceover_) side_->setFormat(2, channels_);

  if (device_->start() != kCaptureOk) {
    device_->close();
    return DeviceStart::NotReading;
  }
  quit_.store(false);
  open_.store(true);
  lastQuality_ = startTime_;
  thread_ = std::thread(&Capture::captureThread, this);
  return DeviceStart::Ok;
}

void Capture::closeLineIn() {
  std::lock_guard lock(lock_);
  closeLocked(true);
}

void Capture::closeLocked(bool endVoiceover) {
  if (!open_.load()) return;
  {
    std::lock_guard wake(retryMutex_);
    quit_.store(true);
  }
  retryWake_.notify_all();
  open_.store(false);
  device_->stop();
  if (thread_.joinable()) thread_.join();
  device_->close();
  {
    std::lock_guard feed(feedMutex_);
    monitor_ = nullptr;  // the next start is the broadcast again
  }
  metering_.store(false);
  if (endVoiceover) endVoiceoverLocked();
  // No PCM flows any more.
  if (VisualFeed* visual = visual_.load())
    visual->addData(reinterpret_cast<const uint8_t*>(deviceBuffer_.data()), 0, channels_, 2);
}

void Capture::endVoiceoverLocked() {
  if (!voiceover_) return;
  voiceover_ = false;
  stage_.setSideChannel(nullptr);
}

void Capture::trackChanged() {
  std::lock_guard lock(lock_);
  if (!voiceover_ || !open_.load()) return;
  std::optional<PcmFormat> format = stage_.getSourceFormat();
  if (!format || !captureFormat_ || *format == *captureFormat_) return;
  closeLocked(false);
  // After the close, so that the capture thread no longer writes into it; the reader is the
  // caller's own thread.
  side_->clear();
  startLocked();
}

void Capture::captureThread() {
  Clock::time_point lastTitle{};  // the first buffer refreshes the title
  Clock::time_point lastListeners = startTime_;
  Clock::time_point lastTime = startTime_;
  while (!quit_.load()) {
    int frames = device_->read(deviceBuffer_.data(), deviceFrames_);
    if (quit_.load()) break;
    if (frames < 0 && recoverDevice()) continue;
    if (frames <= 0) break;
    std::span<const int16_t> pcm(deviceBuffer_.data(), static_cast<size_t>(frames) * channels_);
    if (resampler_) {
      converted_.clear();
      resampler_->process(pcm, converted_);
      pcm = converted_;
    }
    if (!streamMP3data(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(pcm.size_bytes())))
      continue;

    EngineReports* reports = reports_.load();
    Clock::time_point now = Clock::now();
    if (!reports) continue;
    if (due(lastTitle, now, kTitleEvery)) reports->onAirTitle();
    if (due(lastListeners, now, kListenersEvery)) reports->listeners();
    if (due(lastTime, now, kTimeEvery))
      reports->trackTimes(
          static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(now - startTime_).count()), 0);
  }
}

bool Capture::recoverDevice() {
  Logger::log("LineCDInput: the sound card stopped recording\n");
  // The meter's loss is only logged: the member asked for no broadcast.
  EngineReports* lostTo = metering_.load() ? nullptr : reports_.load();
  if (lostTo) lostTo->inputLost();
  device_->close();
  for (;;) {
    {
      std::unique_lock lock(retryMutex_);
      if (retryWake_.wait_for(lock, retryEvery_, [this] { return quit_.load(); })) return false;
    }
    // The same rate as before, so that the resampler made for it still fits.
    CaptureOpened opened = device_->open(deviceRate_, channels_);
    if (opened.status == kCaptureOk && opened.sampleRate == deviceRate_ && device_->start() == kCaptureOk)
      break;
    device_->close();
  }
  Logger::log("LineCDInput: the sound card records again\n");
  if (lostTo) lostTo->inputRestored();
  return true;
}

bool Capture::streamMP3data(const uint8_t* bytes, int length) {
  if (metering_.load()) {
    if (VisualFeed* visual = visual_.load()) visual->addData(bytes, length, channels_, 2);
    return false;
  }
  uint64_t total = bytesCaptured_.fetch_add(static_cast<uint64_t>(length)) + static_cast<uint64_t>(length);
  if (voiceover_) {
    if (due(lastQuality_, Clock::now(), kQualityEvery)) reportQuality();
    side_->addData(bytes, length);
    return false;
  }
  {
    std::lock_guard feed(feedMutex_);
    if (monitor_) {
      monitor_->onAir(bytes, length, monitorFormat_);
      return false;
    }
    stage_.convertAndSend(bytes, length, 0, "line-in");
  }
  if (due(lastQuality_, Clock::now(), kQualityEvery)) reportQuality();
  if (EngineReports* reports = reports_.load())
    reports->dataCounter(formatText("(output) %llu kb", static_cast<unsigned long long>(total / 1000)));
  return true;
}

bool Capture::holdOutput(PcmTap* monitor) {
  std::lock_guard lock(lock_);
  if (!isOpen() || voiceover_ || !captureFormat_ || !monitor) return false;
  {
    std::lock_guard feed(feedMutex_);
    monitor_ = monitor;
    monitorFormat_ = *captureFormat_;
  }
  stage_.flush();
  return true;
}

bool Capture::resumeOutput() {
  std::lock_guard lock(lock_);
  {
    std::lock_guard feed(feedMutex_);
    if (!isOpen() || !monitor_) return isOpen();
  }
  // Opened before the capture thread hands the stage its next block.
  bool opened = stage_.openStream(outputBitrate_) == StreamOpen::Opened;
  std::lock_guard feed(feedMutex_);
  monitor_ = nullptr;
  return opened;
}

void Capture::reportQuality() {
  if (EngineReports* reports = reports_.load())
    reports->quality(stage_.getThroughputRatio(), stage_.getTransmitBitRate());
}

}  // namespace brovana
