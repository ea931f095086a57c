#include "broadcast/broadcast_session.h"

#include "broadcast/service_account.h"
#include "broadcast/source_desk.h"
#include "broadcast/studio_signals.h"
#include "core/speed_names.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/main_window_view.h"
#include "monitor/status_display.h"
#include "net/server_link.h"
#include "net/web_service.h"
#include "playlist/playlist.h"

namespace brovana {

BroadcastSession::BroadcastSession(Context context) : context_(std::move(context)) {}

OnAir BroadcastSession::onAir() const {
  if (context_.sources.inputOpen()) return OnAir::Capture;
  if (context_.engine && context_.engine->isPlaying()) return OnAir::Playlist;
  return OnAir::Off;
}

class BroadcastSession::Starting {
 public:
  Starting(BroadcastSession& session, int seenInterruptions) : session_(session) {
    session_.seenInterruptions_ = seenInterruptions;
    session_.starting_ = true;
  }
  ~Starting() { session_.starting_ = false; }
  Starting(const Starting&) = delete;
  Starting& operator=(const Starting&) = delete;

 private:
  BroadcastSession& session_;
};

bool BroadcastSession::start(int seenInterruptions) {
  BusyCursor::Hold busy(context_.cursor);
  Lock lock(mutex_);
  Starting starting(*this, seenInterruptions);
  bool started = startLocked();
  if (!started) showUnstarted();
  meterInputLocked();
  return started;
}

void BroadcastSession::interruptStart() {
  ++interruptions_;
  if (!starting_.load()) return;
  context_.web.abandonRequests(true);
  context_.link.disconnect();
}

bool BroadcastSession::givenUp() const {
  return context_.stop.requested() || interruptions_.load() != seenInterruptions_;
}

bool BroadcastSession::startLocked() {
  if (givenUp()) return false;
  endFallbackLocked();
  // A running broadcast of the other kind is stopped first, if the member agrees.
  OnAir running = onAir();
  if (running != OnAir::Off && running != kind_) {
    Question question = Question::stopping("You are already broadcasting. Do you want to stop and restart?");
    if (!context_.prompts.ask(question)) return false;
    stopLocked(false);
  }
  context_.status.beginBroadcast();
  context_.link.restartOnAirClock();
  context_.status.showLineSpeed(context_.link.lineSpeed());
  context_.status.showOutputBitrate(context_.link.outputBitrate());
  return context_.sources.source() == Source::Playlist ? startPlaylistLocked() : startExternalLocked();
}

bool BroadcastSession::startPlaylistLocked() {
  kind_ = OnAir::Playlist;
  PlaylistWindowControl* window = context_.playlistWindow ? context_.playlistWindow() : nullptr;
  currentPlaylist_ = window ? window->playlist() : nullptr;
  if (!currentPlaylist_ || currentPlaylist_->count() == 0) {
    context_.prompts.warning("You need to either create or load a playlist!");
    return false;
  }
  context_.account.turnServerOnOnce();
  if (!connect()) return false;
  context_.sources.closeInput();
  context_.status.setPlaylistName(currentPlaylist_->name());
  if (!context_.link.loggedOn() && !connect()) {
    if (!givenUp())
      context_.prompts.warning(
          "Unable to connect to server. Your line may temporarily be down. Try again in a little while.");
    return false;
  }
  if (givenUp()) return false;
  ++starts_;
  if (context_.engine)
    context_.engine->start(*currentPlaylist_, context_.link.outputBitrate(), window->currentIndex());
  showButton(true);
  return true;
}

// An input that does not open leaves the studio off the air, as the title and button say.
bool BroadcastSession::startExternalLocked() {
  context_.account.turnServerOnOnce();
  if (!connect() || givenUp()) return false;
  if (context_.engine) context_.engine->stopPlaying(false);
  kind_ = OnAir::Capture;
  ++starts_;
  showOnAir(context_.sources.startInput(context_.link.lineSpeed()));
  return true;
}

bool BroadcastSession::connect() {
  ServerLink& link = context_.link;
  if (givenUp()) return false;
  link.refreshServerInfo();
  if (!context_.account.goLive()) return false;
  if (link.loggedOn()) {
    // Still logged on from an earlier broadcast, which the link reported then.
    context_.status.setStatusText(kConnectedText);
  } else {
    if (!logIn()) return false;
    // Clears the title the directory shows until the first track is announced.
    for (int i = 0; i < 3; ++i) context_.web.postSong(link.serverInfo(), "  ");
  }
  if (context_.mainWindow) setTitleStatus(*context_.mainWindow, kTitleOnAir);
  return true;
}

// Until the server takes the log-in, as long as the member asks for another restart.
bool BroadcastSession::logIn() {
  ServerLink& link = context_.link;
  for (;;) {
    // A server restarted a moment ago (by the menu, or below) gets its time first.
    if (!context_.account.awaitRestart() || givenUp()) return false;
    ServerInfo info = link.serverInfo();
    if (context_.mainWindow)
      context_.mainWindow->setTitle(formatText("Trying to connect to %s:%d", info.host, info.port));
    link.connect();
    if (link.login()) return true;
    if (givenUp()) return false;
    // Restarting the server cannot help when the service itself gives no answer.
    if (context_.web.silent()) {
      context_.prompts.warning(kServiceSilentText);
      return false;
    }
    Question question;
    question.text = "Unable to connect to your Zelvora server, restart and try again?";
    question.yesCaption = "Restart";
    question.noCaption = "Exit";
    if (!context_.prompts.ask(question)) return false;
    context_.account.restartServer();
    link.refreshServerInfo();
  }
}

void BroadcastSession::stop() {
  Lock lock(mutex_);
  // The requests an interrupted start abandoned; a stop of the whole run keeps them abandoned.
  if (!context_.stop.requested()) context_.web.abandonRequests(false);
  stopLocked(false);
  meterInputLocked();
}

void BroadcastSession::meterInput() {
  Lock lock(mutex_);
  meterInputLocked();
}

// After each start and stop; the meter is over for good once the studio goes.
void BroadcastSession::meterInputLocked() {
  if (!closing_) context_.sources.meterInput(onAir() != OnAir::Off);
}

void BroadcastSession::stopForExit() {
  Lock lock(mutex_);
  closing_ = true;
  stopLocked(true);
}

void BroadcastSession::close() {
  Lock lock(mutex_);
  closing_ = true;
}

void BroadcastSession::stopLocked(bool final) {
  BusyCursor::Hold busy(context_.cursor);
  endFallbackLocked();
  if (context_.engine) context_.engine->stopPlaying(final);
  context_.sources.closeInput();
  context_.sources.closeVoiceoverPanel();
  showOnAir(false);
}

bool BroadcastSession::stopFailedList(int seenStarts) {
  Lock lock(mutex_);
  // A fallback that cannot play leaves the air to the live source, silent or not.
  if (takeBackLocked("The fallback playlist cannot be played: the live source has the air again\n") ||
      closing_ || starts_.load() != seenStarts)
    return false;
  stopLocked(false);
  meterInputLocked();
  return true;
}

void BroadcastSession::restart(bool reconnect) {
  BusyCursor::Hold busy(context_.cursor);
  Lock lock(mutex_);
  Starting starting(*this, interruptions());
  Logger::log("Restarting broadcast\n");
  if (context_.engine) context_.engine->stopPlaying(false);
  if (reconnect) context_.link.disconnect();
  context_.sources.closeInput();
  logStation(false);
  if (!startLocked()) showUnstarted();
  meterInputLocked();
}

void BroadcastSession::switchKind() {
  BusyCursor::Hold busy(context_.cursor);
  Lock lock(mutex_);
  Starting starting(*this, interruptions());
  context_.sources.closeInput();
  if (!startLocked()) stopLocked(false);
  meterInputLocked();
}

bool BroadcastSession::startVoiceover(Source microphone) {
  Lock lock(mutex_);
  Starting starting(*this, interruptions());
  context_.sources.selectMicrophone(microphone);
  context_.account.turnServerOnOnce();
  if (connect() && context_.sources.startVoiceover(context_.link.lineSpeed())) {
    showOnAir(true);
    return true;
  }
  // The panel's button offered the microphone as on.
  context_.sources.showMicrophone();
  return false;
}

void BroadcastSession::stopVoiceover() {
  Lock lock(mutex_);
  context_.sources.stopVoiceover();
}

bool BroadcastSession::fallBack(Playlist& list, PcmTap* liveEar) {
  Lock lock(mutex_);
  CaptureControl* capture = context_.sources.capture();
  if (fallback_ || kind_ != OnAir::Capture || !context_.engine || !capture || list.count() == 0 ||
      !capture->holdOutput(liveEar))
    return false;
  Logger::log("The live source is silent: the fallback playlist goes on the air\n");
  Logger::countDeadAir(true);
  fallback_ = &list;
  // It covers for as long as the silence lasts.
  loopBefore_ = context_.engine->continuousLoop();
  context_.engine->setContinuousLoop(true);
  context_.engine->start(list, context_.link.outputBitrate(), 0);
  return true;
}

bool BroadcastSession::takeBack() {
  Lock lock(mutex_);
  return takeBackLocked("The live source is heard again: it takes the air back from the fallback playlist\n");
}

// The fallback's cover ends, without a word: the engine stops and loops as it did before.
bool BroadcastSession::endFallbackLocked() {
  if (!fallback_) return false;
  fallback_ = nullptr;
  if (context_.engine) {
    context_.engine->stopPlaying(false);
    context_.engine->setContinuousLoop(loopBefore_);
  }
  return true;
}

// As a start of the live source does it: the engine stops, the capture opens the stream.
bool BroadcastSession::takeBackLocked(const char* why) {
  if (!endFallbackLocked()) return false;
  Logger::log("%s", why);
  Logger::countDeadAir(true);
  if (CaptureControl* capture = context_.sources.capture()) capture->resumeOutput();
  Source source = context_.sources.source();
  context_.sources.showChoice(source, sourceStatusText(source));
  return true;
}

bool BroadcastSession::skipSilentTrack() {
  Lock lock(mutex_);
  Playlist* list = fallback_ ? fallback_ : currentPlaylist_;
  EngineControl* engine = context_.engine;
  if (!engine || !engine->isPlaying() || !list || list->count() == 0 || onAir() == OnAir::Off) return false;
  if (!fallback_ && kind_ != OnAir::Playlist) return false;
  int next = (engine->currentIndex() + 1) % list->count();
  Logger::log("The track on the air stays silent: skipping to track %d\n", next + 1);
  engine->setCurrentIndex(next);
  return true;
}

Playlist* BroadcastSession::currentPlaylist() const {
  Lock lock(mutex_);
  return currentPlaylist_;
}

void BroadcastSession::logStation(bool withMember) const {
  ServerInfo info = context_.link.serverInfo();
  int lineSpeed = context_.link.lineSpeed();
  int outputBitrate = context_.link.outputBitrate();
  Logger::log("Starting %s on %s\n", kVersionText, context_.web.webHost().c_str());
  Logger::log("IP : %s, Port : %d\n", info.host, info.port);
  Logger::log("ISP Connection is %s\n", lineSpeedName(lineSpeed));
  Logger::log("Your broadcast is %d BPS and aimed towards users with a %s or better\n", outputBitrate,
              lineSpeedName(outputBitrate));
  if (withMember) Logger::logUserInfo();
}

void BroadcastSession::showOnAir(bool on) {
  if (context_.mainWindow) setTitleStatus(*context_.mainWindow, on ? kTitleOnAir : kTitleOffAir);
  showButton(on);
  if (!on) context_.status.showOffAir();
}

// The button and the status tell what is on the air, also after a start that did not happen.
void BroadcastSession::showUnstarted() {
  bool on = onAir() != OnAir::Off;
  showButton(on);
  if (!on) context_.status.showOffAir();
}

void BroadcastSession::showButton(bool on) {
  if (context_.mainWindow) context_.mainWindow->setBroadcastCaption(broadcastCaption(on));
}

}  // namespace brovana
