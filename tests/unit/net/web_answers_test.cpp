#include <gtest/gtest.h>

#include <cstring>

#include "net/web_service.h"

namespace brovana {
namespace {

TEST(WebAnswers, AccountFactsAndResultsOfEachAnswerShape) {
  const int kSub = kListenerLimitSubstitute;
  const std::tuple<std::string, AccountAnswer, std::vector<int>, float, std::string> cases[] = {
      // answer, kind; result, mode, server on, listeners, limit, minutes, port; rating, host
      {"0 LI ON 3 250 12 4.5 stream.example 8000",
       AccountAnswer::Bcinfo,
       {0, 2, 1, 3, 250, 12, 8001},
       4.5f,
       "stream.example"},
      {"0,,RE , OFF,0,7,1,0.5,10.0.0.1,,8000\r\n",
       AccountAnswer::Bcinfo,
       {0, 3, 0, 0, 7, 1, 8001},
       0.5f,
       "10.0.0.1"},
      {"0 OR OFF 5 300 3 2.5",
       AccountAnswer::Bcinfo,
       {0, 1, 0, 5, 300, 3, 1234},
       2.5f,
       "old.example"},  // no server
      {"0 OR ON 5 100 3 2.5", AccountAnswer::Bcinfo, {0, 1, 1, 5, kSub, 3, 1234}, 2.5f, "old.example"},
      {"0 OR ON 5 -1 3 2.5", AccountAnswer::Bcinfo, {0, 1, 1, 5, kSub, 3, 1234}, 2.5f, "old.example"},
      {"0 LI OFF -7 20 1 1 h 80", AccountAnswer::Bcinfo, {0, 2, 0, 0, 20, 1, 81}, 1.0f, "h"},
      {"0 XX ON 1 2 3 4 h 9",
       AccountAnswer::Bcinfo,
       {0, 0, 1, 1, 2, 3, 10},
       4.0f,
       "h"},  // unknown mode: kept
      {"0 LI", AccountAnswer::Bcinfo, {2, 2, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"0 LI ON 1 2 3 4.0 new.example", AccountAnswer::Bcinfo, {2, 2, 1, 1, 2, 3, 1234}, 4.0f, "new.example"},
      {" ,, \n", AccountAnswer::Bcinfo, {2, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-1", AccountAnswer::Bcinfo, {2, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-2\n", AccountAnswer::Bcinfo, {4, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-3", AccountAnswer::Bcinfo, {5, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-4", AccountAnswer::Bcinfo, {3, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-1", AccountAnswer::Djinfo, {4, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"-2", AccountAnswer::Djinfo, {4, 0, 0, 0, 0, 0, 1234}, 0.0f, "old.example"},
      {"0 LI ON 1 2 3 4 h 99999999999", AccountAnswer::Bcinfo, {0, 2, 1, 1, 2, 3, 2147483647}, 4.0f, "h"},
  };
  for (const auto& [answer, kind, numbers, rating, host] : cases) {
    ServerInfo info;
    std::strcpy(info.host, "old.example");
    info.port = 1234;
    int result = parseAccountAnswer(answer, kind, info);
    EXPECT_EQ((std::vector<int>{result, info.accountMode, info.serverOn, info.listeners, info.maxListeners,
                                info.avgListenMinutes, info.port}),
              numbers)
        << answer;
    EXPECT_FLOAT_EQ(info.rating, rating) << answer;
    EXPECT_EQ(info.host, host) << answer;
  }
  // The host is cut to its field, and the field cleared behind a shorter one.
  ServerInfo info;
  EXPECT_EQ(
      parseAccountAnswer("0 LI ON 1 2 3 4 " + std::string(300, 'h') + " 8000", AccountAnswer::Bcinfo, info),
      0);
  EXPECT_EQ(std::string(info.host), std::string(255, 'h'));
  EXPECT_EQ(parseAccountAnswer("0 LI ON 1 2 3 4 ab 8000", AccountAnswer::Bcinfo, info), 0);
  EXPECT_EQ(std::string(info.host, sizeof info.host), "ab" + std::string(sizeof info.host - 2, '\0'));
  // An error page is the closing tags or more than a hundred characters.
  for (auto [answer, errorPage] : {std::pair{std::string("</BODY></HTML>"), true},
                                   {"</BODY></HTML", true},
                                   {"</BODY></HTM", false},
                                   {"0 LI ON 1 2 3 4 h 8000", false},
                                   {std::string(100, '0'), false},
                                   {std::string(101, '0'), true}})
    EXPECT_EQ(isErrorPage(answer), errorPage) << answer;
}

TEST(WebAnswers, LoginAndVersionAnswers) {
  // Only an answer starting with a zero stores the session.
  for (auto [answer, stored, session] : {std::tuple{std::string("0,abc123\n"), true, std::string("abc123")},
                                         {"01 xyz", true, "xyz"},
                                         {"1 abc123", false, "previous"},
                                         {"-1 refused", false, "previous"},
                                         {"0", false, "previous"},
                                         {"", false, "previous"},
                                         {"0 " + std::string(150, 's'), true, std::string(99, 's')}}) {
    ServerInfo info;
    std::strcpy(info.sessionid, "previous");
    EXPECT_EQ(parseLoginAnswer(answer, info), stored) << answer;
    EXPECT_EQ(info.sessionid, session) << answer;
  }
  EXPECT_FALSE(parseVersionAnswer(""));
  for (auto [answer, code, url] : {std::tuple{"0", 0, ""},
                                   {"-1\n", -1, ""},
                                   {"1,http://up.example/get.html,unused", 1, "http://up.example/get.html"},
                                   {"2,http://up.example/must.html\n", 2, "http://up.example/must.html"},
                                   {",,2,,http://a", 2, "http://a"},
                                   {"abc", 0, ""}}) {
    auto version = parseVersionAnswer(answer);
    ASSERT_TRUE(version) << answer;
    EXPECT_EQ(std::tie(version->code, version->url), std::tuple(code, url)) << answer;
  }
}

TEST(WebAnswers, GenreNamesBetweenTheMarkers) {
  std::string many = "// START GENRE LIST\nvar g = [\n";
  std::vector<std::string> first499;
  for (int i = 0; i < 600; ++i) {
    many += "\"G" + std::to_string(i) + "\",";
    if (i < 499) first499.push_back("G" + std::to_string(i));
  }
  const std::tuple<std::string, bool, std::vector<std::string>> cases[] = {
      {"// START GENRE LIST\nvar g = new Array(\n\"Acid Jazz\",\n\"Pop\",\n// END GENRE LIST\n);",
       true,
       {"Acid Jazz", "Pop"}},
      // Quoted names with a blank after the comma.
      {"// START GENRE LIST\n\"skip\", \"Rock\", \"Pop\"\n// END GENRE LIST",
       true,
       {" ", "Rock", " ", "Pop"}},
      {"x\r\n// START GENRE LIST\r\nvar g = [\r\n\t\"Blues\",\r\n\t\"Ska\"\r\n// END GENRE LIST",
       true,
       {"Blues", "Ska"}},
      {"// START GENRE LIST \"A\",\"B\"\n// END GENRE LIST", true, {"A", "B"}},  // on the marker's line
      {"// START GENRE LIST\nx\n\"Rock\",\"Pop\"\n", true, {}},                  // no end marker
      {"// END GENRE LIST\n// START GENRE LIST\nx\n\"Rock\"\n", true, {}},       // the end before the start
      {"// START GENRE LIST\nx\n\"Rock\"\n// END GENRE LIST\n\"Pop\"", true, {"Rock"}},
      {many + "\n// END GENRE LIST\n", true, first499},
      {"\"Pop\",\"Jazz\"\n// END GENRE LIST", false, {"stale"}},  // no start marker: nothing changes
  };
  for (const auto& [text, found, expected] : cases) {
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(parseGenreList(text, names), found) << text.substr(0, 60);
    EXPECT_EQ(names, expected) << text.substr(0, 60);
  }
}

TEST(WebAnswers, QueryEscapeKeepsOnlyUnreservedCharacters) {
  for (auto [in, out] : {std::pair{std::string("abcXYZ019-._~"), std::string("abcXYZ019-._~")},
                         {"Rock & Roll", "Rock%20%26%20Roll"},
                         {"#1+1=2?/%", "%231%2B1%3D2%3F%2F%25"},
                         {"Caf\xC3\xA9", "Caf%C3%A9"},
                         {std::string("a\0b", 3), "a%00b"},
                         {"\xFF", "%FF"},
                         {"", ""}})
    EXPECT_EQ(queryEscape(in), out) << in;
}

}  // namespace
}  // namespace brovana
