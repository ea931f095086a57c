#include "playlist/list_rows.h"

#include <algorithm>
#include <unordered_set>
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
  for (int& selected : selected_)
    if (selected >= row) ++selected;
  record({Change::Kind::Insert, row, std::move(item)});
}

void ListRows::deleteRow(int row) {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= size()) return;
  rows_.erase(rows_.begin() + row);
  std::erase(selected_, row);
  for (int& selected : selected_)
    if (selected > row) --selected;
  record({Change::Kind::Delete, row, nullptr});
}

void ListRows::deleteAllRows() {
  std::lock_guard lock(mutex_);
  rows_.clear();
  selected_.clear();
  record({Change::Kind::Clear, -1, nullptr});
}

int ListRows::firstSelectedRow() const {
  std::lock_guard lock(mutex_);
  return selected_.empty() ? -1 : selected_.front();
}

std::vector<int> ListRows::selectedRows() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

void ListRows::selectRow(int row) {
  std::lock_guard lock(mutex_);
  selectLocked({row});
  record({Change::Kind::Select, selected_.empty() ? -1 : row, nullptr});
}

void ListRows::selectRows(const std::vector<int>& rows) {
  std::lock_guard lock(mutex_);
  selectLocked(rows);
  record({Change::Kind::Select, selected_.empty() ? -1 : selected_.front(), nullptr});
}

void ListRows::selectLocked(std::vector<int> rows) {
  std::erase_if(rows, [this](int row) { return row < 0 || row >= size(); });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  selected_ = std::move(rows);
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

void ListRows::userSelected(const std::vector<const PlaylistItem*>& items) {
  std::lock_guard lock(mutex_);
  std::unordered_set<const PlaylistItem*> chosen(items.begin(), items.end());
  selected_.clear();
  for (int row = 0; row < size() && !chosen.empty(); ++row)
    if (chosen.erase(rows_[row].get()) == 1) selected_.push_back(row);
}

int ListRows::rowOf(const PlaylistItem* item) const {
  std::lock_guard lock(mutex_);
  auto found =
      std::find_if(rows_.begin(), rows_.end(), [&](const PlaylistItemRef& row) { return row.get() == item; });
  return item && found != rows_.end() ? static_cast<int>(found - rows_.begin()) : -1;
}

}  // namespace brovana
