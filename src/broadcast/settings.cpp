#include "broadcast/settings.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "core/program_values.h"
#include "core/registry.h"
#include "core/speed_names.h"
#include "core/text.h"
#include "net/server_link.h"

namespace brovana {
namespace {

struct VisualValue {
  const char* name;
  int display;
};
// In the order they are read and written.
constexpr VisualValue kVisualValues[] = {
    {"scopeMode", 3}, {"spectrumMode", 1}, {"vuMode1", 2}, {"vuMode2", 4}};

struct VolumeValue {
  const char* name;
  Volumes::Line line;
};
constexpr VolumeValue kVolumeValues[] = {
    {"cdvol", Volumes::Cd}, {"linevol", Volumes::LineIn}, {"micvol", Volumes::Mic}};

const char* flag(bool on) {
  return on ? "1" : "0";
}

// A stored number within its bounds; none when it is no number or outside them.
std::optional<double> storedNumber(const RegistryKey& key, const char* name, double lowest, double highest) {
  std::optional<std::string> text = key.query(name);
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(text->c_str(), &end);
  if (*end != '\0' || !(value >= lowest && value <= highest)) return std::nullopt;
  return value;
}

}  // namespace

MixingSettings loadMixing(Registry& registry) {
  MixingSettings mixing;
  auto key = registry.open(kProfileRoot);
  if (!key) return mixing;
  if (auto mode = normalizeModeNamed(key->text("normalize"))) mixing.loudness.mode = *mode;
  mixing.loudness.targetLufs =
      storedNumber(*key, "loudness_target", -40, -5).value_or(mixing.loudness.targetLufs);
  mixing.crossfadeSeconds = storedNumber(*key, "crossfade", 0, 10).value_or(0);
  return mixing;
}

void saveMixing(Registry& registry, const MixingSettings& mixing) {
  auto key = registry.create(kProfileRoot);
  if (!key) return;
  key->set("normalize", toString(mixing.loudness.mode));
  key->set("loudness_target", formatText("%g", mixing.loudness.targetLufs));
  key->set("crossfade", formatText("%g", mixing.crossfadeSeconds));
}

GuardSettings loadGuard(Registry& registry) {
  GuardSettings guard;
  auto key = registry.open(kProfileRoot);
  if (!key) return guard;
  guard.silenceLevelDb = storedNumber(*key, "silence_level", kSilenceLevels[0], kSilenceLevels[1])
                             .value_or(guard.silenceLevelDb);
  guard.silenceSeconds =
      storedNumber(*key, "silence_time", kSilenceTimes[0], kSilenceTimes[1]).value_or(guard.silenceSeconds);
  guard.fallback = key->text("fallback");
  return guard;
}

void saveGuard(Registry& registry, const GuardSettings& guard) {
  auto key = registry.create(kProfileRoot);
  if (!key) return;
  key->set("silence_level", formatText("%g", guard.silenceLevelDb));
  key->set("silence_time", formatText("%g", guard.silenceSeconds));
  key->set("fallback", guard.fallback);
}

bool loadBroadcastInfo(Registry& registry, std::string_view profile, ServerLink* connection,
                       const SettingsHolders& holders) {
  if (!connection) return false;
  // A member of the predecessor product keeps the station; it is written to the new key at exit.
  auto key = registry.open(profileKeyPath(profile));
  if (!key) key = registry.open(kOldProfileKey);
  if (!key) return false;
  ProgramValues& program = programValues();

  connection->setMessage(key->text("message"));
  connection->setMemberName(key->text("username"));
  connection->setPassword(key->text("pass"));
  program.setMp3path(key->text("mp3path"));
  program.setPlaylist(key->text("playlist"));
  connection->setUrl(key->text("url"));
  connection->setGenre(0, key->text("genre"));
  // A saved placeholder of one blank is no genre.
  for (int index : {1, 2}) {
    auto genre = key->query(index == 1 ? "genre1" : "genre2");
    if (genre && genre->size() >= 2) connection->setGenre(index, *genre);
  }
  connection->setLineSpeed(parseInt(key->text("bitrate")));
  int output = parseInt(key->text("output_bitrate"));
  connection->setOutputBitrate(output == 0 ? outputBitrateForLineSpeed(connection->lineSpeed()) : output);
  for (const VisualValue& v : kVisualValues)
    if (holders.visual) holders.visual->setDisplay(v.display, parseInt(key->text(v.name)) != 0);
  if (auto livetag = key->query("livetag")) connection->setLiveTag(parseInt(*livetag) != 0);
  int session = parseInt(key->text("sessionID"));
  if (holders.playOrder) {
    holders.playOrder->setRandom(parseInt(key->text("randomize")) == 1);
    holders.playOrder->setPriority(parseInt(key->text("priority")));
  }
  program.setSessionID(session + 1);
  if (holders.volumes)
    for (const VolumeValue& v : kVolumeValues)
      if (auto value = key->query(v.name)) holders.volumes->setVolume(v.line, parseInt(*value));
  key.reset();

  if (auto skinKey = registry.open(kProfileRoot))
    if (auto skin = skinKey->query("lc_skin")) program.setSkin(*skin);
  return true;
}

void saveBroadcastInfo(Registry& registry, std::string_view profile, ServerLink* connection,
                       const SettingsHolders& holders) {
  if (!connection) return;
  auto key = registry.create(profileKeyPath(profile));
  if (!key) return;
  ProgramValues& program = programValues();
  ServerInfo info = connection->serverInfo();
  // The broadcast server is known only from a whole answer of the service, which names its port;
  // without one this run keeps what an earlier one stored.
  bool serverKnown = info.port > 0;

  if (auto genre = connection->genre(0)) key->set("genre", *genre);
  key->set("genre1", connection->genre(1).value_or(" "));
  key->set("genre2", connection->genre(2).value_or(" "));
  if (serverKnown) key->set("host", info.host);
  key->set("message", connection->message());
  key->set("pass", connection->pass());
  if (holders.visual)
    for (const VisualValue& v : kVisualValues) key->set(v.name, flag(holders.visual->displayOn(v.display)));
  key->set("livetag", flag(connection->livetag()));
  key->set("mp3path", program.mp3path().value_or(musicFolder()));
  key->set("playlist", program.playlist().value_or("<none>"));
  key->set("url", connection->url());
  key->set("username", connection->memberName());
  key->set("bitrate", std::to_string(connection->lineSpeed()));
  key->set("output_bitrate", std::to_string(connection->outputBitrate()));
  if (serverKnown) key->set("port", std::to_string(info.port));
  key->set("sessionID", std::to_string(program.sessionID()));
  if (holders.volumes)
    for (const VolumeValue& v : kVolumeValues)
      key->set(v.name, std::to_string(holders.volumes->volume(v.line)));
  if (holders.playOrder) {
    key->set("randomize", flag(holders.playOrder->random()));
    key->set("priority", std::to_string(holders.playOrder->priority()));
  }
  key.reset();

  if (auto skin = program.skin())
    if (auto skinKey = registry.create(kProfileRoot)) skinKey->set("lc_skin", *skin);
}

}  // namespace brovana
