#include "broadcast/dead_air_guard.h"

#include "core/program_values.h"
#include "diag/logger.h"
#include "monitor/quality_reports.h"
#include "monitor/status_display.h"
#include "net/server_link.h"
#include "playlist/playlist.h"

namespace brovana {

namespace {

constexpr const char* kDeadAirStatusText = "Dead air: your listeners hear silence";

}  // namespace

DeadAirGuard::DeadAirGuard(const GuardSettings& settings, Ports ports)
    : settings_(settings),
      ports_(std::move(ports)),
      air_({settings.silenceLevelDb, settings.silenceSeconds, 0}),
      live_(*this, {settings.silenceLevelDb, settings.silenceSeconds, kLiveBackSeconds}) {
  live_.restart();
}

void DeadAirGuard::setNext(PcmTap* next) {
  next_.store(next);
}

void DeadAirGuard::onAir(const uint8_t* pcm, int length, const PcmFormat& format) {
  bool began = false, warned = false, back = false;
  {
    std::lock_guard lock(mutex_);
    began = air_.feed(pcm, length, format) == SilenceDetector::Change::SilenceBegan;
    // A silence that goes on after a switch is told to the studio again, not warned of again.
    if (began) {
      warned = !deadAir_;
      deadAir_ = true;
    } else if (deadAir_ && air_.heard()) {
      back = true;
      deadAir_ = false;
    }
  }
  if (warned || back) warn(warned);
  if (began && ports_.tell) ports_.tell(Event::AirSilent);
  if (PcmTap* next = next_.load()) next->onAir(pcm, length, format);
}

void DeadAirGuard::warn(bool silent) {
  if (silent) {
    Logger::log("WARNING : dead air, nothing above %g dBFS went out for %g seconds\n",
                settings_.silenceLevelDb, settings_.silenceSeconds);
    Logger::countDeadAir(false);
  } else {
    Logger::log("Sound is on the air again\n");
  }
  ports_.status.setStatusText(silent ? kDeadAirStatusText : kConnectedText);
  if (ports_.gauge) ports_.gauge->setDeadAir(silent);
}

void DeadAirGuard::restart() {
  {
    std::lock_guard lock(mutex_);
    air_.reset(false);
  }
  live_.restart();
}

void DeadAirGuard::LiveEar::onAir(const uint8_t* pcm, int length, const PcmFormat& format) {
  SilenceDetector::Change change;
  {
    std::lock_guard lock(mutex_);
    change = detector_.feed(pcm, length, format);
  }
  if (change == SilenceDetector::Change::SoundReturned && owner_.ports_.tell)
    owner_.ports_.tell(Event::LiveBack);
}

// Silent, so that only sound that lasts counts.
void DeadAirGuard::LiveEar::restart() {
  std::lock_guard lock(mutex_);
  detector_.reset(true);
}

std::unique_ptr<Playlist> loadFallbackList(const std::string& path, Prompts& prompts) {
  if (path.empty()) return nullptr;
  auto list = std::make_unique<Playlist>(prompts);
  // Loading names the list the member's playlist, which this one is not.
  ProgramValues& values = programValues();
  std::optional<std::string> playlist = values.playlist(), folder = values.mp3path();
  bool loaded = list->load(path);
  values.setPlaylist(playlist);
  values.setMp3path(folder);
  if (loaded && list->count() > 0) {
    Logger::log("Fallback playlist: %s, %d tracks\n", path.c_str(), list->count());
    return list;
  }
  Logger::log("The fallback playlist %s holds no track to play; dead air is only warned of\n", path.c_str());
  return nullptr;
}

}  // namespace brovana
