#include <gtest/gtest.h>

#include <cstring>

#include "net/web_service.h"

namespace brovana {
namespace {

TEST(AccountAnswerTest, FieldsAndResultsOfEachAnswerShape) {
  const struct {
    const char* name;
    std::string answer;
    AccountAnswer kind;
    int result, mode, serverOn, listeners, limit, minutes;
    float rating;
    std::string host;
    int port;
  } cases[] = {
      {"full line", "0 LI ON 3 250 12 4.5 stream.example 8000", AccountAnswer::Bcinfo, 0, 2, 1, 3, 250, 12,
       4.5f, "stream.example", 8001},
      {"commas, runs and a line end", "0,,RE , OFF,0,7,1,0.5,10.0.0.1,,8000\r\n", AccountAnswer::Bcinfo, 0, 3,
       0, 0, 7, 1, 0.5f, "10.0.0.1", 8001},
      {"Hostplay answer without server", "0 OR OFF 5 300 3 2.5", AccountAnswer::Bcinfo, 0, 1, 0, 5, 300, 3,
       2.5f, "old.example", 1234},
      {"limit 100 is replaced", "0 OR ON 5 100 3 2.5", AccountAnswer::Bcinfo, 0, 1, 1, 5,
       kListenerLimitSubstitute, 3, 2.5f, "old.example", 1234},
      {"limit -1 is replaced", "0 OR ON 5 -1 3 2.5", AccountAnswer::Bcinfo, 0, 1, 1, 5,
       kListenerLimitSubstitute, 3, 2.5f, "old.example", 1234},
      {"negative listeners stored as 0", "0 LI OFF -7 20 1 1 h 80", AccountAnswer::Bcinfo, 0, 2, 0, 0, 20, 1,
       1.0f, "h", 81},
      {"unknown mode keeps the old one", "0 XX ON 1 2 3 4 h 9", AccountAnswer::Bcinfo, 0, 0, 1, 1, 2, 3, 4.0f,
       "h", 10},
      {"stops after the mode", "0 LI", AccountAnswer::Bcinfo, 2, 2, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"host without port", "0 LI ON 1 2 3 4.0 new.example", AccountAnswer::Bcinfo, 2, 2, 1, 1, 2, 3, 4.0f,
       "new.example", 1234},
      {"separators only", " ,, \n", AccountAnswer::Bcinfo, 2, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"bcinfo -1", "-1", AccountAnswer::Bcinfo, 2, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"bcinfo -2", "-2\n", AccountAnswer::Bcinfo, 4, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"bcinfo -3", "-3", AccountAnswer::Bcinfo, 5, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"bcinfo -4", "-4", AccountAnswer::Bcinfo, 3, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"djinfo -1", "-1", AccountAnswer::Djinfo, 4, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"djinfo -2 reads on", "-2", AccountAnswer::Djinfo, 2, 0, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"djinfo -3 reads on", "-3 LI ON 1 2 3 4 h 9", AccountAnswer::Djinfo, 0, 2, 1, 1, 2, 3, 4.0f, "h", 10},
      {"djinfo -4 reads on", "-4 LI", AccountAnswer::Djinfo, 2, 2, 0, 0, 0, 0, 0.0f, "old.example", 1234},
      {"largest port does not overflow", "0 LI ON 1 2 3 4 h 99999999999", AccountAnswer::Bcinfo, 0, 2, 1, 1,
       2, 3, 4.0f, "h", 2147483647},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServerInfo info;
    std::strcpy(info.host, "old.example");
    info.port = 1234;
    EXPECT_EQ(parseAccountAnswer(c.answer, c.kind, info), c.result);
    EXPECT_EQ(info.accountMode, c.mode);
    EXPECT_EQ(info.serverOn, c.serverOn);
    EXPECT_EQ(info.listeners, c.listeners);
    EXPECT_EQ(info.maxListeners, c.limit);
    EXPECT_EQ(info.avgListenMinutes, c.minutes);
    EXPECT_FLOAT_EQ(info.rating, c.rating);
    EXPECT_EQ(std::string(info.host), c.host);
    EXPECT_EQ(info.port, c.port);
  }
}

TEST(AccountAnswerTest, HostIsCutToTheFieldAndClearedBehindIt) {
  ServerInfo info;
  std::string answer = "0 LI ON 1 2 3 4 " + std::string(300, 'h') + " 8000";
  EXPECT_EQ(parseAccountAnswer(answer, AccountAnswer::Bcinfo, info), 0);
  EXPECT_EQ(std::string(info.host), std::string(255, 'h'));
  EXPECT_EQ(parseAccountAnswer("0 LI ON 1 2 3 4 ab 8000", AccountAnswer::Bcinfo, info), 0);
  EXPECT_EQ(std::string(info.host), "ab");
  for (size_t i = 2; i < sizeof info.host; ++i) ASSERT_EQ(info.host[i], 0) << i;
}

TEST(AccountAnswerTest, ErrorPageIsTheClosingTagsOrMoreThanAHundredCharacters) {
  const std::pair<std::string, bool> cases[] = {
      {"</BODY></HTML>", true},          {"</BODY></HTML", true},        {"</BODY></HTM", false},
      {"0 LI ON 1 2 3 4 h 8000", false}, {std::string(100, '0'), false}, {std::string(101, '0'), true},
  };
  for (const auto& [answer, errorPage] : cases) EXPECT_EQ(isErrorPage(answer), errorPage) << answer;
}

TEST(LoginAnswerTest, OnlyAnAnswerStartingWithZeroStoresTheSession) {
  const struct {
    std::string answer;
    bool stored;
    std::string session;
  } cases[] = {
      {"0,abc123\n", true, "abc123"},
      {"01 xyz", true, "xyz"},
      {"1 abc123", false, "previous"},
      {"-1 refused", false, "previous"},
      {"0", false, "previous"},
      {"", false, "previous"},
      {"0 " + std::string(150, 's'), true, std::string(99, 's')},
  };
  for (const auto& c : cases) {
    ServerInfo info;
    std::strcpy(info.sessionid, "previous");
    EXPECT_EQ(parseLoginAnswer(c.answer, info), c.stored) << c.answer;
    EXPECT_EQ(std::string(info.sessionid), c.session) << c.answer;
  }
}

TEST(VersionAnswerTest, CodeAndUpgradeAddress) {
  EXPECT_FALSE(parseVersionAnswer(""));
  const struct {
    std::string answer;
    int code;
    std::string url;
  } cases[] = {
      {"0", 0, ""},
      {"-1\n", -1, ""},
      {"1,http://up.example/get.html,unused", 1, "http://up.example/get.html"},
      {"2,http://up.example/must.html\n", 2, "http://up.example/must.html"},
      {",,2,,http://a", 2, "http://a"},
      {"abc", 0, ""},
  };
  for (const auto& c : cases) {
    auto version = parseVersionAnswer(c.answer);
    ASSERT_TRUE(version) << c.answer;
    EXPECT_EQ(version->code, c.code) << c.answer;
    EXPECT_EQ(version->url, c.url) << c.answer;
  }
}

TEST(GenreListTest, NamesBetweenTheMarkers) {
  std::string many = "// START GENRE LIST\nvar g = [\n";
  std::vector<std::string> first499;
  for (int i = 0; i < 600; ++i) {
    many += "\"G" + std::to_string(i) + "\",";
    if (i < 499) first499.push_back("G" + std::to_string(i));
  }
  many += "\n// END GENRE LIST\n";
  const struct {
    const char* name;
    std::string text;
    bool found;
    std::vector<std::string> names;
  } cases[] = {
      {"one a line",
       "// START GENRE LIST\nvar g = new Array(\n\"Acid Jazz\",\n\"Pop\",\n// END GENRE LIST\n);",
       true,
       {"Acid Jazz", "Pop"}},
      {"quoted names with a blank after the comma",
       "// START GENRE LIST\n\"skip\", \"Rock\", \"Pop\"\n// END GENRE LIST",
       true,
       {" ", "Rock", " ", "Pop"}},
      {"tabs and CR LF line ends",
       "x\r\n// START GENRE LIST\r\nvar g = [\r\n\t\"Blues\",\r\n\t\"Ska\"\r\n// END GENRE LIST",
       true,
       {"Blues", "Ska"}},
      {"names on the marker's line", "// START GENRE LIST \"A\",\"B\"\n// END GENRE LIST", true, {"A", "B"}},
      {"no end marker", "// START GENRE LIST\nx\n\"Rock\",\"Pop\"\n", true, {}},
      {"end marker before the start", "// END GENRE LIST\n// START GENRE LIST\nx\n\"Rock\"\n", true, {}},
      {"text after the end is ignored",
       "// START GENRE LIST\nx\n\"Rock\"\n// END GENRE LIST\n\"Pop\"",
       true,
       {"Rock"}},
      {"at most 499 names", many, true, first499},
      {"no start marker: nothing changes", "\"Pop\",\"Jazz\"\n// END GENRE LIST", false, {"stale"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(parseGenreList(c.text, names), c.found);
    EXPECT_EQ(names, c.names);
  }
}

TEST(QueryEscapeTest, OnlyUnreservedCharactersStay) {
  const std::pair<std::string, std::string> cases[] = {
      {"abcXYZ019-._~", "abcXYZ019-._~"},
      {"Rock & Roll", "Rock%20%26%20Roll"},
      {"#1+1=2?/%", "%231%2B1%3D2%3F%2F%25"},
      {"Caf\xC3\xA9", "Caf%C3%A9"},
      {std::string("a\0b", 3), "a%00b"},
      {"\xFF", "%FF"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(queryEscape(in), out) << in;
}

}  // namespace
}  // namespace brovana
