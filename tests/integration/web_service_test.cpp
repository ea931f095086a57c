// The web service client over real HTTP against the service emulator on a loopback port.

#include "net/web_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "net/song_update_sender.h"
#include "platform/curl_http_client.h"
#include "support/fake_prompts.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

constexpr int kBroadcastPort = 9101;
const std::string kOddMember = "Zo\xC3\xAB & co";
const std::string kOddPassword = "pa ss&#=\xC3\xA9+%";

ServerInfo member(const std::string& name, const std::string& password) {
  ServerInfo info;
  std::strncpy(info.username, name.c_str(), sizeof info.username - 1);
  std::strncpy(info.pass, password.c_str(), sizeof info.pass - 1);
  return info;
}

class WebServiceAgainstEmulator : public ::testing::Test {
 protected:
  static test::EmulatorOptions options() {
    test::EmulatorOptions o;
    o.accountsFile =
        "# members of the test service\n"
        "ana    s3cret  mode=LI server=OFF listeners=4 limit=250 minutes=12 rating=4.5\n"
        "hosty  pw      mode=OR listeners=2 limit=100   # Hostplay account\n"
        "nobc   pw      broadcaster=no\n";
    o.accounts = {kOddMember + ":" + kOddPassword, "rita:pw:RE"};
    o.broadcastPort = kBroadcastPort;
    return o;
  }

  void SetUp() override { ASSERT_TRUE(service.ready()) << "emulator log: " << service.logFile(); }

  // The request before the status view that reports it.
  test::SeenRequest lastRequest() const {
    auto seen = service.requests();
    return seen.size() >= 2 ? seen[seen.size() - 2] : test::SeenRequest{};
  }
  std::string lastTarget() const { return lastRequest().target; }

  test::ServiceEmulator service{options()};
  CurlHttpClient http;
  WebService web{http, service.webHost()};
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::TempFolder folder;
  test::ScopedChdir inFolder{folder.path()};
};

TEST_F(WebServiceAgainstEmulator, BcinfoPasswordFormReadsTheAccountFacts) {
  ServerInfo ana = member("ana", "s3cret");
  ASSERT_EQ(web.bcinfo(ana, true), kBcinfoOk);
  EXPECT_EQ(ana.accountMode, kModeLive);
  EXPECT_EQ(ana.serverOn, 0);
  EXPECT_EQ(ana.listeners, 4);
  EXPECT_EQ(ana.maxListeners, 250);
  EXPECT_EQ(ana.avgListenMinutes, 12);
  EXPECT_FLOAT_EQ(ana.rating, 4.5f);
  EXPECT_STREQ(ana.host, "127.0.0.1");
  EXPECT_EQ(ana.port, kBroadcastPort);  // the answer names the listener port below it

  const struct {
    std::string name;
    std::string password;
    int result;
    int mode;
  } cases[] = {
      {"ana", "wrong", kBcinfoBadLogin, 0},     {"nobody", "pw", kBcinfoBadLogin, 0},
      {"nobc", "pw", kBcinfoNotBroadcaster, 0}, {"hosty", "pw", kBcinfoOk, kModeHostplay},
      {"rita", "pw", kBcinfoOk, kModeRegular},  {kOddMember, kOddPassword, kBcinfoOk, kModeLive},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServerInfo info = member(c.name, c.password);
    std::strcpy(info.host, "kept.example");
    EXPECT_EQ(web.bcinfo(info, true), c.result);
    EXPECT_EQ(info.accountMode, c.mode);
    if (c.mode == kModeHostplay) {
      EXPECT_STREQ(info.host, "kept.example");
      EXPECT_EQ(info.maxListeners, kListenerLimitSubstitute);
    }
  }
}

TEST_F(WebServiceAgainstEmulator, LiveloginThenTheSessionForm) {
  ServerInfo ana = member("ana", "s3cret");
  ASSERT_TRUE(web.livelogin(ana));
  std::string session = ana.sessionid;
  EXPECT_EQ(session.size(), 16u);
  EXPECT_EQ(service.account("ana")->sessions, 1);

  ASSERT_EQ(web.bcinfo(ana, true), kBcinfoOk);
  EXPECT_EQ(lastTarget(), "/cgi-bin/bcinfo.cgi?membername=ana&sessionid=" + session + "&version=2");

  // A session the service forgot is a plain failure; the facts stay.
  ASSERT_TRUE(service.controlAccount("ana", {{"sessions", "clear"}}));
  EXPECT_EQ(web.bcinfo(ana, true), kBcinfoFailed);
  EXPECT_STREQ(ana.host, "127.0.0.1");
  EXPECT_EQ(web.bcinfo(ana, false), kBcinfoOk);

  // A refused login keeps the session id.
  ASSERT_TRUE(service.controlAccount("ana", {{"login", "refuse"}}));
  EXPECT_FALSE(web.livelogin(ana));
  EXPECT_EQ(std::string(ana.sessionid), session);
  ServerInfo wrong = member("ana", "nope");
  EXPECT_FALSE(web.livelogin(wrong));
  EXPECT_STREQ(wrong.sessionid, "");
}

TEST_F(WebServiceAgainstEmulator, NetcastSwitchBothWays) {
  EXPECT_TRUE(web.netcastSwitch("ana", "s3cret", "hostplay", 0));
  EXPECT_FALSE(web.switchedToLive());
  EXPECT_EQ(service.account("ana")->mode, "OR");
  ServerInfo ana = member("ana", "s3cret");
  ASSERT_EQ(web.bcinfo(ana, false), kBcinfoOk);
  EXPECT_EQ(ana.accountMode, kModeHostplay);

  EXPECT_TRUE(web.netcastSwitch("ana", "s3cret", "live", 0));
  EXPECT_TRUE(web.switchedToLive());
  EXPECT_EQ(service.account("ana")->mode, "LI");

  EXPECT_FALSE(web.netcastSwitch("ana", "wrong", "hostplay", 0));
  EXPECT_TRUE(web.switchedToLive());
  EXPECT_EQ(service.account("ana")->mode, "LI");
  EXPECT_TRUE(web.netcastSwitch(kOddMember, kOddPassword, "hostplay", 0));
}

TEST_F(WebServiceAgainstEmulator, ServerSwitchOnAndOff) {
  EXPECT_TRUE(web.switchServer(prompts, "ana", "s3cret", "ON"));
  EXPECT_TRUE(service.account("ana")->serverOn);
  EXPECT_TRUE(web.switchServer(prompts, "ana", "s3cret", "OFF"));
  EXPECT_FALSE(service.account("ana")->serverOn);
  EXPECT_EQ(prompts.notices().front(), "Turning ON your broadcast server, standby...");
  EXPECT_FALSE(prompts.waitCursorOn());
}

TEST_F(WebServiceAgainstEmulator, OfABurstOfTitlesTheLastArrives) {
  SongUpdateSender sender(http);
  WebService songs(http, service.webHost(), &sender);
  ServerInfo ana = member("ana", "s3cret");
  for (int i = 0; i < 40; ++i) songs.postSong(ana, "title " + std::to_string(i));
  ASSERT_TRUE(sender.waitIdle(20s));
  auto announced = service.songs();
  ASSERT_FALSE(announced.empty());
  EXPECT_LE(announced.size(), 40u);
  EXPECT_EQ(announced.back().field("title"), "title 39");
  for (const auto& song : announced) {
    EXPECT_TRUE(song.accepted);
    EXPECT_EQ(song.field("handle"), "ana");
    EXPECT_EQ(song.field("seconds"), "0");
  }
}

TEST_F(WebServiceAgainstEmulator, AwkwardTextsArriveIntact) {
  SongUpdateSender sender(http);
  WebService songs(http, service.webHost(), &sender);
  ServerInfo odd = member(kOddMember, kOddPassword);
  const std::string title = "Rock & Roll #1 \xE2\x80\x94 Caf\xC3\xA9 na\xC3\xAFve + 100% ?x=y";
  songs.postSong(odd, title);
  ASSERT_TRUE(sender.waitIdle(20s));

  TrackFacts track;
  track.path = "/music/Les Fr\xC3\xA8res & S\xC5\x93urs.mp3";
  track.seconds = 187;
  track.hasTag = true;
  track.title = "Ça & ça";
  track.artist = "A#B";
  track.album = " ";
  track.year = 2001;
  track.genreName = "R&B";
  songs.postSong(odd, track);
  ASSERT_TRUE(sender.waitIdle(20s));

  auto announced = service.songs();
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_TRUE(announced[0].accepted);
  EXPECT_EQ(announced[0].field("title"), title);
  EXPECT_EQ(announced[0].field("handle"), kOddMember);
  EXPECT_EQ(announced[0].field("pass"), kOddPassword);
  const auto& tagged = announced[1];
  EXPECT_TRUE(tagged.accepted);
  EXPECT_EQ(tagged.fields,
            (std::map<std::string, std::string>{{"version", "2"},
                                                {"pass", kOddPassword},
                                                {"handle", kOddMember},
                                                {"fileName", "Les Fr\xC3\xA8res & S\xC5\x93urs"},
                                                {"seconds", "187"},
                                                {"title", "Ça & ça"},
                                                {"artist", "A#B"},
                                                {"album", " "},
                                                {"year", "2001"},
                                                {"id3genre", "R&B"}}));
}

TEST_F(WebServiceAgainstEmulator, GenreListAndNamesFile) {
  GenreTable table;
  ASSERT_TRUE(web.fetchGenreList(table));
  auto names = table.names();
  ASSERT_GT(names.size(), 80u);
  EXPECT_EQ(names.front(), "Acid Jazz");
  EXPECT_EQ(names.back(), "Zydeco");
  EXPECT_NE(std::find(names.begin(), names.end(), "R&B"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Children's"), names.end());

  ASSERT_TRUE(service.control({{"hostplay-name", "Auto DJ & friends"}}));
  EXPECT_EQ(web.hostplayDisplayName(), "hostplay");  // no local file: none is made
  EXPECT_FALSE(std::filesystem::exists("brovana_live.ini"));
  std::ofstream("brovana_live.ini") << "[names]\nHOSTPLAYNAME=Old\n";
  EXPECT_EQ(web.hostplayDisplayName(), "Auto DJ & friends");
  EXPECT_FALSE(web.fetchScript("missing.js"));
}

TEST_F(WebServiceAgainstEmulator, VersionCheckCodesReachThePrompts) {
  ServerInfo ana = member("ana", "s3cret");
  const std::string url = "http://" + service.webHost() + "/upgrade.html";

  ASSERT_TRUE(service.control({{"checkversion", "0"}}));
  EXPECT_EQ(web.checkVersion(ana, 2.01, 110, prompts, exit), 0);
  EXPECT_TRUE(prompts.questions().empty());
  EXPECT_TRUE(prompts.boxes().empty());

  ASSERT_TRUE(service.control({{"checkversion", "1," + url + ",unused"}}));
  prompts.answerNext(true);
  EXPECT_EQ(web.checkVersion(ana, 2.01, 110, prompts, exit), 1);
  ASSERT_EQ(prompts.questions().size(), 1u);
  EXPECT_EQ(prompts.opened(), std::vector<std::string>{url});
  EXPECT_TRUE(exit.ended);

  test::FakePrompts second;
  test::FakeExit secondExit;
  ASSERT_TRUE(service.control({{"checkversion", "2," + url}}));
  EXPECT_EQ(web.checkVersion(ana, 2.01, 110, second, secondExit), 2);
  ASSERT_EQ(second.boxTexts(),
            std::vector<std::string>{"A new version of Brovana-Live is available. You must upgrade."});
  EXPECT_EQ(second.opened(), std::vector<std::string>{url});
  EXPECT_TRUE(secondExit.ended);

  auto checks = service.versionChecks();
  ASSERT_EQ(checks.size(), 3u);
  EXPECT_EQ(checks[0].fields,
            (std::map<std::string, std::string>{
                {"app", "mirobeam"}, {"major", "2.0"}, {"minor", "110"}, {"platform", "win"}}));
}

TEST_F(WebServiceAgainstEmulator, HttpGetKeepsItsRules) {
  std::string answer;
  ASSERT_TRUE(service.controlAccount("ana", {{"pad", "5000"}}));
  ASSERT_TRUE(http.get(service.webHost(), "ana", "/cgi-bin/livelogin.cgi?membername=ana&password=s3cret",
                       answer, kAccountAnswerSize));
  ASSERT_EQ(answer.size(), kAccountAnswerSize - 1);
  EXPECT_EQ(answer.substr(0, 2), "0 ");
  EXPECT_EQ(answer.back(), '#');
  EXPECT_EQ(lastRequest().agent, "Brovana");

  int status = 0;
  GetOptions options;
  options.status = &status;
  EXPECT_TRUE(http.getDetailed(service.webHost(), " ", "/scripts/nothing.js", answer, 100, options));
  EXPECT_EQ(status, 404);
  EXPECT_EQ(answer.size(), 99u);  // an error page is an answer like any other

  // A service that does not answer in time, and one that is not there, give false and no text.
  ASSERT_TRUE(service.controlAccount("ana", {{"pad", "0"}, {"delay", "3000"}}));
  CurlHttpClient impatient(CurlHttpClient::Limits{1000ms, 300ms});
  answer = "stale";
  EXPECT_FALSE(impatient.get(service.webHost(), "ana",
                             "/cgi-bin/bcinfo.cgi?membername=ana&password=s3cret&version=2", answer,
                             kAccountAnswerSize));
  EXPECT_EQ(answer, "");
  answer = "stale";
  EXPECT_FALSE(http.get("127.0.0.1:" + std::to_string(test::freeLoopbackPort()), "ana", "/", answer, 256));
  EXPECT_EQ(answer, "");
  EXPECT_FALSE(http.get("bad host/x", "ana", "/", answer, 256));
}

}  // namespace
}  // namespace brovana
