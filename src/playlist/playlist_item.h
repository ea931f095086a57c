#pragma once
// One track of the playlist. Items are shared: the playlist, its list window and the broadcast
// engine each hold a reference, so an item the window removes stays whole for the engine until
// the engine lets go of it. Paths and times never change after the item is made; the flags are
// atomic and the MP3 facts sit under the item's own lock (the tag editor rewrites them).

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "playlist/mp3_info.h"

namespace brovana {

class PlaylistItem {
 public:
  // Reads the file's facts; the path is cut at its first line feed.
  explicit PlaylistItem(std::string_view path);
  static std::shared_ptr<PlaylistItem> make(std::string_view path) {
    return std::make_shared<PlaylistItem>(path);
  }

  PlaylistItem(const PlaylistItem&) = delete;
  PlaylistItem& operator=(const PlaylistItem&) = delete;

  const std::string& filename() const { return filename_; }
  const std::optional<std::string>& directory() const { return directory_; }
  const std::string& fullpath() const { return fullpath_; }
  // "h:mm:ss"; none when the file did not exist.
  const std::optional<std::string>& time() const { return time_; }
  bool exists() const { return exists_; }

  // A copy, taken under the item's lock.
  MP3Info mp3Info() const;
  int duration() const;
  // Writes the file's tag and takes the new texts (see MP3Info::writeTag).
  bool writeTag(std::string_view artist, std::string_view title, std::string_view album);

  bool isCurrent() const { return current_.load(); }
  void setCurrent(bool on) { current_.store(on); }
  bool isNew() const { return new_.load(); }
  void setNew(bool on) { new_.store(on); }
  bool playable() const { return playable_.load(); }
  void setPlayable(bool on) { playable_.store(on); }
  // The track's measured integrated loudness in LUFS; none until it is measured.
  std::optional<double> loudness() const;
  void setLoudness(double lufs) { loudness_.store(lufs); }
  // Why the track cannot be played: what reading the file found, or what the engine met.
  std::string problem() const;
  void setProblem(std::string reason);

  // "#EXTINF:<seconds>,<full title>" and the path, CR LF ended.
  std::string m3uLines() const;
  // "File<n>=", "Title<n>=", "Length<n>=" lines, CR LF ended.
  std::string plsLines(int number) const;

 private:
  std::string filename_;
  std::optional<std::string> directory_;
  std::string fullpath_;
  std::optional<std::string> time_;
  bool exists_ = false;

  mutable std::mutex mutex_;
  MP3Info facts_;
  std::string problem_;  // under mutex_

  std::atomic<bool> current_{false};
  std::atomic<bool> new_{false};
  std::atomic<bool> playable_{true};
  std::atomic<double> loudness_{kUnmeasured};
  static constexpr double kUnmeasured = 1e9;
};

using PlaylistItemRef = std::shared_ptr<PlaylistItem>;

// "h:mm:ss" of a number of seconds.
std::string hoursMinutesSeconds(int seconds);
// "m:ss", minutes counting on past the hour: a track's length in the playlist window.
std::string minutesSeconds(int seconds);

}  // namespace brovana
