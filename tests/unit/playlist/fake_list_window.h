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
    if (row < 0 || row > static_cast<int>(rows_.size())) row = static_cast<int>(rows_.size());
    rows_.insert(rows_.begin() + row, std::move(item));
  }
  void deleteRow(int row) override {
    std::lock_guard lock(mutex_);
    if (row >= 0 && row < static_cast<int>(rows_.size())) rows_.erase(rows_.begin() + row);
    if (selected_ >= static_cast<int>(rows_.size())) selected_ = -1;
  }
  void deleteAllRows() override {
    std::lock_guard lock(mutex_);
    rows_.clear();
    selected_ = -1;
  }
  int firstSelectedRow() const override {
    std::lock_guard lock(mutex_);
    return selected_;
  }
  void selectRow(int row) override {
    std::lock_guard lock(mutex_);
    selected_ = row;
  }
  void ensureRowVisible(int row) override {
    std::lock_guard lock(mutex_);
    visible_ = row;
  }
  int rowCount() const override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(rows_.size());
  }
  PlaylistItemRef rowItem(int row) const override {
    std::lock_guard lock(mutex_);
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row] : nullptr;
  }
  void redraw() override {
    std::lock_guard lock(mutex_);
    ++redraws_;
  }

  // What the user does with the mouse: drag a row elsewhere, or any other change of the rows.
  void dragRow(int from, int to) {
    std::lock_guard lock(mutex_);
    const int n = static_cast<int>(rows_.size());
    if (from < 0 || from >= n || to < 0 || to >= n) return;
    PlaylistItemRef item = rows_[from];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(item));
  }
  void setRows(std::vector<PlaylistItemRef> rows) {
    std::lock_guard lock(mutex_);
    rows_ = std::move(rows);
  }
  std::vector<PlaylistItemRef> rows() const {
    std::lock_guard lock(mutex_);
    return rows_;
  }
  int visibleRow() const {
    std::lock_guard lock(mutex_);
    return visible_;
  }
  int redraws() const {
    std::lock_guard lock(mutex_);
    return redraws_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<PlaylistItemRef> rows_;
  int selected_ = -1;
  int visible_ = -1;
  int redraws_ = 0;
};

class FakeDialogs : public PlaylistDialogs {
 public:
  std::optional<FileDialogChoice> openFile(const FileDialogRequest& request) override {
    requests.push_back(request);
    return next();
  }
  std::optional<FileDialogChoice> saveFile(const FileDialogRequest& request) override {
    requests.push_back(request);
    return next();
  }
  std::deque<std::optional<FileDialogChoice>> answers;  // none: cancelled
  std::vector<FileDialogRequest> requests;

 private:
  std::optional<FileDialogChoice> next() {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace brovana::test
