#include "app/probe.h"

#include <gtest/gtest.h>

#include "support/mp3_bytes.h"

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

TEST(Probe, LineCarriesTheFacts) {
  std::string bytes = test::id3v2Tag(90) + test::frames({test::Mpeg::V2, 8, 1, 3}, 300, 100) +
                      test::id3v1Tag("Title \"1\"", "Art\xE9", "", "1999", "", 17);
  MP3Info info =
      MP3Info::fromBytes("/m/a.mp3", {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  EXPECT_EQ(probeLine(info),
            R"({"path":"/m/a.mp3","valid":true,"version":"MPEG-2 LSF","layer":3,"bitrate":64000,)"
            R"("sampleRate":24000,"channels":1,"mode":"single-ch","vbr":false,"duration":4,"firstFrame":100,)"
            R"("id3v2Size":100,"hasID3v1":true,"title":"Title \"1\"","artist":"Art)"
            "\xC3\xA9"
            R"(","album":" ","year":1999,"genre":"Rock"})");

  MP3Info missing("/no/such/file.mp3");
  EXPECT_EQ(
      probeLine(missing),
      R"({"path":"/no/such/file.mp3","valid":false,"version":null,"layer":null,"bitrate":null,)"
      R"("sampleRate":null,"channels":null,"mode":null,"vbr":false,"duration":0,"firstFrame":0,)"
      R"("id3v2Size":0,"hasID3v1":false,"title":"file.mp3","artist":" ","album":" ","year":0,"genre":" "})");
}

}  // namespace
}  // namespace brovana
