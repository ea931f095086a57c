#pragma once
// The rows of the playlist window's list as the Playlist sees them: a list window that keeps its
// rows in memory and answers at once on any thread, and a journal of its changes that the window
// on screen takes on the user-interface thread. The broadcast engine's calls (the current mark,
// the shuffle at the end of a pass) thus never wait for the screen, and a playlist of thousands
// of tracks reaches the screen in one go.
//
// The selection (any number of rows) follows its rows as a list control's does: rows inserted
// above a selected row move it down, deleting a selected row drops it from the selection.
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
  std::vector<int> selectedRows() const override;
  void selectRow(int row) override;
  void selectRows(const std::vector<int>& rows) override;
  void ensureRowVisible(int row) override;
  int rowCount() const override;
  PlaylistItemRef rowItem(int row) const override;
  void redraw() override;

  // The changes since the last call, oldest first.
  std::vector<Change> takeChanges();
  // The member selected the rows that show `items` on screen (none: no selection). The screen
  // may be a few changes behind the rows, so the selection goes by item.
  void userSelected(const std::vector<const PlaylistItem*>& items);
  // The row that shows `item` now; -1 when none does.
  int rowOf(const PlaylistItem* item) const;

 private:
  void record(Change change);
  int size() const { return static_cast<int>(rows_.size()); }
  void selectLocked(std::vector<int> rows);

  const std::function<void()> changed_;
  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> rows_;
  std::vector<int> selected_;  // ascending
  std::vector<Change> journal_;
};

}  // namespace brovana
