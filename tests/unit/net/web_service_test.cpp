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
};

TEST_F(WebServiceTest, BcinfoChoosesTheFormFromTheSessionAndTheCaller) {
  const char* password = "/cgi-bin/bcinfo.cgi?membername=dj%20ana&password=p%26w%231&version=2";
  const char* session = "/cgi-bin/bcinfo.cgi?membername=dj%20ana&sessionid=s%2B1&version=2";
  const struct {
    const char* sessionId;
    bool sessionAllowed;
    const char* path;
  } cases[] = {{"", true, password}, {"", false, password}, {"s+1", false, password}, {"s+1", true, session}};
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
    EXPECT_EQ(calls[i].user, "dj ana");
    EXPECT_EQ(calls[i].capacity, kAccountAnswerSize);
  }
  ServerInfo nameless;
  EXPECT_EQ(web.bcinfo(nameless, true), kBcinfoFailed);
  EXPECT_EQ(http.calls().size(), 4u) << "without a member name nothing is asked";
}

TEST_F(WebServiceTest, ErrorPagesTurnToDjinfo) {
  const struct {
    const char* name;
    std::string bcinfo, djinfo;
    int result;
    size_t calls;
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
    auto calls = fake.calls();
    ASSERT_EQ(calls.size(), c.calls);
    if (c.calls == 2) {
      EXPECT_EQ(calls[1].path, "/cgi-bin/djinfo.cgi?membername=dj%20ana&password=p%26w%231");
      EXPECT_EQ(calls[1].capacity, kAccountAnswerSize);
      if (c.result == kBcinfoOk) {
        EXPECT_STREQ(info.host, "dj.example");
      }
    }
  }
}

TEST_F(WebServiceTest, NetcastSwitchSucceedsOnAnyZeroAndSetsTheLiveFlag) {
  const struct {
    const char* stream;
    std::string answer;
    bool ok, liveAfter;
  } steps[] = {
      {"hostplay", "0", true, false},   {"live", "10", true, true},  // a zero inside a number counts
      {"hostplay", "", false, true},                                 // no answer: unchanged
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

// Switching on and off against the service runs end to end in the integration tests; here the failure.
TEST_F(WebServiceTest, FailedServerSwitchIsLoggedAndClearsTheNotice) {
  EXPECT_FALSE(web.switchServer(prompts, "dj ana", "p&w", "OFF"));
  ASSERT_EQ(http.calls().size(), 1u);
  EXPECT_EQ(http.calls()[0].path, "/cgi-bin/switch.cgi?membername=dj%20ana&password=p%26w&action=OFF");
  EXPECT_TRUE(http.calls()[0].async);
  EXPECT_EQ(prompts.notices(),
            (std::vector<std::string>{"Turning OFF your broadcast server, standby...", ""}));
  EXPECT_NE(readFile(Logger::getLogPath()).find("Unable to switch broadcast server OFF\n"),
            std::string::npos);
}

TEST_F(WebServiceTest, SongRequestsForEachForm) {
  TrackFacts untagged;
  untagged.path = "/music/track.MP3";
  untagged.displayTitle = "track #2";
  untagged.seconds = 61;
  TrackFacts cut;  // fields are cut at 127 characters before encoding
  cut.path = "/m/" + std::string(200, 'f') + ".mp3";
  cut.hasTag = true;
  cut.title = std::string(200, 't');
  cut.artist = std::string(126, 'a') + "&&";
  cut.album = " ";
  TrackFacts latin1 = cut;  // ID3v1 texts are Latin-1; UTF-8 ones stay as they are
  latin1.path = "/m/Caf\xC3\xA9.mp3";
  latin1.title = "Caf\xE9";
  latin1.artist = std::string(126, 'a') + "\xF6";
  latin1.album = "Z\xC3\xBCrich";

  const std::string start = "/cgi-bin/add_song.cgi?version=2&pass=p%26w%231&handle=dj%20ana";
  const struct {
    const char* name;
    SongRequest request;
    std::string path;
  } cases[] = {
      {"title only", web.songRequest(account, "  "), start + "&title=%20%20&seconds=0"},
      {"untagged track", web.songRequest(account, untagged), start + "&title=track%20%232&seconds=61"},
      {"tagged track, long fields", web.songRequest(account, cut),
       start + "&fileName=" + std::string(127, 'f') + "&seconds=0&title=" + std::string(127, 't') +
           "&artist=" + std::string(126, 'a') + "%26&album=%20&year=0&id3genre="},
      {"tagged track, Latin-1 and UTF-8 texts", web.songRequest(account, latin1),
       start + "&fileName=Caf%C3%A9&seconds=0&title=Caf%C3%A9&artist=" + std::string(126, 'a') +
           "&album=Z%C3%BCrich&year=0&id3genre="},
      {"typed information", web.songInfoRequest(account, std::string(130, 't'), "", "B"),
       start + "&title=" + std::string(127, 't') + "&artist=&album=B&seconds=0"},
      {"information line", web.songInfoRequest(account, "Live from the attic", std::nullopt, std::nullopt),
       start + "&title=Live%20from%20the%20attic&seconds=0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.request.path, c.path);
    EXPECT_EQ(c.request.user, "dj ana");
  }
  EXPECT_FALSE(web.postSong(account, "title")) << "no sender to post with";
  EXPECT_TRUE(http.calls().empty());
}

TEST(SongHostTest, MainWebHostSendsTitlesToTheSongUpdateHost) {
  test::FakeHttpClient http;
  const std::pair<const char*, const char*> cases[] = {
      {kMainWebHost, kSongUpdateHost},
      {"www.zelvora.example:8080", kSongUpdateHost},
      {"127.0.0.1:9000", "127.0.0.1:9000"},
      {"test.zelvora.example", "test.zelvora.example"},
  };
  for (const auto& [webHost, songHost] : cases) {
    WebService web(http, webHost);
    EXPECT_EQ(web.songRequest(ServerInfo{}, "x").host, songHost) << webHost;
  }
}

TEST_F(WebServiceTest, VersionCheckOffersOrDemandsTheUpgrade) {
  const std::string demand = "A new version of Brovana-Live is available. You must upgrade.";
  const struct {
    const char* answer;
    bool yes;
    int code;
    bool asked;
    std::string box, opened;
    bool ended;
  } cases[] = {
      {"", true, -1, false, "", "", false},
      {"-1", true, -1, false, "", "", false},
      {"1,http://up.example/get.html", false, 1, true, "", "", false},
      {"3,http://up.example/", true, 3, false, "", "", false},
      {"1,file:///etc/passwd", true, 1, true, "", "", true},  // asked; only the address is not opened
      {"1", false, 1, true, "", "", false},
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
    EXPECT_EQ(service.checkVersion(account, 3.46, 7, boxes, ending), c.code);
    auto questions = boxes.questions();
    ASSERT_EQ(questions.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(questions[0].text,
                "A new version of Brovana-Live is available. Would you like to upgrade now?");
    }
    EXPECT_EQ(boxes.boxTexts(), c.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.box});
    EXPECT_EQ(boxes.opened(),
              c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
    EXPECT_EQ(ending.ended, c.ended);
    ASSERT_EQ(fake.calls().size(), 1u);
    EXPECT_EQ(fake.calls()[0].path, "/cgi-bin/checkversion.cgi?app=mirobeam&major=3.5&minor=7&platform=win");
  }
}

TEST_F(WebServiceTest, FailedGenreFetchKeepsTheTable) {
  GenreTable table;
  table.assign({"Old"});
  EXPECT_FALSE(web.fetchGenreList(table));
  EXPECT_EQ(table.names(), std::vector<std::string>{"Old"});
  EXPECT_EQ(http.calls().back().capacity, kDownloadAnswerSize);
}

TEST_F(WebServiceTest, ScriptReplacesOnlyAnExistingFileWithAServedOne) {
  const std::string name = "brovana_live.ini";
  const std::string old = "[names]\nHOSTPLAYNAME=Old Name that is longer than the new one\n";
  const struct {
    const char* name;
    bool localExists, served;
    int status;
    bool result;
    std::string after;
  } cases[] = {
      {"served and present: replaced whole", true, true, 200, true, "[names]\nHOSTPLAYNAME=Robot\n"},
      {"served but absent: not created", false, true, 200, true, ""},
      {"not found page: kept", true, true, 404, false, old},
      {"no answer: kept", true, false, 0, false, old},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(name);
    if (c.localExists) std::ofstream(name, std::ios::binary) << old;
    test::FakeHttpClient fake;
    if (c.served) fake.answer("/scripts/" + name, "[names]\nHOSTPLAYNAME=Robot\n", true, c.status);
    WebService service(fake, "127.0.0.1:8080");
    EXPECT_EQ(service.fetchScript(name), c.result);
    EXPECT_EQ(std::filesystem::exists(name), c.localExists);
    if (c.localExists) {
      EXPECT_EQ(readFile(name), c.after);
    }
  }
  // Offline, the name comes from the file that is there.
  std::ofstream(name, std::ios::binary | std::ios::trunc) << old;
  EXPECT_EQ(web.hostplayDisplayName(), "Old Name that is longer than the new one");
  std::filesystem::remove(name);
}

}  // namespace
}  // namespace brovana
