#pragma once
// The one place the broadcast modules report what the user should see. Each report goes to its
// targets: labels of the status window by id, the optional plain fields of the main window, the
// optional skin labels, and the main window's title. Keeps no state beyond its targets and the
// error counts at the last start, under one lock, so any thread may report; the views hand each
// update to their own thread.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/main_window_view.h"
#include "monitor/status_views.h"

namespace brovana {

// Value labels of the status window. The other labels are captions that come with the skin.
enum StatusLabel : int {
  kLabelNowPlaying = 1038,
  kLabelNextTrack = 1040,
  kLabelSpare1 = 1045,  // only ever cleared
  kLabelConnectionState = 1047,
  kLabelDataCounter = 1049,
  kLabelPlaylistName = 1051,
  kLabelSpare2 = 1054,  // only ever cleared
  kLabelAverageMinutes = 1058,
  kLabelRating = 1059,
  kLabelFailedFiles = 1062,
  kLabelReconnects = 1063,
  kLabelLastError = 1065,
  kLabelConnectedTime = 1070,
  kLabelTrackTimes = 1075,
  kLabelPlaylistTimes = 1076,
  kLabelTrackFormat = 1079,
  kLabelInputSpeed = 1081,
  kLabelOutputSpeed = 1083,
  // The track number has a label of its own, so that it does not take turns with the reconnect
  // count in one label.
  kLabelTrackNumber = 1084,
  // The extra servers, one label each, in the order they were given (eight at most).
  kLabelExtraServer = 1110,
};
inline constexpr int kExtraServerLabels = 8;

// The plain text fields of the main window, each optional.
enum class MainField { ConnectionState, DataCounter, NextTrack, Cleared1, Cleared2 };
inline constexpr int kMainFieldCount = 5;

// The connection line of an idle studio, as its title says it.
inline constexpr const char* kOffAirText = "Off the Air!";

// The main window's title for a connection state (TitleState); nullopt leaves the title as it
// is. The on-the-air title carries the Logger's listener count, refreshed first.
std::optional<std::string> titleForState(int state);
void setTitleStatus(MainWindowView& window, int state);

// "h:mm:ss"
std::string clockText(int seconds);

class StatusDisplay {
 public:
  explicit StatusDisplay(StatusWindowView* window = nullptr, MainWindowView* mainWindow = nullptr);
  StatusDisplay(const StatusDisplay&) = delete;
  StatusDisplay& operator=(const StatusDisplay&) = delete;

  // Targets; null removes one. A target must outlive its use here.
  void setStatusWindow(StatusWindowView* window);
  void setMainWindow(MainWindowView* window);
  void setMainField(MainField field, TextTarget* target);
  void setSkinLabels(TextTarget* nowPlaying, TextTarget* trackElapsed, TextTarget* trackRemaining);

  void setStatusText(std::string_view text);  // connection state
  void setDataCounter(std::string_view text);
  void setNowPlaying(std::string_view text);
  void setNextTrack(std::string_view text);
  void setPlaylistName(std::string_view text);
  void showLineSpeeds(int inputBitsPerSecond, int outputBitsPerSecond);
  void showLineSpeed(int bitsPerSecond);
  void showOutputBitrate(int bitsPerSecond);
  void showOnAirTime(int seconds);
  // Failed files and reconnects, counted by the Logger, since the last start.
  void refreshCounters();
  void setLastError(std::string_view text);
  // How extra server `index` (from 0) is doing; nothing for one beyond the labels.
  void showExtraServer(int index, std::string_view text);
  void showListeners(std::string_view memberName);
  void showPlaylistTimes(std::string_view elapsed, std::string_view remaining);
  void showTrackTimes(std::string_view elapsed, std::string_view remaining);
  void showTrackNumber(int number);
  // The track's format text (empty when there is no track).
  void showTrackFormat(std::string_view formatInfo);
  // A track stops: what describes it goes blank.
  void clear();
  // A start: nothing of an earlier broadcast stays; its clock and counters start from zero.
  void beginBroadcast();
  // Idle: nothing plays, and the connection line says that the studio is off the air.
  void showOffAir();
  void show();
  // Hands the connection state to the main window's title.
  void setState(int state);

 private:
  void label(int id, std::string_view text);
  void field(MainField field, std::string_view text);
  void skin(TextTarget* target, std::string_view text);
  void clearLocked();
  // The tracks, the list and the link of a broadcast.
  void clearBroadcastLocked();

  mutable std::mutex mutex_;  // guards the targets; held while forwarding, never while asking the Logger
  StatusWindowView* window_ = nullptr;
  MainWindowView* mainWindow_ = nullptr;
  TextTarget* fields_[kMainFieldCount] = {};
  TextTarget* skinNowPlaying_ = nullptr;
  TextTarget* skinElapsed_ = nullptr;
  TextTarget* skinRemaining_ = nullptr;
  int failedFilesBefore_ = 0;  // the Logger's counts at the last start
  int reconnectsBefore_ = 0;
};

}  // namespace brovana
