// The web service client over real HTTP against the service emulator on a loopback port.

#include "net/web_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "net/song_update_sender.h"
#include "platform/curl_http_client.h"
#include "support/fake_prompts.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Fields = std::map<std::string, std::string>;

constexpr int kBroadcastPort = 9101;
const std::string kOddMember = "Zo\xC3\xAB & co", kOddPassword = "pa ss&#=\xC3\xA9+%";

// The map of the keys and values given one after the other.
Fields fields(std::initializer_list<std::string> keysAndValues) {
  Fields out;
  for (auto at = keysAndValues.begin(); at != keysAndValues.end(); at += 2) out[*at] = *(at + 1);
  return out;
}

ServerInfo member(const std::string& name, const std::string& password) {
  ServerInfo info;
  std::strncpy(info.username, name.c_str(), sizeof info.username - 1);
  std::strncpy(info.pass, password.c_str(), sizeof info.pass - 1);
  return info;
}

class WebServiceAgainstEmulator : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(service.ready()) << "emulator log: " << service.logFile(); }
  // The request before the view that reports it.
  std::map<std::string, std::string> lastRequest() const {
    auto seen = service.records("requests");
    return seen.size() >= 2 ? seen[seen.size() - 2].values : Fields{};
  }

  test::ServiceEmulator service{{.accounts = {kOddMember + ":" + kOddPassword, "rita:pw:RE"},
                                 .accountsFile =
                                     "ana s3cret mode=LI server=OFF listeners=4 limit=250 minutes=12 "
                                     "rating=4.5\nhosty pw mode=OR listeners=2 limit=100\n"
                                     "nobc pw broadcaster=no\n",
                                 .broadcastPort = kBroadcastPort}};
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
  EXPECT_EQ(std::tuple(ana.accountMode, ana.serverOn, ana.listeners, ana.maxListeners, ana.avgListenMinutes),
            std::tuple(kModeLive, 0, 4, 250, 12));
  EXPECT_FLOAT_EQ(ana.rating, 4.5f);
  EXPECT_STREQ(ana.host, "127.0.0.1");
  EXPECT_EQ(ana.port, kBroadcastPort);  // the answer names the listener port below it

  for (auto [name, password, result, mode] :
       {std::tuple{std::string("ana"), std::string("wrong"), kBcinfoBadLogin, 0},
        {"nobc", "pw", kBcinfoNotBroadcaster, 0},
        {"hosty", "pw", kBcinfoOk, kModeHostplay},
        {kOddMember, kOddPassword, kBcinfoOk, kModeLive}}) {
    ServerInfo info = member(name, password);
    std::strcpy(info.host, "kept.example");
    EXPECT_EQ(std::tuple(web.bcinfo(info, true), info.accountMode), std::tuple(result, mode)) << name;
  }
}

TEST_F(WebServiceAgainstEmulator, LiveloginThenTheSessionForm) {
  ServerInfo ana = member("ana", "s3cret");
  ASSERT_TRUE(web.livelogin(ana));
  std::string session = ana.sessionid;
  EXPECT_EQ(session.size(), 16u);
  EXPECT_EQ(service.account("ana")->sessions, 1);
  ASSERT_EQ(web.bcinfo(ana, true), kBcinfoOk);
  EXPECT_EQ(lastRequest()["target"],
            "/cgi-bin/bcinfo.cgi?membername=ana&sessionid=" + session + "&version=2");

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

TEST_F(WebServiceAgainstEmulator, ModeAndServerSwitchesBothWays) {
  for (auto [name, password, stream, ok, live, mode] :
       {std::tuple{std::string("ana"), std::string("s3cret"), "hostplay", true, false, "OR"},
        {"ana", "s3cret", "live", true, true, "LI"},
        {"ana", "wrong", "hostplay", false, true, "LI"},
        {kOddMember, kOddPassword, "hostplay", true, false, "LI"}}) {
    EXPECT_EQ(web.netcastSwitch(name, password, stream, 0), ok) << stream;
    EXPECT_EQ(std::tuple(web.switchedToLive(), service.account("ana")->mode), std::tuple(live, mode));
  }
  EXPECT_TRUE(web.switchServer(prompts, "ana", "s3cret", "ON"));
  EXPECT_TRUE(service.account("ana")->serverOn);
  EXPECT_TRUE(web.switchServer(prompts, "ana", "s3cret", "OFF"));
  EXPECT_FALSE(service.account("ana")->serverOn);
}

TEST_F(WebServiceAgainstEmulator, AwkwardTitlesArriveIntact) {
  SongUpdateSender sender(http);
  WebService songs(http, service.webHost(), &sender);
  ServerInfo odd = member(kOddMember, kOddPassword);
  const std::string title = "Rock & Roll #1 \xE2\x80\x94 Caf\xC3\xA9 na\xC3\xAFve + 100% ?x=y";
  songs.postSong(odd, title);
  ASSERT_TRUE(sender.waitIdle(20s));
  TrackFacts track;
  track.path = "/music/Les Fr\xC3\xA8res & S\xC5\x93urs.mp3", track.seconds = 187, track.hasTag = true;
  track.title = "Ça & ça", track.artist = "A#B", track.album = " ", track.genreName = "R&B",
  track.year = 2001;
  songs.postSong(odd, track);
  ASSERT_TRUE(sender.waitIdle(20s));
  auto announced = service.songs();
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_EQ(announced[0].fields, fields({"version", "2", "pass", kOddPassword, "handle", kOddMember, "title",
                                         title, "seconds", "0"}));
  EXPECT_EQ(announced[1].fields,
            fields({"version", "2",        "pass",     kOddPassword,
                    "handle",  kOddMember, "fileName", "Les Fr\xC3\xA8res & S\xC5\x93urs",
                    "seconds", "187",      "title",    "Ça & ça",
                    "artist",  "A#B",      "album",    " ",
                    "year",    "2001",     "id3genre", "R&B"}));
  for (const auto& song : announced) EXPECT_EQ(song.values.at("accepted"), "true");
}

TEST_F(WebServiceAgainstEmulator, GenreListAndNamesFile) {
  GenreTable table;
  ASSERT_TRUE(web.fetchGenreList(table));
  auto names = table.names();
  ASSERT_GT(names.size(), 80u);
  EXPECT_EQ(names.front(), "Acid Jazz");
  EXPECT_EQ(names.back(), "Zydeco");
  EXPECT_NE(std::find(names.begin(), names.end(), "R&B"), names.end());

  ASSERT_TRUE(service.control({{"hostplay-name", "Auto DJ & friends"}}));
  EXPECT_EQ(web.hostplayDisplayName(), "hostplay");  // no local file: none is made
  EXPECT_FALSE(std::filesystem::exists("brovana_live.ini"));
  folder.write("brovana_live.ini", "[names]\nHOSTPLAYNAME=Old\n");
  EXPECT_EQ(web.hostplayDisplayName(), "Auto DJ & friends");
  EXPECT_FALSE(web.fetchScript("missing.js"));
}

TEST_F(WebServiceAgainstEmulator, HttpGetKeepsItsRules) {
  std::string answer;
  ASSERT_TRUE(service.controlAccount("ana", {{"pad", "5000"}}));
  ASSERT_TRUE(http.get(service.webHost(), "ana", "/cgi-bin/livelogin.cgi?membername=ana&password=s3cret",
                       answer, kAccountAnswerSize));
  ASSERT_EQ(answer.size(), kAccountAnswerSize - 1);
  EXPECT_EQ(answer.substr(0, 2), "0 ");
  EXPECT_EQ(lastRequest()["agent"], "Brovana");

  int status = 0;
  GetOptions options;
  options.status = &status;
  EXPECT_TRUE(http.getDetailed(service.webHost(), " ", "/scripts/nothing.js", answer, 100, options));
  EXPECT_EQ(status, 404);
  EXPECT_EQ(answer.size(), 99u);  // an error page is an answer like any other

  // A service that does not answer in time, and one that is not there, give false and no text.
  ASSERT_TRUE(service.controlAccount("ana", {{"pad", "0"}, {"delay", "3000"}}));
  CurlHttpClient impatient(CurlHttpClient::Limits{1000ms, 300ms});
  for (auto [client, host] : {std::pair{&impatient, service.webHost()},
                              {&http, "127.0.0.1:" + std::to_string(test::freeLoopbackPort())},
                              {&http, std::string("bad host/x")}}) {
    answer = "stale";
    EXPECT_FALSE(client->get(host, "ana", "/cgi-bin/bcinfo.cgi?membername=ana&password=s3cret&version=2",
                             answer, kAccountAnswerSize))
        << host;
    EXPECT_EQ(answer, "") << host;
  }
}

}  // namespace
}  // namespace brovana
