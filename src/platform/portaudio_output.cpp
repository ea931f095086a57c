#include "platform/portaudio_output.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <algorithm>
#include <mutex>

#include "audio/playback.h"
#include "diag/logger.h"

namespace brovana {
namespace {

std::mutex sessionMutex;

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
void quietJack(const char*) {}

int toStatus(PaError error) {
  switch (error) {
    case paNoError:
      return kDecoderOk;
    case paDeviceUnavailable:
      return kOutputBusy;
    case paInvalidDevice:
      return kOutputMissing;
    default:
      return kOutputFailed;
  }
}

}  // namespace

int findPortAudioDevice(const std::string& name, bool input) {
  if (name.empty()) return input ? Pa_GetDefaultInputDevice() : Pa_GetDefaultOutputDevice();
  int count = Pa_GetDeviceCount();
  int partial = paNoDevice;
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (info == nullptr || (input ? info->maxInputChannels : info->maxOutputChannels) < 1) continue;
    std::string deviceName = info->name != nullptr ? info->name : "";
    if (deviceName == name) return i;
    if (partial == paNoDevice && deviceName.find(name) != std::string::npos) partial = i;
  }
  return partial;
}

void quietSoundSystem() {
  static std::once_flag once;
  std::call_once(once, [] {
    snd_lib_error_set_handler(quietAlsa);
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
  });
}

PortAudioSession::PortAudioSession() {
  quietSoundSystem();
  std::lock_guard lock(sessionMutex);
  PaError error = Pa_Initialize();
  ok_ = error == paNoError;
  if (!ok_) Logger::log("PortAudio cannot start: %s\n", Pa_GetErrorText(error));
}

PortAudioSession::~PortAudioSession() {
  std::lock_guard lock(sessionMutex);
  if (ok_) Pa_Terminate();
}

PortAudioOutput::PortAudioOutput(std::string device) : deviceName_(std::move(device)) {}

PortAudioOutput::~PortAudioOutput() {
  close();
}

int PortAudioOutput::open() {
  close();
  session_ = std::make_unique<PortAudioSession>();
  if (!session_->ok()) {
    session_.reset();
    return kOutputFailed;
  }
  device_ = findPortAudioDevice(deviceName_, false);
  if (device_ == paNoDevice) {
    session_.reset();
    return kOutputMissing;
  }
  // Opening at a common format tells a busy device from a free one now rather than at the
  // first block.
  int status = openStream(PcmFormat{44100, 2});
  if (status != kDecoderOk) {
    session_.reset();
    device_ = -1;
  }
  return status;
}

int PortAudioOutput::openStream(PcmFormat format) {
  closeStream();
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device_);
  if (info == nullptr) return kOutputMissing;
  PaStreamParameters parameters{};
  parameters.device = device_;
  parameters.channelCount = 2;  // mono is played on both sides; not every device takes one channel
  parameters.sampleFormat = paInt16;
  // A generous buffer: with the short default latencies, the sound server's ALSA bridge stalls
  // the first writes for a second or more. Nobody plays along with the monitor, so 0.2 s is free.
  parameters.suggestedLatency = std::max(info->defaultHighOutputLatency, 0.2);
  PaStream* stream = nullptr;
  PaError error = Pa_OpenStream(&stream, nullptr, &parameters, format.sampleRate,
                                paFramesPerBufferUnspecified, paNoFlag, nullptr, nullptr);
  if (error == paNoError) error = Pa_StartStream(stream);
  if (error != paNoError) {
    if (stream != nullptr) Pa_CloseStream(stream);
    Logger::log("Sound output %s refused %d Hz: %s\n", info->name, format.sampleRate, Pa_GetErrorText(error));
    return toStatus(error);
  }
  stream_ = stream;
  streamFormat_ = format;
  return kDecoderOk;
}

void PortAudioOutput::closeStream() {
  if (stream_ == nullptr) return;
  Pa_AbortStream(static_cast<PaStream*>(stream_));
  Pa_CloseStream(static_cast<PaStream*>(stream_));
  stream_ = nullptr;
}

void PortAudioOutput::play(std::span<const int16_t> samples, PcmFormat format) {
  if (!format.valid() || samples.empty()) return;
  if (fallback_) {
    fallback_->play(samples, format);
    return;
  }
  if (session_ == nullptr) return;
  if (stream_ == nullptr || format != streamFormat_) {
    if (openStream(format) != kDecoderOk) {
      Logger::log("The sound output stopped working; the playlist is paced by the clock\n");
      fallback_ = std::make_unique<PacedOutput>(1.0);
      fallback_->open();
      fallback_->play(samples, format);
      return;
    }
  }
  const int16_t* data = samples.data();
  unsigned long frames = samples.size() / format.channels;
  if (format.channels == 1) {
    stereo_.resize(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) stereo_[2 * i] = stereo_[2 * i + 1] = samples[i];
    data = stereo_.data();
  }
  PaError error = Pa_WriteStream(static_cast<PaStream*>(stream_), data, frames);
  if (error != paNoError && error != paOutputUnderflowed) {
    Logger::log("Sound output write failed: %s\n", Pa_GetErrorText(error));
    closeStream();
  }
}

void PortAudioOutput::close() {
  closeStream();
  fallback_.reset();
  session_.reset();
  device_ = -1;
}

}  // namespace brovana
