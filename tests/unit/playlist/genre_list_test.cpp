#include "playlist/genre_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "support/temp_folder.h"

namespace brovana {
namespace {

struct FakePicker : GenrePicker {
  void clear() override { names.clear(), selected = -99; }
  void add(const std::string& name) override { names.push_back(name); }
  void select(int position) override { selected = position; }
  std::vector<std::string> names;
  int selected = -99;
};

using Names = std::vector<std::string>;

const char* kTree =
    "0 Rock\n"
    "0.0 Classic Rock\n"
    "0.1 Metal\n"
    "0.1.0 Thrash\n"
    "0.1.1 Doom\n"
    "1 Jazz\n"
    "1.0 Bebop\n"
    "1.0.0 Hard Bop\n"
    "1.1 Swing\n";

TEST(GenreList, LinesBecomeEntriesWithTheirLevel) {
  GenreList list = GenreList::parse(
      "0 Rock\r\n"
      "0.1   Heavy   Metal  \t\n"
      "\n\n"
      "2.3.4 An overly long genre name that goes on\n"
      "7\n"
      "no number here\n"
      "3 unfinished last line");
  struct Expected {
    int a, b, c, level;
    const char* name;
  } expected[] = {
      {0, -1, -1, 0, "Rock"}, {0, 1, -1, 1, "Heavy   Metal"}, {2, 3, 4, 2, "An overly long genre name"},
      {7, -1, -1, 0, ""},     {-1, -1, -1, 0, "number here"},
  };
  ASSERT_EQ(list.entries().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const GenreEntry& e = list.entries()[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(e.a, expected[i].a);
    EXPECT_EQ(e.b, expected[i].b);
    EXPECT_EQ(e.c, expected[i].c);
    EXPECT_EQ(e.level, expected[i].level);
    EXPECT_EQ(e.name, expected[i].name);
  }
}

TEST(GenreList, ControlCharactersEndLinesAndLimitsHold) {
  GenreList list = GenreList::parse(
      "0 Rock\t1 Jazz\x01"
      "2 Caf\xC3\xA9\n");
  ASSERT_EQ(list.entries().size(), 3u);
  EXPECT_EQ(list.entries()[0].name, "Rock");
  EXPECT_EQ(list.entries()[2].name, "Caf\xC3\xA9");  // bytes above 127 are ordinary characters

  // A line holds 255 characters; the rest of it is dropped, not made into another entry.
  std::string longLine = "0 " + std::string(300, 'x') + "\n1 Next\n";
  list = GenreList::parse(longLine);
  ASSERT_EQ(list.entries().size(), 2u);
  EXPECT_EQ(list.entries()[1].name, "Next");

  // Only the first 10,000 bytes are read.
  std::string big;
  while (big.size() < 9990) big += "0 Filler\n";
  big += "1 Beyond the limit\n";
  list = GenreList::parse(big);
  EXPECT_EQ(list.entries().back().name, "Filler");
}

TEST(GenreList, FillingByNumbersShowsThePathOfPositions) {
  GenreList list = GenreList::parse(kTree);
  struct Case {
    int a, b;
    Names second, third;
  } cases[] = {
      {0, 1, {"Classic Rock", "Metal"}, {"Thrash", "Doom"}},
      {1, 0, {"Bebop", "Swing"}, {"Hard Bop"}},
      {0, 0, {"Classic Rock", "Metal"}, {}},
      {5, 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "." << c.b);
    FakePicker first, second, third;
    second.add("stale");
    list.fillByNumbers(c.a, c.b, first, second, third);
    EXPECT_EQ(first.names, (Names{"Rock", "Jazz"}));
    EXPECT_EQ(second.names, c.second);
    EXPECT_EQ(third.names, c.third);
    EXPECT_EQ(first.selected, c.a);
    EXPECT_EQ(second.selected, c.b);
    EXPECT_EQ(third.selected, 0);
  }
}

TEST(GenreList, FillingByNamesFindsThePositions) {
  GenreList list = GenreList::parse(kTree);
  struct Case {
    const char *n1, *n2, *n3;
    Names second, third;
    int a, b, c;
  } cases[] = {
      {"Rock", "Metal", "Doom", {"Classic Rock", "Metal"}, {"Thrash", "Doom"}, 0, 1, 1},
      {"Jazz", "Bebop", "Hard Bop", {"Bebop", "Swing"}, {"Hard Bop"}, 1, 0, 0},
      {"Jazz", "Nothing", "", {"Bebop", "Swing"}, {}, 1, -2, -2},
      {"Polka", "", "", {}, {}, -2, -2, -2},
      {"rock", "", "", {}, {}, -2, -2, -2},  // names match exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n1);
    FakePicker first, second, third;
    list.fillByNames(c.n1, c.n2, c.n3, first, second, third);
    EXPECT_EQ(first.names, (Names{"Rock", "Jazz"}));
    EXPECT_EQ(second.names, c.second);
    EXPECT_EQ(third.names, c.third);
    EXPECT_EQ(first.selected, c.a);
    EXPECT_EQ(second.selected, c.b);
    EXPECT_EQ(third.selected, c.c);
  }
}

TEST(GenreList, ByNameChildrenCountOnlyAfterTheirParent) {
  GenreList list = GenreList::parse("0.0 Early child\n0 Rock\n0.1 Late child\n");
  FakePicker first, second, third;
  list.fillByNames("Rock", "Early child", "", first, second, third);
  EXPECT_EQ(second.names, (Names{"Late child"}));
  EXPECT_EQ(second.selected, -2);
}

TEST(GenreList, MissingFileGivesAnEmptyList) {
  test::TempFolder folder;
  EXPECT_TRUE(GenreList::load(folder.file("genre.txt")).entries().empty());
  folder.write("genre.txt", "0 Rock\n0.0 Punk\n");
  EXPECT_EQ(GenreList::load(folder.file("genre.txt")).entries().size(), 2u);
}

// The list the program ships: readable within the limits, and numbered so that every number is
// a position among its siblings, which is what the pickers rely on.
TEST(GenreList, ShippedListIsConsistent) {
  std::ifstream in(BROVANA_SHARE_GENRES, std::ios::binary);
  ASSERT_TRUE(in) << BROVANA_SHARE_GENRES;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_LT(text.size(), 10000u);
  ASSERT_EQ(text.back(), '\n');

  GenreList list = GenreList::parse(text);
  ASSERT_GE(list.entries().size(), 40u);
  std::map<std::vector<int>, int> nextChild;  // parent path -> expected next position
  for (const GenreEntry& e : list.entries()) {
    SCOPED_TRACE(e.name);
    EXPECT_FALSE(e.name.empty());
    EXPECT_LE(e.name.size(), 25u);
    std::vector<int> path{e.a, e.b, e.c};
    path.resize(e.level + 1);
    int position = path.back();
    path.pop_back();
    if (e.level > 0) {
      std::vector<int> grand = path;
      grand.pop_back();
      EXPECT_GT(nextChild[grand], path.back()) << "child before or without its parent";
    }
    EXPECT_EQ(position, nextChild[path]++);
  }
}

}  // namespace
}  // namespace brovana
