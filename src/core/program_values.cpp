#include "core/program_values.h"

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
