#pragma once
// What the playlist needs of the user interface: its list window (one row per item), the open
// and save dialogs for playlist files, and a listener for the next-track text.
//
// The playlist calls the list window while it holds its own lock, from the user-interface
// thread and from the broadcast engine's thread. An implementation therefore applies row
// changes in call order, answers queries with every earlier change applied, never blocks on
// another thread to do so, and never calls back into the Playlist from these calls. Rows hold
// item references, so a row can still be drawn after the playlist has dropped its item.

#include <optional>
#include <string>
#include <vector>

#include "playlist/playlist_item.h"

namespace brovana {

class PlaylistListWindow {
 public:
  virtual ~PlaylistListWindow() = default;
  // row -1: at the end.
  virtual void insertRow(int row, PlaylistItemRef item) = 0;
  virtual void deleteRow(int row) = 0;
  virtual void deleteAllRows() = 0;
  // -1 when no row is selected.
  virtual int firstSelectedRow() const = 0;
  // Every selected row, in ascending order.
  virtual std::vector<int> selectedRows() const = 0;
  // Selects this row alone; -1 clears the selection.
  virtual void selectRow(int row) = 0;
  // Selects exactly these rows; rows that do not exist are left out.
  virtual void selectRows(const std::vector<int>& rows) = 0;
  virtual void ensureRowVisible(int row) = 0;
  virtual int rowCount() const = 0;
  // Null for a row that does not exist.
  virtual PlaylistItemRef rowItem(int row) const = 0;
  virtual void redraw() = 0;
};

struct FileType {
  std::string description;  // "Playlist (*.m3u;*.pls)"
  std::string pattern;      // "*.m3u;*.pls"
};

struct FileDialogRequest {
  std::string title;
  std::string folder;  // where the dialog starts, or a file in it to suggest; empty: the toolkit's choice
  std::vector<FileType> types;
};

struct FileDialogChoice {
  std::string path;
  int type = 1;  // the chosen file type, counting from 1
};

// The GUI shows file dialogs; tests and the headless studio answer with a path.
class PlaylistDialogs {
 public:
  virtual ~PlaylistDialogs() = default;
  // None when cancelled.
  virtual std::optional<FileDialogChoice> openFile(const FileDialogRequest& request) = 0;
  // Asks before overwriting an existing file; none when cancelled.
  virtual std::optional<FileDialogChoice> saveFile(const FileDialogRequest& request) = 0;
};

// The status display's side: whether the engine plays, and the text naming the next track.
// Called without the playlist's lock held.
class PlaylistListener {
 public:
  virtual ~PlaylistListener() = default;
  virtual bool enginePlaying() = 0;
  virtual void nextTrackChanged(const std::string& displayTitle) = 0;
};

}  // namespace brovana
