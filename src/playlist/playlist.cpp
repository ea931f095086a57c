#include "playlist/playlist.h"

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <unordered_set>

#include "core/program_values.h"
#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"
#include "playlist/track_reader.h"

namespace brovana {

namespace {

// Playlist files are small; anything larger is not one.
constexpr long long kMaxPlaylistBytes = 64LL << 20;

constexpr const char* kUnsavedQuestion =
    "You haven't saved your current playlist. Are you sure you want to load a new one?";
constexpr const char* kMissingQuestion =
    "There are a lot of missing files in this playlist.(if you're importing a Winamp playlist, the track's "
    "path "
    "may not be valid when used from another directory). Continue trying to load?";
constexpr int kMissingBeforeQuestion = 5;

class WaitCursor {
 public:
  explicit WaitCursor(Prompts& prompts) : prompts_(prompts) { prompts_.waitCursor(true); }
  ~WaitCursor() { prompts_.waitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Prompts& prompts_;
};

Question yesNo(const char* text) {
  Question q;
  q.text = text;
  q.yesCaption = "Yes";
  q.noCaption = "No";
  return q;
}

bool readPlaylistFile(const std::string& path, std::string& text) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxPlaylistBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::string withPath(const char* format, std::string_view path) {
  std::string text(format);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

std::string lastFolder() {
  return programValues().mp3path().value_or(musicFolder());
}

// The C library generator the shuffle was drawn with: values 0 to 32767.
class ShuffleRandom {
 public:
  explicit ShuffleRandom(unsigned seed) : state_(seed) {}
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_;
};

}  // namespace

Playlist::Playlist(Prompts& prompts) : prompts_(prompts) {
  items_.reserve(100);
}

Playlist::~Playlist() = default;

std::optional<std::string> Playlist::addFile(std::string_view path, AddMode mode) {
  int previous = -1;
  return addFileAfter(path, mode, previous);
}

int Playlist::addFiles(const std::vector<std::string>& paths, AddMode mode) {
  int previous = -1, added = 0;
  for (const std::string& path : paths) added += addFileAfter(path, mode, previous).has_value();
  return added;
}

std::optional<std::string> Playlist::addFileAfter(std::string_view path, AddMode mode, int& previous) {
  path = path.substr(0, path.find('\n'));
  if (!isTrackName(path)) {
    prompts_.warning(withPath("Not an mp3 file! %s", path));
    return std::nullopt;
  }
  // The file is read before the lock is taken: the engine need not wait for the disk.
  PlaylistItemRef item = PlaylistItem::make(path);
  item->setNew(true);
  if (!item->exists()) {
    prompts_.warning(withPath(kTrackMissingText, item->fullpath()));
    return std::nullopt;
  }

  std::lock_guard lock(mutex_);
  const int oldCount = static_cast<int>(items_.size());
  int row = listWindow_ ? listWindow_->firstSelectedRow() + 1 : 0;
  row = std::clamp(row, 0, oldCount);
  switch (mode) {
    case AddMode::Append:
      row = oldCount;
      break;
    case AddMode::InsertOrAppend:
      if (row <= 0) row = oldCount;
      break;
    case AddMode::InsertAfterSelection:
      break;
  }
  // The selection stays where it was, so a batch goes on after its own last file.
  if (previous >= 0) row = std::min(previous + 1, oldCount);
  previous = row;
  items_.insert(items_.begin() + row, item);
  if (currentIndex_ >= row) ++currentIndex_;  // the playing item moved down one place
  if (listWindow_) listWindow_->insertRow(row, item);
  modified_ = true;
  return item->filename();
}

bool Playlist::load(const std::string& path, const MayReplace& mayReplace) {
  if (path.empty()) return false;
  WaitCursor wait(prompts_);
  std::string text;
  const PlaylistFormat format = playlistFormatOf(path);
  if (format == PlaylistFormat::Unknown) {
    prompts_.warning(withPath("%s is not a recognizable file.", path));
    return false;
  }
  if (!readPlaylistFile(path, text)) return false;
  if (modified() && !prompts_.ask(yesNo(kUnsavedQuestion))) return false;
  if (mayReplace && !mayReplace()) return false;

  {
    std::lock_guard lock(mutex_);
    freeItemsLocked();
    if (listWindow_) listWindow_->deleteAllRows();
  }

  // Entries that name no MP3 file are told once, for the whole list: a binary file read as a
  // list has hundreds of them.
  int notMp3 = 0, previous = -1;
  auto add = [&](const std::string& entry, AddMode mode) {
    if (isTrackName(entry)) return addFileAfter(entry, mode, previous).has_value();
    ++notMp3;
    return false;
  };
  switch (format) {
    case PlaylistFormat::M3U: {
      int missing = 0;
      for (const std::string& entry : readM3U(text, path)) {
        if (add(entry, AddMode::InsertOrAppend)) continue;
        if (++missing == kMissingBeforeQuestion && !prompts_.ask(yesNo(kMissingQuestion))) break;
      }
      break;
    }
    case PlaylistFormat::PLS:
      for (const std::string& entry : readPLS(text, path)) add(entry, AddMode::Append);
      break;
    case PlaylistFormat::Mirobeam:
      for (const std::string& entry : readMirobeam(text, path)) add(entry, AddMode::InsertAfterSelection);
      break;
    case PlaylistFormat::Unknown:
      break;
  }
  if (notMp3 > 0)
    prompts_.warning(
        formatText("Not an mp3 file! %d %s of %s", notMp3, notMp3 == 1 ? "entry" : "entries", path.c_str()));

  programValues().setMp3path(folderPart(path));
  programValues().setPlaylist(path);
  std::lock_guard lock(mutex_);
  name_ = std::string(fileNamePart(path));
  path_ = path;
  modified_ = false;
  return true;
}

std::optional<std::string> Playlist::loadWithDialog(PlaylistDialogs& dialogs, const MayReplace& mayReplace) {
  FileDialogRequest request{"Load playlist",
                            lastFolder(),
                            {{"Playlist (*.m3u;*.pls)", "*.m3u;*.pls"},
                             {"Mirobeam 1.0 Playlist (*.txt)", "*.txt"},
                             {"(all files) *.*", "*.*"}}};
  std::optional<FileDialogChoice> choice = dialogs.openFile(request);
  if (!choice) return std::nullopt;
  // A load that failed (or was declined) keeps the unsaved mark, so the next load still asks.
  if (!load(choice->path, mayReplace)) return std::nullopt;
  return choice->path;
}

std::optional<std::string> Playlist::save(PlaylistDialogs& dialogs) {
  std::string suggested;
  {
    // The list's own file, in its folder; a new list starts where the last tracks came from.
    std::lock_guard lock(mutex_);
    suggested = path_.empty() ? lastFolder() : path_;
  }
  FileDialogRequest request{
      "Save playlist", suggested, {{"M3U Playlist (*.m3u)", "*.m3u"}, {"PLS Playlist (*.pls)", "*.pls"}}};
  std::optional<FileDialogChoice> choice = dialogs.saveFile(request);
  if (!choice) {
    std::lock_guard lock(mutex_);
    modified_ = false;
    return std::nullopt;
  }
  return saveAs(choice->path, choice->type == 2 ? SaveType::PLS : SaveType::M3U);
}

std::optional<std::string> Playlist::saveAs(const std::string& path, SaveType type) {
  programValues().setMp3path(folderPart(path));
  std::string target = path;
  if (path.find('.') == std::string::npos) {
    if (path.size() + 5 > PATH_MAX) {
      prompts_.warning("Filename is too long!");
      return std::nullopt;
    }
    target += type == SaveType::PLS ? ".pls" : ".m3u";
  }

  std::string content;
  {
    std::lock_guard lock(mutex_);
    if (type == SaveType::M3U) {
      content = "#EXTM3U\r\n";
      for (const PlaylistItemRef& item : items_) content += item->m3uLines();
    } else {
      content = "[playlist]\r\n";
      for (size_t i = 0; i < items_.size(); ++i) content += items_[i]->plsLines(static_cast<int>(i) + 1);
      content += "NumberOfEntries=" + std::to_string(items_.size()) + "\r\n";
      content += "Version=2";
    }
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(target.c_str(), "wb"), std::fclose);
  if (!file) return std::nullopt;
  bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  written = std::fclose(file.release()) == 0 && written;
  if (!written) {
    // Reported as a failure, not as a save: the list keeps its unsaved mark.
    Logger::log("Playlist::save - could not write %s\n", target.c_str());
    return std::nullopt;
  }

  std::lock_guard lock(mutex_);
  name_ = std::string(fileNamePart(target));
  path_ = target;
  modified_ = false;
  return target;
}

void Playlist::dropItems() {
  std::lock_guard lock(mutex_);
  freeItemsLocked();
}

void Playlist::clear() {
  std::lock_guard lock(mutex_);
  freeItemsLocked();
  if (listWindow_) listWindow_->deleteAllRows();
  name_ = "<none>";
  path_.clear();
  modified_ = false;
}

void Playlist::freeItemsLocked() {
  for (size_t i = 0; i < items_.size(); ++i)
    Logger::debug(1, "Playlist::FreeListArray - freeing item %d, %s\n", static_cast<int>(i),
                  items_[i]->filename().c_str());
  items_.clear();
  currentIndex_ = -1;
}

std::vector<int> Playlist::validIndicesLocked(std::vector<int> indices) const {
  const int n = static_cast<int>(items_.size());
  std::erase_if(indices, [n](int index) { return index < 0 || index >= n; });
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  return indices;
}

void Playlist::removeItems(const std::vector<int>& indices) {
  PlaylistItemRef next;
  {
    std::lock_guard lock(mutex_);
    const std::vector<int> gone = validIndicesLocked(indices);
    if (gone.empty()) return;
    // From the bottom up, so that every index still names its item.
    for (auto index = gone.rbegin(); index != gone.rend(); ++index) {
      if (listWindow_) listWindow_->deleteRow(*index);
      items_.erase(items_.begin() + *index);
    }
    modified_ = true;
    const int n = static_cast<int>(items_.size());
    if (listWindow_ && n > 0) listWindow_->selectRow(std::min(gone.front(), n - 1));
    // The mark stays on its item; an item removed takes it along.
    next = syncFromWindowLocked();
  }
  tellNextTrack(next);
}

bool Playlist::moveItems(const std::vector<int>& indices, bool up) {
  PlaylistItemRef next;
  {
    std::lock_guard lock(mutex_);
    const std::vector<int> from = validIndicesLocked(indices);
    const int n = static_cast<int>(items_.size());
    if (from.empty() || (up ? from.front() == 0 : from.back() == n - 1)) return false;
    std::vector<int> to = from;
    for (int& index : to) index += up ? -1 : 1;
    next = placeLocked(from, to, up ? to.front() : to.back());
  }
  tellNextTrack(next);
  return true;
}

bool Playlist::moveItemsTo(const std::vector<int>& indices, int before) {
  PlaylistItemRef next;
  {
    std::lock_guard lock(mutex_);
    const std::vector<int> from = validIndicesLocked(indices);
    before = std::clamp(before, 0, static_cast<int>(items_.size()));
    // The block starts where `before` is once the moving items are out of the list.
    int first = before - static_cast<int>(std::lower_bound(from.begin(), from.end(), before) - from.begin());
    std::vector<int> to(from.size());
    for (int& index : to) index = first++;
    if (from == to) return false;
    next = placeLocked(from, to, to.front());
  }
  tellNextTrack(next);
  return true;
}

PlaylistItemRef Playlist::placeLocked(const std::vector<int>& from, const std::vector<int>& to, int show) {
  const int n = static_cast<int>(items_.size());
  std::vector<bool> moving(n, false);
  for (int index : from) moving[index] = true;
  std::vector<PlaylistItemRef> moved, staying;
  for (int index = 0; index < n; ++index) (moving[index] ? moved : staying).push_back(items_[index]);
  size_t m = 0, s = 0;
  for (int index = 0; index < n; ++index)
    items_[index] = m < to.size() && to[m] == index ? moved[m++] : staying[s++];
  modified_ = true;
  if (listWindow_) {
    // Out from the bottom up, then in from the top down: each index is right when it is used.
    for (auto index = from.rbegin(); index != from.rend(); ++index) listWindow_->deleteRow(*index);
    for (int index : to) listWindow_->insertRow(index, items_[index]);
    listWindow_->selectRows(to);
    listWindow_->ensureRowVisible(show);
  }
  // The mark moved with its item: the current index is found again from it.
  return syncFromWindowLocked();
}

void Playlist::shuffle() {
  shuffle(static_cast<unsigned>(std::time(nullptr)));
}

void Playlist::shuffle(unsigned seed) {
  std::lock_guard lock(mutex_);
  shuffleLocked(seed);
}

void Playlist::shuffleLocked(unsigned seed) {
  setCurrentLocked(-1);
  ShuffleRandom random(seed);
  // The draw of the original player, bias included: the factor 1.1 makes the last remaining
  // entry come out about one time in eleven on top of its own share.
  const double c1 = static_cast<double>(1.0f / 32767.0f);
  const double c2 = static_cast<double>(1.1f);
  std::vector<PlaylistItemRef> remaining = std::move(items_);
  std::vector<PlaylistItemRef> order;
  order.reserve(remaining.size());
  while (!remaining.empty()) {
    const int m = static_cast<int>(remaining.size());
    const int r = random.next();
    int k = static_cast<int>(static_cast<double>(m - 1) * r * c1 * c2);
    if (k >= m) k = m - 1;
    order.push_back(std::move(remaining[k]));
    remaining.erase(remaining.begin() + k);
  }
  items_ = std::move(order);

  if (listWindow_) listWindow_->deleteAllRows();
  Logger::log("Shuffling playlist\n");
  for (size_t p = 0; p < items_.size(); ++p) {
    Logger::log("Track #%d : %s\n", static_cast<int>(p), items_[p]->filename().c_str());
    if (listWindow_) listWindow_->insertRow(-1, items_[p]);
  }
}

void Playlist::setCurrent(int index) {
  std::lock_guard lock(mutex_);
  setCurrentLocked(index);
}

void Playlist::setCurrentLocked(int index) {
  // Every mark is cleared, not only the last one: at most one item may carry it.
  for (const PlaylistItemRef& item : items_) item->setCurrent(false);
  currentIndex_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  if (currentIndex_ >= 0) items_[currentIndex_]->setCurrent(true);
  if (listWindow_) listWindow_->redraw();
}

PlaylistItemRef Playlist::nextItem(int index, bool wrap) const {
  std::lock_guard lock(mutex_);
  const int n = static_cast<int>(items_.size());
  if (n == 0) return nullptr;
  if (index < 0) return items_[0];
  if (index + 1 < n) return items_[index + 1];
  return wrap ? items_[0] : nullptr;
}

int Playlist::findByPath(int hint, std::string_view path) const {
  std::lock_guard lock(mutex_);
  const int n = static_cast<int>(items_.size());
  if (hint < 0 || hint >= n) return -1;
  if (items_[hint]->fullpath() == path) return hint;
  for (int i = 0; i < n; ++i)
    if (items_[i]->fullpath() == path) return i;
  return -1;
}

int Playlist::totalTime(bool sum, std::string* text) {
  std::lock_guard lock(mutex_);
  long long total = 0;
  if (sum)
    for (const PlaylistItemRef& item : items_) total += std::max(0, item->duration());
  totalTime_ = static_cast<int>(std::min<long long>(total, INT32_MAX));
  if (text) *text = hoursMinutesSeconds(totalTime_);
  return totalTime_;
}

int Playlist::count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(items_.size());
}

PlaylistItemRef Playlist::item(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
  return items_[index];
}

std::optional<MP3Info> Playlist::mp3Info(int index) const {
  PlaylistItemRef found = item(index);
  if (!found) return std::nullopt;
  return found->mp3Info();
}

int Playlist::indexOf(const PlaylistItem* item) const {
  std::lock_guard lock(mutex_);
  return indexOfLocked(item);
}

int Playlist::indexOfLocked(const PlaylistItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return static_cast<int>(i);
  return -1;
}

std::vector<PlaylistItemRef> Playlist::items() const {
  std::lock_guard lock(mutex_);
  return items_;
}

int Playlist::currentIndex() const {
  std::lock_guard lock(mutex_);
  return currentIndex_;
}

std::string Playlist::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool Playlist::modified() const {
  std::lock_guard lock(mutex_);
  return modified_;
}

void Playlist::markSaved() {
  std::lock_guard lock(mutex_);
  modified_ = false;
}

bool Playlist::setItem(int index, PlaylistItemRef item) {
  std::lock_guard lock(mutex_);
  if (!item || index < 0 || index >= static_cast<int>(items_.size())) return false;
  items_[index] = std::move(item);
  return true;
}

void Playlist::attachListWindow(PlaylistListWindow* window) {
  std::lock_guard lock(mutex_);
  listWindow_ = window;
}

void Playlist::setListener(PlaylistListener* listener) {
  std::lock_guard lock(mutex_);
  listener_ = listener;
}

void Playlist::refreshRow(int index) {
  std::lock_guard lock(mutex_);
  if (!listWindow_ || index < 0 || index >= static_cast<int>(items_.size())) return;
  listWindow_->deleteRow(index);
  listWindow_->insertRow(index, items_[index]);
}

void Playlist::showCurrentRow() {
  std::lock_guard lock(mutex_);
  if (listWindow_ && currentIndex_ >= 0) listWindow_->ensureRowVisible(currentIndex_);
}

void Playlist::showRow(int index, bool select) {
  std::lock_guard lock(mutex_);
  if (!listWindow_ || index < 0 || index >= static_cast<int>(items_.size())) return;
  listWindow_->ensureRowVisible(index);
  if (select) listWindow_->selectRow(index);
}

void Playlist::redrawList() {
  std::lock_guard lock(mutex_);
  if (listWindow_) listWindow_->redraw();
}

void Playlist::syncFromWindow() {
  PlaylistItemRef next;
  {
    std::lock_guard lock(mutex_);
    next = syncFromWindowLocked();
  }
  tellNextTrack(next);
}

PlaylistItemRef Playlist::syncFromWindowLocked() {
  if (listWindow_) {
    // Only a reordering of our own items is taken over; rows that lost step with the list are
    // rebuilt from it instead, so that no row can smuggle in a foreign or a dropped item.
    const int n = static_cast<int>(items_.size());
    bool matches = listWindow_->rowCount() == n;
    std::vector<PlaylistItemRef> order;
    if (matches) {
      std::unordered_set<const PlaylistItem*> ours;
      for (const PlaylistItemRef& item : items_) ours.insert(item.get());
      order.reserve(n);
      for (int r = 0; r < n && matches; ++r) {
        PlaylistItemRef item = listWindow_->rowItem(r);
        matches = item && ours.erase(item.get()) == 1;
        order.push_back(std::move(item));
      }
    }
    if (matches) {
      items_ = std::move(order);
    } else {
      Logger::log("Playlist::syncFromWindow - the list rows did not match the playlist; rows rebuilt\n");
      listWindow_->deleteAllRows();
      for (const PlaylistItemRef& item : items_) listWindow_->insertRow(-1, item);
    }
  }
  currentIndex_ = -1;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->isCurrent()) {
      currentIndex_ = static_cast<int>(i);
      break;
    }
  }
  if (!listener_ || items_.empty()) return nullptr;
  return items_[currentIndex_ + 1 < static_cast<int>(items_.size()) ? currentIndex_ + 1 : 0];
}

void Playlist::tellNextTrack(const PlaylistItemRef& next) {
  if (!next) return;
  PlaylistListener* listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener && listener->enginePlaying()) listener->nextTrackChanged(next->mp3Info().displayTitle());
}

void Playlist::clearNewFlags() {
  std::lock_guard lock(mutex_);
  for (const PlaylistItemRef& item : items_) item->setNew(false);
}

}  // namespace brovana
