#include "core/text.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(Text, ParseIntReadsLikeAtoi) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"56000", 56000},
               {"  -12x", -12},
               {"+7", 7},
               {"", 0},
               {"abc", 0},
               {"99999999999999", 2147483647},
               {"-99999999999999", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(parseInt(c.text), c.value) << c.text;
}

TEST(Text, SplitLinesAcceptsEveryLineEnd) {
  auto lines = splitLines("a\r\nb\nc\rd");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[3], "d");
  EXPECT_EQ(splitLines("x\n\ny\n").size(), 3u);
}

TEST(Text, TrimAndCaseInsensitiveCompare) {
  EXPECT_EQ(trim(" \t a b \r\n"), "a b");
  EXPECT_TRUE(equalsIgnoreCase("HostPlayName", "HOSTPLAYNAME"));
  EXPECT_FALSE(equalsIgnoreCase("abc", "abcd"));
}

}  // namespace
}  // namespace brovana
