#pragma once
// The views and report ports for tests. Each fake writes what it is told as one line into the
// Journal it is given ("label 1047 Connected!!", "nowPlaying Tone").

#include <algorithm>
#include <functional>
#include <string>

#include "audio/engine_reports.h"
#include "monitor/main_window_view.h"
#include "monitor/status_views.h"
#include "net/link_reports.h"
#include "playlist/playlist_item.h"
#include "support/journal.h"

namespace brovana::test {

// Into the journal given, or one of its own.
class Writes {
 public:
  Writes() : journal_(own_) {}
  explicit Writes(Journal& journal) : journal_(journal) {}

 protected:
  Journal own_;
  Journal& journal_;
};

class FakeStatusWindow : public StatusWindowView, Writes {
 public:
  using Writes::Writes;
  void setLabel(int id, const std::string& text) override { journal_.add("label", id, text); }
  void setTitle(const std::string& title) override { journal_.add("statusTitle", title); }
  void show() override { journal_.add("statusShow"); }
  // The label's last text, or "<unset>".
  std::string label(int id) const { return journal_.last("label " + std::to_string(id)); }
  std::vector<std::string> labels(int id) const { return journal_.all("label " + std::to_string(id)); }
  int shown() const { return static_cast<int>(std::ranges::count(journal_.lines(), "statusShow")); }
};

class FakeMainWindow : public MainWindowView, Writes {
 public:
  using Writes::Writes;
  void setTitle(const std::string& title) override { journal_.add("title", title); }
  void setBroadcastCaption(const std::string& caption) override { journal_.add("caption", caption); }
  void setMenuCheck(int id, bool checked) override { journal_.add("check", id, checked); }
};

class FakeLinkReports : public LinkReports, Writes {
 public:
  using Writes::Writes;
  void statusText(std::string_view text) override { journal_.add("statusText", text); }
  void state(TitleState state) override { journal_.add("state", static_cast<int>(state)); }
  void onAirTime(int seconds) override { journal_.add("onAirTime", seconds); }
  void speeds(int lineSpeed, int outputBitrate) override { journal_.add("speeds", lineSpeed, outputBitrate); }
  void errorCounts() override { journal_.add("errorCounts"); }
};

// `onListFailed` stands for the controller, which stops the engine. The reports that come while
// a track plays (counter, times, title, quality) are left out with `quiet`.
class FakeEngineReports : public EngineReports, Writes {
 public:
  using Writes::Writes;
  std::function<void()> onListFailed;
  std::function<void()> onNowPlaying;
  bool quiet = false;

  void nowPlaying(std::string_view title) override {
    if (onNowPlaying) onNowPlaying();
    journal_.add("nowPlaying", title);
  }
  void nextTrack(std::string_view title) override { journal_.add("nextTrack", title); }
  void trackFormat(std::string_view info) override { journal_.add("trackFormat", info); }
  void playlistName(std::string_view name) override { journal_.add("playlistName", name); }
  void trackNumber(int number) override { journal_.add("trackNumber", number); }
  void lastError(std::string_view text) override { journal_.add("lastError", text); }
  void trackCleared() override { journal_.add("trackCleared"); }
  void announce(const PlaylistItem& track) override { journal_.add("announce", track.fullpath()); }
  void errorCounts() override { journal_.add("errorCounts"); }
  void trackChanged() override { journal_.add("trackChanged"); }
  void inputLost() override { journal_.add("inputLost"); }
  void inputRestored() override { journal_.add("inputRestored"); }
  void listFailed() override {
    journal_.add("listFailed");
    if (onListFailed) onListFailed();
  }
  void dataCounter(std::string_view text) override { playing("dataCounter", text); }
  void trackTimes(int elapsed, int remaining) override { playing("trackTimes", elapsed, remaining); }
  void playlistTimes(int elapsed, int remaining) override { playing("playlistTimes", elapsed, remaining); }
  void onAirTitle() override { playing("onAirTitle"); }
  void listeners() override { playing("listeners"); }
  void quality(float ratio, int bitRate) override { playing("quality", ratio, bitRate); }

 private:
  template <typename... Parts>
  void playing(const Parts&... parts) {
    if (!quiet) journal_.add(parts...);
  }
};

}  // namespace brovana::test
