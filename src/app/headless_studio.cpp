#include "app/headless_studio.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

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

// The stop signals, taken on a thread of their own from before the start-up on, so that a stop
// is heard while the start-up still waits on the service or the server. The main thread waits
// here for the end of the run: a stop signal, or the broadcast failing by itself.
class RunEnd {
 public:
  RunEnd() : thread_([this] { takeSignals(); }) {}
  ~RunEnd() {
    closing_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);  // taken by the thread's own wait
    thread_.join();
  }
  RunEnd(const RunEnd&) = delete;
  RunEnd& operator=(const RunEnd&) = delete;

  // A stop signal, also one that came before, asks the supervisor to stop while this lives.
  class Attachment {
   public:
    Attachment(RunEnd& end, Supervisor& supervisor) : end_(end) { end_.setSupervisor(&supervisor); }
    ~Attachment() { end_.setSupervisor(nullptr); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

   private:
    RunEnd& end_;
  };

  void broadcastFailed() {
    {
      std::lock_guard lock(mutex_);
      failed_ = true;
    }
    changed_.notify_all();
  }
  // The stop signal that came, 0 for none.
  int signal() const {
    std::lock_guard lock(mutex_);
    return signal_;
  }
  // Until a stop signal or the broadcast's failure.
  void wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return signal_ != 0 || failed_; });
  }

 private:
  void setSupervisor(Supervisor* supervisor) {
    std::lock_guard lock(mutex_);
    supervisor_ = supervisor;
    if (supervisor_ && signal_ != 0) supervisor_->requestStop();
  }
  void takeSignals() {
    sigset_t set = stopSignals();
    for (int signal = 0; !closing_;) {
      if (sigwait(&set, &signal) != 0 || closing_) continue;
      std::lock_guard lock(mutex_);
      signal_ = signal;
      if (supervisor_) supervisor_->requestStop();
      changed_.notify_all();
    }
  }

  mutable std::mutex mutex_;  // the three fields below
  std::condition_variable changed_;
  Supervisor* supervisor_ = nullptr;
  int signal_ = 0;
  bool failed_ = false;
  std::atomic<bool> closing_{false};
  std::thread thread_;  // last: it starts once the rest is made
};

// Why nothing went on the air, or empty when the broadcast runs.
std::string offAirReason(Supervisor& supervisor, bool live) {
  ServerLink* connection = supervisor.connection();
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

// What the command line asks for, started as the windows would: the recording, the plug-in, then
// the playlist (as the previous one is offered at start) or the live source (as the menu and the
// button would).
void goOnTheAir(const CommandLine& options, Supervisor& supervisor) {
  if (options.outFile) supervisor.startRecording(*options.outFile);
  if (options.playlist) programValues().setPlaylist(*options.playlist);
  // A refused plug-in has been reported; the station goes on the air without it.
  if (options.dsp) supervisor.launchPluginFile(dspPath(options.dsp->path), options.dsp->module);
  int source = options.source.value_or(kSourcePlaylist);
  if (source == kSourcePlaylist)
    supervisor.autoStart();
  else if (supervisor.setSource(source))
    supervisor.broadcast();
}

// The run's exit code, once it is over: after a stop signal 0, and 1 when nothing was on the air
// or the broadcast failed by itself.
int awaitTheEnd(Supervisor& supervisor, const HeadlessParts& parts, RunEnd& end, bool live) {
  std::string reason;
  if (end.signal() == 0 && !parts.accountRefused() && (reason = offAirReason(supervisor, live)).empty()) {
    ServerInfo info = supervisor.connection()->serverInfo();
    std::fprintf(stderr, "brovana-live: on the air through %s:%d as %s; stop with Ctrl-C or SIGTERM\n",
                 info.host, info.port, supervisor.connection()->memberName().c_str());
    end.wait();
    reason = "no track of the playlist could be played";
  }
  if (int signal = end.signal()) {
    std::fprintf(stderr, "brovana-live: %s received, going off the air\n",
                 signal == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
  }
  if (!parts.accountRefused())
    std::fprintf(stderr, "brovana-live: nothing is on the air (%s); see the log %s\n", reason.c_str(),
                 Logger::getLogPath().c_str());
  return 1;
}

}  // namespace

void blockStopSignals() {
  sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
  RunEnd end;
  int code = 0;
  {
    SupervisorContext context{prompts, exit, setup.registry, setup.http, parts, &songs};
    context.broadcastFailed = [&end] { end.broadcastFailed(); };
    Supervisor supervisor(&window, setup.webHost, context);
    RunEnd::Attachment attached(end, supervisor);
    supervisor.setVisual(&visual);
    if (!supervisor.init()) {
      std::fprintf(stderr, "brovana-live: the start-up ended the program\n");
      return exit.code();
    }
    if (!supervisor.stopRequested()) goOnTheAir(options, supervisor);
    code = exit.ended() ? exit.code()
                        : awaitTheEnd(supervisor, parts, end,
                                      options.source.value_or(kSourcePlaylist) != kSourcePlaylist);
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
