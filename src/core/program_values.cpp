#include "core/program_values.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/registry.h"
#include "core/text.h"

namespace brovana {

std::string profileKeyPath(std::string_view profile) {
  return std::string(kProfileRoot) + "\\" + std::string(profile);
}

void ProgramValues::setRegistry(Registry* registry) {
  std::lock_guard lock(mutex_);
  registry_ = registry;
}

Registry* ProgramValues::registry() const {
  std::lock_guard lock(mutex_);
  return registry_;
}

std::string musicFolder() {
  const char* homeText = std::getenv("HOME");
  const std::string home = homeText && *homeText ? homeText : "/";
  auto isFolder = [](const std::string& path) {
    std::error_code error;
    return !path.empty() && path[0] == '/' && std::filesystem::is_directory(path, error);
  };
  // The user-dirs file is shell text: XDG_MUSIC_DIR="$HOME/Music".
  std::string xdg;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::ifstream dirs((config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs");
  for (std::string line; std::getline(dirs, line);) {
    std::string_view value = trim(line);
    if (!value.starts_with("XDG_MUSIC_DIR=")) continue;
    value.remove_prefix(14);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    xdg = value.starts_with("$HOME") ? home + std::string(value.substr(5)) : std::string(value);
  }
  if (const char* env = std::getenv("XDG_MUSIC_DIR"); xdg.empty() && env) xdg = env;
  if (isFolder(xdg)) return xdg;
  if (isFolder(home + "/Music")) return home + "/Music";
  return home;
}

std::optional<std::string> ProgramValues::mp3path() const {
  std::lock_guard lock(mutex_);
  return mp3path_;
}

void ProgramValues::setMp3path(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  mp3path_ = std::move(path);
}

std::optional<std::string> ProgramValues::playlist() const {
  std::lock_guard lock(mutex_);
  return playlist_;
}

void ProgramValues::setPlaylist(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  playlist_ = std::move(path);
}

std::optional<std::string> ProgramValues::previousPlaylist() const {
  std::lock_guard lock(mutex_);
  if (!playlist_ || playlist_->empty() || *playlist_ == "<none>") return std::nullopt;
  return playlist_;
}

int ProgramValues::sessionCount() {
  std::lock_guard lock(mutex_);
  if (sessionID_ >= 0) return sessionID_;
  if (!registry_) return 0;
  auto key = registry_->open(profileKeyPath());
  if (!key) return 0;
  sessionID_ = parseInt(key->text("sessionID"));
  return sessionID_;
}

int ProgramValues::sessionID() const {
  std::lock_guard lock(mutex_);
  return sessionID_;
}

void ProgramValues::setSessionID(int id) {
  std::lock_guard lock(mutex_);
  sessionID_ = id;
}

std::optional<std::string> ProgramValues::skin() const {
  std::lock_guard lock(mutex_);
  return skin_;
}

void ProgramValues::setSkin(std::optional<std::string> name) {
  std::lock_guard lock(mutex_);
  skin_ = std::move(name);
}

std::string ProgramValues::webHost() const {
  std::lock_guard lock(mutex_);
  return webHost_;
}

void ProgramValues::setWebHost(std::string host) {
  std::lock_guard lock(mutex_);
  webHost_ = std::move(host);
}

ProgramValues& programValues() {
  static ProgramValues values;
  return values;
}

}  // namespace brovana
