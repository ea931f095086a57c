#pragma once
// A playlist list window that keeps its rows in memory, under a lock of its own: the playlist
// calls it from the engine's thread too. And the playlist's file dialogs.

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "playlist/list_window.h"

namespace brovana::test {

class FakeListWindow : public PlaylistListWindow {
 public:
  void insertRow(int row, PlaylistItemRef item) override {
    std::lock_guard lock(mutex_);
    rows_.insert(row < 0 || row > size() ? rows_.end() : rows_.begin() + row, std::move(item));
  }
  void deleteRow(int row) override {
    std::lock_guard lock(mutex_);
    if (row >= 0 && row < size()) rows_.erase(rows_.begin() + row);
    std::erase_if(selected_, [this](int selected) { return selected >= size(); });
  }
  void deleteAllRows() override { setRows({}); }
  int firstSelectedRow() const override {
    std::lock_guard lock(mutex_);
    return selected_.empty() ? -1 : selected_.front();
  }
  std::vector<int> selectedRows() const override {
    std::lock_guard lock(mutex_);
    return selected_;
  }
  void selectRow(int row) override { selectRows({row}); }
  void selectRows(const std::vector<int>& rows) override {
    std::lock_guard lock(mutex_);
    selected_.clear();
    for (int row : rows)
      if (row >= 0) selected_.push_back(row);
  }
  void ensureRowVisible(int) override {}
  int rowCount() const override {
    std::lock_guard lock(mutex_);
    return size();
  }
  PlaylistItemRef rowItem(int row) const override {
    std::lock_guard lock(mutex_);
    return row >= 0 && row < size() ? rows_[row] : nullptr;
  }
  void redraw() override {}

  // What the user does with the mouse: drag a row elsewhere, or any other change of the rows.
  void dragRow(int from, int to) {
    std::lock_guard lock(mutex_);
    if (std::max(from, to) >= size() || std::min(from, to) < 0) return;
    PlaylistItemRef item = rows_[from];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(item));
  }
  void setRows(std::vector<PlaylistItemRef> rows) {
    std::lock_guard lock(mutex_);
    rows_ = std::move(rows);
    if (rows_.empty()) selected_.clear();
  }
  std::vector<PlaylistItemRef> rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }

 private:
  int size() const { return static_cast<int>(rows_.size()); }

  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> rows_;
  std::vector<int> selected_;
};

// Answers every file dialog with `answer` (none: cancelled).
struct FakeDialogs : PlaylistDialogs {
  explicit FakeDialogs(std::optional<FileDialogChoice> answer = {}) : answer(std::move(answer)) {}
  std::optional<FileDialogChoice> openFile(const FileDialogRequest&) override { return answer; }
  std::optional<FileDialogChoice> saveFile(const FileDialogRequest& request) override {
    suggested = request.folder;
    return answer;
  }
  std::optional<FileDialogChoice> answer;
  std::string suggested;  // where the last Save dialog started
};

}  // namespace brovana::test
