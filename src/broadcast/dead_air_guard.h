#pragma once
// The dead-air guard: listens to what goes on the air (after the plug-in and the voiceover) and,
// while a fallback playlist covers for a silent live source, to the live source itself.
//
//   air silent for the silence time   a warning in the log, the status window, the main panel
//                                     and the quality window; the studio is told (AirSilent),
//                                     and decides: the fallback playlist, or the next track
//   sound on the air again            the warning is taken back
//   live source heard for 3 s         while the fallback plays: the studio is told (LiveBack)
//
// Threads: onAir on the source's thread, the live ear on the capture's thread, restart from
// the studio's command worker. Each ear sits under its own mutex, which nothing holds for longer
// than one block's look; the studio's answer must not wait (it posts to its worker).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/conversion_ports.h"
#include "audio/silence_detector.h"
#include "broadcast/settings.h"

namespace brovana {

class Playlist;
class Prompts;
class QualityReports;
class StatusDisplay;

// Sound the live source must keep up before it takes the air back from the fallback playlist.
inline constexpr double kLiveBackSeconds = 3;

class DeadAirGuard final : public PcmTap {
 public:
  enum class Event { AirSilent, LiveBack };
  struct Ports {
    StatusDisplay& status;
    QualityReports* gauge = nullptr;
    std::function<void(Event)> tell;
  };
  DeadAirGuard(const GuardSettings& settings, Ports ports);

  // The tap that gets the PCM after the guard (the extra servers); null: none.
  void setNext(PcmTap* next);
  void onAir(const uint8_t* pcm, int length, const PcmFormat& format) override;
  // What the held capture records while the fallback playlist has the air.
  PcmTap& liveEar() { return live_; }
  // After a switch: the new source gets the whole silence time, and the live source must be
  // heard afresh.
  void restart();

 private:
  class LiveEar final : public PcmTap {
   public:
    LiveEar(DeadAirGuard& owner, const SilenceRule& rule) : owner_(owner), detector_(rule) {}
    void onAir(const uint8_t* pcm, int length, const PcmFormat& format) override;
    void restart();

   private:
    DeadAirGuard& owner_;
    std::mutex mutex_;  // detector_
    SilenceDetector detector_;
  };

  void warn(bool silent);

  const GuardSettings settings_;
  Ports ports_;
  std::atomic<PcmTap*> next_{nullptr};
  std::mutex mutex_;  // the fields below
  SilenceDetector air_;
  bool deadAir_ = false;  // warned, and not yet taken back
  LiveEar live_;
};

// The fallback playlist at `path`, read as the playlist window reads one but without making it
// the member's playlist; none (logged) when it holds no track.
std::unique_ptr<Playlist> loadFallbackList(const std::string& path, Prompts& prompts);

}  // namespace brovana
