#include "app/song_file.h"

#include <fstream>

#include "core/text.h"

namespace brovana {
namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(500);

// The file's first line without surrounding blanks; empty when there is none.
std::string firstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return std::string(trim(line));
}

}  // namespace

SongFileWatcher::SongFileWatcher(std::string path, std::function<void(const std::string&)> changed)
    : path_(std::move(path)), changed_(std::move(changed)), thread_(&SongFileWatcher::watch, this) {}

SongFileWatcher::~SongFileWatcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
}

void SongFileWatcher::watch() {
  std::string told;
  std::unique_lock lock(mutex_);
  while (!stop_.wait_for(lock, kLookEvery, [this] { return stopping_; })) {
    // A half-written file reads as empty or as a part; the whole line comes at the next look.
    std::string title = firstLine(path_);
    if (title.empty() || title == told) continue;
    told = title;
    lock.unlock();
    changed_(title);
    lock.lock();
  }
}

}  // namespace brovana
