#pragma once
// A list window that keeps its rows in memory, and file dialogs that answer from a script.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "playlist/list_window.h"

namespace brovana::test {

class FakeListWindow : public PlaylistListWindow {
 public:
  void insertRow(int row, PlaylistItemRef item) override {
    std::lock_guard lock(mutex_);
    if (row < 0 || row > size()) row = size();
    rows_.insert(rows_.begin() + row, std::move(item));
  }
  void deleteRow(int row) override {
    std::lock_guard lock(mutex_);
    if (row >= 0 && row < size()) rows_.erase(rows_.begin() + row);
    if (selected_ >= size()) selected_ = -1;
  }
  void deleteAllRows() override { setRows({}); }
  int firstSelectedRow() const override { return locked(selected_); }
  void selectRow(int row) override {
    std::lock_guard lock(mutex_);
    selected_ = row;
  }
  void ensureRowVisible(int row) override {
    std::lock_guard lock(mutex_);
    visible_ = row;
  }
  int rowCount() const override { return static_cast<int>(rows().size()); }
  PlaylistItemRef rowItem(int row) const override {
    std::lock_guard lock(mutex_);
    return row >= 0 && row < size() ? rows_[row] : nullptr;
  }
  void redraw() override {}

  // What the user does with the mouse: drag a row elsewhere, or any other change of the rows.
  void dragRow(int from, int to) {
    std::lock_guard lock(mutex_);
    if (from < 0 || from >= size() || to < 0 || to >= size()) return;
    PlaylistItemRef item = rows_[from];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(item));
  }
  void setRows(std::vector<PlaylistItemRef> rows) {
    std::lock_guard lock(mutex_);
    rows_ = std::move(rows);
    if (rows_.empty()) selected_ = -1;
  }
  std::vector<PlaylistItemRef> rows() const { return locked(rows_); }
  int visibleRow() const { return locked(visible_); }

 private:
  template <class T>
  T locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  int size() const { return static_cast<int>(rows_.size()); }

  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> rows_;
  int selected_ = -1;
  int visible_ = -1;
};

class FakeDialogs : public PlaylistDialogs {
 public:
  std::optional<FileDialogChoice> openFile(const FileDialogRequest& request) override {
    return next(request);
  }
  std::optional<FileDialogChoice> saveFile(const FileDialogRequest& request) override {
    return next(request);
  }
  std::deque<std::optional<FileDialogChoice>> answers;  // none: cancelled
  std::vector<FileDialogRequest> requests;

 private:
  std::optional<FileDialogChoice> next(const FileDialogRequest& request) {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace brovana::test
