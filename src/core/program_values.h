#pragma once
// The handful of program-wide values that outlive any one window: the last MP3 folder, the last
// playlist, the skin, the session number and the service's web host, with the store they are
// read from and the key paths of the stored settings.

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

// "Software\Zelvora\Live\default"
std::string profileKeyPath(std::string_view profile = kProfileName);

class ProgramValues {
 public:
  // The store that the session number and the skin are read from; null until the front end sets it.
  void setRegistry(Registry* registry);
  Registry* registry() const;

  // The folder MP3 files were last added from; none at first (musicFolder() stands in).
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

// The member's music folder: the XDG music folder when it exists ($XDG_CONFIG_HOME/user-dirs.dirs,
// else $XDG_MUSIC_DIR), else ~/Music when it exists, else the home folder.
std::string musicFolder();

}  // namespace brovana
