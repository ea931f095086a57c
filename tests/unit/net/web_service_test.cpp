// The readers of the service's answers, and the web service client's rules that the service
// emulator cannot show: error pages, odd answers, cut fields, unsafe upgrade addresses. The
// requests themselves go over HTTP to the emulator in the integration tests.

#include "net/web_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "diag/logger.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

// The result and the facts read, as "result mode on listeners limit minutes port rating host".
std::string facts(const std::string& answer, AccountAnswer kind) {
  ServerInfo info;
  std::strcpy(info.host, "old");
  info.port = 1234;
  int result = parseAccountAnswer(answer, kind, info);
  std::ostringstream out;
  out << result << " " << info.accountMode << " " << int(info.serverOn) << " " << info.listeners << " "
      << info.maxListeners << " " << info.avgListenMinutes << " " << info.port << " " << info.rating << " "
      << info.host;
  return out.str();
}

TEST(WebAnswers, AccountFactsAndResultsOfEachAnswerShape) {
  const std::string sub = std::to_string(kListenerLimitSubstitute), unread = " 0 0 0 0 0 1234 0 old";
  using enum AccountAnswer;
  const std::tuple<std::string, AccountAnswer, std::string> cases[] = {
      {"0 LI ON 3 250 12 4.5 stream.example 8000", Bcinfo, "0 2 1 3 250 12 8001 4.5 stream.example"},
      {"0,,RE , OFF,0,7,1,0.5,10.0.0.1,,8000\r\n", Bcinfo, "0 3 0 0 7 1 8001 0.5 10.0.0.1"},
      {"0 OR OFF 5 300 3 2.5", Bcinfo, "0 1 0 5 300 3 1234 2.5 old"},  // no server
      {"0 OR ON 5 100 3 2.5", Bcinfo, "0 1 1 5 " + sub + " 3 1234 2.5 old"},
      {"0 OR ON 5 -1 3 2.5", Bcinfo, "0 1 1 5 " + sub + " 3 1234 2.5 old"},
      {"0 LI OFF -7 20 1 1 h 80", Bcinfo, "0 2 0 0 20 1 81 1 h"},
      {"0 XX ON 1 2 3 4 h 9", Bcinfo, "0 0 1 1 2 3 10 4 h"},  // unknown mode: kept
      {"0 LI ON 1 2 3 4.0 new.example", Bcinfo, "1" + unread},
      {"No such page 1 2 3 4 5 6", Bcinfo, "1" + unread},
      {"0 LI ON 1 2 3 4 h 65535", Bcinfo, "1" + unread},
      {"-1", Bcinfo, "2" + unread},
      {"-2\n", Bcinfo, "4" + unread},
      {"-3", Bcinfo, "5" + unread},
      {"-4", Bcinfo, "3" + unread},
      {"-1", Djinfo, "4" + unread},
      {"-2", Djinfo, "1" + unread},  // djinfo -2 reads on
      {"-3 LI ON 1 2 3 4 h 9", Djinfo, "0 2 1 1 2 3 10 4 h"},
      {"-4 LI", Djinfo, "1" + unread},
  };
  for (const auto& [answer, kind, expected] : cases) EXPECT_EQ(facts(answer, kind), expected) << answer;
  // The host is cut to its field, and the field cleared behind a shorter one.
  ServerInfo info;
  EXPECT_EQ(parseAccountAnswer("0 LI ON 1 2 3 4 " + std::string(300, 'h') + " 8000", Bcinfo, info), 0);
  EXPECT_EQ(std::string(info.host), std::string(255, 'h'));
  EXPECT_EQ(parseAccountAnswer("0 LI ON 1 2 3 4 ab 8000", Bcinfo, info), 0);
  EXPECT_EQ(std::string(info.host, sizeof info.host), "ab" + std::string(sizeof info.host - 2, '\0'));
}

TEST(WebAnswers, GenreNamesBetweenTheMarkers) {
  const std::string start = "// START GENRE LIST", end = "// END GENRE LIST";
  std::string many = start + "\nvar g = [\n";
  for (int i = 0; i < 600; ++i) many += "\"G" + std::to_string(i) + "\",";
  const std::tuple<std::string, bool, size_t, std::string> cases[] = {
      // text, found, names, the last one (a blank after the comma makes a blank entry)
      {start + "\n\"skip\", \"Rock\", \"Pop\"\n" + end, true, 4, "Pop"},
      {"x\r\n" + start + " \"A\",\r\n\t\"Ska\"\r\n" + end, true, 2, "Ska"},
      {end + "\n" + start + "\n\"Rock\"\n", true, 0, ""},  // no end after the start
      {many + "\n" + end, true, 499, "G498"},
      {"\"Pop\"\n" + end, false, 1, "stale"},  // no start marker: nothing changes
  };
  for (const auto& [text, found, count, last] : cases) {
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(parseGenreList(text, names), found) << text.substr(0, 60);
    EXPECT_EQ(std::pair(names.size(), names.empty() ? "" : names.back()), std::pair(count, last));
  }
}

using Texts = std::vector<std::string>;

ServerInfo account() {
  ServerInfo info;
  std::strcpy(info.username, "dj ana");
  std::strcpy(info.pass, "p&w#1");
  return info;
}

TEST(WebServiceTest, ErrorPagesTurnToDjinfo) {
  const std::tuple<std::string, std::string, int, size_t> cases[] = {
      // bcinfo's answer, djinfo's, the result, requests made. An error page is the closing tags or
      // more than a hundred characters.
      {"0 LI ON 1 2 3 4 h 8000", "", kBcinfoOk, 1},
      {std::string(101, 'x'), "0 LI ON 1 2 3 4 dj.example 8000", kBcinfoOk, 2},  // a long page
      {std::string(100, 'x'), "", kBcinfoNoAnswer, 1},
      {"</BODY></HTML>\n", "0 LI ON 1 2 3 4 dj.example 8000", kBcinfoOk, 2},
      {"</BODY></HTML", "</BODY></HTML>", kBcinfoNoAnswer, 2},
      {"</BODY></HTM", "", kBcinfoNoAnswer, 1},
      {std::string(200, 'x'), "-1", kBcinfoBadLogin, 2},
      {"", "", kBcinfoNoAnswer, 1},  // no answer at all
  };
  for (const auto& [bcinfo, djinfo, result, requests] : cases) {
    test::FakeHttpClient http;
    if (!bcinfo.empty()) http.answer("/cgi-bin/bcinfo.cgi", bcinfo);
    http.answer("/cgi-bin/djinfo.cgi", djinfo);
    ServerInfo info = account();
    EXPECT_EQ(WebService(http, "127.0.0.1:8080").bcinfo(info, true), result) << bcinfo;
    ASSERT_EQ(http.calls().size(), requests);
    EXPECT_TRUE(requests == 1 || std::tie(http.calls()[1].path, http.calls()[1].capacity) ==
                                     std::tuple("/cgi-bin/djinfo.cgi?membername=dj%20ana&password=p%26w%231",
                                                kAccountAnswerSize));
    EXPECT_TRUE(result != kBcinfoOk || std::strcmp(info.host, requests == 2 ? "dj.example" : "h") == 0);
  }
  test::FakeHttpClient http;
  ServerInfo nameless;
  EXPECT_EQ(WebService(http, "127.0.0.1:8080").bcinfo(nameless, true), kBcinfoFailed);
  EXPECT_TRUE(http.calls().empty()) << "without a member name nothing is asked";
}

TEST(WebServiceTest, FailedServerSwitchIsLoggedAndClearsTheNotice) {
  test::FakeHttpClient http;
  test::FakePrompts prompts;
  EXPECT_FALSE(WebService(http, "127.0.0.1:8080").switchServer(prompts, "dj", "pw", ServerSwitch::Off));
  EXPECT_TRUE(http.calls().at(0).async);
  EXPECT_EQ(prompts.notices(), (Texts{"Turning OFF your broadcast server, standby...", ""}));
  EXPECT_NE(test::readFile(Logger::getLogPath()).find("Unable to switch broadcast server OFF\n"),
            std::string::npos);
}

// A dead or hanging service costs one time-out: until its quiet time is over, nothing more is asked
// of it; an abandoned request or an answer of any kind says nothing against it. At the exit the
// server's switch-off has a short limit, and its failure is logged.
TEST(WebServiceTest, AServiceThatGaveNoAnswerIsLeftAloneForAWhile) {
  for (bool abandoned : {false, true}) {
    test::FakeHttpClient http;
    std::chrono::milliseconds limit{-1};
    http.onCall = [&](const auto&, const GetOptions& options) { limit = options.limit; };
    WebService web(http, "127.0.0.1:8080");
    web.abandonRequests(abandoned);
    ServerInfo info = account();
    EXPECT_EQ(web.bcinfo(info, true), kBcinfoNoAnswer);
    EXPECT_EQ(web.silent(), !abandoned);
    web.abandonRequests(false);
    http.answer("/cgi-bin/", "0 LI ON 1 2 3 4 h 8000");
    EXPECT_EQ(web.bcinfo(info, true), abandoned ? kBcinfoOk : kBcinfoNoAnswer);
    EXPECT_EQ(http.calls().size(), abandoned ? 2u : 1u) << "nothing asked of a silent service";
    if (abandoned) {
      EXPECT_TRUE(web.switchServerOffAtExit("dj", "pw"));
      EXPECT_EQ(limit, kExitSwitchLimit);
    } else {
      EXPECT_FALSE(web.switchServerOffAtExit("dj", "pw"));
      EXPECT_NE(
          test::readFile(Logger::getLogPath())
              .find("Unable to switch broadcast server OFF: the Zelvora service did not answer within 2 s"),
          std::string::npos);
    }
  }
}

TEST(WebServiceTest, SongRequestsCutTheirFieldsAndGoToTheSongHost) {
  test::FakeHttpClient http;
  WebService web(http, "127.0.0.1:8080");
  TrackFacts untagged, cut;
  untagged.path = "/music/track.MP3", untagged.displayTitle = "track #2", untagged.seconds = 61;
  cut.path = "/m/" + std::string(200, 'f') + ".mp3", cut.title = std::string(200, 't');
  cut.artist = std::string(126, 'a') + "&&", cut.album = " ", cut.hasTag = true;
  TrackFacts latin1 = cut;  // ID3v1 texts are Latin-1; UTF-8 ones stay as they are
  latin1.path = "/m/Caf\xC3\xA9.mp3", latin1.title = "Caf\xE9", latin1.album = "Z\xC3\xBCrich";
  latin1.artist = std::string(126, 'a') + "\xF6";
  const std::string start = "/cgi-bin/add_song.cgi?version=2&pass=p%26w%231&handle=dj%20ana";
  const std::pair<SongRequest, std::string> cases[] = {
      {web.songRequest(account(), untagged), start + "&title=track%20%232&seconds=61"},
      // Fields are cut at 127 characters before encoding.
      {web.songRequest(account(), cut),
       start + "&fileName=" + std::string(127, 'f') + "&seconds=0&title=" + std::string(127, 't') +
           "&artist=" + std::string(126, 'a') + "%26&album=%20&year=0&id3genre="},
      {web.songRequest(account(), latin1), start + "&fileName=Caf%C3%A9&seconds=0&title=Caf%C3%A9&artist=" +
                                               std::string(126, 'a') + "&album=Z%C3%BCrich&year=0&id3genre="},
      {web.songInfoRequest(account(), std::string(130, 't'), "", "B"),
       start + "&title=" + std::string(127, 't') + "&artist=&album=B&seconds=0"},
  };
  for (const auto& [request, path] : cases)
    EXPECT_EQ(std::tie(request.path, request.user), std::tie(path, "dj ana"));
  for (auto [webHost, songHost] : {std::pair{kMainWebHost, kSongUpdateHost},
                                   {"127.0.0.1:9000", "127.0.0.1:9000"},
                                   {"test.zelvora.example", "test.zelvora.example"}})
    EXPECT_EQ(WebService(http, webHost).songRequest(ServerInfo{}, "x").host, songHost) << webHost;
}

TEST(WebServiceTest, VersionCheckOffersOrDemandsTheUpgradeButOpensOnlyWebAddresses) {
  const std::string demand = "A new version of Brovana-Live is available. You must upgrade.";
  const std::tuple<const char*, bool, int, bool, Texts, std::string> cases[] = {
      // answer, yes to the question; code, asked, boxes, opened ("" none; the program ends with a box)
      {"", true, -1, false, {}, ""},
      {"garbage", true, 0, false, {}, ""},
      {"1,http://up.example/get.html", false, 1, true, {}, ""},
      {"1,http://up.example/get.html", true, 1, true, {}, "http://up.example/get.html"},
      {"1,file:///etc/passwd", true, 1, true, {}, ""},  // asked; only the address is not opened
      {"2,javascript:alert(1)", true, 2, false, {demand}, ""},
      {"2,http://up.example/must.html", true, 2, false, {demand}, "http://up.example/must.html"},
  };
  for (const auto& [answer, yes, code, asked, boxes, opened] : cases) {
    test::FakeHttpClient http;
    if (*answer) http.answer("/cgi-bin/checkversion.cgi", answer);
    test::FakePrompts prompts;
    prompts.answerNext(yes);
    test::FakeExit exit;
    EXPECT_EQ((std::tuple{WebService(http, "127.0.0.1:8080").checkVersion(account(), 3.46, 7, prompts, exit),
                          prompts.questions().size(), prompts.boxTexts(), prompts.opened(), exit.ended}),
              std::tuple(code, asked ? 1u : 0u, boxes, opened.empty() ? Texts{} : Texts{opened},
                         !boxes.empty() || (asked && yes)))
        << answer;
    EXPECT_EQ(http.calls().at(0).path,
              "/cgi-bin/checkversion.cgi?app=mirobeam&major=3.5&minor=7&platform=win");
  }
}

// Whether a download replaces what is there and what reaches the file: only a whole 200 answer.
// The names file is written to the current folder (the test program's scratch folder).
TEST(WebServiceTest, DownloadsReplaceWhatIsThereOnlyWithWhatWasServed) {
  test::FakeHttpClient offline;
  GenreTable table;
  table.assign({"Old"});
  EXPECT_FALSE(WebService(offline, "127.0.0.1:8080").fetchGenreList(table));
  EXPECT_EQ(table.names(), Texts{"Old"});
  const std::string name = "brovana_live.ini", old = "[names]\nHOSTPLAYNAME=Old Name\n";
  for (auto [status, after] : {std::pair{200, "[names]\nHOSTPLAYNAME=Robot\n"}, {404, old.c_str()}}) {
    std::ofstream(name) << old;
    test::FakeHttpClient http;
    http.answer("/scripts/" + name, "[names]\nHOSTPLAYNAME=Robot\n", true, status);
    EXPECT_EQ(WebService(http, "127.0.0.1:8080").fetchScript(name), status == 200);
    EXPECT_EQ(test::readFile(name), after);
  }
  EXPECT_EQ(WebService(offline, "127.0.0.1:8080").hostplayDisplayName(), "Old Name")
      << "offline, from the file";
}

}  // namespace
}  // namespace brovana
