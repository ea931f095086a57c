#include "broadcast/supervisor.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>

#include "audio/mixer.h"
#include "core/program_values.h"
#include "core/speed_names.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/main_window_view.h"
#include "monitor/status_display.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

std::atomic<Supervisor*> gInstance{nullptr};

struct ExternalSource {
  int code;
  int commandId;
  const char* statusText;
  const char* logLine;
};

constexpr ExternalSource kExternalSources[] = {
    {kSourceCd, 32783, "(External source : CD player)", "Switching source to CD-Input\n"},
    {kSourceLineIn, 32784, "(External source : line-in)", "Switching source to Line-In\n"},
    {kSourceMicrophone, 32785, "(External source : microphone)", "Switching source to Microphone\n"},
    {kSourceMixer, 32821, "(External source : system mixer)", "Switching source to the Microsoft Mixer\n"},
};
constexpr int kPlaylistCommand = 32782;
constexpr int kSourceCommands[] = {32782, 32783, 32784, 32785, 32821};

const ExternalSource* externalSource(int code) {
  for (const ExternalSource& source : kExternalSources)
    if (source.code == code) return &source;
  return nullptr;
}

constexpr const char* kSwitchToLiveFailed =
    "%s is unable to change your account type from %s to Live.Try logging in to you account and change it by "
    "hand.";
constexpr const char* kSwitchToHostplayFailed =
    "%s is unable to change your account back to %s from Live. Try logging in to your account and change it "
    "by hand.";

}  // namespace

int sourceCommandId(int sourceCode) {
  if (sourceCode == kSourcePlaylist) return kPlaylistCommand;
  const ExternalSource* source = externalSource(sourceCode);
  return source ? source->commandId : 0;
}

Supervisor::WaitCursor::WaitCursor(Supervisor& owner) : owner_(owner) {
  std::lock_guard lock(owner_.cursorMutex_);
  if (owner_.cursorDepth_++ == 0) owner_.prompts_.waitCursor(true);
}

Supervisor::WaitCursor::~WaitCursor() {
  std::lock_guard lock(owner_.cursorMutex_);
  if (--owner_.cursorDepth_ == 0) owner_.prompts_.waitCursor(false);
}

Supervisor::Supervisor(MainWindowView* mainWindow, std::string webHost, SupervisorContext context)
    : mainWindow_(mainWindow),
      webHost_(std::move(webHost)),
      context_(context),
      prompts_(context.prompts),
      web_(context.http, webHost_, context.songs) {}

Supervisor* Supervisor::instance() {
  return gInstance.load();
}

void Supervisor::TrackingExit::endProgram(int code) {
  owner_.ended_ = true;
  owner_.context_.exit.endProgram(code);
}

void Supervisor::endProgram() {
  exit_.endProgram(0);
}

// ---- start-up ----

bool Supervisor::init() {
  Lock lock(controlMutex_);
  warnOfSlowProcessor();
  std::error_code error;
  startupFolder_ = std::filesystem::current_path(error).string();
  if (startupFolder_.size() > 260) startupFolder_.resize(260);
  gInstance = this;

  if (!makeParts() || !loadOrFirstRun() || !settleAccountMode()) return false;
  prompts_.notice("Starting Brovana-Live, standby...");
  web_.checkVersion(connection_->serverInfo(), kProgramVersion, kBuildNumber, prompts_, exit_);
  if (ended() || !continueBesideARunningBroadcast()) return false;
  checkAccount();
  connection_->refreshServerInfo();
  writeStartLines(true);
  prompts_.notice("");
  return !ended();
}

bool Supervisor::quit() {
  endProgram();
  return false;
}

// A slow processor makes the stream break up; members hear of it on their first runs only.
void Supervisor::warnOfSlowProcessor() {
  int mhz = context_.parts.cpuMHz();
  if (mhz > 0 && mhz < kSlowCpuMHz && programValues().sessionCount() < 2)
    prompts_.warning(
        formatText("Your CPU is less than the recommeded speed for live broadcasting, (%d Mhz) causing your "
                   "broadcast to break up, you should have at least a %d Mhz machine.",
                   mhz, kSlowCpuMHz));
}

// The long-lived parts, each given the ones made before it; false when the codec check ended
// the program.
bool Supervisor::makeParts() {
  StudioParts& parts = context_.parts;
  statusWindow_ = parts.makeStatusWindow();
  status_ = std::make_unique<StatusDisplay>(statusWindow_.get(), mainWindow_);
  gauge_ = parts.makeQualityWindow();
  playlistWindow_ = parts.makePlaylistWindow(*this);
  linkReports_ = std::make_unique<LinkReportsAdapter>(*status_);
  connection_ = std::make_unique<ServerLink>(webHost_, linkReports_.get(), accountService_, prompts_,
                                             context_.timings.connection);
  linkSeen_ = connection_.get();
  engineReports_ = std::make_unique<EngineReportsAdapter>(
      *status_, mainWindow_, *connection_, web_,
      EngineReportsAdapter::Notices{[this] { listFailed(); }, [this] { trackChanged(); }});
  if (gauge_) engineReports_->setGauge(gauge_->gauge());
  Logger::setStatsSource(connection_.get());
  connection_->setTap(&recorder_);
  stage_ = parts.makeConversionStage(*connection_, *status_, exit_);
  if (ended()) return false;
  if (stage_) {
    stage_->setVisual(visual_);
    stage_->startConvertThread();
  }

  infoDialog_.reset();
  currentPlaylist_ = nullptr;
  serverTurnedOn_ = false;
  firstRunDone_ = false;
  source_ = kSourcePlaylist;
  hostplayName();  // fetches the names file for later

  if (stage_) engine_ = parts.makePlaylistEngine(EngineWiring{engineReports_.get(), visual_});
  pluginHost_ = parts.makePluginHost();
  if (stage_ && pluginHost_) stage_->setDspHost(pluginHost_->samples());
  web_.fetchGenreList();
  genreList_ = GenreList::load();
  Logger::setStatsSource(connection_.get());
  volumes_ = parts.makeVolumeWindow(kInitialVolume);
  return true;
}

// The stored settings; without any, the first run: an account and the setup wizard.
bool Supervisor::loadOrFirstRun() {
  if (loadBroadcastInfo(context_.registry, kProfileName, connection_.get(), settingsHolders())) return true;
  if (!prompts_.ask("Do you already have an account on Zelvora?")) {
    prompts_.information(formatText(
        "%s will now launch your browser and exit. When ready restart Live and you'll be on the air!",
        kProgramName));
    prompts_.open(registrationUrl());
    return quit();
  }
  firstRunDone_ = context_.parts.runSetupWizard(*connection_, true);
  if (!firstRunDone_) return quit();
  Playlist* playlist = playlistWindow_ ? playlistWindow_->playlist() : nullptr;
  if (playlist && playlist->count() > 0)
    prompts_.information(
        "Your broadcast is now starting. Be patient, as this might take a few seconds to log in and connect "
        "with "
        "the server.",
        "Click to begin!");
  // This run is the first of the count, so the next one logs under a number of its own.
  programValues().setSessionID(1);
  saveSettings();
  return true;
}

// An account in Hostplay mode goes live, unless the member means another account.
bool Supervisor::settleAccountMode() {
  if (stopRequested() || !connection_->isHostplay()) return true;
  std::string hostplay = hostplayName();
  if (!prompts_.ask(formatText(
          "This account, %s, is currently set up for %s. Do you want to log into a different account?",
          connection_->memberName().c_str(), hostplay.c_str())))
    return switchToLive(hostplay);
  return runSetupWizard() || quit();
}

// Another studio may be on the air with this account.
bool Supervisor::continueBesideARunningBroadcast() {
  if (stopRequested() || !connection_->serverOn() || web_.switchedToLive()) return true;
  prompts_.notice("");
  return prompts_.ask("You currently have a broadcast running! Do you want to continue?") || quit();
}

// The account in Hostplay mode cannot take a live source; a refused switch ends the program. A
// switch that a stop abandoned was refused by no one.
bool Supervisor::switchToLive(const std::string& hostplay) {
  if (web_.netcastSwitch(connection_->memberName(), connection_->pass(), "live",
                         context_.timings.liveSwitchWaitSeconds) ||
      stopRequested())
    return true;
  prompts_.error(formatText(kSwitchToLiveFailed, kProgramName, hostplay.c_str()));
  return quit();
}

// A refused account opens the dialog where the member can put it right; a service that gave no
// answer says so itself, and there is nothing to correct.
void Supervisor::checkAccount() {
  if (stopRequested()) return;
  int check = connection_->verifyAccount(connection_->memberName(), connection_->pass(), true);
  if (check == kAccountGood || check == kServiceUnreachable) return;
  prompts_.notice("");
  showBroadcastInfo();
}

void Supervisor::requestStop() {
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
  }
  stopWake_.notify_all();
  web_.abandonRequests(true);
  if (ServerLink* link = linkSeen_.load()) link->closeLink();
}

bool Supervisor::pause(std::chrono::milliseconds wait) {
  std::unique_lock lock(stopMutex_);
  return !stopWake_.wait_for(lock, wait, [this] { return stopRequested_.load(); });
}

void Supervisor::writeStartLines(bool withMember) {
  ServerInfo info = connection_->serverInfo();
  int lineSpeed = connection_->lineSpeed();
  int outputBitrate = connection_->outputBitrate();
  Logger::log("Starting %s on %s\n", kVersionText, webHost_.c_str());
  Logger::log("IP : %s, Port : %d\n", info.host, info.port);
  Logger::log("ISP Connection is %s\n", lineSpeedName(lineSpeed));
  Logger::log("Your broadcast is %d BPS and aimed towards users with a %s or better\n", outputBitrate,
              lineSpeedName(outputBitrate));
  if (withMember) Logger::logUserInfo();
}

PlaylistWindowControl* Supervisor::autoStart() {
  Lock lock(controlMutex_);
  if (ended() || stopRequested()) return playlistWindow_.get();
  Playlist* playlist = playlistWindow_ ? playlistWindow_->playlist() : nullptr;
  if (firstRunDone_ && playlist && playlist->count() > 0) {
    status_->show();
    broadcast();
    return playlistWindow_.get();
  }
  std::optional<std::string> previous = programValues().previousPlaylist();
  bool dialogOpen = infoDialog_ && infoDialog_->isOpen();
  if (previous && playlistWindow_ && playlistWindow_->loadPlaylist(*previous) && !dialogOpen &&
      prompts_.ask(
          formatText("Do you want to start broadcasting your previous playlist, %s?", previous->c_str()))) {
    WaitCursor cursor(*this);
    prompts_.information("Please be patient, this may take a few seconds....");
    setSource(kSourcePlaylist);
    broadcast();
  }
  return showPlaylistWindow();
}

// ---- broadcasting ----

int Supervisor::isBroadcasting() const {
  Lock lock(controlMutex_);
  if (capture_ && capture_->isOpen()) return 2;
  if (engine_ && engine_->isPlaying()) return 1;
  return 0;
}

bool Supervisor::broadcast() {
  WaitCursor cursor(*this);
  Lock lock(controlMutex_);
  if (stopRequested()) return false;
  // A running broadcast of the other kind is stopped first, if the member agrees.
  int running = isBroadcasting();
  if (running != 0 && running != kind_) {
    Question question;
    question.text = "You are already broadcasting. Do you want to stop and restart?";
    if (!prompts_.ask(question)) return false;
    stopLocked(false);
  }
  status_->showLineSpeed(connection_->lineSpeed());
  status_->showOutputBitrate(connection_->outputBitrate());

  // The playlist.
  if (source_ == kSourcePlaylist) {
    kind_ = kKindPlaylist;
    currentPlaylist_ = playlistWindow_ ? playlistWindow_->playlist() : nullptr;
    if (!currentPlaylist_ || currentPlaylist_->count() == 0) {
      prompts_.warning("You need to either create or load a playlist!");
      return false;
    }
    turnServerOnOnce();
    if (!connect()) return false;
    closeCaptureInput();
    status_->setPlaylistName(currentPlaylist_->name());
    startPlaylist(*currentPlaylist_, playlistWindow_->currentIndex());
    return true;
  }
  if (!externalSource(source_)) return true;

  // An external source.
  turnServerOnOnce();
  if (!connect()) return false;
  if (engine_) engine_->stopPlaying(false);
  bool haveCapture = ensureCapture();
  kind_ = kKindExternal;
  ++starts_;
  if (haveCapture && capture_->startInput(connection_->lineSpeed())) {
    setTitleState(kTitleOnAir);
    setBroadcastButton(true);
  } else {
    setTitleState(kTitleOffAir);
    setBroadcastButton(false);
  }
  return true;
}

void Supervisor::startPlaylist(Playlist& playlist, int startIndex) {
  WaitCursor cursor(*this);
  if (!connection_->loggedOn() && !connect()) {
    prompts_.warning(
        "Unable to connect to server. Your line may temporarily be down. Try again in a little while.");
    return;
  }
  ++starts_;
  if (engine_) engine_->start(playlist, connection_->outputBitrate(), startIndex);
  setBroadcastButton(true);
}

void Supervisor::turnServerOnOnce() {
  if (serverTurnedOn_) return;
  setTitleState(kTitleTurningServerOn);
  turnServer("ON");  // whatever the service answers, the log-in that follows tells
  serverTurnedOn_ = true;
}

bool Supervisor::connect() {
  if (!connection_ || stopRequested()) return false;
  connection_->refreshServerInfo();
  if (connection_->isHostplay() && !stopRequested()) {
    std::string hostplay = hostplayName();
    if (!prompts_.ask(formatText("You are currently set up for %s, do you want to switch to Live mode?",
                                 hostplay.c_str())) ||
        !switchToLive(hostplay))
      return false;
  }
  if (connection_->loggedOn()) {
    setTitleState(kTitleOnAir);
    return true;
  }
  ServerInfo info = connection_->serverInfo();
  if (mainWindow_) mainWindow_->setTitle(formatText("Trying to connect to %s:%d", info.host, info.port));
  connection_->connect();
  if (connection_->login()) {
    // Clears the title the directory shows until the first track is announced.
    for (int i = 0; i < 3; ++i) postBlankTitle("  ");
    setTitleState(kTitleOnAir);
    return true;
  }
  if (stopRequested()) return false;
  Question question;
  question.text = "Unable to connect to your Zelvora server, restart and try again?";
  question.yesCaption = "Restart";
  question.noCaption = "Exit";
  if (!prompts_.ask(question)) return false;
  turnServer("OFF");
  turnServer("ON");
  // A server that is restarting deserves a few seconds before the next attempt.
  return pause(context_.timings.restartWait) && connect();
}

void Supervisor::postBlankTitle(const std::string& title) {
  web_.postSong(connection_->serverInfo(), title);
}

bool Supervisor::ensureCapture() {
  if (capture_) return true;
  if (!stage_) return false;
  capture_ = context_.parts.makeCapture(CaptureWiring{engineReports_.get(), visual_, connection_.get()});
  captureSeen_ = capture_.get();
  return capture_ != nullptr;
}

void Supervisor::closeCaptureInput() {
  if (capture_ && capture_->isOpen()) capture_->closeLineIn();
}

bool Supervisor::setSource(int code) {
  WaitCursor cursor(*this);
  Lock lock(controlMutex_);
  const ExternalSource* external = externalSource(code);
  if (!external && code != kSourcePlaylist) return false;
  // Only a change across the playlist's side needs the broadcast restarted.
  bool restartNeeded = isBroadcasting() != 0 && ((source_ == kSourcePlaylist) != (code == kSourcePlaylist));

  std::string statusText;
  if (external) {
    statusText = external->statusText;
    Logger::log("%s", external->logLine);
    if (code == kSourceCd && !context_.parts.cdPresent()) {
      prompts_.warning(
          "You do not have a CD in your drive. You must load a CD, start playing it with your favorite "
          "player.");
      return false;
    }
    postBlankTitle("  ");
    postBlankTitle("  ");
    postBlankTitle(statusText);
    if (!inputMixer() || !inputMixer()->selectSource(code)) {
      prompts_.warning(formatText("Unable to switch to %s", statusText.c_str()));
      return false;
    }
    if (currentPlaylist_) currentPlaylist_->setCurrent(-1);
  } else {
    Logger::log("Switching source to Playlist\n");
    statusText = "playlist";
  }
  if (code != source_)
    prompts_.information(formatText("Switching your audio source to your %s", statusText.c_str()));
  source_ = code;
  if (restartNeeded) {
    closeCaptureInput();
    if (!broadcast()) stopLocked(false);
  }
  status_->setNowPlaying(statusText);
  showSourceMarks(sourceCommandId(code));
  return true;
}

void Supervisor::showSourceMarks(int commandId) {
  if (!mainWindow_) return;
  for (int id : kSourceCommands) mainWindow_->setMenuCheck(id, id == commandId);
}

void Supervisor::stop() {
  Lock lock(controlMutex_);
  stopLocked(false);
}

void Supervisor::stopLocked(bool final) {
  WaitCursor cursor(*this);
  if (engine_) engine_->stopPlaying(final);
  closeCaptureInput();
  voiceoverPanel_.reset();
  setBroadcastButton(false);
  setTitleState(kTitleOffAir);
}

void Supervisor::listFailed() {
  int seen = starts_.load();
  {
    Lock lock(controlMutex_);
    // A start made while this worker waited has replaced the list that failed; so has the exit.
    if (closing_ || starts_.load() != seen) return;
    stopLocked(false);
  }
  if (context_.broadcastFailed) context_.broadcastFailed();
}

void Supervisor::trackChanged() {
  if (CaptureControl* capture = captureSeen_.load()) capture->trackChanged();
}

void Supervisor::restart(bool reconnect) {
  WaitCursor cursor(*this);
  Lock lock(controlMutex_);
  Logger::log("Restarting broadcast\n");
  if (engine_) engine_->stopPlaying(false);
  if (reconnect) connection_->disconnect();
  closeCaptureInput();
  writeStartLines(false);
  broadcast();
}

// ---- voiceover ----

bool Supervisor::startVoiceover(int micSourceCode) {
  Lock lock(controlMutex_);
  if (inputMixer()) inputMixer()->selectSource(micSourceCode);
  turnServerOnOnce();
  if (!connect()) return false;
  if (!ensureCapture()) return false;
  capture_->setVoiceover(true);
  if (engine_)
    if (auto title = engine_->currentTitle()) status_->setNowPlaying("(+mic) " + *title);
  if (!capture_->startInput(connection_->lineSpeed())) return false;
  setTitleState(kTitleOnAir);
  setBroadcastButton(true);
  return true;
}

void Supervisor::stopVoiceover() {
  Lock lock(controlMutex_);
  if (!capture_) return;
  capture_->setVoiceover(false);
  capture_->closeLineIn();
  if (engine_)
    if (auto title = engine_->currentTitle()) status_->setNowPlaying(*title);
}

void Supervisor::setVoiceoverBalance(int position) {
  Lock lock(controlMutex_);
  VoiceoverBalance balance = voiceoverBalance(position);
  if (inputMixer()) inputMixer()->setSourceVolume(kSourceMicrophone, balance.microphoneVolume);
  if (stage_) stage_->setMusicGain(balance.musicGain);
}

void Supervisor::setSourceVolume(int sourceCode, int volume) {
  Lock lock(controlMutex_);
  for (MixerControl* mixer : {inputMixer(), outputMixer()})
    if (mixer) mixer->setSourceVolume(sourceCode, volume);
}

bool Supervisor::openVoiceoverPanel() {
  Lock lock(controlMutex_);
  if (isBroadcasting() == 0 || source_ != kSourcePlaylist) {
    prompts_.error("You must be broadcasting a playlist to use this feature.");
    return false;
  }
  voiceoverPanel_.reset();
  voiceoverPanel_ = context_.parts.makeVoiceoverPanel(*this);
  return voiceoverPanel_ != nullptr;
}

void Supervisor::closeVoiceoverPanel() {
  Lock lock(controlMutex_);
  voiceoverPanel_.reset();
}

bool Supervisor::voiceoverPanelOpen() const {
  Lock lock(controlMutex_);
  return voiceoverPanel_ != nullptr;
}

// ---- commands ----

bool Supervisor::playFile(const std::vector<std::string>& files) {
  Lock lock(controlMutex_);
  if (playlistWindow_) playlistWindow_->addDroppedFiles(files);
  const char* question = isBroadcasting() != 0 ? "You are currently broadcasting. Do you want to stop?"
                                               : "Do you want to start broadcasting?";
  if (!prompts_.ask(question)) return false;
  stopLocked(false);
  setSource(kSourcePlaylist);
  broadcast();
  return true;
}

bool Supervisor::runSetupWizard() {
  Lock lock(controlMutex_);
  if (!connection_ || !context_.parts.runSetupWizard(*connection_, false)) return false;
  if (isBroadcasting() == 0) return true;
  bool restartNow = prompts_.ask(
      "Your broadcast needs to be restarted, (cutting your current listeners off). Restart now?");
  if (restartNow) {
    restart(true);
    if (infoDialog_) infoDialog_->refresh(false);
  }
  return restartNow;
}

void Supervisor::showBroadcastInfo() {
  Lock lock(controlMutex_);
  if (!connection_) return;
  connection_->refreshServerInfo();
  if (!infoDialog_)
    infoDialog_ = context_.parts.makeBroadcastInfoDialog(*connection_, *this);
  else
    infoDialog_->refresh(true);
}

void Supervisor::showProgramInfo() {
  Lock lock(controlMutex_);
  if (!connection_) return;
  if (!programInfo_)
    programInfo_ = context_.parts.makeProgramInfoDialog(*connection_);
  else
    programInfo_->show();
}

PlaylistWindowControl* Supervisor::showPlaylistWindow() {
  Lock lock(controlMutex_);
  if (!playlistWindow_) setPlaylistWindow(context_.parts.makePlaylistWindow(*this));
  if (playlistWindow_) playlistWindow_->show();
  return playlistWindow_.get();
}

void Supervisor::switchToHostplay() {
  Lock lock(controlMutex_);
  if (!connection_) return;
  if (isBroadcasting() != 0 && prompts_.ask("You are already broadcasting. Do you want to stop?"))
    stopLocked(false);
  if (switchBackToHostplay()) serverTurnedOn_ = false;
}

bool Supervisor::switchBackToHostplay(std::string hostplay) {
  if (web_.netcastSwitch(connection_->memberName(), connection_->pass(), "hostplay", 0)) return true;
  if (hostplay.empty()) hostplay = hostplayName();
  prompts_.error(formatText(kSwitchToHostplayFailed, kProgramName, hostplay.c_str()));
  return false;
}

void Supervisor::turnServer(const std::string& action) {
  if (!connection_) return;
  web_.switchServer(prompts_, connection_->memberName(), connection_->pass(), action);
}

std::string Supervisor::hostplayName() {
  return web_.hostplayDisplayName();
}

void Supervisor::setSkin(const std::string& path) {
  Lock lock(controlMutex_);
  // The voiceover panel too, which the main window restyles through here.
  Skinnable* windows[] = {infoDialog_.get(), statusWindow_.get(), programInfo_.get(),   playlistWindow_.get(),
                          volumes_.get(),    gauge_.get(),        voiceoverPanel_.get()};
  for (Skinnable* window : windows)
    if (window) window->setSkin(path);
}

void Supervisor::setVisual(Visualisation* visual) {
  Lock lock(controlMutex_);
  visual_ = visual;
  if (engine_) engine_->setVisual(visual);
  if (capture_) capture_->setVisual(visual);
  if (stage_) stage_->setVisual(visual);
}

void Supervisor::setBroadcastButton(bool on) {
  if (mainWindow_) mainWindow_->setBroadcastCaption(on ? "Stop Broadcast" : "Start Broadcast");
}

void Supervisor::setTitleState(int state) {
  if (mainWindow_) setTitleStatus(*mainWindow_, state);
}

// ---- exit ----

bool Supervisor::startRecording(const std::string& path) {
  std::string error;
  if (recorder_.start(path, error)) return true;
  prompts_.error(formatText("Unable to save the broadcast to %s: %s", path.c_str(), error.c_str()));
  return false;
}

void Supervisor::prepareExit() {
  Lock lock(controlMutex_);
  if (!connection_) return;
  // The stream ends here: a send stuck on a stalled server is let go, and nothing logs in again.
  connection_->closeLink();
  saveSettings();
  stopLocked(true);
  // The exit's own requests go out, also after a stop abandoned those of the start-up.
  web_.abandonRequests(false);
  if (serverTurnedOn_ && !web_.switchedToLive()) turnServer("OFF");
}

Supervisor::~Supervisor() {
  {
    Lock lock(controlMutex_);
    closing_ = true;
    if (connection_ && web_.switchedToLive()) {
      std::string name = hostplayName();
      if (prompts_.ask(formatText("Would you like to turn your %s broadcast back on?", name.c_str())))
        switchBackToHostplay(name);
    }
    genreList_ = GenreList();
    inputMixer_.reset();
    outputMixer_.reset();
  }
  // Without the lock: the engine joins its worker, which may be waiting for it.
  if (engineReports_) engineReports_->setGauge(nullptr);
  gauge_.reset();
  engine_.reset();
  captureSeen_ = nullptr;
  capture_.reset();
  // The conversion stage writes to the connection from its own thread, so it ends first.
  stage_.reset();
  pluginHost_.reset();
  voiceoverPanel_.reset();
  infoDialog_.reset();
  programInfo_.reset();
  // The log asks the connection for listener figures until the end.
  if (connection_) Logger::setStatsSource(nullptr);
  engineReports_.reset();
  linkSeen_ = nullptr;
  connection_.reset();
  linkReports_.reset();
  playlistWindow_.reset();
  volumes_.reset();
  status_.reset();
  statusWindow_.reset();
  Supervisor* self = this;
  gInstance.compare_exchange_strong(self, nullptr);
}

// ---- accessors ----

int Supervisor::source() const {
  Lock lock(controlMutex_);
  return source_;
}

BroadcastKind Supervisor::kind() const {
  Lock lock(controlMutex_);
  return kind_;
}

bool Supervisor::serverTurnedOn() const {
  Lock lock(controlMutex_);
  return serverTurnedOn_;
}

bool Supervisor::firstRunDone() const {
  Lock lock(controlMutex_);
  return firstRunDone_;
}

Playlist* Supervisor::currentPlaylist() const {
  Lock lock(controlMutex_);
  return currentPlaylist_;
}

bool Supervisor::setPlaylistWindow(std::unique_ptr<PlaylistWindowControl> window) {
  Lock lock(controlMutex_);
  if (currentPlaylist_ && playlistWindow_ && currentPlaylist_ == playlistWindow_->playlist()) return false;
  playlistWindow_ = std::move(window);
  return true;
}

Playlist* Supervisor::playlistInUse() const {
  Lock lock(controlMutex_);
  if (currentPlaylist_) return currentPlaylist_;
  return playlistWindow_ ? playlistWindow_->playlist() : nullptr;
}

CaptureControl* Supervisor::capture() const {
  return captureSeen_.load();
}

bool Supervisor::continuousLoop() const {
  Lock lock(controlMutex_);
  return engine_ && engine_->continuousLoop();
}

bool Supervisor::unsavedNewPlaylist() const {
  Lock lock(controlMutex_);
  return playlistWindow_ && playlistWindow_->unsavedNewPlaylist();
}

// Each mixer at a middle volume when it opens.
MixerControl* Supervisor::inputMixer() const {
  if (!inputMixerOpened_) {
    inputMixerOpened_ = true;
    if ((inputMixer_ = context_.parts.makeMixer(MixerDestination::Recording)))
      for (int line : {kSourceLineIn, kSourceCd, kSourceMicrophone})
        inputMixer_->setSourceVolume(line, kInitialVolume);
  }
  return inputMixer_.get();
}

MixerControl* Supervisor::outputMixer() const {
  if (!outputMixerOpened_) {
    outputMixerOpened_ = true;
    if ((outputMixer_ = context_.parts.makeMixer(MixerDestination::Speakers)))
      outputMixer_->setWaveOutVolume(kInitialVolume);
  }
  return outputMixer_.get();
}

int Supervisor::waveOutVolume() const {
  Lock lock(controlMutex_);
  return outputMixer() ? outputMixer()->waveOutVolume() : 0;
}

void Supervisor::setWaveOutVolume(int volume) {
  Lock lock(controlMutex_);
  if (outputMixer()) outputMixer()->setWaveOutVolume(volume);
}

bool Supervisor::loadPlugins() {
  Lock lock(controlMutex_);
  if (!pluginHost_ || !pluginHost_->loadPlugins()) return false;
  showPluginMarks();
  return true;
}

std::vector<PluginMenuEntry> Supervisor::pluginMenu() const {
  Lock lock(controlMutex_);
  return pluginHost_ ? pluginHost_->menu() : std::vector<PluginMenuEntry>{};
}

int Supervisor::launchPlugin(int index) {
  Lock lock(controlMutex_);
  if (!pluginHost_) return 0;
  pluginHost_->launch(index);
  showPluginMarks();
  return pluginHost_->checkedId();
}

int Supervisor::checkedPlugin() const {
  Lock lock(controlMutex_);
  return pluginHost_ ? pluginHost_->checkedId() : 0;
}

bool Supervisor::launchPluginFile(const std::string& path, int module) {
  Lock lock(controlMutex_);
  return pluginHost_ && pluginHost_->launchFile(path, module);
}

// The radio mark of the "Plugins" menu on the checked entry.
void Supervisor::showPluginMarks() {
  if (!mainWindow_) return;
  int checked = pluginHost_->checkedId();
  for (const PluginMenuEntry& entry : pluginHost_->menu())
    mainWindow_->setMenuCheck(entry.id, entry.id == checked);
}

void Supervisor::saveSettings() {
  Lock lock(controlMutex_);
  saveBroadcastInfo(context_.registry, kProfileName, connection_.get(), settingsHolders());
}

SettingsHolders Supervisor::settingsHolders() const {
  SettingsHolders holders;
  holders.visual = visual_;
  holders.playOrder = engine_.get();
  holders.volumes = volumes_.get();
  return holders;
}

void finishRunLog(Prompts& prompts) {
  Logger::writeSummary();
  if (Logger::troubledRun() &&
      prompts.ask("Your broadcast encountered some errors. Would you like to see the log file?"))
    prompts.open(Logger::getLogPath());
  Logger::writeGraphsAndClose();
}

}  // namespace brovana
