#pragma once
// The studio: the main window makes one, calls init once and from then on routes every broadcast
// command to it. It makes and owns the long-lived parts and the three that act for it: the
// broadcast session (start, stop, restart), the service account (live or Hostplay, the server's
// switch) and the source desk (the sources, the voiceover, the mixers). It runs the start-up and
// the exit sequence, and the commands that span those parts.
//
// Commands that may wait on the network, the service, the sound card or a plug-in run on the
// studio's command worker, one at a time: the windows hand them over and go on at once.
//
// Locking: none of its own. The user-interface thread makes every call, except requestStop (any
// thread) and the playlist engine's notices, which go straight to the session and the desk; what
// the command worker runs reaches the parts through their own locks.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "broadcast/broadcast_session.h"
#include "broadcast/command_worker.h"
#include "broadcast/dead_air_guard.h"
#include "broadcast/report_adapters.h"
#include "broadcast/service_account.h"
#include "broadcast/settings.h"
#include "broadcast/source_desk.h"
#include "broadcast/station_setup.h"
#include "broadcast/stream_recorder.h"
#include "broadcast/studio_parts.h"
#include "broadcast/studio_signals.h"
#include "core/prompts.h"
#include "core/version.h"
#include "net/server_link.h"
#include "net/web_account_service.h"
#include "net/web_service.h"
#include "playlist/genre_list.h"

namespace brovana {

class MainWindowView;
class Registry;
class SongUpdateSender;
class StatusDisplay;

inline constexpr int kSlowCpuMHz = 233;

struct StudioTimings {
  AccountTimings account;
  ServerLinkTimings connection;
};

// What the studio works with that its front end provides. Each must outlive it.
struct StudioContext {
  Prompts& prompts;
  ProgramExit& exit;
  Registry& registry;  // the stored settings
  HttpClient& http;    // every request to the service's web host
  StudioParts& parts;
  SongUpdateSender* songs = nullptr;  // carries the title announcements; none drops them
  StudioTimings timings = {};
  // Told, on the playlist engine's worker, after every track of the list failed and the broadcast
  // was stopped for it.
  std::function<void()> broadcastFailed = {};
  // Told, on the capture's thread, when its sound card stopped recording (true) and when it
  // records again (false).
  std::function<void(bool lost)> inputLost = {};
  // Told, on the command worker, after each command it ran.
  std::function<void()> commandFinished = {};
  // Told, on the playlist engine's worker, when a track's first block is on the air, with
  // "Artist - Title"; and, on the command worker, of a title the member submits for a live source.
  std::function<void(const std::string& title)> trackOnAir = {};
};

class Studio final : public StationDesk {
 public:
  // Nothing happens until init.
  Studio(MainWindowView* mainWindow, std::string webHost, StudioContext context);
  // The second half of the exit sequence; prepareExit must have run when init did.
  ~Studio();
  Studio(const Studio&) = delete;
  Studio& operator=(const Studio&) = delete;

  // Start-up, once. False only when it ended the program (through ProgramExit), which every
  // refusal during start-up does; the caller then unwinds without starting anything.
  bool init();
  // Once after the main window shows: starts the broadcast the member left off with; `unasked`
  // (--on-air, the "On the air at start" setting) without asking first.
  PlaylistWindowControl* autoStart(bool unasked = false);
  // The worker that runs the commands below, and the questions they ask; the front end gives it
  // its waiter.
  CommandWorker& worker() { return worker_; }
  // From any thread (a stop signal): the start-up or start under way gives up as soon as it can.
  // Requests to the service and the server's log-in are abandoned, nothing more is asked or
  // started; the exit sequence, which the caller runs next, does what the run had done.
  void requestStop();
  bool stopRequested() const { return stop_.requested(); }
  // The first half of the exit sequence: the stream ends, the settings are saved, the server
  // this run turned on goes off.
  void prepareExit();

  // The parts that act for it; made by init (ready() from then on).
  bool ready() const { return session_ != nullptr; }
  BroadcastSession& session() { return *session_; }
  SourceDesk& sources() { return *sources_; }
  ServiceAccount& account() { return *account_; }
  OnAir onAir() const { return session_ ? session_->onAir() : OnAir::Off; }
  Source source() const { return sources_ ? sources_->source() : Source::Playlist; }

  // ---- commands, handed to the worker ----
  // The chosen source on the air.
  void startBroadcast();
  // A start is asked for or under way.
  bool starting() const;
  // Ends a start under way at once, then stops; returns when it is off the air.
  void stopBroadcast();
  // The member's choice of source; on the air, a change across the playlist's side restarts.
  void selectSource(Source source);
  // selectSource on the worker, or for a front end without one (headless, tests).
  bool setSource(Source source);
  // Files dropped on the main window go to the playlist, which starts if the member wants.
  bool playFile(const std::vector<std::string>& files);
  bool runSetupWizard();
  void switchToHostplay();
  // Off and on again at the service; the next log-in gives the server its time.
  void restartServer();
  // The "Plugins" menu's plug-in `index`; quitting the one before may wait on it.
  void launchPlugin(int index);
  // The "Voiceover..." command: a fresh panel while a playlist is on the air.
  bool openVoiceoverPanel();
  // The panel's microphone, into the mix and out of it.
  void startVoiceover();
  void stopVoiceover();

  // ---- windows ----
  void showBroadcastInfo();
  void showProgramInfo();
  PlaylistWindowControl* showPlaylistWindow();
  void setSkin(const std::string& path);
  void setVisual(Visualisation* visual);
  // A display switched on or off: the input level meter runs only while some display shows it.
  void visualsChanged();

  // "-outfile FILE" and "Save to file...": records the stream the server gets into `path`, from
  // now until stopRecording or the exit; a file that cannot be opened is an error box.
  bool startRecording(const std::string& path);
  void stopRecording() { recorder_.stop(); }
  bool recording() const { return recorder_.recording(); }
  std::string recordingPath() const { return recorder_.path(); }
  // --record-split: the recordings started from now on go into a new file every `minutes`.
  void setRecordingSplit(int minutes) { recorder_.setSplit(minutes); }
  // What gets the PCM on the air after the dead-air guard (the extra servers); null: nothing.
  void setPcmTap(PcmTap* tap) {
    if (guard_) guard_->setNext(tap);
  }

  // ---- accessors ----
  bool firstRunDone() const { return firstRunDone_; }
  const std::string& startupFolder() const { return startupFolder_; }
  ServerLink* connection() const { return connection_.get(); }
  WebService& web() { return web_; }
  EngineControl* engine() const { return engine_.get(); }
  // The "Plugins" menu; null without a DSP host.
  PluginControl* plugins() const { return pluginHost_.get(); }
  StatusDisplay* statusDisplay() const { return status_.get(); }
  QualityWindow* qualityWindow() const { return gauge_.get(); }
  VolumeWindow* volumeWindow() const { return volumes_.get(); }
  PlaylistWindowControl* playlistWindow() const { return playlistWindow_.get(); }
  // Gives the studio its playlist window. False, keeping the old window, once a broadcast has
  // taken the old window's list: the engine and the session hold on to it.
  bool setPlaylistWindow(std::unique_ptr<PlaylistWindowControl> window);
  // The list of the last playlist start, or without one the playlist window's; null when
  // neither has one.
  Playlist* playlistInUse() const;
  const GenreList& genreList() const { return genreList_; }
  bool unsavedNewPlaylist() const;
  // The holders of the stored settings besides the connection.
  SettingsHolders settingsHolders() const;

  // StationDesk, for the setup wizard and the Broadcast Information dialog.
  // A title the member submitted for a live source reaches the servers and the desktop as a
  // track's does.
  void announceTitle(const std::string& title) {
    if (context_.trackOnAir) context_.trackOnAir(title);
  }

  Prompts& prompts() override { return prompts_; }
  AccountService& accounts() override { return accountService_; }
  int liveSwitchWaitSeconds() const override { return context_.timings.account.liveSwitchWaitSeconds; }
  std::string hostplayName() override { return web_.hostplayDisplayName(); }
  void endProgram() override { exit_.endProgram(0); }
  bool broadcasting() const override { return onAir() != OnAir::Off; }
  void restartBroadcast() override;
  void saveSettings() override;
  void await(const std::function<void()>& work) override { worker_.await(work); }

 private:
  // Notes that the program is ending, for whoever ends it.
  class TrackingExit final : public ProgramExit {
   public:
    explicit TrackingExit(Studio& owner) : owner_(owner) {}
    void endProgram(int code) override;

   private:
    Studio& owner_;
  };

  // Ends the program and gives false, the answer of a start-up step that refused.
  bool quit();
  // On the worker: at once when already there, else after what is queued.
  void dispatch(CommandWorker::Command command);
  // Hands a start to the worker, with the playlist chosen first when `playlist`.
  void postStart(bool playlist);
  bool ended() const { return ended_.load(); }
  // The steps of init.
  void warnOfSlowProcessor();
  bool makeParts();
  void makeActors();
  bool loadOrFirstRun();
  void checkAccount();
  // The playlist engine's notice, on its worker: every track of the list failed.
  void listFailed();
  // The capture's notice, on its thread.
  void inputChanged(bool lost);
  // The dead-air guard's notice, on a source's thread: the switch it calls for, on the worker.
  void deadAir(DeadAirGuard::Event event);

  MainWindowView* const mainWindow_;
  const std::string webHost_;
  StudioContext context_;
  Prompts& prompts_;
  WebService web_;
  WebAccountService accountService_{web_};
  StopSignal stop_;
  BusyCursor cursor_{prompts_};
  std::atomic<bool> ended_{false};
  TrackingExit exit_{*this};
  std::atomic<ServerLink*> linkSeen_{nullptr};  // the connection, for requestStop's thread
  std::atomic<int> startsAsked_{0};             // handed to the worker, not yet returned

  bool firstRunDone_ = false;
  std::string startupFolder_;
  Visualisation* visual_ = nullptr;
  GenreList genreList_;

  // The connection tees the stream into it, so it outlives the connection.
  StreamRecorder recorder_;
  // Owned parts, in the order init makes them.
  std::unique_ptr<StatusWindow> statusWindow_;
  std::unique_ptr<StatusDisplay> status_;
  std::unique_ptr<QualityWindow> gauge_;
  std::unique_ptr<PlaylistWindowControl> playlistWindow_;
  std::unique_ptr<LinkReportsAdapter> linkReports_;
  std::unique_ptr<ServerLink> connection_;
  std::unique_ptr<EngineReportsAdapter> engineReports_;
  // Listens to what the stage puts on the air, so it outlives the stage.
  std::unique_ptr<DeadAirGuard> guard_;
  std::unique_ptr<Playlist> fallbackList_;
  std::unique_ptr<StageControl> stage_;
  std::unique_ptr<EngineControl> engine_;
  std::unique_ptr<PluginControl> pluginHost_;
  std::unique_ptr<VolumeWindow> volumes_;
  std::unique_ptr<BroadcastInfoDialog> infoDialog_;
  std::unique_ptr<ProgramInfoDialog> programInfo_;
  std::unique_ptr<ServiceAccount> account_;
  std::unique_ptr<SourceDesk> sources_;
  std::unique_ptr<BroadcastSession> session_;
  // Last: it goes first, its command under way run to the end, while the parts it uses remain.
  CommandWorker worker_{[this] {
    if (context_.commandFinished) context_.commandFinished();
  }};
};

// The end of the run's log, after the studio is gone: the summary, the offer to open the log
// when the run went badly, the time graphs.
void finishRunLog(Prompts& prompts);

}  // namespace brovana
