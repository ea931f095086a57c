#pragma once
// What the setup wizard and the Broadcast Information dialog have in common on screen: reading a
// text field as a station text, the output list of a connection, and the three linked genre
// lists.

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <array>
#include <string>
#include <vector>

#include "playlist/genre_list.h"

namespace brovana {

// The field's text in UTF-8, without control characters (a pasted line end must not reach a
// header line), and at most `limit` characters.
std::string stationText(const QLineEdit& field, int limit);

// The connection's qualities into `list`; selects `bitrate` when the list holds it, else the first.
void fillQualities(QComboBox& list, int connection, int bitrate = 0);

// The three genre lists in a row, with the captions "2 :" and "3 :" between them; the first
// list's caption is the dialog's. They are filled with the service's genre names, or from the
// station genre hierarchy, whose top level picks the second list's names and the second the
// third's. Each list is named `firstId` + its index; the captions take the two ids below.
class GenreLists {
 public:
  GenreLists(const GenreList& hierarchy, int firstId);

  QHBoxLayout& row() { return row_; }
  QComboBox& list(int index) { return lists_[static_cast<size_t>(index)]; }
  // Every list holds `names`; nothing is chosen.
  void fillFromTable(const std::vector<std::string>& names);
  // The hierarchy's top level, the children of entry `a` and those of `a.b`; positions a, b and 0
  // chosen. A hierarchy without entries leaves the lists as they are.
  void fillFromHierarchy(int a, int b);
  // The texts chosen, at most `limit` characters each; empty where nothing is.
  std::array<std::string, 3> texts(int limit) const;

 private:
  void firstChosen(int position);
  void secondChosen(int position);

  const GenreList& hierarchy_;
  bool showsHierarchy_ = false;
  QHBoxLayout row_;
  QLabel second_, third_;
  std::array<QComboBox, 3> lists_;
};

}  // namespace brovana
