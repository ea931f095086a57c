#include "monitor/status_display.h"

#include <cstdio>

#include "core/speed_names.h"
#include "diag/logger.h"

namespace brovana {
namespace {

// An empty text would leave the old one standing in some toolkits; a blank clears for sure.
std::string shown(std::string_view text) {
  return text.empty() ? std::string(" ") : std::string(text);
}

std::string twoTexts(std::string_view first, std::string_view second) {
  return std::string(first) + "                 " + std::string(second);
}

}  // namespace

std::optional<std::string> titleForState(int state) {
  char text[300];
  switch (state) {
    case kTitleOnAir:
      std::snprintf(text, sizeof text, "%s - %s (%d listeners)", kVersionText, "On the Air!",
                    Logger::listeners());
      return std::string(text);
    case kTitleOffAir:
      std::snprintf(text, sizeof text, "%s - %s", kVersionText, kOffAirText);
      return std::string(text);
    case kTitleNoConnection:
      return std::string("Unable to connect, try restarting Brovana-Live");
    case kTitleTurningServerOn:
      return std::string("Standby, turning on your server");
    default:
      return std::nullopt;
  }
}

void setTitleStatus(MainWindowView& window, int state) {
  if (auto title = titleForState(state)) window.setTitle(*title);
}

std::string clockText(int seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

StatusDisplay::StatusDisplay(StatusWindowView* window, MainWindowView* mainWindow)
    : window_(window), mainWindow_(mainWindow) {}

void StatusDisplay::setStatusWindow(StatusWindowView* window) {
  std::lock_guard lock(mutex_);
  window_ = window;
}

void StatusDisplay::setMainWindow(MainWindowView* window) {
  std::lock_guard lock(mutex_);
  mainWindow_ = window;
}

void StatusDisplay::setMainField(MainField which, TextTarget* target) {
  std::lock_guard lock(mutex_);
  fields_[static_cast<int>(which)] = target;
}

void StatusDisplay::setSkinLabels(TextTarget* nowPlaying, TextTarget* trackElapsed,
                                  TextTarget* trackRemaining) {
  std::lock_guard lock(mutex_);
  skinNowPlaying_ = nowPlaying;
  skinElapsed_ = trackElapsed;
  skinRemaining_ = trackRemaining;
}

void StatusDisplay::label(int id, std::string_view text) {
  if (window_) window_->setLabel(id, shown(text));
}

void StatusDisplay::field(MainField which, std::string_view text) {
  if (TextTarget* target = fields_[static_cast<int>(which)]) target->setText(shown(text));
}

void StatusDisplay::skin(TextTarget* target, std::string_view text) {
  if (target) target->setText(shown(text));
}

void StatusDisplay::setStatusText(std::string_view text) {
  std::lock_guard lock(mutex_);
  field(MainField::ConnectionState, text);
  label(kLabelConnectionState, text);
}

void StatusDisplay::setDataCounter(std::string_view text) {
  std::lock_guard lock(mutex_);
  field(MainField::DataCounter, text);
  label(kLabelDataCounter, text);
}

void StatusDisplay::setNowPlaying(std::string_view text) {
  std::lock_guard lock(mutex_);
  label(kLabelNowPlaying, text);
  skin(skinNowPlaying_, text);
}

void StatusDisplay::setNextTrack(std::string_view text) {
  std::lock_guard lock(mutex_);
  field(MainField::NextTrack, text);
  label(kLabelNextTrack, text);
}

void StatusDisplay::setPlaylistName(std::string_view text) {
  {
    std::lock_guard lock(mutex_);
    label(kLabelPlaylistName, text);
  }
  setNowPlaying(text);
}

void StatusDisplay::showLineSpeeds(int inputBitsPerSecond, int outputBitsPerSecond) {
  showLineSpeed(inputBitsPerSecond);
  showOutputBitrate(outputBitsPerSecond);
}

void StatusDisplay::showLineSpeed(int bitsPerSecond) {
  std::lock_guard lock(mutex_);
  label(kLabelInputSpeed, lineSpeedName(bitsPerSecond));
}

void StatusDisplay::showOutputBitrate(int bitsPerSecond) {
  std::lock_guard lock(mutex_);
  label(kLabelOutputSpeed, outputFormatName(bitsPerSecond));
}

void StatusDisplay::showOnAirTime(int seconds) {
  std::lock_guard lock(mutex_);
  label(kLabelConnectedTime, clockText(seconds));
}

void StatusDisplay::refreshCounters() {
  int failed = Logger::failedFiles();
  int reconnects = Logger::reconnects();
  std::lock_guard lock(mutex_);
  label(kLabelFailedFiles, std::to_string(failed - failedFilesBefore_));
  label(kLabelReconnects, std::to_string(reconnects - reconnectsBefore_));
}

void StatusDisplay::setLastError(std::string_view text) {
  std::lock_guard lock(mutex_);
  label(kLabelLastError, text);
}

void StatusDisplay::showExtraServer(int index, std::string_view text) {
  if (index < 0 || index >= kExtraServerLabels) return;
  std::lock_guard lock(mutex_);
  label(kLabelExtraServer + index, text);
}

void StatusDisplay::showListeners(std::string_view memberName) {
  // The Logger may go to the network for fresh figures: ask before taking the lock.
  float rating = Logger::rating();
  int minutes = Logger::averageMinutes();
  int listeners = Logger::listeners();
  char ratingText[64];
  std::snprintf(ratingText, sizeof ratingText, "%2.1f", rating * 0.5);
  std::string title = std::string(memberName) + " has " + std::to_string(listeners) + " listeners";
  std::lock_guard lock(mutex_);
  label(kLabelRating, ratingText);
  label(kLabelAverageMinutes, std::to_string(minutes));
  if (window_) window_->setTitle(title);
}

void StatusDisplay::showPlaylistTimes(std::string_view elapsed, std::string_view remaining) {
  std::lock_guard lock(mutex_);
  label(kLabelPlaylistTimes, twoTexts(elapsed, remaining));
}

void StatusDisplay::showTrackTimes(std::string_view elapsed, std::string_view remaining) {
  std::lock_guard lock(mutex_);
  label(kLabelTrackTimes, twoTexts(elapsed, remaining));
  skin(skinElapsed_, elapsed);
  skin(skinRemaining_, remaining);
}

void StatusDisplay::showTrackNumber(int number) {
  std::lock_guard lock(mutex_);
  label(kLabelTrackNumber, std::to_string(number));
}

void StatusDisplay::showTrackFormat(std::string_view formatInfo) {
  std::lock_guard lock(mutex_);
  label(kLabelTrackFormat, formatInfo);
}

void StatusDisplay::clear() {
  std::lock_guard lock(mutex_);
  clearLocked();
}

void StatusDisplay::clearLocked() {
  field(MainField::ConnectionState, "");
  label(kLabelConnectionState, "");
  field(MainField::DataCounter, "");
  label(kLabelDataCounter, "");
  label(kLabelNowPlaying, "");
  skin(skinNowPlaying_, "");
  field(MainField::NextTrack, "");
  label(kLabelNextTrack, "");
  skin(skinElapsed_, "");
  skin(skinRemaining_, "");
  field(MainField::Cleared1, "");
  field(MainField::Cleared2, "");
  label(kLabelSpare1, "");
  label(kLabelSpare2, "");
  label(kLabelTrackFormat, "");
}

void StatusDisplay::clearBroadcastLocked() {
  clearLocked();
  // Zeros rather than blanks: the figures are there, none has counted yet.
  label(kLabelTrackTimes, twoTexts(clockText(0), clockText(0)));
  label(kLabelTrackNumber, "0");
  label(kLabelPlaylistName, "");
  label(kLabelPlaylistTimes, twoTexts(clockText(0), clockText(0)));
  label(kLabelConnectedTime, clockText(0));
}

void StatusDisplay::beginBroadcast() {
  int failed = Logger::failedFiles();
  int reconnects = Logger::reconnects();
  std::lock_guard lock(mutex_);
  failedFilesBefore_ = failed;
  reconnectsBefore_ = reconnects;
  clearBroadcastLocked();
  label(kLabelLastError, "");
  label(kLabelConnectedTime, clockText(0));
  label(kLabelFailedFiles, "0");
  label(kLabelReconnects, "0");
}

void StatusDisplay::showOffAir() {
  {
    std::lock_guard lock(mutex_);
    clearBroadcastLocked();
    field(MainField::ConnectionState, kOffAirText);
    label(kLabelConnectionState, kOffAirText);
  }
  refreshCounters();
}

void StatusDisplay::show() {
  std::lock_guard lock(mutex_);
  if (window_) window_->show();
}

void StatusDisplay::setState(int state) {
  std::optional<std::string> title = titleForState(state);
  if (!title) return;
  std::lock_guard lock(mutex_);
  if (mainWindow_) mainWindow_->setTitle(*title);
}

}  // namespace brovana
