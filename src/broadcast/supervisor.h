#pragma once
// The one controller of the studio. The main window makes one Supervisor, calls init once and
// from then on routes every broadcast command to it: it creates and owns the long-lived parts,
// runs the start-up account checks, starts, stops and restarts the broadcast, switches the audio
// source and the account mode, and tears everything down at exit.
//
// Threads: every operation comes from the user-interface thread, except the two notices of the
// playlist engine's worker (EngineReports::listFailed and trackChanged). The worker's stop and the
// user-interface thread's stops and starts are serialised by one lock, so that they cannot interleave; a
// worker stop that arrives after a newer start has been made is dropped, since the list that failed is no
// longer the one on the air. The lock is recursive because a stop or start runs inside other
// operations (a source switch restarts, a start stops first).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "broadcast/report_adapters.h"
#include "broadcast/settings.h"
#include "broadcast/station_setup.h"
#include "broadcast/stream_recorder.h"
#include "broadcast/studio_parts.h"
#include "core/prompts.h"
#include "net/server_link.h"
#include "net/web_account_service.h"
#include "net/web_service.h"
#include "playlist/genre_list.h"

namespace brovana {

class MainWindowView;
class Registry;
class SongUpdateSender;
class StatusDisplay;

inline constexpr double kProgramVersion = 2.01;
inline constexpr int kSlowCpuMHz = 233;
inline constexpr int kInitialVolume = 32000;

// The menu commands of the sources, for their radio marks.
int sourceCommandId(int sourceCode);

struct SupervisorTimings {
  // The settle wait after the account is switched to live mode.
  int liveSwitchWaitSeconds = 3;
  // Between a "Restart" of the member's server and the next attempt to log in to it.
  std::chrono::milliseconds restartWait{5000};
  ServerLinkTimings connection;
};

// What the Supervisor works with that its front end provides. Each must outlive it.
struct SupervisorContext {
  Prompts& prompts;
  ProgramExit& exit;
  Registry& registry;  // the stored settings
  HttpClient& http;    // every request to the service's web host
  StudioParts& parts;
  SongUpdateSender* songs = nullptr;  // carries the title announcements; none drops them
  SupervisorTimings timings = {};
  // Told, on the playlist engine's worker, after every track of the list failed and the broadcast
  // was stopped for it.
  std::function<void()> broadcastFailed = {};
};

class Supervisor final : public StationDesk {
 public:
  // Nothing happens until init.
  Supervisor(MainWindowView* mainWindow, std::string webHost, SupervisorContext context);
  // The second half of the exit sequence; prepareExit must have run when init did.
  ~Supervisor();
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;

  // The program-wide instance, set by init.
  static Supervisor* instance();

  // Start-up, once. False only when it ended the program (through ProgramExit), which every
  // refusal during start-up does; the caller then unwinds without starting anything.
  bool init();
  // Once after the main window shows: starts the broadcast the member left off with.
  PlaylistWindowControl* autoStart();

  bool broadcast();
  void stop();
  // From any thread (a stop signal): the start-up or start under way gives up as soon as it can.
  // Requests to the service and the server's log-in are abandoned, nothing more is asked or
  // started; the exit sequence, which the caller runs next, does what the run had done.
  void requestStop();
  bool stopRequested() const { return stopRequested_.load(); }
  void restart(bool reconnect);
  bool setSource(int sourceCode);
  // 0 idle, 1 the playlist engine plays, 2 the capture is open (also during a voiceover).
  int isBroadcasting() const;
  bool startVoiceover(int micSourceCode = kSourceMicrophone);
  void stopVoiceover();
  // The crossfade slider, 0 (microphone only) to 65536 (music only).
  void setVoiceoverBalance(int position);
  // An input volume of the "Volume Controls" window, on the recording and the playback mixer.
  void setSourceVolume(int sourceCode, int volume);
  // The "Voiceover..." command: a fresh panel while a playlist is on the air.
  bool openVoiceoverPanel();
  void closeVoiceoverPanel();
  bool playFile(const std::vector<std::string>& files);
  bool runSetupWizard();
  void switchToHostplay();
  void turnServer(const std::string& action);
  void prepareExit();
  void showBroadcastInfo();
  void showProgramInfo();
  PlaylistWindowControl* showPlaylistWindow();
  void setSkin(const std::string& path);
  void setVisual(Visualisation* visual);
  void setBroadcastButton(bool on);
  void setTitleState(int state);
  // "-outfile FILE" and "Save to file...": records the stream the server gets into `path`, from
  // now until stopRecording or the exit; a file that cannot be opened is an error box.
  bool startRecording(const std::string& path);
  void stopRecording() { recorder_.stop(); }
  bool recording() const { return recorder_.recording(); }

  // Accessors.
  int source() const;
  BroadcastKind kind() const;
  bool serverTurnedOn() const;
  bool firstRunDone() const;
  const std::string& startupFolder() const { return startupFolder_; }
  const std::string& webHost() const { return webHost_; }
  ServerLink* connection() const { return connection_.get(); }
  WebService& web() { return web_; }
  EngineControl* engine() const { return engine_.get(); }
  CaptureControl* capture() const;
  StatusDisplay* statusDisplay() const { return status_.get(); }
  QualityWindow* qualityWindow() const { return gauge_.get(); }
  VolumeWindow* volumeWindow() const { return volumes_.get(); }
  PlaylistWindowControl* playlistWindow() const { return playlistWindow_.get(); }
  // Gives the studio its playlist window. False, keeping the old window, once a broadcast has
  // taken the old window's list: the engine and this supervisor hold on to it.
  bool setPlaylistWindow(std::unique_ptr<PlaylistWindowControl> window);
  // The list of the last playlist start; null before one.
  Playlist* currentPlaylist() const;
  // The list of the last playlist start, or without one the playlist window's; null when
  // neither has one.
  Playlist* playlistInUse() const;
  const GenreList& genreList() const { return genreList_; }
  bool voiceoverPanelOpen() const;
  bool continuousLoop() const;
  bool unsavedNewPlaylist() const;
  int waveOutVolume() const;
  void setWaveOutVolume(int volume);
  // The "Plugins" menu. False without a DSP host.
  bool loadPlugins();
  std::vector<PluginMenuEntry> pluginMenu() const;
  // Launches plug-in `index` of the menu (0: "-none-", k: menu id 38000 + k) and moves the radio
  // mark; the menu id checked now.
  int launchPlugin(int index);
  int checkedPlugin() const;
  // Launches module `module` of a plug-in library given by path; false when it was refused.
  bool launchPluginFile(const std::string& path, int module);
  // The holders of the stored settings besides the connection.
  SettingsHolders settingsHolders() const;

  // StationDesk, for the setup wizard and the Broadcast Information dialog.
  Prompts& prompts() override { return prompts_; }
  AccountService& accounts() override { return accountService_; }
  int liveSwitchWaitSeconds() const override { return context_.timings.liveSwitchWaitSeconds; }
  std::string hostplayName() override;
  void endProgram() override;
  bool broadcasting() const override { return isBroadcasting() != 0; }
  void restartBroadcast() override { restart(true); }
  void saveSettings() override;

 private:
  using Lock = std::unique_lock<std::recursive_mutex>;

  // Shows the wait cursor for its lifetime; nested uses show it once.
  class WaitCursor {
   public:
    explicit WaitCursor(Supervisor& owner);
    ~WaitCursor();

   private:
    Supervisor& owner_;
  };

  // Notes that the program is ending, for whoever ends it.
  class TrackingExit final : public ProgramExit {
   public:
    explicit TrackingExit(Supervisor& owner) : owner_(owner) {}
    void endProgram(int code) override;

   private:
    Supervisor& owner_;
  };

  // The playlist engine's notices, on its worker thread.
  void listFailed();
  void trackChanged();

  // Ends the program and gives false, the answer of a start-up step that refused.
  bool quit();
  bool ended() const { return ended_.load(); }
  // The steps of init.
  void warnOfSlowProcessor();
  bool makeParts();
  bool loadOrFirstRun();
  bool settleAccountMode();
  bool continueBesideARunningBroadcast();
  void checkAccount();
  // Waits, unless a stop comes first (then false).
  bool pause(std::chrono::milliseconds wait);
  bool switchToLive(const std::string& hostplay);
  // Without the display name, it is fetched only for the message of a failure.
  bool switchBackToHostplay(std::string hostplay = {});
  void stopLocked(bool final);
  bool connect();
  void startPlaylist(Playlist& playlist, int startIndex);
  void turnServerOnOnce();
  bool ensureCapture();
  void closeCaptureInput();
  void writeStartLines(bool withMember);
  void postBlankTitle(const std::string& title);
  void showSourceMarks(int commandId);
  void showPluginMarks();
  // The mixers, opened on first use; none on a machine without one. Under controlMutex_.
  MixerControl* inputMixer() const;
  MixerControl* outputMixer() const;

  MainWindowView* const mainWindow_;
  const std::string webHost_;
  SupervisorContext context_;
  Prompts& prompts_;
  WebService web_;
  WebAccountService accountService_{web_};

  mutable std::recursive_mutex controlMutex_;
  std::atomic<bool> ended_{false};
  TrackingExit exit_{*this};
  std::atomic<bool> closing_{false};
  std::atomic<int> starts_{0};              // playlist and capture starts made so far
  std::atomic<bool> stopRequested_{false};  // set under stopMutex_, for the pauses
  std::mutex stopMutex_;
  std::condition_variable stopWake_;
  std::atomic<ServerLink*> linkSeen_{nullptr};  // the connection, for requestStop's thread
  std::mutex cursorMutex_;
  int cursorDepth_ = 0;

  BroadcastKind kind_ = kKindNone;
  int source_ = kSourcePlaylist;
  bool serverTurnedOn_ = false;
  bool firstRunDone_ = false;
  std::string startupFolder_;
  Visualisation* visual_ = nullptr;
  Playlist* currentPlaylist_ = nullptr;
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
  std::unique_ptr<StageControl> stage_;
  std::unique_ptr<EngineControl> engine_;
  std::unique_ptr<PluginControl> pluginHost_;
  // Opened by the first source or command that needs one: opening a mixer loads the sound
  // system's mixer plug-ins, which a playlist broadcast never uses.
  mutable std::unique_ptr<MixerControl> inputMixer_;
  mutable std::unique_ptr<MixerControl> outputMixer_;
  mutable bool inputMixerOpened_ = false;
  mutable bool outputMixerOpened_ = false;
  std::unique_ptr<VolumeWindow> volumes_;
  std::unique_ptr<BroadcastInfoDialog> infoDialog_;
  std::unique_ptr<ProgramInfoDialog> programInfo_;
  std::unique_ptr<VoiceoverPanel> voiceoverPanel_;
  // Made by the first external start or voiceover. The engine's worker reads it through the
  // atomic copy; it goes away only after the engine.
  std::unique_ptr<CaptureControl> capture_;
  std::atomic<CaptureControl*> captureSeen_{nullptr};
};

// The end of the run's log, after the Supervisor is gone: the summary, the offer to open the log
// when the run went badly, the time graphs.
void finishRunLog(Prompts& prompts);

}  // namespace brovana
