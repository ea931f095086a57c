#pragma once
// The views and report ports for tests. Each fake writes what it is told as one line into a
// Journal ("label 1047 Connected!!", "nowPlaying Tone"), so that a test reads what the core
// showed and in which order. Thread-safe: reports come from worker threads.

#include <algorithm>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "audio/engine_reports.h"
#include "monitor/main_window_view.h"
#include "monitor/status_views.h"
#include "net/link_reports.h"
#include "playlist/playlist_item.h"

namespace brovana::test {

class Journal {
 public:
  template <typename... Parts>
  void add(const Parts&... parts) {
    std::ostringstream line;
    ((line << parts << ' '), ...);
    std::string text = line.str();
    text.pop_back();
    std::lock_guard lock(mutex_);
    lines_.push_back(text);
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  // The lines that begin with `prefix` and a blank, without them.
  std::vector<std::string> with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : lines())
      if (line.rfind(prefix + " ", 0) == 0) out.push_back(line.substr(prefix.size() + 1));
    return out;
  }
  std::string last(const std::string& prefix) const {
    auto all = with(prefix);
    return all.empty() ? "<unset>" : all.back();
  }
  size_t count(const std::string& line) const {
    auto all = lines();
    return static_cast<size_t>(std::count(all.begin(), all.end(), line));
  }
  // The position of the first such line, or -1.
  int position(const std::string& line) const {
    auto all = lines();
    auto it = std::find(all.begin(), all.end(), line);
    return it == all.end() ? -1 : static_cast<int>(it - all.begin());
  }
  void clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Writes "<name> <text>".
class FakeTextTarget : public TextTarget {
 public:
  FakeTextTarget(Journal& journal, std::string name) : journal_(journal), name_(std::move(name)) {}
  void setText(const std::string& text) override { journal_.add(name_, text); }

 private:
  Journal& journal_;
  std::string name_;
};

class FakeStatusWindow : public StatusWindowView {
 public:
  explicit FakeStatusWindow(Journal& journal) : journal_(journal) {}
  void setLabel(int id, const std::string& text) override { journal_.add("label", id, text); }
  void setTitle(const std::string& title) override { journal_.add("statusTitle", title); }
  void show() override { journal_.add("statusShow"); }
  // The label's last text, or "<unset>".
  std::string label(int id) const { return journal_.last("label " + std::to_string(id)); }

 private:
  Journal& journal_;
};

class FakeMainWindow : public MainWindowView {
 public:
  explicit FakeMainWindow(Journal& journal) : journal_(journal) {}
  void setTitle(const std::string& title) override { journal_.add("title", title); }
  void setBroadcastCaption(const std::string& caption) override { journal_.add("caption", caption); }
  void setMenuCheck(int id, bool checked) override { journal_.add("check", id, checked); }

 private:
  Journal& journal_;
};

class FakeLinkReports : public LinkReports {
 public:
  explicit FakeLinkReports(Journal& journal) : journal_(journal) {}
  void statusText(std::string_view text) override { journal_.add("statusText", text); }
  void state(TitleState state) override { journal_.add("state", static_cast<int>(state)); }
  void onAirTime(int seconds) override { journal_.add("onAirTime", seconds); }
  void speeds(int lineSpeed, int outputBitrate) override { journal_.add("speeds", lineSpeed, outputBitrate); }
  void errorCounts() override { journal_.add("errorCounts"); }

 private:
  Journal& journal_;
};

// The time, counter and quality reports come once a second or less often; `quiet` leaves them
// out of the journal. `onListFailed` stands for the controller, which stops the engine.
class FakeEngineReports : public EngineReports {
 public:
  explicit FakeEngineReports(Journal& journal) : journal_(journal) {}
  std::function<void()> onListFailed;
  bool quiet = false;

  void nowPlaying(std::string_view title) override { journal_.add("nowPlaying", title); }
  void nextTrack(std::string_view title) override { journal_.add("nextTrack", title); }
  void trackFormat(std::string_view) override {}
  void playlistName(std::string_view name) override { journal_.add("playlistName", name); }
  void trackNumber(int number) override { journal_.add("trackNumber", number); }
  void dataCounter(std::string_view text) override { timed("dataCounter", text); }
  void trackTimes(int elapsed, int remaining) override { timed("trackTimes", elapsed, remaining); }
  void playlistTimes(int elapsed, int remaining) override { timed("playlistTimes", elapsed, remaining); }
  void lastError(std::string_view text) override { journal_.add("lastError", text); }
  void trackCleared() override { journal_.add("trackCleared"); }
  void onAirTitle() override { timed("onAirTitle"); }
  void listeners() override { timed("listeners"); }
  void announce(const PlaylistItem& track) override { journal_.add("announce", track.fullpath()); }
  void quality(float ratio, int bitRate) override { timed("quality", ratio, bitRate); }
  void listFailed() override {
    journal_.add("listFailed");
    if (onListFailed) onListFailed();
  }
  void trackChanged() override { journal_.add("trackChanged"); }

 private:
  template <typename... Parts>
  void timed(const Parts&... parts) {
    if (!quiet) journal_.add(parts...);
  }
  Journal& journal_;
};

}  // namespace brovana::test
