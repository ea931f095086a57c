#include "broadcast/studio.h"

#include <filesystem>

#include "core/program_values.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/main_window_view.h"
#include "monitor/status_display.h"
#include "playlist/playlist.h"

namespace brovana {

Studio::Studio(MainWindowView* mainWindow, std::string webHost, StudioContext context)
    : mainWindow_(mainWindow),
      webHost_(std::move(webHost)),
      context_(context),
      prompts_(context.prompts),
      web_(context.http, webHost_, context.songs) {}

void Studio::TrackingExit::endProgram(int code) {
  owner_.ended_ = true;
  owner_.context_.exit.endProgram(code);
}

// ---- start-up ----

bool Studio::init() {
  // Until the first start is over, whatever the service does.
  web_.limitTime(kStartupServiceTime);
  warnOfSlowProcessor();
  std::error_code error;
  startupFolder_ = std::filesystem::current_path(error).string();
  if (startupFolder_.size() > 260) startupFolder_.resize(260);

  if (!makeParts() || !loadOrFirstRun()) return false;
  if (!account_->settle([this] { return runSetupWizard() || quit(); })) return false;
  prompts_.notice("Starting Brovana-Live, standby...");
  web_.checkVersion(connection_->serverInfo(), kProgramVersion, kBuildNumber, prompts_, exit_);
  if (ended() || !(account_->continueBesideARunningBroadcast() || quit())) return false;
  checkAccount();
  connection_->refreshServerInfo();
  session_->logStation(true);
  prompts_.notice("");
  return !ended();
}

bool Studio::quit() {
  endProgram();
  return false;
}

// A slow processor makes the stream break up; members hear of it on their first runs only.
void Studio::warnOfSlowProcessor() {
  int mhz = context_.parts.cpuMHz();
  if (mhz > 0 && mhz < kSlowCpuMHz && programValues().sessionCount() < 2)
    prompts_.warning(
        formatText("Your CPU is less than the recommeded speed for live broadcasting, (%d Mhz) causing your "
                   "broadcast to break up, you should have at least a %d Mhz machine.",
                   mhz, kSlowCpuMHz));
}

// The long-lived parts, each given the ones made before it; false when the codec check ended
// the program.
bool Studio::makeParts() {
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
      EngineReportsAdapter::Notices{[this] { listFailed(); }, [this] { sources_->trackChanged(); },
                                    [this](bool lost) { inputChanged(lost); }, context_.trackOnAir});
  if (gauge_) engineReports_->setGauge(gauge_->gauge());
  Logger::setStatsSource(connection_.get());
  connection_->setTap(&recorder_);
  const GuardSettings guard = loadGuard(context_.registry);
  guard_ =
      std::make_unique<DeadAirGuard>(guard, DeadAirGuard::Ports{*status_, gauge_ ? gauge_->gauge() : nullptr,
                                                                [this](auto event) { deadAir(event); }});
  stage_ = parts.makeConversionStage(*connection_, *status_, exit_);
  if (ended()) return false;
  if (stage_) {
    stage_->setPcmTap(guard_.get());
    stage_->setVisual(visual_);
    stage_->startConvertThread();
  }
  hostplayName();  // fetches the names file for later
  if (stage_) engine_ = parts.makePlaylistEngine(EngineWiring{engineReports_.get(), visual_});
  makeActors();
  fallbackList_ = loadFallbackList(guard.fallback, prompts_);
  pluginHost_ = parts.makePluginHost();
  if (stage_ && pluginHost_) stage_->setDspHost(pluginHost_->samples());
  web_.fetchGenreList();
  genreList_ = GenreList::load();
  Logger::setStatsSource(connection_.get());
  volumes_ = parts.makeVolumeWindow(kInitialVolume);
  return true;
}

void Studio::makeActors() {
  account_ = std::make_unique<ServiceAccount>(*connection_, web_, prompts_, stop_, exit_, mainWindow_,
                                              context_.timings.account);
  sources_ = std::make_unique<SourceDesk>(SourceDesk::Context{context_.parts, prompts_, *connection_, web_,
                                                              *status_, mainWindow_, stage_.get(),
                                                              engineReports_.get(), engine_.get()});
  sources_->setVisual(visual_);
  session_ = std::make_unique<BroadcastSession>(
      BroadcastSession::Context{prompts_, *connection_, web_, *status_, *account_, *sources_, stop_, cursor_,
                                mainWindow_, engine_.get(), [this] { return playlistWindow_.get(); }});
}

// The stored settings; without any, the first run: an account and the setup wizard.
bool Studio::loadOrFirstRun() {
  if (loadBroadcastInfo(context_.registry, kProfileName, connection_.get(), settingsHolders())) return true;
  bool member = prompts_.ask("Do you already have an account on Zelvora?");
  // A stop signal answered the question: nothing more opens.
  if (stopRequested()) return quit();
  if (!member) {
    // Where to sign up; the wizard's first page then waits until the account is there.
    prompts_.information(formatText(kSignUpText, registrationUrl().c_str()));
    prompts_.open(registrationUrl());
  }
  firstRunDone_ = context_.parts.runSetupWizard(*connection_, true);
  if (!firstRunDone_) return quit();
  // This run is the first of the count, so the next one logs under a number of its own.
  programValues().setSessionID(1);
  saveSettings();
  return true;
}

// A refused account opens the dialog where the member can put it right.
void Studio::checkAccount() {
  if (!account_->refused()) return;
  prompts_.notice("");
  showBroadcastInfo();
}

void Studio::requestStop() {
  stop_.request();
  web_.abandonRequests(true);
  if (ServerLink* link = linkSeen_.load()) link->closeLink();
}

PlaylistWindowControl* Studio::autoStart(bool unasked) {
  if (ended() || stopRequested()) return playlistWindow_.get();
  status_->showOffAir();
  Playlist* playlist = playlistWindow_ ? playlistWindow_->playlist() : nullptr;
  if (firstRunDone_ && playlist && playlist->count() > 0) {
    status_->show();
    // Said while it is true: the start goes on behind the notice, which no click holds up.
    prompts_.notice(
        "Your broadcast is now starting. Be patient, as this might take a few seconds to log in and connect "
        "with the server.");
    postStart(false);
    worker_.post([this] { prompts_.notice(""); });
    return playlistWindow_.get();
  }
  std::optional<std::string> previous = programValues().previousPlaylist();
  bool dialogOpen = infoDialog_ && infoDialog_->isOpen();
  if (previous && playlistWindow_ && playlistWindow_->loadPlaylist(*previous) && !dialogOpen &&
      (unasked || prompts_.ask(formatText("Do you want to start broadcasting your previous playlist, %s?",
                                          previous->c_str())))) {
    if (!unasked) prompts_.information("Please be patient, this may take a few seconds....");
    postStart(true);
  } else {
    web_.limitTime(std::nullopt);  // the start-up is over
  }
  return showPlaylistWindow();
}

// ---- commands ----

void Studio::startBroadcast() {
  postStart(false);
}

// Until the start is made, the broadcast button stops it.
void Studio::postStart(bool playlist) {
  int seen = session_->interruptions();
  ++startsAsked_;
  if (mainWindow_) mainWindow_->setBroadcastCaption(broadcastCaption(true));
  worker_.post([this, seen, playlist] {
    if (playlist) setSource(Source::Playlist);
    session_->start(seen);
    // A start-up's bound on the service ends with its first start.
    web_.limitTime(std::nullopt);
    --startsAsked_;
  });
}

bool Studio::starting() const {
  return startsAsked_.load() > 0 || (session_ && session_->starting());
}

void Studio::stopBroadcast() {
  session_->interruptStart();
  worker_.await([this] { session_->stop(); });
}

void Studio::selectSource(Source source) {
  worker_.post([this, source] { setSource(source); });
}

bool Studio::setSource(Source source) {
  BusyCursor::Hold busy(cursor_);
  // Only a change across the playlist's side needs the broadcast restarted.
  bool crosses =
      onAir() != OnAir::Off && (sources_->source() == Source::Playlist) != (source == Source::Playlist);
  std::optional<std::string> text = sources_->choose(source);
  if (!text) return false;
  if (source != Source::Playlist)
    if (Playlist* playlist = session_->currentPlaylist()) playlist->setCurrent(-1);
  if (crosses) session_->switchKind();
  sources_->showChoice(source, *text);
  session_->meterInput();
  return true;
}

bool Studio::playFile(const std::vector<std::string>& files) {
  if (playlistWindow_) playlistWindow_->addDroppedFiles(files);
  bool off = onAir() == OnAir::Off;
  Question question;
  question.text =
      off ? "Do you want to start broadcasting?" : "You are currently broadcasting. Do you want to stop?";
  question.defaultNo = !off;
  if (!prompts_.ask(question)) return false;
  stopBroadcast();
  postStart(true);
  return true;
}

bool Studio::runSetupWizard() {
  if (!connection_ || !context_.parts.runSetupWizard(*connection_, false)) return false;
  dispatch([this] {
    if (onAir() == OnAir::Off ||
        !prompts_.ask(Question::stopping(
            "Your broadcast needs to be restarted, (cutting your current listeners off). Restart now?")))
      return;
    session_->restart(true);
    if (infoDialog_) infoDialog_->refresh(false);
  });
  return true;
}

void Studio::switchToHostplay() {
  worker_.post([this] {
    if (onAir() != OnAir::Off &&
        prompts_.ask(Question::stopping("You are already broadcasting. Do you want to stop?")))
      session_->stop();
    account_->switchToHostplay();
  });
}

void Studio::startVoiceover() {
  worker_.post([this] { session_->startVoiceover(Source::Microphone); });
}

void Studio::stopVoiceover() {
  worker_.post([this] { session_->stopVoiceover(); });
}

void Studio::restartServer() {
  worker_.post([this] { account_->restartServer(); });
}

void Studio::launchPlugin(int index) {
  if (pluginHost_) worker_.post([this, index] { pluginHost_->launch(index); });
}

void Studio::restartBroadcast() {
  dispatch([this] { session_->restart(true); });
}

void Studio::dispatch(CommandWorker::Command command) {
  if (worker_.onWorker())
    command();
  else
    worker_.post(std::move(command));
}

bool Studio::openVoiceoverPanel() {
  if (onAir() == OnAir::Off || sources_->source() != Source::Playlist) {
    prompts_.error("You must be broadcasting a playlist to use this feature.");
    return false;
  }
  return sources_->openVoiceoverPanel(*this);
}

void Studio::listFailed() {
  int seen = session_->starts();
  // A start made while this worker waited has replaced the list that failed; so has the exit.
  if (session_->stopFailedList(seen) && context_.broadcastFailed) context_.broadcastFailed();
}

void Studio::inputChanged(bool lost) {
  if (lost)
    prompts_.warning(
        "Your sound card stopped recording, so your listeners hear nothing from your source. Brovana-Live "
        "tries it again every few seconds: check that the device is plugged in and not used by another "
        "program.");
  if (context_.inputLost) context_.inputLost(lost);
}

void Studio::deadAir(DeadAirGuard::Event event) {
  worker_.post([this, event] {
    bool switched = false;
    if (event == DeadAirGuard::Event::LiveBack)
      switched = session_->takeBack();
    else if (!(switched = session_->skipSilentTrack()) && fallbackList_)
      switched = session_->fallBack(*fallbackList_, &guard_->liveEar());
    if (switched) guard_->restart();
  });
}

// ---- windows ----

void Studio::showBroadcastInfo() {
  if (!connection_) return;
  worker_.await([this] { connection_->refreshServerInfo(); });
  if (!infoDialog_)
    infoDialog_ = context_.parts.makeBroadcastInfoDialog(*connection_, *this);
  else
    infoDialog_->refresh(true);
}

void Studio::showProgramInfo() {
  if (!connection_) return;
  if (!programInfo_)
    programInfo_ = context_.parts.makeProgramInfoDialog(*connection_);
  else
    programInfo_->show();
}

PlaylistWindowControl* Studio::showPlaylistWindow() {
  if (!playlistWindow_) setPlaylistWindow(context_.parts.makePlaylistWindow(*this));
  if (playlistWindow_) playlistWindow_->show();
  return playlistWindow_.get();
}

void Studio::setSkin(const std::string& path) {
  // The voiceover panel too, which the main window restyles through here.
  Skinnable* windows[] = {infoDialog_.get(),
                          statusWindow_.get(),
                          programInfo_.get(),
                          playlistWindow_.get(),
                          volumes_.get(),
                          gauge_.get(),
                          sources_ ? sources_->voiceoverPanel() : nullptr};
  for (Skinnable* window : windows)
    if (window) window->setSkin(path);
}

void Studio::setVisual(Visualisation* visual) {
  visual_ = visual;
  if (engine_) engine_->setVisual(visual);
  if (sources_) sources_->setVisual(visual);
  if (stage_) stage_->setVisual(visual);
}

void Studio::visualsChanged() {
  worker_.post([this] { session_->meterInput(); });
}

bool Studio::startRecording(const std::string& path) {
  std::string error;
  if (recorder_.start(path, error)) return true;
  prompts_.error(formatText("Unable to save the broadcast to %s: %s", path.c_str(), error.c_str()));
  return false;
}

// ---- accessors ----

bool Studio::setPlaylistWindow(std::unique_ptr<PlaylistWindowControl> window) {
  Playlist* current = session_ ? session_->currentPlaylist() : nullptr;
  if (current && playlistWindow_ && current == playlistWindow_->playlist()) return false;
  playlistWindow_ = std::move(window);
  return true;
}

Playlist* Studio::playlistInUse() const {
  if (Playlist* current = session_ ? session_->currentPlaylist() : nullptr) return current;
  return playlistWindow_ ? playlistWindow_->playlist() : nullptr;
}

bool Studio::unsavedNewPlaylist() const {
  return playlistWindow_ && playlistWindow_->unsavedNewPlaylist();
}

void Studio::saveSettings() {
  saveBroadcastInfo(context_.registry, kProfileName, connection_.get(), settingsHolders());
}

SettingsHolders Studio::settingsHolders() const {
  SettingsHolders holders;
  holders.visual = visual_;
  holders.playOrder = engine_.get();
  holders.volumes = volumes_.get();
  return holders;
}

// ---- exit ----

void Studio::prepareExit() {
  if (!connection_) return;
  // A start under way gives up; the command under way ends before the stream does.
  if (session_) session_->interruptStart();
  worker_.close();
  // The stream ends here: a send stuck on a stalled server is let go, and nothing logs in again.
  connection_->closeLink();
  saveSettings();
  if (session_) session_->stopForExit();
  // The exit's own requests go out, also after a stop abandoned those of the start-up.
  web_.abandonRequests(false);
  if (account_) account_->turnOffAtExit();
}

Studio::~Studio() {
  worker_.close();
  if (session_) session_->close();
  if (account_) account_->offerHostplayBack();
  genreList_ = GenreList();
  if (sources_) sources_->closeMixers();
  if (engineReports_) engineReports_->setGauge(nullptr);
  gauge_.reset();
  // The engine joins its worker, whose last notices reach the session and the desk.
  engine_.reset();
  session_.reset();
  // The capture and the voiceover panel, before the stage they feed.
  sources_.reset();
  // The conversion stage writes to the connection from its own thread, so it ends first.
  stage_.reset();
  pluginHost_.reset();
  infoDialog_.reset();
  programInfo_.reset();
  account_.reset();
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
}

void finishRunLog(Prompts& prompts) {
  Logger::writeSummary();
  if (Logger::troubledRun() &&
      prompts.ask("Your broadcast encountered some errors. Would you like to see the log file?"))
    prompts.open(Logger::getLogPath());
  Logger::writeGraphsAndClose();
}

}  // namespace brovana
