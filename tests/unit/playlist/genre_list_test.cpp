#include "playlist/genre_list.h"

#include <gtest/gtest.h>

#include <map>

#include "core/text.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

struct FakePicker : GenrePicker {
  void clear() override { names.clear(), selected = -99; }
  void add(const std::string& name) override { names += name + ","; }
  void select(int position) override { selected = position; }
  std::string names = "stale", shown() const { return names + std::to_string(selected); }
  int selected = -99;
};

// The three pickers as "names,selected|...".
template <typename Fill>
std::string pickers(Fill fill) {
  FakePicker p1, p2, p3;
  fill(p1, p2, p3);
  return p1.shown() + "|" + p2.shown() + "|" + p3.shown();
}

// The entries as "a.b.c/level name|...".
std::string entries(const GenreList& list) {
  std::string out;
  for (const GenreEntry& e : list.entries())
    out += formatText("%d.%d.%d/%d %s|", e.a, e.b, e.c, e.level, e.name.c_str());
  return out;
}

TEST(GenreList, LinesBecomeEntriesWithTheirLevelWithinTheLimits) {
  // Control characters end lines; bytes above 127 are ordinary characters; an unfinished last
  // line is no entry.
  EXPECT_EQ(
      entries(GenreList::parse("0 Rock\r\n0.1   Heavy   Metal  \t\n\n\n2.3.4 An overly long genre name that "
                               "goes on\n7\nno number here\n3 Caf\xC3\xA9\x01"
                               "4 last")),
      "0.-1.-1/0 Rock|0.1.-1/1 Heavy   Metal|2.3.4/2 An overly long genre name|7.-1.-1/0 |"
      "-1.-1.-1/0 number here|3.-1.-1/0 Caf\xC3\xA9|");
  // A line holds 255 characters; the rest of it is dropped, not made into another entry.
  EXPECT_EQ(GenreList::parse("0 " + std::string(300, 'x') + "\n1 Next\n").entries().size(), 2u);
  // Only the first 10,000 bytes are read.
  std::string big;
  while (big.size() < 9990) big += "0 Filler\n";
  EXPECT_EQ(GenreList::parse(big + "1 Beyond the limit\n").entries().back().name, "Filler");
  test::TempFolder folder;
  EXPECT_TRUE(GenreList::load(folder.file("genre.txt")).entries().empty());
}

TEST(GenreList, PickersShowThePathByNumbersOrByNames) {
  GenreList list = GenreList::parse(
      "0 Rock\n0.0 Classic Rock\n0.1 Metal\n0.1.0 Thrash\n0.1.1 Doom\n1 Jazz\n1.0 Bebop\n1.0.0 Hard Bop\n1.1 "
      "Swing\n");
  const std::string first = "Rock,Jazz,";
  for (auto [a, b, shown] : {std::tuple{0, 1, "0|Classic Rock,Metal,1|Thrash,Doom,0"},
                             {1, 0, "1|Bebop,Swing,0|Hard Bop,0"},
                             {5, 0, "5|0|0"}})
    EXPECT_EQ(pickers([&](auto& p1, auto& p2, auto& p3) { list.fillByNumbers(a, b, p1, p2, p3); }),
              first + shown);
  for (auto [n1, n2, n3, shown] : {std::tuple{"Jazz", "Bebop", "Hard Bop", "1|Bebop,Swing,0|Hard Bop,0"},
                                   {"Jazz", "Nothing", "", "1|Bebop,Swing,-2|-2"},
                                   {"rock", "", "", "-2|-2|-2"}})  // names match exactly
    EXPECT_EQ(pickers([&](auto& p1, auto& p2, auto& p3) { list.fillByNames(n1, n2, n3, p1, p2, p3); }),
              first + shown)
        << n1;
}

// The list the program ships: readable within the limits, and numbered so that every number is
// a position among its siblings, which is what the pickers rely on.
TEST(GenreList, ShippedListIsConsistent) {
  std::string text = test::readFile(BROVANA_SHARE_GENRES);
  ASSERT_TRUE(text.ends_with('\n')) << BROVANA_SHARE_GENRES;
  EXPECT_LT(text.size(), 10000u);
  GenreList list = GenreList::parse(text);
  ASSERT_GE(list.entries().size(), 40u);
  std::map<std::vector<int>, int> nextChild;  // parent path -> expected next position
  for (const GenreEntry& e : list.entries()) {
    EXPECT_TRUE(!e.name.empty() && e.name.size() <= 25u) << e.name;
    std::vector<int> path{e.a, e.b, e.c};
    path.resize(e.level + 1);
    int position = path.back();
    path.pop_back();
    if (!path.empty()) {
      std::vector<int> grand(path.begin(), path.end() - 1);
      EXPECT_GT(nextChild[grand], path.back()) << e.name << ": a child before or without its parent";
    }
    EXPECT_EQ(position, nextChild[path]++) << e.name;
  }
}

}  // namespace
}  // namespace brovana
