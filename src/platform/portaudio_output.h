#pragma once
// Sound-card playback through PortAudio, in blocking mode: a block is taken when the device has
// room for it, which holds the decoder to the card's real-time pace.

#include <memory>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"

namespace brovana {

// Quiets the sound system's own complaints on standard error about devices that are not there
// (ALSA's and JACK's); once per process, before the first use of either.
void quietSoundSystem();

// One user of the PortAudio library. The library's start and end are counted and are not
// thread-safe, so every user (playback, capture) goes through this. The first start also quiets
// the sound system.
class PortAudioSession {
 public:
  PortAudioSession();
  ~PortAudioSession();
  PortAudioSession(const PortAudioSession&) = delete;
  PortAudioSession& operator=(const PortAudioSession&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// The device of that name (else the first whose name contains it) that can record (`input`)
// or play; the default device for an empty name. paNoDevice when there is none. Within a
// session.
int findPortAudioDevice(const std::string& name, bool input);

class PortAudioOutput final : public AudioOutput {
 public:
  // An empty name is the default output device.
  explicit PortAudioOutput(std::string device);
  ~PortAudioOutput() override;
  PortAudioOutput(const PortAudioOutput&) = delete;
  PortAudioOutput& operator=(const PortAudioOutput&) = delete;

  int open() override;
  void play(std::span<const int16_t> samples, PcmFormat format) override;
  void close() override;

 private:
  int openStream(PcmFormat format);
  void closeStream();

  std::string deviceName_;
  std::unique_ptr<PortAudioSession> session_;
  int device_ = -1;
  void* stream_ = nullptr;
  PcmFormat streamFormat_;
  std::vector<int16_t> stereo_;
  // Takes over when the device stops working part-way, so the broadcast keeps its pace.
  std::unique_ptr<AudioOutput> fallback_;
};

}  // namespace brovana
