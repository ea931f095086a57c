#include "broadcast/program_values.h"

#include "core/ini_file.h"
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

const char* lineSpeedName(int bps) {
  if (bps > 56000) return "T1/DSL/ISDN/Cable";
  if (bps == 56000) return "56K modem";
  if (bps == 33000 || bps == 32000) return "33K modem";
  if (bps <= 28800) return "28.8K modem";
  return "---";
}

const char* outputFormatName(int bps) {
  if (bps > 56000) return "T1/DSL/ISDN/Cable";
  switch (bps) {
    case 56000: return "56Kbps/stereo (T1/DSL/ISDN/Cable)";
    case 32000: return "32Kbps/stereo (56K modem)";
    case 24000: return "24Kbps/mono (28.8K modem)";
    case 16000: return "16Kbps/mono (28.8K modem)";
    default: return "---";
  }
}

std::string hostplayNameFromFile(const std::string& path) {
  constexpr size_t kBuffer = 256;  // the value is read into a buffer of this size
  std::string name = "hostplay";
  if (auto ini = IniFile::load(path))
    if (auto value = ini->value("names", "HOSTPLAYNAME")) name = *value;
  if (name.size() >= kBuffer) name.resize(kBuffer - 1);
  return name;
}

}  // namespace brovana
