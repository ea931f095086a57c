#include "app/headless_studio.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>

#include "app/dsp_choice.h"
#include "broadcast/supervisor.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "diag/logger.h"
#include "net/song_update_sender.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Why nothing went on the air, or empty when the broadcast runs.
std::string offAirReason(Supervisor& supervisor, bool live) {
  LiveConnect* connection = supervisor.connection();
  if (live) {
    if (supervisor.isBroadcasting() == 2) return {};
    if (supervisor.source() == kSourcePlaylist) return "the source could not be chosen";
    return connection->loggedOn() ? "the sound card could not be recorded"
                                  : "the broadcast server did not take the stream";
  }
  if (connection->loggedOn() && supervisor.engine()) return {};
  std::optional<std::string> playlist = programValues().previousPlaylist();
  Playlist* list = supervisor.playlistWindow() ? supervisor.playlistWindow()->playlist() : nullptr;
  return !playlist                     ? "no playlist: give one with --playlist FILE"
         : !list || list->count() == 0 ? "the playlist " + *playlist + " holds no track to play"
         : !supervisor.engine()        ? "this build has no playlist engine"
                                       : "the broadcast server did not take the stream";
}

}  // namespace

void blockStopSignals() {
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForStopSignal() {
  sigset_t set = stopSignals();
  int signal = 0;
  while (sigwait(&set, &signal) != 0) {
  }
  return signal;
}

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
  HeadlessParts parts(prompts, setup.codec, setup.makeEngine, options.device.value_or(""));
  SongUpdateSender songs(setup.http);
  int code = 0;
  {
    Supervisor supervisor(&window, setup.webHost,
                          SupervisorContext{prompts, exit, setup.registry, setup.http, parts, &songs});
    supervisor.setVisual(&visual);
    if (!supervisor.init()) {
      std::fprintf(stderr, "brovana-live: the start-up ended the program\n");
      return exit.code();
    }
    if (options.outFile) supervisor.startRecording(*options.outFile);
    if (options.playlist) programValues().setPlaylist(*options.playlist);
    // A refused plug-in has been reported; the station goes on the air without it.
    if (options.dsp) supervisor.launchPluginFile(dspPath(options.dsp->path), options.dsp->module);
    // A live source is chosen as the menu would, then broadcast as the button would.
    int source = options.source.value_or(kSourcePlaylist);
    if (source == kSourcePlaylist)
      supervisor.autoStart();
    else if (supervisor.setSource(source))
      supervisor.broadcast();

    LiveConnect* connection = supervisor.connection();
    std::string reason;
    if (exit.ended()) {
      code = exit.code();
    } else if (parts.accountRefused()) {
      code = 1;
    } else if (!(reason = offAirReason(supervisor, source != kSourcePlaylist)).empty()) {
      std::fprintf(stderr, "brovana-live: nothing is on the air (%s); see the log %s\n", reason.c_str(),
                   Logger::getLogPath().c_str());
      code = 1;
    } else {
      ServerInfo info = connection->serverInfo();
      std::fprintf(stderr, "brovana-live: on the air through %s:%d as %s; stop with Ctrl-C or SIGTERM\n",
                   info.host, info.port, connection->memberName().c_str());
      int signal = waitForStopSignal();
      std::fprintf(stderr, "brovana-live: %s received, going off the air\n",
                   signal == SIGINT ? "SIGINT" : "SIGTERM");
    }
    // The exit command's questions (still broadcasting? an unsaved playlist?) are not asked:
    // the signal is the member's answer.
    if (!exit.ended()) supervisor.prepareExit();
  }
  finishRunLog(prompts);
  songs.stop();
  std::fprintf(stderr, "brovana-live: stopped; the log is %s\n", Logger::getLogPath().c_str());
  return code;
}

}  // namespace brovana
