#pragma once
// The rows of the playlist window's list as the Playlist sees them: a list window that keeps its
// rows in memory and answers at once on any thread, and a journal of its changes that the window
// on screen takes on the user-interface thread. The broadcast engine's calls (the current mark,
// the shuffle at the end of a pass) thus never wait for the screen, and a playlist of thousands
// of tracks reaches the screen in one go.
//
// The selection follows its row as a list control's does: rows inserted above it move it down,
// deleting the selected row clears it.
//
// Thread safety: every call takes the rows' lock. The `changed` callback runs on the thread that
// made the change, with the lock (and the playlist's) held: it may only post.

#include <functional>
#include <mutex>
#include <vector>

#include "playlist/list_window.h"

namespace brovana {

class ListRows final : public PlaylistListWindow {
 public:
  struct Change {
    enum class Kind { Insert, Delete, Clear, Select, Show, Redraw };
    Kind kind;
    int row = -1;          // Insert (-1: at the end), Delete, Select, Show
    PlaylistItemRef item;  // Insert
  };

  // `changed` is called when a change finds the journal empty.
  explicit ListRows(std::function<void()> changed);

  void insertRow(int row, PlaylistItemRef item) override;
  void deleteRow(int row) override;
  void deleteAllRows() override;
  int firstSelectedRow() const override;
  void selectRow(int row) override;
  void ensureRowVisible(int row) override;
  int rowCount() const override;
  PlaylistItemRef rowItem(int row) const override;
  void redraw() override;

  // The changes since the last call, oldest first.
  std::vector<Change> takeChanges();
  // The member selected the row that shows `item` on screen (null: none). The screen may be a
  // few changes behind the rows, so the selection goes by item.
  void userSelected(const PlaylistItem* item);

 private:
  void record(Change change);
  int size() const { return static_cast<int>(rows_.size()); }

  const std::function<void()> changed_;
  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> rows_;
  int selected_ = -1;
  std::vector<Change> journal_;
};

}  // namespace brovana
