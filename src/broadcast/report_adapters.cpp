#include "broadcast/report_adapters.h"

#include "core/text.h"
#include "monitor/status_display.h"
#include "net/server_link.h"
#include "net/web_service.h"
#include "playlist/playlist_item.h"

namespace brovana {

void LinkReportsAdapter::statusText(std::string_view text) {
  status_.setStatusText(text);
}
void LinkReportsAdapter::state(TitleState state) {
  status_.setState(state);
}
void LinkReportsAdapter::onAirTime(int seconds) {
  status_.showOnAirTime(seconds);
}
void LinkReportsAdapter::speeds(int lineSpeed, int outputBitrate) {
  status_.showLineSpeeds(lineSpeed, outputBitrate);
}
void LinkReportsAdapter::errorCounts() {
  status_.refreshCounters();
}

EngineReportsAdapter::EngineReportsAdapter(StatusDisplay& status, MainWindowView* mainWindow,
                                           ServerLink& connection, WebService& web, Notices notices)
    : status_(status),
      mainWindow_(mainWindow),
      connection_(connection),
      web_(web),
      notices_(std::move(notices)) {}

void EngineReportsAdapter::setGauge(QualityReports* gauge) {
  std::lock_guard lock(gaugeMutex_);
  gauge_ = gauge;
}

void EngineReportsAdapter::nowPlaying(std::string_view title) {
  status_.setNowPlaying(title);
}
void EngineReportsAdapter::nextTrack(std::string_view title) {
  status_.setNextTrack(title);
}
void EngineReportsAdapter::trackFormat(std::string_view formatInfo) {
  status_.showTrackFormat(formatInfo);
}
void EngineReportsAdapter::playlistName(std::string_view name) {
  status_.setPlaylistName(name);
}
void EngineReportsAdapter::trackNumber(int number) {
  status_.showTrackNumber(number);
}
void EngineReportsAdapter::dataCounter(std::string_view text) {
  status_.setDataCounter(text);
}
void EngineReportsAdapter::trackTimes(int elapsed, int remaining) {
  status_.showTrackTimes(clockText(elapsed), clockText(remaining));
}
void EngineReportsAdapter::playlistTimes(int elapsed, int remaining) {
  status_.showPlaylistTimes(clockText(elapsed), clockText(remaining));
}
void EngineReportsAdapter::lastError(std::string_view text) {
  status_.setLastError(text);
}

void EngineReportsAdapter::trackCleared() {
  status_.clear();
  status_.setNowPlaying(" ");
}

void EngineReportsAdapter::onAirTitle() {
  if (mainWindow_) setTitleStatus(*mainWindow_, kTitleOnAir);
}

void EngineReportsAdapter::listeners() {
  status_.showListeners(connection_.memberName());
}

void EngineReportsAdapter::announce(const PlaylistItem& track) {
  MP3Info facts = track.mp3Info();
  TrackFacts announced;
  announced.path = track.fullpath();
  announced.displayTitle = facts.displayTitle();
  announced.seconds = facts.duration();
  announced.hasTag = facts.hasTag();
  announced.title = facts.title();
  announced.artist = facts.artist();
  announced.album = facts.album();
  announced.year = facts.year();
  announced.genreName = facts.genre();
  web_.postSong(connection_.serverInfo(), announced);
  if (notices_.trackOnAir) notices_.trackOnAir(artistAndTitle(announced.artist, announced.title));
}

void EngineReportsAdapter::errorCounts() {
  status_.refreshCounters();
}

void EngineReportsAdapter::quality(float throughputRatio, int transmitBitRate) {
  int expected = connection_.outputBitrate();
  std::lock_guard lock(gaugeMutex_);
  if (!gauge_) return;
  gauge_->setCpuQuality(throughputRatio);
  gauge_->setNetworkQuality(transmitBitRate, expected);
}

void EngineReportsAdapter::listFailed() {
  if (notices_.listFailed) notices_.listFailed();
}

void EngineReportsAdapter::trackChanged() {
  if (notices_.trackChanged) notices_.trackChanged();
}

void EngineReportsAdapter::inputLost() {
  status_.setStatusText("Input lost: the sound card stopped recording");
  if (notices_.input) notices_.input(true);
}

void EngineReportsAdapter::inputRestored() {
  status_.setStatusText("Input back: the sound card records again");
  if (notices_.input) notices_.input(false);
}

}  // namespace brovana
