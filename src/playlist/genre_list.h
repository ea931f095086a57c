#pragma once
// The station genre list ("genre.txt" in the working folder): a three-level tree of genre names
// that the station settings dialogs offer in three linked pickers. Each line is "a name",
// "a.b name" or "a.b.c name"; the numbers are positions among the entry's siblings.

#include <string>
#include <string_view>
#include <vector>

namespace brovana {

inline constexpr const char* kGenreFile = "genre.txt";

// One drop-down of the station dialogs. A position outside the list selects nothing.
class GenrePicker {
 public:
  virtual ~GenrePicker() = default;
  virtual void clear() = 0;
  virtual void add(const std::string& name) = 0;
  virtual void select(int position) = 0;
};

struct GenreEntry {
  int a = -1;
  int b = -1;  // -1 when absent
  int c = -1;  // -1 when absent
  int level = 0;
  std::string name;
};

class GenreList {
 public:
  // An empty list when the file is missing.
  static GenreList load(const std::string& path = kGenreFile);
  // The file's first 10,000 bytes at most, as load reads them.
  static GenreList parse(std::string_view text);

  const std::vector<GenreEntry>& entries() const { return entries_; }

  // Top level, the children of top-level entry `a`, the children of `a.b`; selects a, b and 0.
  void fillByNumbers(int a, int b, GenrePicker& first, GenrePicker& second, GenrePicker& third) const;
  // The same three lists for the stored genre names; selects the positions of the names found.
  void fillByNames(std::string_view name1, std::string_view name2, std::string_view name3, GenrePicker& first,
                   GenrePicker& second, GenrePicker& third) const;

 private:
  std::vector<GenreEntry> entries_;
};

}  // namespace brovana
