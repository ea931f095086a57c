#include "playlist/list_rows.h"

#include <algorithm>
#include <utility>

namespace brovana {

ListRows::ListRows(std::function<void()> changed) : changed_(std::move(changed)) {}

void ListRows::record(Change change) {
  // Redraws between other changes add nothing: one at the end repaints them all.
  if (change.kind == Change::Kind::Redraw && !journal_.empty() &&
      journal_.back().kind == Change::Kind::Redraw)
    return;
  journal_.push_back(std::move(change));
  if (journal_.size() == 1 && changed_) changed_();
}

void ListRows::insertRow(int row, PlaylistItemRef item) {
  std::lock_guard lock(mutex_);
  if (!item) return;
  if (row < 0 || row > size()) row = size();
  rows_.insert(rows_.begin() + row, item);
  if (selected_ >= row) ++selected_;
  record({Change::Kind::Insert, row, std::move(item)});
}

void ListRows::deleteRow(int row) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= size()) return;
  rows_.erase(rows_.begin() + row);
  if (selected_ == row)
    selected_ = -1;
  else if (selected_ > row)
    --selected_;
  record({Change::Kind::Delete, row, nullptr});
}

void ListRows::deleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  selected_ = -1;
  record({Change::Kind::Clear, -1, nullptr});
}

int ListRows::firstSelectedRow() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

void ListRows::selectRow(int row) {
  std::lock_guard lock(mutex_);
  selected_ = row >= 0 && row < size() ? row : -1;
  record({Change::Kind::Select, selected_, nullptr});
}

void ListRows::ensureRowVisible(int row) {
  std::lock_guard lock(mutex_);
  if (row >= 0 && row < size()) record({Change::Kind::Show, row, nullptr});
}

int ListRows::rowCount() const {
  std::lock_guard lock(mutex_);
  return size();
}

PlaylistItemRef ListRows::rowItem(int row) const {
  std::lock_guard lock(mutex_);
  return row >= 0 && row < size() ? rows_[row] : nullptr;
}

void ListRows::redraw() {
  std::lock_guard lock(mutex_);
  record({Change::Kind::Redraw, -1, nullptr});
}

std::vector<ListRows::Change> ListRows::takeChanges() {
  std::lock_guard lock(mutex_);
  return std::exchange(journal_, {});
}

void ListRows::userSelected(const PlaylistItem* item) {
  std::lock_guard lock(mutex_);
  auto found =
      std::find_if(rows_.begin(), rows_.end(), [&](const PlaylistItemRef& row) { return row.get() == item; });
  selected_ = item && found != rows_.end() ? static_cast<int>(found - rows_.begin()) : -1;
}

}  // namespace brovana
