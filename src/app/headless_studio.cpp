#include "app/headless_studio.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

#include "app/dsp_choice.h"
#include "app/song_file.h"
#include "app/stop_signals.h"
#include "app/studio_remote.h"
#include "broadcast/automation.h"
#include "broadcast/extra_servers.h"
#include "broadcast/server_fan_out.h"
#include "broadcast/studio.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "diag/logger.h"
#include "net/song_update_sender.h"
#include "net/station_title_sender.h"
#include "platform/source_clients.h"
#include "platform/stream_encoders.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

// A live source whose sound card stopped recording ends the run when it is not back by then.
constexpr std::chrono::minutes kInputPatience{1};

// The end of the run, which the main thread waits for: a stop signal, the broadcast failing by
// itself, or a sound card that stopped recording and did not come back.
class RunEnd {
 public:
  RunEnd() : stops_([this](int) { changed(); }) {}

  StopSignals& stops() { return stops_; }
  void broadcastFailed() {
    {
      std::lock_guard lock(mutex_);
      failed_ = true;
    }
    changed_.notify_all();
  }
  void inputChanged(bool lost) {
    {
      std::lock_guard lock(mutex_);
      lostSince_ = lost ? std::optional(std::chrono::steady_clock::now()) : std::nullopt;
    }
    changed_.notify_all();
  }
  // The stop signal that came, 0 for none.
  int signal() const { return stops_.signal(); }
  bool inputGone() const {
    std::lock_guard lock(mutex_);
    return inputGone_;
  }
  // Until a stop signal, the broadcast's failure, or an input lost for longer than its patience.
  void wait() {
    std::unique_lock lock(mutex_);
    auto ended = [this] { return stops_.signal() != 0 || failed_; };
    while (!ended() && !inputGone_) {
      if (!lostSince_)
        changed_.wait(lock, [&] { return ended() || lostSince_; });
      else if (!changed_.wait_until(lock, *lostSince_ + kInputPatience,
                                    [&] { return ended() || !lostSince_; }))
        inputGone_ = true;
    }
  }

 private:
  // Under the waiter's lock, so that a change made just before its look is not missed.
  void changed() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;  // the three fields below, and the waits
  std::condition_variable changed_;
  bool failed_ = false;
  std::optional<std::chrono::steady_clock::time_point> lostSince_;
  bool inputGone_ = false;
  StopSignals stops_;  // last: its thread tells the fields above
};

// Why nothing went on the air, or empty when the broadcast runs.
std::string offAirReason(Studio& studio, bool live) {
  ServerLink* connection = studio.connection();
  if (live) {
    if (studio.onAir() == OnAir::Capture) return {};
    if (studio.sources().source() == Source::Playlist) return "the source could not be chosen";
    if (connection->loggedOn()) return "the sound card could not be recorded";
  } else if (connection->loggedOn() && studio.engine()) {
    return {};
  }
  if (studio.web().silent()) return "the Zelvora service at " + studio.web().webHost() + " does not answer";
  if (live) return "the broadcast server did not take the stream";
  std::optional<std::string> playlist = programValues().previousPlaylist();
  Playlist* list = studio.playlistWindow() ? studio.playlistWindow()->playlist() : nullptr;
  return !playlist                     ? "no playlist: give one with --playlist FILE"
         : !list || list->count() == 0 ? "the playlist " + *playlist + " holds no track to play"
         : !studio.engine()            ? "this build has no playlist engine"
                                       : "the broadcast server did not take the stream";
}

// What the command line asks for, started as the windows would: the recording, the plug-in, then
// the playlist (as the previous one is offered at start) or the live source (as the menu and the
// button would).
void goOnTheAir(const CommandLine& options, Studio& studio, const std::optional<std::string>& recording) {
  studio.setRecordingSplit(options.recordSplitMinutes.value_or(0));
  if (recording) studio.startRecording(*recording);
  if (options.playlist) programValues().setPlaylist(*options.playlist);
  // A refused plug-in has been reported; the station goes on the air without it.
  if (options.dsp && studio.plugins())
    studio.plugins()->launchFile(dspPath(options.dsp->path), options.dsp->module);
  Source source = options.source.value_or(Source::Playlist);
  if (source == Source::Playlist)
    studio.autoStart(options.onAirAtStart);
  else if (studio.setSource(source))
    studio.startBroadcast();
  // The start it handed to the studio's worker, before the run is judged.
  studio.worker().await([] {});
}

// The stored extra servers, the --also ones and the --record files; none without them.
std::unique_ptr<ServerFanOut> startExtraServers(const CommandLine& options, Registry& registry,
                                                EncoderLibrary& encoders) {
  std::vector<StreamTarget> targets = loadExtraServers(registry, kProfileName);
  targets.insert(targets.end(), options.also.begin(), options.also.end());
  if (targets.size() > static_cast<size_t>(kMaxExtraServers)) {
    Logger::log("%zu extra servers are stored or given; the first eight go on the air\n", targets.size());
    targets.resize(kMaxExtraServers);
  }
  targets.insert(targets.end(), options.records.begin(), options.records.end());
  return targets.empty() ? nullptr : std::make_unique<ServerFanOut>(targets, encoders, makeSourceClient);
}

// The run's exit code, once it is over: after a stop signal 0, and 1 when nothing was on the air
// or the broadcast failed by itself.
int awaitTheEnd(Studio& studio, const HeadlessParts& parts, RunEnd& end, bool live) {
  std::string reason;
  if (end.signal() == 0 && !parts.accountRefused() && (reason = offAirReason(studio, live)).empty()) {
    ServerInfo info = studio.connection()->serverInfo();
    std::fprintf(stderr, "brovana-live: on the air through %s:%d as %s; stop with Ctrl-C or SIGTERM\n",
                 info.host, info.port, studio.connection()->memberName().c_str());
    end.wait();
    reason = end.inputGone() ? "the sound card stopped recording and did not record again within a minute"
                             : "no track of the playlist could be played";
  }
  if (int signal = end.signal()) {
    tellStopHeard(signal);
    return 0;
  }
  if (!parts.accountRefused())
    std::fprintf(stderr, "brovana-live: nothing is on the air (%s); see the log %s\n", reason.c_str(),
                 Logger::getLogPath().c_str());
  return 1;
}

}  // namespace

int runHeadless(const CommandLine& options, const HeadlessSetup& setup) {
  // Without stored settings the start-up would offer the setup wizard, which needs windows.
  if (!setup.registry.open(profileKeyPath()) && !setup.registry.open(kOldProfileKey)) {
    std::fprintf(stderr,
                 "brovana-live: no station is configured yet. Store the account and the station first:\n"
                 "  brovana-live --configure --member NAME --password PW [--title T] [--genre G] [--url U]\n"
                 "               [--line-speed N] [--output-bitrate N]\n"
                 "(with the same -host and --workdir as this run), then start --headless again.\n");
    return 1;
  }

  HeadlessPrompts prompts;
  HeadlessExit exit;
  HeadlessMainWindow window;
  HeadlessVisual visual;
  // The extra servers and recordings outlive the studio, whose stage feeds them.
  StreamEncoderLibrary streamEncoders;
  std::unique_ptr<ServerFanOut> extras;
  std::unique_ptr<SongFileWatcher> songFile;  // tells `extras` and the studio, so it goes first
  std::unique_ptr<StudioRemote> remote;
  HeadlessParts parts(prompts, setup.codec, setup.makeEngine, options.device.value_or(""));
  SongUpdateSender songs(setup.http);
  StationTitleSender titles(setup.http);
  RunEnd end;
  int code = 0;
  {
    StudioContext context{prompts, exit, setup.registry, setup.http, parts, &songs};
    context.broadcastFailed = [&end] { end.broadcastFailed(); };
    context.inputLost = [&end](bool lost) { end.inputChanged(lost); };
    // Every title goes to the extra servers and to the member's own server; the studio is made
    // before any track can go on the air.
    Studio* titled = nullptr;
    auto announce = [&extras, &titles, &titled](const std::string& title) {
      if (extras) extras->setTitle(title);
      if (titled) titles.send(titled->connection()->serverInfo(), title);
    };
    context.trackOnAir = [&announce, &remote](const std::string& title) {
      announce(title);
      if (remote) remote->trackOnAir(title);
    };
    Studio studio(&window, setup.webHost, context);
    titled = &studio;
    StopSignals::Attachment attached(end.stops(), studio);
    studio.setVisual(&visual);
    if (!studio.init()) {
      std::fprintf(stderr, "brovana-live: the start-up ended the program\n");
      return exit.code();
    }
    // After the start-up, whose log the servers' reports go to.
    extras = startExtraServers(options, setup.registry, streamEncoders);
    studio.setPcmTap(extras.get());
    parts.setFullBand(extras != nullptr);
    if (options.songFile) songFile = std::make_unique<SongFileWatcher>(*options.songFile, announce);
    remote = std::make_unique<StudioRemote>(studio, extras.get(), announce, options.outFile);
    std::unique_ptr<ControlSocket> control = openControlSocket(*remote);
    if (!studio.stopRequested())
      goOnTheAir(options, studio,
                 recordingAtStart(options.outFile, loadAutomation(setup.registry), studio.startupFolder()));
    code = exit.ended() ? exit.code()
                        : awaitTheEnd(studio, parts, end,
                                      options.source.value_or(Source::Playlist) != Source::Playlist);
    control.reset();  // no command comes in during the exit sequence
    // The exit command's questions (still broadcasting? an unsaved playlist?) are not asked:
    // the signal is the member's answer.
    if (!exit.ended()) studio.prepareExit();
    songFile.reset();  // it names the studio
  }
  finishRunLog(prompts);
  songs.stop();
  std::fprintf(stderr, "brovana-live: stopped; the log is %s\n", Logger::getLogPath().c_str());
  return code;
}

}  // namespace brovana
