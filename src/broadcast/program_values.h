#pragma once
// The handful of program-wide values that outlive any one window: the last MP3 folder, the last
// playlist, the skin, the session number and the service's web host, plus the naming rules for
// line speeds and the Hostplay mode's display name.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace brovana {

class Registry;

inline constexpr const char* kProfileRoot = "Software\\Zelvora\\Live";
inline constexpr const char* kProfileName = "default";
inline constexpr const char* kOldProfileKey = "Software\\Zelvora\\Mirobeam\\default";
inline constexpr const char* kDefaultSkin = "skins/zelvora_1.skn";
inline constexpr const char* kNamesFile = "brovana_live.ini";

// "Software\Zelvora\Live\default"
std::string profileKeyPath(std::string_view profile = kProfileName);

class ProgramValues {
 public:
  // The store that the session number and the skin are read from; null until the front end sets it.
  void setRegistry(Registry* registry);
  Registry* registry() const;

  std::optional<std::string> mp3path() const;
  void setMp3path(std::optional<std::string> path);
  std::optional<std::string> playlist() const;
  void setPlaylist(std::optional<std::string> path);
  // None when no playlist is remembered ("<none>" or empty count as none).
  std::optional<std::string> previousPlaylist() const;

  // The run counter: the cached value when known, else read from the profile key (0 without one).
  int sessionCount();
  int sessionID() const;
  void setSessionID(int id);

  // The stored skin name; the windows' skin layer checks it before use.
  std::optional<std::string> skin() const;
  void setSkin(std::optional<std::string> name);

  std::string webHost() const;
  void setWebHost(std::string host);

 private:
  mutable std::mutex mutex_;
  Registry* registry_ = nullptr;
  std::optional<std::string> mp3path_;
  std::optional<std::string> playlist_;
  std::optional<std::string> skin_;
  int sessionID_ = -1;
  std::string webHost_;
};

ProgramValues& programValues();

// "56K modem" and friends, for the member's line speed.
const char* lineSpeedName(int bitsPerSecond);
// "56Kbps/stereo (T1/DSL/ISDN/Cable)" and friends, for the stream bit rate.
const char* outputFormatName(int bitsPerSecond);

// The Hostplay mode's display name from the names file in the working folder; "hostplay" when
// the file, the section or the key is missing.
std::string hostplayNameFromFile(const std::string& path = kNamesFile);

}  // namespace brovana
