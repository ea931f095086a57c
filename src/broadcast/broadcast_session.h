#pragma once
// The broadcast session: starts the playlist or the external source on the member's server
// (logging in first, with the questions that go with it), stops it, restarts it, and puts the
// voiceover's microphone on the air.
//
// Locking: one mutex serialises the starts and stops of the user-interface thread with the stop
// of a failed list on the playlist engine's worker; public operations take it, the ...Locked
// ones expect it. Under it the session calls the service account and the source desk, never the
// other way round, and asks its questions: their windows are modal, so no second command comes.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "broadcast/studio_parts.h"

namespace brovana {

class ServiceAccount;
class BusyCursor;
class PcmTap;
class MainWindowView;
class Prompts;
class ServerLink;
class SourceDesk;
class StatusDisplay;
class StopSignal;
class WebService;

// What is on the air.
enum class OnAir { Off, Playlist, Capture };

class BroadcastSession {
 public:
  // Each must outlive it; the main window and the engine may be none. `playlistWindow` gives
  // the window whose list a playlist start takes.
  struct Context {
    Prompts& prompts;
    ServerLink& link;
    WebService& web;
    StatusDisplay& status;
    ServiceAccount& account;
    SourceDesk& sources;
    StopSignal& stop;
    BusyCursor& cursor;
    MainWindowView* mainWindow = nullptr;
    EngineControl* engine = nullptr;
    std::function<PlaylistWindowControl*()> playlistWindow;
  };
  explicit BroadcastSession(Context context);

  OnAir onAir() const;
  // The source the member chose, on the air. False when nothing started, also when interruptStart
  // came after `seenInterruptions` was read.
  bool start(int seenInterruptions);
  bool start() { return start(interruptions()); }
  // From any thread, followed by stop(): the start under way, and every start asked for before,
  // gives up as soon as it can; its log-in and its requests to the service are cut short.
  // Restarts asked for before and still waiting are not.
  void interruptStart();
  int interruptions() const { return interruptions_.load(); }
  // A start, restart or log-in is under way.
  bool starting() const { return starting_.load(); }
  void stop();
  // With `reconnect`, on a new server connection.
  void restart(bool reconnect);
  // After the source changed across the playlist's side: the other kind starts in its place.
  void switchKind();
  // The last stop, at the exit; a stop of the playlist engine's worker after it is dropped.
  void stopForExit();
  // Without a stop: the studio is going, and a worker's stop is dropped from now on.
  void close();

  // After the source changed: the input level meter as the air and the source have it.
  void meterInput();

  // The count of starts so far; a failed list's worker reads it before it asks to stop.
  int starts() const { return starts_.load(); }
  // The worker's stop of a list whose every track failed. Dropped (false) when a start was
  // made after `seenStarts` was read, since the list that failed is not on the air any more.
  bool stopFailedList(int seenStarts);

  bool startVoiceover(Source microphone);
  void stopVoiceover();

  // The dead-air guard's switches, on the command worker. The fallback playlist takes the air
  // from a silent live source, whose capture goes on into `liveEar`; false when no live source
  // is on the air. The live source takes it back (false when the fallback did not have it).
  bool fallBack(Playlist& list, PcmTap* liveEar);
  bool takeBack();
  // The next track of the list on the air, after the guard heard silence; false when no list is.
  bool skipSilentTrack();

  // The list of the last playlist start; null before one.
  Playlist* currentPlaylist() const;
  // The log's lines about the station, at the start-up and at each restart.
  void logStation(bool withMember) const;

 private:
  using Lock = std::lock_guard<std::mutex>;
  // Marks a start under way, from the interruptions it has seen.
  class Starting;
  bool givenUp() const;
  bool startLocked();
  bool startPlaylistLocked();
  bool startExternalLocked();
  void stopLocked(bool final);
  void meterInputLocked();
  bool endFallbackLocked();
  // Logs `why` when the live source takes the air back.
  bool takeBackLocked(const char* why);
  // Logs in to the member's server; false when it stays off.
  bool connect();
  bool logIn();
  // The title, the broadcast button and, off the air, the status.
  void showOnAir(bool on);
  void showButton(bool on);
  void showUnstarted();

  Context context_;
  mutable std::mutex mutex_;
  OnAir kind_ = OnAir::Off;  // what the last start put on the air
  Playlist* currentPlaylist_ = nullptr;
  Playlist* fallback_ = nullptr;  // while it covers for the live source
  bool loopBefore_ = false;       // the engine's loop, which the fallback turns on
  bool closing_ = false;
  int seenInterruptions_ = 0;  // by the start under way
  std::atomic<int> starts_{0};
  std::atomic<int> interruptions_{0};
  std::atomic<bool> starting_{false};
};

}  // namespace brovana
