#pragma once
// What a source of the broadcast tells the rest of the studio while it plays. The playlist
// engine (PlaylistEngine) and the capture both report here; the broadcast layer adapts the
// reports to the status display, the quality gauge, the main window's title, the log's figures
// and the web service. Called on the source's worker thread: an implementation hands screen
// updates on and does not wait for the user.

#include <string_view>

namespace brovana {

class PlaylistItem;

class EngineReports {
 public:
  virtual ~EngineReports() = default;

  // The track on the air, the one after it ("end of program" when none) and its format.
  virtual void nowPlaying(std::string_view title) = 0;
  virtual void nextTrack(std::string_view title) = 0;
  virtual void trackFormat(std::string_view formatInfo) = 0;
  // A list run starts.
  virtual void playlistName(std::string_view name) = 0;
  // The place in its list of the track that starts, from 1.
  virtual void trackNumber(int number) = 0;
  // "%d kb (input) , %d kb (output)" from the engine, "(output) %d kb" from the capture.
  virtual void dataCounter(std::string_view text) = 0;
  // Seconds elapsed and remaining, of the track (the capture: since it started) and of the pass
  // through the list.
  virtual void trackTimes(int elapsed, int remaining) = 0;
  virtual void playlistTimes(int elapsed, int remaining) = 0;
  // Why a track could not be played.
  virtual void lastError(std::string_view text) = 0;
  // The source stopped while a track played: the track display goes blank.
  virtual void trackCleared() = 0;
  // Due again: the title that says the station is on the air (with the listener count), and
  // the listener figures of the status window.
  virtual void onAirTitle() = 0;
  virtual void listeners() = 0;
  // The service hears which track plays, once its first block does.
  virtual void announce(const PlaylistItem& track) = 0;
  // A track could not be played and was counted: the error counters are due again.
  virtual void errorCounts() = 0;
  // For the stream quality gauge: the conversion stage's throughput ratio and its transmission
  // bit rate (bits per second, or kRateNotMeasured); the rate expected is the connection's.
  virtual void quality(float throughputRatio, int transmitBitRate) = 0;
  // The playlist engine's notices to the controller: every track of the list failed (the
  // broadcast stops; this may stop the engine from its own worker), and a new track starts (a
  // voiceover capture follows its PCM format).
  virtual void listFailed() = 0;
  virtual void trackChanged() = 0;
  // The capture's sound card stopped recording, so nothing goes out; it is tried again until it
  // records again (inputRestored) or the capture is closed.
  virtual void inputLost() = 0;
  virtual void inputRestored() = 0;
};

}  // namespace brovana
