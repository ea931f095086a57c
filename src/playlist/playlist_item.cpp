#include "playlist/playlist_item.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace brovana {

namespace {

// A playlist file can only name a regular file; a folder or a pipe that happens to end in
// ".mp3" is not a track (and opening a pipe would block).
bool canOpenForReading(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Line ends inside a tag title would break the line structure of a playlist file.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

}  // namespace

std::string hoursMinutesSeconds(int seconds) {
  char text[30];
  std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

std::string minutesSeconds(int seconds) {
  char text[30];
  std::snprintf(text, sizeof text, seconds % 60 < 10 ? "%d:0%d" : "%d:%d", seconds / 60, seconds % 60);
  return text;
}

PlaylistItem::PlaylistItem(std::string_view path) {
  // Cut at the line end a playlist line may bring along, and at a zero byte, which no file
  // name holds (the name would otherwise silently stop there when the file is opened).
  path = path.substr(0, path.find('\n'));
  path = path.substr(0, path.find('\0'));
  fullpath_ = std::string(path);

  size_t slash = fullpath_.rfind('/');
  filename_ = slash == std::string::npos ? fullpath_ : fullpath_.substr(slash + 1);
  if (fullpath_.find('.') == std::string::npos)
    directory_ = fullpath_;
  else if (slash != std::string::npos && slash + 1 < fullpath_.size())
    directory_ = fullpath_.substr(0, slash);

  facts_ = MP3Info(fullpath_);
  exists_ = canOpenForReading(fullpath_);
  if (exists_) time_ = hoursMinutesSeconds(facts_.duration());
}

MP3Info PlaylistItem::mp3Info() const {
  std::lock_guard lock(mutex_);
  return facts_;
}

std::optional<double> PlaylistItem::loudness() const {
  double lufs = loudness_.load();
  if (lufs == kUnmeasured) return std::nullopt;
  return lufs;
}

std::string PlaylistItem::problem() const {
  std::lock_guard lock(mutex_);
  return problem_.empty() ? facts_.problem() : problem_;
}

void PlaylistItem::setProblem(std::string reason) {
  std::lock_guard lock(mutex_);
  problem_ = std::move(reason);
}

int PlaylistItem::duration() const {
  std::lock_guard lock(mutex_);
  return facts_.duration();
}

bool PlaylistItem::writeTag(std::string_view artist, std::string_view title, std::string_view album) {
  std::lock_guard lock(mutex_);
  return facts_.writeTag(artist, title, album);
}

std::string PlaylistItem::m3uLines() const {
  MP3Info info = mp3Info();
  char head[40];
  std::snprintf(head, sizeof head, "#EXTINF:%d,", info.duration());
  return head + oneLine(info.title(0)) + "\r\n" + fullpath_ + "\r\n";
}

std::string PlaylistItem::plsLines(int number) const {
  MP3Info info = mp3Info();
  std::string n = std::to_string(number);
  return "File" + n + "=" + fullpath_ + "\r\n" + "Title" + n + "=" + oneLine(info.title()) + "\r\n" +
         "Length" + n + "=" + std::to_string(info.duration()) + "\r\n";
}

}  // namespace brovana
