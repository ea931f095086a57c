#pragma once
// The member's stored settings: station and account values, remembered choices, read once at
// start-up and written after the first-run wizard and at exit. They live in the objects that use
// them; loading hands each value to its holder, saving collects them again.

#include <string>
#include <string_view>

#include "audio/loudness.h"
#include "monitor/visual_scene.h"

namespace brovana {

class ServerLink;
class Registry;

// The visualisation's four displays: 1 spectrum, 2 scrolling VU meter, 3 scope, 4 stereo VU meter.
class VisualModes {
 public:
  virtual ~VisualModes() = default;
  virtual bool displayOn(int display) const = 0;
  virtual void setDisplay(int display, bool on) = 0;
  bool anyDisplayOn() const {
    return displayOn(kDisplaySpectrum) || displayOn(kDisplayLevelLine) || displayOn(kDisplayScope) ||
           displayOn(kDisplayNeedles);
  }
};

// The playlist engine's play order and thread priority (0 normal, 1 above normal, 2 highest).
class PlayOrder {
 public:
  virtual ~PlayOrder() = default;
  virtual bool random() const = 0;
  virtual void setRandom(bool on) = 0;
  virtual int priority() const = 0;
  virtual void setPriority(int priority) = 0;
};

// The volume controls dialog's three recording volumes.
class Volumes {
 public:
  enum Line { Cd, LineIn, Mic };
  virtual ~Volumes() = default;
  virtual int volume(Line line) const = 0;
  virtual void setVolume(Line line, int value) = 0;
};

// Whoever holds the values besides the connection; any of them may be absent.
struct SettingsHolders {
  VisualModes* visual = nullptr;
  PlayOrder* playOrder = nullptr;
  Volumes* volumes = nullptr;
};

// False without a connection, or when neither the profile key nor the predecessor's key exists
// (the first run); true otherwise, also when single values are missing.
bool loadBroadcastInfo(Registry& registry, std::string_view profile, ServerLink* connection,
                       const SettingsHolders& holders);
// Writes every value back; nothing without a connection.
void saveBroadcastInfo(Registry& registry, std::string_view profile, ServerLink* connection,
                       const SettingsHolders& holders);

// How the playlist goes from track to track: the loudness it plays at and the crossfade.
struct MixingSettings {
  LoudnessSettings loudness;
  double crossfadeSeconds = 0;  // 0 to 10
};
// The stored values ("normalize", "loudness_target", "crossfade"); a missing or unusable one
// keeps its default.
MixingSettings loadMixing(Registry& registry);
void saveMixing(Registry& registry, const MixingSettings& mixing);

// The dead-air guard: what counts as silence on the air, and the playlist that covers for a
// silent live source (none: the guard only warns and skips silent tracks).
struct GuardSettings {
  double silenceLevelDb = -50;  // kSilenceLevels
  double silenceSeconds = 15;   // kSilenceTimes
  std::string fallback;
};
inline constexpr double kSilenceLevels[] = {-90, -1};
inline constexpr double kSilenceTimes[] = {1, 3600};
// The stored values ("silence_level", "silence_time", "fallback"); a missing or unusable one
// keeps its default.
GuardSettings loadGuard(Registry& registry);
void saveGuard(Registry& registry, const GuardSettings& guard);

}  // namespace brovana
