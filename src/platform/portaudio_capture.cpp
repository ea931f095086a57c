#include "platform/portaudio_capture.h"

#include <pa_linux_alsa.h>
#include <portaudio.h>

#include <algorithm>

#include "diag/logger.h"

namespace brovana {
namespace {

// The sound server's own name for the monitor of its default output, through ALSA's pulse
// plugin (also served by PipeWire's pulse server).
constexpr const char* kMonitorDevice = "pulse:@DEFAULT_MONITOR@";

int toStatus(PaError error) {
  switch (error) {
    case paNoError:
      return kCaptureOk;
    case paDeviceUnavailable:
      return kCaptureBusy;
    case paInvalidDevice:
      return kCaptureNoDevice;
    case paInvalidSampleRate:
    case paInvalidChannelCount:
    case paSampleFormatNotSupported:
      return kCaptureBadFormat;
    default:
      return kCaptureFailed;
  }
}

}  // namespace

PortAudioCapture::PortAudioCapture(std::string device, std::shared_ptr<const SoundServerInput> input)
    : deviceName_(std::move(device)), input_(std::move(input)) {}

PortAudioCapture::~PortAudioCapture() {
  close();
}

CaptureOpened PortAudioCapture::open(int sampleRate, int channels) {
  close();
  session_ = std::make_unique<PortAudioSession>();
  if (!session_->ok()) {
    session_.reset();
    return {kCaptureFailed, 0};
  }
  channels_ = channels;
  stopped_.store(false);
  int status = openStream(sampleRate);
  if (status != kCaptureOk) session_.reset();
  return {status, rate_};
}

int PortAudioCapture::openStream(int rate) {
  PaStreamParameters parameters{};
  parameters.channelCount = channels_;
  parameters.sampleFormat = paInt16;
  PaAlsaStreamInfo monitor;
  monitor_ = recordsMonitor();
  double deviceRate = rate;
  if (monitor_) {
    // The server converts to any rate itself.
    PaAlsa_InitializeStreamInfo(&monitor);
    monitor.deviceString = kMonitorDevice;
    parameters.device = paUseHostApiSpecificDeviceSpecification;
    parameters.hostApiSpecificStreamInfo = &monitor;
    parameters.suggestedLatency = 0.1;
  } else {
    parameters.device = findPortAudioDevice(deviceName_, true);
    const PaDeviceInfo* info =
        parameters.device == paNoDevice ? nullptr : Pa_GetDeviceInfo(parameters.device);
    if (info == nullptr) {
      Logger::log("Sound input %s not found\n", deviceName_.empty() ? "(default)" : deviceName_.c_str());
      return kCaptureNoDevice;
    }
    // Short latencies make the sound server's ALSA bridge stall; a tenth of a second is nothing
    // to a broadcast.
    parameters.suggestedLatency = std::max(info->defaultHighInputLatency, 0.1);
    // A device that cannot record the rate records its own; the capture converts.
    if (Pa_IsFormatSupported(&parameters, nullptr, rate) != paFormatIsSupported)
      deviceRate = info->defaultSampleRate;
  }
  PaStream* stream = nullptr;
  PaError error = Pa_OpenStream(&stream, &parameters, nullptr, deviceRate, paFramesPerBufferUnspecified,
                                paNoFlag, nullptr, nullptr);
  if (error != paNoError) {
    Logger::log("Sound input refused %d Hz, %d channel(s): %s\n", static_cast<int>(deviceRate), channels_,
                Pa_GetErrorText(error));
    return toStatus(error);
  }
  stream_ = stream;
  rate_ = static_cast<int>(deviceRate);
  return kCaptureOk;
}

int PortAudioCapture::start() {
  if (stream_ == nullptr) return kCaptureFailed;
  PaError error = Pa_StartStream(static_cast<PaStream*>(stream_));
  if (error != paNoError) Logger::log("Sound input does not start: %s\n", Pa_GetErrorText(error));
  return toStatus(error);
}

int PortAudioCapture::read(int16_t* samples, int frames) {
  if (stream_ == nullptr) return -1;
  const int chunk = std::max(1, rate_ / 20);
  int done = 0;
  while (done < frames && !stopped_.load()) {
    // The mixer chose another input meanwhile: it is recorded from now on, as a card would.
    if (recordsMonitor() != monitor_) {
      closeStream();
      if (openStream(rate_) != kCaptureOk || start() != kCaptureOk) return -1;
    }
    int n = std::min(chunk, frames - done);
    PaError error =
        Pa_ReadStream(static_cast<PaStream*>(stream_), samples + static_cast<long>(done) * channels_,
                      static_cast<unsigned long>(n));
    // An overflow lost some sound before this read; what is read now is fine.
    if (error != paNoError && error != paInputOverflowed) {
      Logger::log("Sound input read failed: %s\n", Pa_GetErrorText(error));
      return -1;
    }
    done += n;
  }
  input_->apply(samples, static_cast<long>(done) * channels_);
  return done;
}

void PortAudioCapture::stop() {
  stopped_.store(true);
}

void PortAudioCapture::closeStream() {
  if (stream_ == nullptr) return;
  Pa_AbortStream(static_cast<PaStream*>(stream_));
  Pa_CloseStream(static_cast<PaStream*>(stream_));
  stream_ = nullptr;
}

void PortAudioCapture::close() {
  closeStream();
  session_.reset();
}

}  // namespace brovana
