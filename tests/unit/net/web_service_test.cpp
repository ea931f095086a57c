#include "net/web_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "diag/logger.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

// The names file and the run's log are written to the current folder: keep both out of the build tree.
class ScratchFolder : public ::testing::Environment {
 public:
  void SetUp() override { inFolder_ = std::make_unique<test::ScopedChdir>(folder_.path()); }
  void TearDown() override { inFolder_.reset(); }

 private:
  test::TempFolder folder_;
  std::unique_ptr<test::ScopedChdir> inFolder_;
};
[[maybe_unused]] auto* const scratch =
    ::testing::AddGlobalTestEnvironment(std::make_unique<ScratchFolder>().release());

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class WebServiceTest : public ::testing::Test {
 protected:
  WebServiceTest() {
    std::strcpy(account.username, "dj ana");
    std::strcpy(account.pass, "p&w#1");
  }

  test::FakeHttpClient http;
  WebService web{http, "127.0.0.1:8080"};
  ServerInfo account;
  test::FakePrompts prompts;
  test::FakeExit exit;
};

TEST_F(WebServiceTest, BcinfoChoosesTheFormFromTheSessionAndTheCaller) {
  const char* password = "/cgi-bin/bcinfo.cgi?membername=dj%20ana&password=p%26w%231&version=2";
  const char* session = "/cgi-bin/bcinfo.cgi?membername=dj%20ana&sessionid=s%2B1&version=2";
  const struct {
    const char* sessionId;
    bool sessionAllowed;
    const char* path;
  } cases[] = {
      {"", true, password},
      {"", false, password},
      {"s+1", false, password},
      {"s+1", true, session},
  };
  http.answer("/cgi-bin/bcinfo.cgi", "0 LI ON 1 2 3 4 h 8000");
  for (const auto& c : cases) {
    ServerInfo info = account;
    std::strcpy(info.sessionid, c.sessionId);
    EXPECT_EQ(web.bcinfo(info, c.sessionAllowed), kBcinfoOk);
  }
  auto calls = http.calls();
  ASSERT_EQ(calls.size(), 4u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].path, cases[i].path);
    EXPECT_EQ(calls[i].host, "127.0.0.1:8080");
    EXPECT_EQ(calls[i].user, "dj ana");
    EXPECT_EQ(calls[i].capacity, kAccountAnswerSize);
  }
}

TEST_F(WebServiceTest, FreshRecordAsksWithThePasswordForm) {
  ServerInfo info;
  std::strcpy(info.username, "dj");
  http.answer("/", "0 LI ON 1 2 3 4 h 8000");
  web.bcinfo(info, true);
  ASSERT_EQ(http.paths().size(), 1u);
  EXPECT_NE(http.paths()[0].find("&password=&version=2"), std::string::npos);
}

TEST_F(WebServiceTest, BcinfoWithoutMemberNameAsksNothing) {
  ServerInfo info;
  EXPECT_EQ(web.bcinfo(info, true), kBcinfoFailed);
  EXPECT_TRUE(http.calls().empty());
}

TEST_F(WebServiceTest, ErrorPagesTurnToDjinfo) {
  const std::string djinfoPath = "/cgi-bin/djinfo.cgi?membername=dj%20ana&password=p%26w%231";
  const struct {
    const char* name;
    std::string bcinfo;
    std::string djinfo;
    int result;
    int calls;
  } cases[] = {
      {"good answer, no djinfo", "0 LI ON 1 2 3 4 h 8000", "", kBcinfoOk, 1},
      {"long page, djinfo answers", std::string(101, 'x'), "0 LI ON 1 2 3 4 dj.example 8000", kBcinfoOk, 2},
      {"closing tags, djinfo answers", "</BODY></HTML>\n", "0 LI ON 1 2 3 4 dj.example 8000", kBcinfoOk, 2},
      {"djinfo is an error page too", "</BODY></HTML>", "</BODY></HTML>", kBcinfoFailed, 2},
      {"djinfo -1 is a bad login", std::string(200, 'x'), "-1", kBcinfoBadLogin, 2},
      {"no answer at all", "", "", kBcinfoFailed, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeHttpClient fake;
    if (!c.bcinfo.empty()) fake.answer("/cgi-bin/bcinfo.cgi", c.bcinfo);
    fake.answer("/cgi-bin/djinfo.cgi", c.djinfo);
    WebService service(fake, "127.0.0.1:8080");
    ServerInfo info = account;
    EXPECT_EQ(service.bcinfo(info, true), c.result);
    auto paths = fake.paths();
    ASSERT_EQ(paths.size(), static_cast<size_t>(c.calls));
    if (c.calls == 2) {
      EXPECT_EQ(paths[1], djinfoPath);
      EXPECT_EQ(fake.calls()[1].capacity, kAccountAnswerSize);
    }
    if (c.result == kBcinfoOk && c.calls == 2) {
      EXPECT_STREQ(info.host, "dj.example");
    }
  }
}

TEST_F(WebServiceTest, LiveloginStoresTheSessionOrKeepsTheOldOne) {
  std::strcpy(account.sessionid, "old");
  http.answer("/cgi-bin/livelogin.cgi", "1 refused");
  EXPECT_FALSE(web.livelogin(account));
  EXPECT_STREQ(account.sessionid, "old");

  http.clearAnswers();
  http.answer("/cgi-bin/livelogin.cgi", "0 fresh\n");
  EXPECT_TRUE(web.livelogin(account));
  EXPECT_STREQ(account.sessionid, "fresh");

  auto calls = http.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].path, "/cgi-bin/livelogin.cgi?membername=dj%20ana&password=p%26w%231");
  EXPECT_EQ(calls[0].capacity, kLoginAnswerSize);
}

TEST_F(WebServiceTest, NetcastSwitchSucceedsOnAnyZeroAndSetsTheLiveFlag) {
  const struct {
    const char* stream;
    std::string answer;
    bool ok;
    bool liveAfter;
  } steps[] = {
      {"hostplay", "0", true, false},   {"live", "-1", false, false},  // refused: flag unchanged
      {"live", "10", true, true},                                      // a zero inside a number counts
      {"hostplay", "", false, true},                                   // no answer: unchanged
      {"hostplay", "0\n", true, false}, {"live", "ok 0", true, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string(s.stream) + " / " + s.answer);
    http.clearAnswers();
    if (!s.answer.empty()) http.answer("/cgi-bin/netcast.cgi", s.answer);
    EXPECT_EQ(web.netcastSwitch("dj ana", "p&w", s.stream, 0), s.ok);
    EXPECT_EQ(web.switchedToLive(), s.liveAfter);
  }
  EXPECT_EQ(http.paths()[1],
            "/cgi-bin/netcast.cgi?stream=live&membername=dj%20ana&password=p%26w&action=switch");
  // One flag for the run: another client sees the switch too.
  WebService other(http, "127.0.0.1:8080");
  EXPECT_TRUE(other.switchedToLive());
}

TEST_F(WebServiceTest, ServerSwitchShowsStandbyAndLogsTheOutcome) {
  http.answer("/cgi-bin/switch.cgi", "whatever");
  EXPECT_TRUE(web.switchServer(prompts, "dj ana", "p&w", "ON"));
  http.clearAnswers();
  EXPECT_FALSE(web.switchServer(prompts, "dj ana", "p&w", "OFF"));

  auto calls = http.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].path, "/cgi-bin/switch.cgi?membername=dj%20ana&password=p%26w&action=ON");
  EXPECT_TRUE(calls[0].async);
  EXPECT_EQ(calls[0].user, "dj ana");
  EXPECT_EQ(prompts.notices(),
            (std::vector<std::string>{"Turning ON your broadcast server, standby...", "",
                                      "Turning OFF your broadcast server, standby...", ""}));
  EXPECT_FALSE(prompts.waitCursorOn());
  std::string log = readFile(Logger::getLogPath());
  EXPECT_NE(log.find("Toggling ON the broadcast server for dj ana\n"), std::string::npos);
  EXPECT_NE(log.find("Broadcast server successfully switched ON\n"), std::string::npos);
  EXPECT_NE(log.find("Toggling OFF the broadcast server for dj ana\n"), std::string::npos);
  EXPECT_NE(log.find("Unable to switch broadcast server on\n"), std::string::npos);
}

TEST_F(WebServiceTest, SongRequestsForEachForm) {
  TrackFacts tagged;
  tagged.path = "/music/Band - Song.mp3.old.mp3";
  tagged.seconds = 215;
  tagged.hasTag = true;
  tagged.title = "Rock & Roll";
  tagged.artist = "Caf\xC3\xA9";
  tagged.album = " ";
  tagged.year = 1999;
  tagged.genreName = "R&B";
  TrackFacts untagged;
  untagged.path = "/music/track.MP3";
  untagged.displayTitle = "track #2";
  untagged.seconds = 61;

  const std::string start = "/cgi-bin/add_song.cgi?version=2&pass=p%26w%231&handle=dj%20ana";
  const struct {
    const char* name;
    SongRequest request;
    std::string path;
  } cases[] = {
      {"title only", web.songRequest(account, "  "), start + "&title=%20%20&seconds=0"},
      {"tagged track", web.songRequest(account, tagged),
       start + "&fileName=Band%20-%20Song&seconds=215&title=Rock%20%26%20Roll&artist=Caf%C3%A9&album=%20"
               "&year=1999&id3genre=R%26B"},
      {"untagged track", web.songRequest(account, untagged), start + "&title=track%20%232&seconds=61"},
      {"typed information", web.songInfoRequest(account, "T", "A", "B"),
       start + "&title=T&artist=A&album=B&seconds=0"},
      {"typed information, empty fields", web.songInfoRequest(account, "", "", ""),
       start + "&title=&artist=&album=&seconds=0"},
      {"information line", web.songInfoRequest(account, "Live from the attic", std::nullopt, std::nullopt),
       start + "&title=Live%20from%20the%20attic&seconds=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.request.path, c.path);
    EXPECT_EQ(c.request.host, "127.0.0.1:8080");
    EXPECT_EQ(c.request.user, "dj ana");
  }
}

TEST_F(WebServiceTest, SongFieldsAreCutAt127CharactersBeforeEncoding) {
  TrackFacts track;
  track.path = "/m/" + std::string(200, 'f') + ".mp3";
  track.hasTag = true;
  track.title = std::string(200, 't');
  track.artist = std::string(126, 'a') + "&&";
  track.album = std::string(200, 'b');
  std::string path = web.songRequest(account, track).path;
  EXPECT_NE(path.find("&fileName=" + std::string(127, 'f') + "&"), std::string::npos);
  EXPECT_NE(path.find("&title=" + std::string(127, 't') + "&"), std::string::npos);
  EXPECT_NE(path.find("&artist=" + std::string(126, 'a') + "%26&"), std::string::npos);
  EXPECT_NE(path.find("&album=" + std::string(127, 'b') + "&"), std::string::npos);

  std::string typed = web.songInfoRequest(account, std::string(130, 't'), "a", "b").path;
  EXPECT_NE(typed.find("&title=" + std::string(127, 't') + "&"), std::string::npos);
}

TEST(SongHostTest, MainWebHostSendsTitlesToTheSongUpdateHost) {
  test::FakeHttpClient http;
  const struct {
    const char* webHost;
    const char* songHost;
  } cases[] = {
      {kMainWebHost, kSongUpdateHost},
      {"www.zelvora.example:8080", kSongUpdateHost},
      {"127.0.0.1:9000", "127.0.0.1:9000"},
      {"test.zelvora.example", "test.zelvora.example"},
  };
  for (const auto& c : cases) {
    WebService web(http, c.webHost);
    EXPECT_EQ(web.songHost(), c.songHost) << c.webHost;
    EXPECT_EQ(web.songRequest(ServerInfo{}, "x").host, c.songHost);
  }
}

TEST_F(WebServiceTest, PostingWithoutASenderIsRefused) {
  EXPECT_FALSE(web.postSong(account, "title"));
  EXPECT_FALSE(web.postSongInfo(account, "title"));
  EXPECT_TRUE(http.calls().empty());
}

TEST_F(WebServiceTest, VersionCheckOffersOrDemandsTheUpgrade) {
  const std::string offer = "A new version of Brovana-Live is available. Would you like to upgrade now?";
  const std::string demand = "A new version of Brovana-Live is available. You must upgrade.";
  const struct {
    const char* answer;
    bool yes;
    int code;
    bool asked;
    std::string box;
    std::string opened;
    bool ended;
  } cases[] = {
      {"", true, -1, false, "", "", false},
      {"0", true, 0, false, "", "", false},
      {"-1", true, -1, false, "", "", false},
      {"1,http://up.example/get.html,x", true, 1, true, "", "http://up.example/get.html", true},
      {"1,http://up.example/get.html", false, 1, true, "", "", false},
      {"2,http://up.example/must.html\n", true, 2, false, demand, "http://up.example/must.html", true},
      {"3,http://up.example/", true, 3, false, "", "", false},
      {"1,file:///etc/passwd", true, 1, false, "", "", false},
      {"1", true, 1, false, "", "", false},
      {"2,javascript:alert(1)", true, 2, false, demand, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    test::FakeHttpClient fake;
    if (*c.answer) fake.answer("/cgi-bin/checkversion.cgi", c.answer);
    WebService service(fake, "127.0.0.1:8080");
    test::FakePrompts boxes;
    boxes.answerNext(c.yes);
    test::FakeExit ending;
    EXPECT_EQ(service.checkVersion(account, 2.01, 110, boxes, ending), c.code);
    auto questions = boxes.questions();
    ASSERT_EQ(questions.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(questions[0].text, offer);
      EXPECT_EQ(questions[0].caption, "Mirobeam");
    }
    auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), c.box.empty() ? 0u : 1u);
    if (!c.box.empty()) {
      EXPECT_EQ(shown[0].text, c.box);
      EXPECT_EQ(shown[0].caption, "Mirobeam");
      EXPECT_EQ(shown[0].kind, BoxKind::Warning);
    }
    EXPECT_EQ(boxes.opened(),
              c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
    EXPECT_EQ(ending.ended, c.ended);
    if (c.ended) {
      EXPECT_EQ(ending.exitCode, 0);
    }
    ASSERT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(fake.calls()[0].path,
              "/cgi-bin/checkversion.cgi?app=mirobeam&major=2.0&minor=110&platform=win");
    EXPECT_EQ(fake.calls()[0].user, "dj ana");
  }
}

TEST_F(WebServiceTest, VersionIsWrittenWithOneDecimal) {
  web.checkVersion(account, 3.46, 7, prompts, exit);
  ASSERT_EQ(http.paths().size(), 1u);
  EXPECT_EQ(http.paths()[0], "/cgi-bin/checkversion.cgi?app=mirobeam&major=3.5&minor=7&platform=win");
}

TEST_F(WebServiceTest, GenreListFillsTheTable) {
  GenreTable table;
  table.assign({"Old"});
  EXPECT_FALSE(web.fetchGenreList(table));  // no answer: no start marker
  EXPECT_EQ(table.names(), std::vector<std::string>{"Old"});

  http.answer("/scripts/genredata.js",
              "// START GENRE LIST\nvar g = [\n\"Blues\",\"Jazz\"\n// END GENRE LIST\n];");
  EXPECT_TRUE(web.fetchGenreList(table));
  EXPECT_EQ(table.names(), (std::vector<std::string>{"Blues", "Jazz"}));
  EXPECT_EQ(table.count(), 2u);
  auto calls = http.calls();
  EXPECT_EQ(calls.back().user, " ");
  EXPECT_EQ(calls.back().capacity, kDownloadAnswerSize);
}

TEST_F(WebServiceTest, ScriptReplacesOnlyAnExistingFileWithAServedOne) {
  const std::string name = "names_test.ini";
  const struct {
    const char* name;
    bool localExists;
    bool served;
    int status;
    bool result;
    std::string after;  // "" with localExists false: the file must not exist
  } cases[] = {
      {"served and present: replaced whole", true, true, 200, true, "[names]\nHOSTPLAYNAME=Robot\n"},
      {"served but absent: not created", false, true, 200, true, ""},
      {"not found page: kept", true, true, 404, false, "old content that is longer than the new one"},
      {"no answer: kept", true, false, 0, false, "old content that is longer than the new one"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(name);
    if (c.localExists) writeFile(name, "old content that is longer than the new one");
    test::FakeHttpClient fake;
    if (c.served) fake.answer("/scripts/" + name, "[names]\nHOSTPLAYNAME=Robot\n", true, c.status);
    WebService service(fake, "127.0.0.1:8080");
    EXPECT_EQ(service.fetchScript(name), c.result);
    EXPECT_EQ(std::filesystem::exists(name), c.localExists);
    if (c.localExists) {
      EXPECT_EQ(readFile(name), c.after);
    }
    ASSERT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(fake.calls()[0].user, " ");
    EXPECT_EQ(fake.calls()[0].capacity, kDownloadAnswerSize);
  }
  std::filesystem::remove(name);
}

TEST_F(WebServiceTest, HostplayNameComesFromAFreshNamesFile) {
  std::filesystem::remove("brovana_live.ini");
  http.answer("/scripts/brovana_live.ini", "[names]\r\nHOSTPLAYNAME=Radio Robot\r\n");
  EXPECT_EQ(web.hostplayDisplayName(), "hostplay");  // no local file: nothing to replace
  EXPECT_FALSE(std::filesystem::exists("brovana_live.ini"));

  writeFile("brovana_live.ini", "[names]\nHOSTPLAYNAME=Old Name\n");
  EXPECT_EQ(web.hostplayDisplayName(), "Radio Robot");

  test::FakeHttpClient silent;
  WebService offline(silent, "127.0.0.1:8080");
  writeFile("brovana_live.ini", "[names]\nHOSTPLAYNAME=Old Name\n");
  EXPECT_EQ(offline.hostplayDisplayName(), "Old Name");
  std::filesystem::remove("brovana_live.ini");
}

TEST(BrowserPagesTest, AddressesOfThePages) {
  test::FakeHttpClient http;
  WebService web(http, "127.0.0.1:8080");
  EXPECT_EQ(web.lineQualityHelpUrl(), "http://127.0.0.1:8080/broadcast/Brovana-Live/line-quality.html");
  EXPECT_EQ(web.programHelpUrl(), "http://127.0.0.1:8080/broadcast/Brovana-Live/brovana-live.html");
  EXPECT_EQ(web.tipsUrl(), "http://127.0.0.1:8080/broadcast/Brovana-Live/tips-tricks.html");
  EXPECT_EQ(directoryEntryUrl("dj ana"),
            std::string("http://") + kDirectoryHost + "/cgi-bin/directory.cgi?autostart=dj%20ana");
  EXPECT_EQ(registrationUrl(), std::string("http://") + kDirectoryHost + "/registration/index.html");
}

}  // namespace
}  // namespace brovana
