#pragma once
// Playing the decoded blocks: on the sound card when there is one, else at the pace of a steady
// clock, so that the broadcast never runs faster than real time (the conversion stage's ring
// would overflow). A pace factor lets tests and demos run faster.

#include <chrono>
#include <memory>
#include <string>

#include "audio/mp3_decoder.h"

namespace brovana {

struct PlaybackSettings {
  // Off: no sound card; the clock paces the blocks.
  bool soundCard = true;
  // The device asked for; empty means the default output, quietly replaced by the clock when
  // there is none.
  std::string device;
  // Multiples of real time for the clock's pace; 0 takes the pace limit off altogether. A
  // factor other than 1 implies the clock, since a sound card plays at its own speed.
  double pace = 1.0;

  // BROVANA_PACE (factor), BROVANA_PLAYBACK ("off" or "0" for no sound card) and
  // BROVANA_AUDIO_DEVICE (a device name); unset or unreadable values keep the defaults.
  static PlaybackSettings fromEnvironment();
};

class PaceClock {
 public:
  using time_point = std::chrono::steady_clock::time_point;
  virtual ~PaceClock() = default;
  virtual time_point now() = 0;
  virtual void sleepUntil(time_point when) = 0;

  static PaceClock& steady();
};

// Takes blocks at the pace their samples would play at, times the pace factor. Like a sound
// card with one block of buffer, a block is taken as soon as the ones before it have had their
// time; after a stall it starts over from now rather than rushing to catch up.
class PacedOutput final : public AudioOutput {
 public:
  explicit PacedOutput(double pace, PaceClock& clock = PaceClock::steady());

  int open() override;
  void play(std::span<const int16_t> samples, PcmFormat format) override;
  void close() override;

  // How late the caller may come before the pace starts over.
  static constexpr std::chrono::milliseconds kSlack{200};

 private:
  PaceClock& clock_;
  double pace_;
  bool started_ = false;
  PcmFormat format_;
  PaceClock::time_point start_;
  long long frames_ = 0;  // since start_
};

struct OpenedOutput {
  std::unique_ptr<AudioOutput> output;
  int status = kDecoderOk;  // non-zero: the device asked for could not be opened; output is none
};

// The output decoded blocks are played on, chosen by the settings (see PlaybackSettings).
OpenedOutput openPlayback(DecoderLibrary& library, const PlaybackSettings& settings);

}  // namespace brovana
