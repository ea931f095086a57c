#pragma once
// What the playlist window does for the member, apart from drawing: the File menu (new, open,
// save, the recent playlists, the ID3 scan), the buttons (add, delete, move, randomize, show the
// track on the air), files and folders dropped on it, Track Info, and starting the broadcast at
// a chosen track. The window on screen implements the view below and hands its commands here;
// the broadcast is reached through a port that the supervisor's side adapts.
//
// The editor makes the program's one Playlist when first needed and keeps it until it goes: the
// engine and the supervisor hold on to that list, so a new playlist empties it in place.
//
// Threads: every call comes from the user-interface thread.

#include <memory>
#include <string>
#include <vector>

#include "playlist/playlist.h"

namespace brovana {

class Prompts;
class Registry;

// The broadcast as the playlist window sees it.
class PlaylistBroadcast {
 public:
  virtual ~PlaylistBroadcast() = default;
  // The active source is the playlist.
  virtual bool playlistSource() const = 0;
  // Something is on the air (the playlist, or an external source), or a start is under way.
  virtual bool onAir() const = 0;
  // The index the engine plays; -1 when it is idle.
  virtual int engineIndex() const = 0;
  // Returns once it is off the air.
  virtual void stop() = 0;
  // Starts broadcasting the current source, the playlist at the window's start index; returns
  // at once, the start goes on by itself.
  virtual void start() = 0;
  virtual void switchToPlaylist() = 0;
  // The engine ends the track it plays and goes on at `index`.
  virtual void jumpTo(int index) = 0;
  virtual bool continuousLoop() const = 0;
  // The status display's next track.
  virtual void showNextTrack(const std::string& text) = 0;
  // The status display's track number: the position of the track on the air in the list.
  virtual void showTrackNumber(int number) = 0;
};

// The playlist window on screen.
class PlaylistEditorView {
 public:
  virtual ~PlaylistEditorView() = default;
  virtual void showLabels(const std::string& name, int count, const std::string& length) = 0;
  // The playlist title: the path of the playlist file last loaded or saved, or "none".
  virtual void showTitle(const std::string& title) = 0;
  // The "Recent Playlists" menu, newest first (entries 38100, 38101, ...).
  virtual void showRecent(const std::vector<std::string>& paths) = 0;
  // The add-files dialog, starting in `folder`; the chosen files, none when cancelled.
  virtual std::vector<std::string> chooseMp3Files(const std::string& folder) = 0;
  // "Track Info" of one track; true when it was closed with its play button.
  virtual bool showTrackInfo(const MP3Info& info) = 0;
  // The tag dialog for the item's file; true when it wrote a tag.
  virtual bool editTag(PlaylistItem& item) = 0;
};

inline constexpr int kRecentPlaylists = 5;
inline constexpr int kFirstRecentCommand = 38100;

class PlaylistEditor final : private PlaylistListener {
 public:
  // Each must outlive the editor; `registry` (the recent list's store) may be null.
  PlaylistEditor(Prompts& prompts, PlaylistEditorView& view, PlaylistDialogs& dialogs,
                 PlaylistListWindow& rows, PlaylistBroadcast& broadcast, Registry* registry);
  ~PlaylistEditor() override;
  PlaylistEditor(const PlaylistEditor&) = delete;
  PlaylistEditor& operator=(const PlaylistEditor&) = delete;

  // The list; null until one was needed.
  Playlist* playlist() const { return playlist_.get(); }
  // Where a broadcast of the list starts: the track the member last asked for.
  int startIndex() const;
  // Tracks were added or moved since the last load or save.
  bool unsavedNewPlaylist() const;

  // A playlist file from a path: Open, the recent list, dropped files, the supervisor.
  bool loadPlaylistFile(const std::string& path);
  void newPlaylist();
  void openPlaylist();
  // True when the list was written.
  bool savePlaylist();
  // Entry k of the "Recent Playlists" menu.
  void openRecent(int k);
  // The Add button: the add-files dialog.
  void addTracks();
  // MP3 files from elsewhere (the setup wizard), added after the selection or at the end.
  void addFiles(const std::vector<std::string>& paths);
  // The setup wizard's first tracks: they make no unsaved list of the member's own.
  void addFirstTracks(const std::vector<std::string>& paths);
  void dropFiles(const std::vector<std::string>& paths);
  // Delete, Up and Down act on every selected row; the moved rows stay selected.
  void deleteSelected();
  void moveSelected(bool up);
  // The selected rows dragged before row `before` (rowCount(): to the end).
  void moveSelectedTo(int before);
  void randomize();
  void showCurrent();
  // Double click: Track Info of the selected track, which may start playing it.
  void trackInfo();
  void startPlayingAt(int index);
  // Offers the tag dialog for every track without a tag.
  void id3Scan();
  void refreshLabels();

 private:
  class Recent;

  Playlist& ensurePlaylist();
  // The row of the track on the air; -1 when the engine is idle.
  int playingRow() const;
  // The status display after rows moved: the next track, and where the one on the air is now.
  void showNextTrack();
  void followPlaying();
  // A playlist broadcast is stopped before its list is replaced, if the member agrees.
  bool mayReplaceList();
  void setTitle(const std::string& title);
  // The list came from the file at `path`: its title, and the recent list.
  void loadedFrom(const std::string& path);

  // PlaylistListener
  bool enginePlaying() override;
  void nextTrackChanged(const std::string& displayTitle) override;

  Prompts& prompts_;
  PlaylistEditorView& view_;
  PlaylistDialogs& dialogs_;
  PlaylistListWindow& rows_;
  PlaylistBroadcast& broadcast_;
  std::unique_ptr<Recent> recent_;
  std::unique_ptr<Playlist> playlist_;
  int startIndex_ = 0;
  bool dialogOpen_ = false;  // Open, Save and Add do not run twice at once
};

}  // namespace brovana
