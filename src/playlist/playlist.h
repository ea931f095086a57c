#pragma once
// The program's one track list: adding tracks, loading and saving playlist files (extended M3U,
// PLS, and the old Mirobeam text format for reading), reordering, shuffling, and the mark of the
// track now playing. It keeps the rows of its list window in step with its items.
//
// Thread safety: the window edits the list on the user-interface thread while the broadcast
// engine reads items, marks the current one and sets flags from its own thread. Every operation
// takes the playlist's lock; items are handed out as shared references, so whatever an edit
// removes stays valid for a reader that still holds it. Questions and messages are shown with
// the lock released, so a modal dialog can never stall the engine.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playlist/list_window.h"
#include "playlist/mp3_info.h"
#include "playlist/playlist_files.h"
#include "playlist/playlist_item.h"

namespace brovana {

class Prompts;

enum class AddMode {
  Append = 1,                // at the end
  InsertAfterSelection = 2,  // after the first selected row; at the top without a selection
  InsertOrAppend = 3,        // after the first selected row; at the end without a selection
};

enum class SaveType { M3U = 1, PLS = 2 };

// A track whose file cannot be opened; %s is its path.
inline constexpr const char* kTrackMissingText = "Unable to find %s. Either the file was deleted or moved.";

class Playlist {
 public:
  explicit Playlist(Prompts& prompts);
  ~Playlist();
  Playlist(const Playlist&) = delete;
  Playlist& operator=(const Playlist&) = delete;

  // The new item's file name, or none when the file was refused (with a message).
  std::optional<std::string> addFile(std::string_view path, AddMode mode);
  // Several files in their order: the first goes where `mode` says, each other one after it.
  // How many were added.
  int addFiles(const std::vector<std::string>& paths, AddMode mode);

  // Replaces the list by a playlist file's tracks. The file is read and recognised, and the
  // unsaved-list question asked, before `mayReplace` is (it may stop the broadcast); false from
  // it leaves the list alone. The path is the stored playlist once it loaded.
  using MayReplace = std::function<bool()>;
  bool load(const std::string& path, const MayReplace& mayReplace = {});
  // The chosen path when a file was chosen and loaded.
  std::optional<std::string> loadWithDialog(PlaylistDialogs& dialogs, const MayReplace& mayReplace = {});
  // The path written, or none.
  std::optional<std::string> save(PlaylistDialogs& dialogs);
  // The save after the dialog: the extension rule, then the file. The path written, or none.
  std::optional<std::string> saveAs(const std::string& path, SaveType type);

  // Drops every item; the rows are left to the caller.
  void dropItems();
  // Empties the list and its rows in place, as it was made: whoever holds the list (the engine,
  // the supervisor) keeps a valid, empty one.
  void clear();
  // Removes the items at these indices (in any order; bad ones are left out), with their rows;
  // the row that takes the first one's place is selected.
  void removeItems(const std::vector<int>& indices);
  // Moves the items at these indices one place up (down) together, each keeping its distance to
  // the others; nothing moves when one of them is at that end already. False when nothing moved.
  bool moveItems(const std::vector<int>& indices, bool up);
  // Moves the items at these indices, in their order, as one block before the item at `before`
  // (at the end for count()). False when nothing moved.
  bool moveItemsTo(const std::vector<int>& indices, int before);
  // Random order drawn from a generator seeded with the time.
  void shuffle();
  // The same draw from a given seed.
  void shuffle(unsigned seed);
  // -1 clears the mark.
  void setCurrent(int index);
  // The item after `index` (-1: the first); after the last one the first with `wrap`, else none.
  PlaylistItemRef nextItem(int index, bool wrap) const;
  // The index of the item with this exact path, trying `hint` first; -1 when there is none or
  // no item at `hint`.
  int findByPath(int hint, std::string_view path) const;
  // With `sum`, the total length of all items in seconds, else 0; kept and, with `text`,
  // written as "h:mm:ss".
  int totalTime(bool sum, std::string* text = nullptr);

  int count() const;
  // Null when out of range.
  PlaylistItemRef item(int index) const;
  std::optional<MP3Info> mp3Info(int index) const;
  // The index of an item held by reference; -1 when it is no longer in the list.
  int indexOf(const PlaylistItem* item) const;
  // The items in order, as one consistent copy.
  std::vector<PlaylistItemRef> items() const;
  int currentIndex() const;
  std::string name() const;
  bool modified() const;
  // As just saved or loaded.
  void markSaved();
  // Replaces the item at an index; false when out of range or null.
  bool setItem(int index, PlaylistItemRef item);
  void attachListWindow(PlaylistListWindow* window);
  void setListener(PlaylistListener* listener);

  // Row operations on the list window.
  void refreshRow(int index);
  void showCurrentRow();
  void showRow(int index, bool select);
  void redrawList();

  // Takes the order of the items from the window's rows (after the user dragged rows).
  void syncFromWindow();
  void clearNewFlags();

 private:
  // addFile; `previous` is the row the batch's previous file went to (-1: none yet), and becomes
  // this one's.
  std::optional<std::string> addFileAfter(std::string_view path, AddMode mode, int& previous);
  int indexOfLocked(const PlaylistItem* item) const;
  void freeItemsLocked();
  void setCurrentLocked(int index);
  // Returns the item that follows the current one when the listener needs to hear of it.
  PlaylistItemRef syncFromWindowLocked();
  void tellNextTrack(const PlaylistItemRef& next);
  // The valid indices among these, ascending, each once.
  std::vector<int> validIndicesLocked(std::vector<int> indices) const;
  // Moves the items at `from` to the places `to` (both ascending, as many), the others keeping
  // their order; the rows follow, the moved ones stay selected and `show` comes into view.
  PlaylistItemRef placeLocked(const std::vector<int>& from, const std::vector<int>& to, int show);
  void shuffleLocked(unsigned seed);

  Prompts& prompts_;
  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> items_;
  bool modified_ = false;
  int currentIndex_ = -1;
  std::string name_ = "<none>";
  std::string path_;  // the file it was loaded from or saved to; empty for a new list
  PlaylistListWindow* listWindow_ = nullptr;
  PlaylistListener* listener_ = nullptr;
  int totalTime_ = 0;
};

}  // namespace brovana
