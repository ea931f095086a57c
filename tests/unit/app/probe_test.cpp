#include "app/probe.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(Probe, JsonStringsAreEscapedAndAlwaysUtf8) {
  struct Case {
    std::string text, quoted;
  } cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"tab\tline\nret\r", R"("tab\tline\nret\r")"},
      {std::string("nul\0bell\x07"
                   "del\x7f",
                   13),
       R"("nul\u0000bell\u0007del\u007f")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},  // UTF-8 kept
      {"Caf\xE9", "\"Caf\xC3\xA9\""},                     // a Latin-1 byte
      {"\xC0\x80", "\"\xC3\x80\xC2\x80\""},               // overlong: two Latin-1 bytes
      {"\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\xC2\x80\""},   // a surrogate is not UTF-8
      {"end\xE2\x82", "\"end\xC3\xA2\xC2\x82\""},         // cut-off sequence
  };
  for (const Case& c : cases) EXPECT_EQ(jsonQuote(c.text), c.quoted) << c.text;
}

}  // namespace
}  // namespace brovana
