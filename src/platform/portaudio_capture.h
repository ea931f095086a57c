#pragma once
// Sound-card capture through PortAudio, in blocking mode: the capture thread reads what the
// device recorded, a twentieth of a second at a time, so that a stop is seen within that time.
// PortAudio's own buffer keeps recording meanwhile. Shares the PortAudio set-up with playback.

#include <atomic>
#include <memory>
#include <string>

#include "audio/capture_device.h"
#include "platform/portaudio_output.h"
#include "platform/sound_server_input.h"

namespace brovana {

class PortAudioCapture final : public CaptureDevice {
 public:
  // A named device records every source; without a name the default input, or the monitor of
  // the default output when a sound-server mixer chose CD audio or the system mix (`input`,
  // which also gives the volume).
  PortAudioCapture(std::string device, std::shared_ptr<const SoundServerInput> input);
  ~PortAudioCapture() override;
  PortAudioCapture(const PortAudioCapture&) = delete;
  PortAudioCapture& operator=(const PortAudioCapture&) = delete;

  CaptureOpened open(int sampleRate, int channels) override;
  int start() override;
  int read(int16_t* samples, int frames) override;
  void stop() override;
  void close() override;

 private:
  bool recordsMonitor() const { return deviceName_.empty() && input_->monitor(); }
  int openStream(int rate);
  void closeStream();

  const std::string deviceName_;
  const std::shared_ptr<const SoundServerInput> input_;
  std::unique_ptr<PortAudioSession> session_;
  void* stream_ = nullptr;
  int rate_ = 0;
  int channels_ = 0;
  bool monitor_ = false;  // what the open stream records
  std::atomic<bool> stopped_{false};
};

}  // namespace brovana
