#include "playlist/playlist_editor.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <utility>

#include "core/program_values.h"
#include "core/prompts.h"
#include "core/registry.h"
#include "core/text.h"
#include "diag/logger.h"
#include "playlist/track_reader.h"
#include "playlist/track_tags.h"

namespace brovana {
namespace {

constexpr const char* kStopQuestion =
    "You are currently broadcasting. Do you want to stop it and start a new one?";
constexpr const char* kNoTitle = "none";

bool isFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// The track files in a folder and every folder below it, each folder's entries in name order.
// Symbolic links to folders are followed, but no folder is entered twice, so a link that leads
// back up the tree cannot loop.
void collectTrackFiles(const std::filesystem::path& folder, std::set<std::pair<dev_t, ino_t>>& entered,
                       std::vector<std::string>& found) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !entered.insert({st.st_dev, st.st_ino}).second) return;
  std::error_code error;
  std::vector<std::filesystem::path> entries;
  for (std::filesystem::directory_iterator
           it(folder, std::filesystem::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error))
    entries.push_back(it->path());
  if (error) Logger::log("PlaylistWindow2 - could not read the folder %s\n", folder.c_str());
  std::sort(entries.begin(), entries.end());
  for (const std::filesystem::path& entry : entries) {
    if (std::filesystem::is_directory(entry, error))
      collectTrackFiles(entry, entered, found);
    else if (isTrackName(entry.filename().native()))
      found.push_back(entry.string());
  }
}

}  // namespace

// The last five playlist files, newest first, kept as "MRU0" to "MRU4" with the settings.
class PlaylistEditor::Recent {
 public:
  explicit Recent(Registry* registry) : registry_(registry) {
    std::unique_ptr<RegistryKey> key = registry_ ? registry_->open(kProfileRoot) : nullptr;
    for (int k = 0; key && k < kRecentPlaylists; ++k) paths_[k] = key->text("MRU" + std::to_string(k));
  }

  // A path that is in the list already keeps its place.
  void add(const std::string& path) {
    if (std::find(paths_.begin(), paths_.end(), path) != paths_.end()) return;
    std::move_backward(paths_.begin(), paths_.end() - 1, paths_.end());
    paths_[0] = path;
    // Stored at once rather than when the window goes, so that a run that ends badly keeps it.
    std::unique_ptr<RegistryKey> key = registry_ ? registry_->create(kProfileRoot) : nullptr;
    for (int k = 0; key && k < kRecentPlaylists; ++k) key->set("MRU" + std::to_string(k), paths_[k]);
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> shown;
    for (const std::string& path : paths_)
      if (!path.empty()) shown.push_back(path);
    return shown;
  }

 private:
  Registry* const registry_;
  std::array<std::string, kRecentPlaylists> paths_;
};

PlaylistEditor::PlaylistEditor(Prompts& prompts, PlaylistEditorView& view, PlaylistDialogs& dialogs,
                               PlaylistListWindow& rows, PlaylistBroadcast& broadcast, Registry* registry)
    : prompts_(prompts),
      view_(view),
      dialogs_(dialogs),
      rows_(rows),
      broadcast_(broadcast),
      recent_(std::make_unique<Recent>(registry)) {
  view_.showRecent(recent_->entries());
  setTitle(kNoTitle);
  refreshLabels();
}

PlaylistEditor::~PlaylistEditor() = default;

Playlist& PlaylistEditor::ensurePlaylist() {
  if (!playlist_) {
    playlist_ = std::make_unique<Playlist>(prompts_);
    playlist_->attachListWindow(&rows_);
    playlist_->setListener(this);
  }
  return *playlist_;
}

int PlaylistEditor::startIndex() const {
  // Tracks may have been removed since the member chose one.
  return playlist_ && startIndex_ < playlist_->count() ? startIndex_ : 0;
}

bool PlaylistEditor::unsavedNewPlaylist() const {
  return playlist_ && playlist_->count() > 0 && playlist_->modified();
}

void PlaylistEditor::refreshLabels() {
  std::string length;
  if (!playlist_) {
    view_.showLabels("<none>", 0, hoursMinutesSeconds(0));
    return;
  }
  playlist_->totalTime(true, &length);
  view_.showLabels(playlist_->name(), playlist_->count(), length);
}

void PlaylistEditor::setTitle(const std::string& title) {
  view_.showTitle(title);
}

bool PlaylistEditor::mayReplaceList() {
  if (!broadcast_.playlistSource() || !broadcast_.onAir()) return true;
  if (!prompts_.ask(Question::stopping(kStopQuestion))) return false;
  broadcast_.stop();
  return true;
}

// ---- the File menu ----

// A path is remembered, and the broadcast stopped, only for a list that loads.
bool PlaylistEditor::loadPlaylistFile(const std::string& path) {
  bool loaded = ensurePlaylist().load(path, [this] { return mayReplaceList(); });
  if (loaded) loadedFrom(path);
  refreshLabels();
  return loaded;
}

void PlaylistEditor::loadedFrom(const std::string& path) {
  startIndex_ = 0;
  setTitle(path);
  recent_->add(path);
  view_.showRecent(recent_->entries());
}

void PlaylistEditor::newPlaylist() {
  if (!playlist_ || rows_.rowCount() == 0) return;
  if (!prompts_.ask("This will clear your any current loaded playlist. Are you sure you want to continue?"))
    return;
  if (!mayReplaceList()) return;
  // In place: the engine and the supervisor still hold this very list.
  playlist_->clear();
  startIndex_ = 0;
  setTitle(kNoTitle);
  refreshLabels();
}

void PlaylistEditor::openPlaylist() {
  if (std::exchange(dialogOpen_, true)) return;
  if (std::optional<std::string> path =
          ensurePlaylist().loadWithDialog(dialogs_, [this] { return mayReplaceList(); }))
    loadedFrom(*path);
  refreshLabels();
  dialogOpen_ = false;
}

bool PlaylistEditor::savePlaylist() {
  if (std::exchange(dialogOpen_, true)) return false;
  std::optional<std::string> path = ensurePlaylist().save(dialogs_);
  if (path) {
    setTitle(*path);
    programValues().setPlaylist(*path);
    recent_->add(*path);
    view_.showRecent(recent_->entries());
    refreshLabels();
  }
  dialogOpen_ = false;
  return path.has_value();
}

void PlaylistEditor::openRecent(int k) {
  std::vector<std::string> paths = recent_->entries();
  if (k >= 0 && k < static_cast<int>(paths.size())) loadPlaylistFile(paths[k]);
}

void PlaylistEditor::id3Scan() {
  if (!playlist_) return;
  // By index, the count read anew each time: the list may change while a dialog is open.
  for (int i = 0; i < playlist_->count(); ++i) {
    PlaylistItemRef item = playlist_->item(i);
    if (!item || item->mp3Info().hasTag()) continue;
    if (!prompts_.ask(formatText("%s has no ID3 tag. Edit now?\n", item->fullpath().c_str()))) continue;
    if (reportVanished(*item, prompts_)) {
      playlist_->redrawList();
    } else if (view_.editTag(*item)) {
      int row = playlist_->indexOf(item.get());
      if (row >= 0) playlist_->refreshRow(row);
    }
  }
}

// ---- adding tracks ----

void PlaylistEditor::addTracks() {
  if (std::exchange(dialogOpen_, true)) return;
  ensurePlaylist();
  std::vector<std::string> paths = view_.chooseMp3Files(programValues().mp3path().value_or(std::string()));
  if (!paths.empty()) programValues().setMp3path(folderPart(paths.front()));
  dialogOpen_ = false;
  addFiles(paths);
}

void PlaylistEditor::addFiles(const std::vector<std::string>& paths) {
  ensurePlaylist().addFiles(paths, AddMode::InsertOrAppend);
  followPlaying();
  refreshLabels();
}

void PlaylistEditor::addFirstTracks(const std::vector<std::string>& paths) {
  Playlist& playlist = ensurePlaylist();
  bool unsaved = playlist.modified();
  addFiles(paths);
  if (!unsaved) playlist.markSaved();
}

// Tracks and folders go in as one batch, in their order; a playlist file replaces the list.
void PlaylistEditor::dropFiles(const std::vector<std::string>& paths) {
  Playlist& playlist = ensurePlaylist();
  std::vector<std::string> tracks;
  for (const std::string& path : paths) {
    // A folder first: its name may well contain ".mp3".
    if (isFolder(path)) {
      std::set<std::pair<dev_t, ino_t>> entered;
      collectTrackFiles(path, entered, tracks);
    } else if (isTrackName(path)) {
      tracks.push_back(path);
    } else {
      bool wasOnAir = broadcast_.playlistSource() && broadcast_.onAir();
      if (loadPlaylistFile(path) && wasOnAir) broadcast_.start();
    }
  }
  if (playlist.addFiles(tracks, AddMode::InsertOrAppend) > 0) {
    startIndex_ = 0;
    setTitle(kNoTitle);
    followPlaying();
  }
  refreshLabels();
}

// ---- the buttons ----

int PlaylistEditor::playingRow() const {
  // The engine's own index stays where the track started; the list's mark follows its row.
  return playlist_ && broadcast_.engineIndex() >= 0 ? playlist_->currentIndex() : -1;
}

// The track on the air stays, with a word why; the rest of the selection goes.
void PlaylistEditor::deleteSelected() {
  if (!playlist_) return;
  std::vector<int> selected = rows_.selectedRows();
  const bool keptPlaying = std::erase(selected, playingRow()) > 0;
  if (!selected.empty()) {
    playlist_->removeItems(selected);
    followPlaying();
    refreshLabels();
  }
  if (keptPlaying) prompts_.warning("You cannot delete the current playing track");
}

void PlaylistEditor::moveSelected(bool up) {
  if (playlist_ && playlist_->moveItems(rows_.selectedRows(), up)) showNextTrack();
}

void PlaylistEditor::moveSelectedTo(int before) {
  if (playlist_ && playlist_->moveItemsTo(rows_.selectedRows(), before)) showNextTrack();
}

void PlaylistEditor::followPlaying() {
  const int row = playingRow();
  if (row >= 0) broadcast_.showTrackNumber(row + 1);
}

void PlaylistEditor::showNextTrack() {
  followPlaying();
  PlaylistItemRef next = playlist_->nextItem(playlist_->currentIndex(), broadcast_.continuousLoop());
  if (!next) return;
  MP3Info info = next->mp3Info();
  broadcast_.showNextTrack(formatText("%s (%s,%s)", info.title().c_str(), info.artist().c_str(),
                                      minutesSeconds(info.duration()).c_str()));
}

void PlaylistEditor::randomize() {
  if (!playlist_) return;
  if (broadcast_.playlistSource() && broadcast_.onAir()) {
    if (!prompts_.ask(Question::stopping(
            "Randomizing the playlist needs to restart the broadcast. Are you sure you want this?")))
      return;
    broadcast_.stop();
    playlist_->shuffle();
    broadcast_.start();
  } else if (prompts_.ask("Are you sure you want to randomize this playlist?")) {
    playlist_->shuffle();
  }
}

void PlaylistEditor::showCurrent() {
  if (playlist_) playlist_->showCurrentRow();
}

void PlaylistEditor::trackInfo() {
  PlaylistItemRef item = playlist_ ? playlist_->item(rows_.firstSelectedRow()) : nullptr;
  if (!item || !view_.showTrackInfo(item->mp3Info())) return;
  // The list may have changed while the window was open.
  int row = playlist_->indexOf(item.get());
  if (row >= 0) startPlayingAt(row);
}

void PlaylistEditor::startPlayingAt(int index) {
  startIndex_ = index;
  if (index >= 0 && broadcast_.playlistSource() && playingRow() == index) return;
  bool onAir = broadcast_.onAir();
  if (onAir && broadcast_.playlistSource()) {
    broadcast_.jumpTo(index);
    return;
  }
  if (onAir && !prompts_.ask(Question::stopping(
                   "You are currently broadcasting from another source, do you want to switch?")))
    return;
  // The member asked for the playlist, whatever the source was: switching restarts a running
  // broadcast on the playlist, at the start index.
  if (!broadcast_.playlistSource()) {
    broadcast_.switchToPlaylist();
    if (onAir) return;
  }
  broadcast_.start();
}

// ---- PlaylistListener ----

bool PlaylistEditor::enginePlaying() {
  return broadcast_.engineIndex() >= 0;
}

void PlaylistEditor::nextTrackChanged(const std::string& displayTitle) {
  broadcast_.showNextTrack(displayTitle);
}

}  // namespace brovana
