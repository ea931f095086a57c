#pragma once
// The lower layers' reports as the studio shows them. The server connection's LinkReports and
// the sources' EngineReports go to the status display, the main window's title, the quality
// gauge and the web service; the two notices only the studio can act on go back to it.

#include <functional>
#include <mutex>
#include <string>

#include "audio/engine_reports.h"
#include "monitor/quality_reports.h"
#include "net/link_reports.h"

namespace brovana {

class ServerLink;
class MainWindowView;
class StatusDisplay;
class WebService;

class LinkReportsAdapter final : public LinkReports {
 public:
  explicit LinkReportsAdapter(StatusDisplay& status) : status_(status) {}

  void statusText(std::string_view text) override;
  void state(TitleState state) override;
  void onAirTime(int seconds) override;
  void speeds(int lineSpeed, int outputBitrate) override;
  void errorCounts() override;

 private:
  StatusDisplay& status_;
};

class EngineReportsAdapter final : public EngineReports {
 public:
  // What the studio does about the notices of the sources' workers.
  struct Notices {
    std::function<void()> listFailed;
    std::function<void()> trackChanged;
    std::function<void(bool lost)> input;  // the capture's sound card lost, or back
    // A track's first block went on the air: "Artist - Title" (the title alone without an artist).
    std::function<void(const std::string& title)> trackOnAir;
  };

  // Each target must outlive the adapter; the main window may be none.
  EngineReportsAdapter(StatusDisplay& status, MainWindowView* mainWindow, ServerLink& connection,
                       WebService& web, Notices notices);

  // None detaches the gauge; that waits for a report in progress, so the gauge may go at once.
  void setGauge(QualityReports* gauge);

  void nowPlaying(std::string_view title) override;
  void nextTrack(std::string_view title) override;
  void trackFormat(std::string_view formatInfo) override;
  void playlistName(std::string_view name) override;
  void trackNumber(int number) override;
  void dataCounter(std::string_view text) override;
  void trackTimes(int elapsed, int remaining) override;
  void playlistTimes(int elapsed, int remaining) override;
  void lastError(std::string_view text) override;
  void trackCleared() override;
  void onAirTitle() override;
  void listeners() override;
  void announce(const PlaylistItem& track) override;
  void errorCounts() override;
  void quality(float throughputRatio, int transmitBitRate) override;
  void listFailed() override;
  void trackChanged() override;
  void inputLost() override;
  void inputRestored() override;

 private:
  StatusDisplay& status_;
  MainWindowView* const mainWindow_;
  ServerLink& connection_;
  WebService& web_;
  const Notices notices_;
  std::mutex gaugeMutex_;  // held while a report goes to the gauge
  QualityReports* gauge_ = nullptr;
};

}  // namespace brovana
