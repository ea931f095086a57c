#pragma once
// --song-file FILE: DJ software writes the song it plays into a file; whenever the file's first
// line changes, it is the now-playing title. The file is looked at twice a second, so a title
// reaches the servers well within the five seconds a listener waits for it.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace brovana {

class SongFileWatcher {
 public:
  // `changed` is told on the watcher's thread, for the first line found and for each change.
  SongFileWatcher(std::string path, std::function<void(const std::string&)> changed);
  ~SongFileWatcher();
  SongFileWatcher(const SongFileWatcher&) = delete;
  SongFileWatcher& operator=(const SongFileWatcher&) = delete;

 private:
  void watch();

  const std::string path_;
  const std::function<void(const std::string&)> changed_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;  // under mutex_
  std::thread thread_;
};

}  // namespace brovana
