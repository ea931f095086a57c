#include "app/studio_remote.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "app/command_line.h"
#include "broadcast/recording_split.h"
#include "broadcast/server_fan_out.h"
#include "broadcast/studio.h"
#include "diag/logger.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

// A stop waits for the start under way to give up, which a server that does not answer holds up.
constexpr std::chrono::seconds kAnswerPatience{60};

std::string onAirName(Studio& studio) {
  if (studio.starting()) return "starting";
  switch (studio.onAir()) {
    case OnAir::Playlist:
      return "playlist";
    case OnAir::Capture:
      return "live";
    case OnAir::Off:
      break;
  }
  return "off";
}

// On the air without the link, the studio is trying to log in again.
std::string linkState(const ServerLink& link, bool onAir) {
  return link.loggedOn() ? "connected" : onAir ? "reconnecting" : "off";
}

}  // namespace

StudioRemote::StudioRemote(Studio& studio, ServerFanOut* extras, Announce announce,
                           std::optional<std::string> recordTo)
    : studio_(studio), extras_(extras), announce_(std::move(announce)), recordTo_(std::move(recordTo)) {}

void StudioRemote::trackOnAir(const std::string& title) {
  std::lock_guard lock(mutex_);
  title_ = title;
}

bool StudioRemote::offAir() const {
  return studio_.onAir() == OnAir::Off && !studio_.starting();
}

RemoteStatus StudioRemote::status() {
  RemoteStatus status;
  status.onAir = onAirName(studio_);
  status.source = sourceName(studio_.source());
  {
    std::lock_guard lock(mutex_);
    status.title = title_;
  }
  if (ServerLink* link = studio_.connection()) {
    status.uptimeSeconds = link->onAirSeconds();
    status.bytesSent = link->bytesSent();
    ServerInfo info = link->serverInfo();
    status.servers.push_back({std::string(info.host) + ":" + std::to_string(info.port),
                              linkState(*link, studio_.onAir() != OnAir::Off)});
  }
  status.dropouts = Logger::dropouts();
  if (extras_)
    for (const ExtraServerState& server : extras_->states())
      status.servers.push_back({server.label, server.onAir ? "connected" : "connecting"});
  status.recording = studio_.recordingPath();
  return status;
}

std::string StudioRemote::start() {
  if (!offAir()) return "the broadcast is on the air already";
  studio_.startBroadcast();
  return {};
}

std::string StudioRemote::stop() {
  if (offAir()) return "the broadcast is not on the air";
  studio_.stopBroadcast();
  return {};
}

std::string StudioRemote::skip(int step) {
  EngineControl* engine = studio_.engine();
  Playlist* list = studio_.playlistInUse();
  int count = list ? list->count() : 0;
  int index = engine ? engine->currentIndex() : -1;
  if (studio_.onAir() != OnAir::Playlist || index < 0 || count == 0) return "no playlist is on the air";
  engine->setCurrentIndex(((index + step) % count + count) % count);
  return {};
}

std::string StudioRemote::song(const std::string& text) {
  if (offAir()) return "the broadcast is not on the air";
  trackOnAir(text);
  if (announce_) announce_(text);
  if (ServerLink* link = studio_.connection()) studio_.web().postSong(link->serverInfo(), text);
  return {};
}

std::string StudioRemote::record(bool on) {
  if (!on) {
    if (!studio_.recording()) return "the studio is not recording";
    studio_.stopRecording();
    return {};
  }
  if (studio_.recording()) return "the studio records to " + studio_.recordingPath() + " already";
  std::error_code ignored;
  std::string path = recordTo_.value_or(
      partName(std::filesystem::current_path(ignored).string() + "/recording.mp3", std::time(nullptr)));
  return studio_.startRecording(path) ? "" : "cannot record to " + path + "; see the log";
}

std::string StudioRemote::source(const std::string& name) {
  std::optional<Source> chosen = sourceNamed(name);
  if (!chosen) return "the source is one of playlist, line, mic, cd or mix";
  bool done = false;
  studio_.await([&] { done = studio_.setSource(*chosen); });
  return done ? "" : "the source " + name + " cannot be chosen now; see the log";
}

std::unique_ptr<ControlSocket> openControlSocket(RemoteStation& station) {
  auto socket = std::make_unique<ControlSocket>(
      [&station](std::string_view line) { return answerRemoteRequest(line, station); });
  std::error_code ignored;
  std::string error, path = controlSocketPath(std::filesystem::current_path(ignored).string(), true);
  if (socket->open(path, error)) {
    Logger::log("Remote control listens on %s\n", path.c_str());
    return socket;
  }
  Logger::log("Remote control is off: %s\n", error.c_str());
  std::fprintf(stderr, "brovana-live: remote control is off: %s\n", error.c_str());
  return nullptr;
}

int runRemote(const std::vector<std::string>& words, const std::string& workingFolder) {
  std::string error;
  std::optional<std::string> request = remoteRequestLine(words, error);
  std::optional<std::string> answer;
  if (request)
    answer = callControlSocket(controlSocketPath(workingFolder, false), *request, kAnswerPatience, error);
  if (!answer) {
    std::fprintf(stderr, "brovana-live: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", answer->c_str());
  return remoteAnswerOk(*answer) ? 0 : 1;
}

}  // namespace brovana
