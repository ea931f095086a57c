#include "broadcast/supervisor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "core/registry.h"
#include "fake_parts.h"
#include "support/fake_prompts.h"
#include "support/log_tail.h"
#include "support/mp3_bytes.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using test::Journal;

// The service's web API as the Supervisor uses it, with the account's state kept between
// requests: the server switch and the account mode stick, as on the real service.
class FakeZelvora final : public HttpClient {
 public:
  bool get(const std::string&, const std::string&, const std::string& path, std::string& answer,
           size_t capacity, bool) override {
    std::lock_guard lock(mutex);
    paths.push_back(path);
    answer = respond(path).substr(0, capacity - 1);
    return true;
  }
  // The requests to that script, with their queries.
  std::vector<std::string> calls(const std::string& script) {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    for (const std::string& p : paths)
      if (p.find(script) != std::string::npos) out.push_back(p);
    return out;
  }

  std::mutex mutex;  // guards the fields below, which tests set before the Supervisor runs
  std::vector<std::string> paths;
  std::string mode = "LI", version = "0";
  bool serverOn = false, refused = false, netcastWorks = true;
  int listenerPort = 1;

 private:
  std::string respond(const std::string& path) {
    auto has = [&](const char* part) { return path.find(part) != std::string::npos; };
    if (has("/cgi-bin/bcinfo.cgi"))
      return refused && has("password=") ? "-2"
                                         : "0 " + mode + (serverOn ? " ON" : " OFF") +
                                               " 3 100 12 4.5 127.0.0.1 " + std::to_string(listenerPort);
    if (has("/cgi-bin/livelogin.cgi")) return "0 SESSION42";
    if (has("/cgi-bin/switch.cgi")) {
      serverOn = has("action=ON");
      return "OK";
    }
    if (has("/cgi-bin/netcast.cgi")) {
      if (!netcastWorks) return "refused";
      mode = has("stream=live") ? "LI" : "OR";
      return "0";
    }
    return has("/cgi-bin/checkversion.cgi") ? version : "";
  }
};

// One studio: the Supervisor with its fakes, and the settings of a member who has run it before.
struct Rig {
  explicit Rig(int listenerPort) {
    test::resetProgramValues(&registry);
    // The account-mode switch is one flag for the whole run; every studio starts unswitched.
    WebService(service, "127.0.0.1:1").netcastSwitch("dj", "pw", "hostplay", 0);
    service.paths.clear();
    service.mode = "LI";
    service.listenerPort = listenerPort;
    auto key = registry.create(profileKeyPath());
    for (auto [name, value] :
         {std::pair{"username", "dj"}, {"pass", "pw"}, {"bitrate", "100000"}, {"sessionID", "5"}})
      key->set(name, value);
    parts.playlistLoader = [this](Playlist& playlist, const std::string& path) {
      return path == "night.m3u" && addTracks(playlist);
    };
  }
  ~Rig() {
    supervisor.reset();
    test::resetProgramValues(nullptr);
  }
  bool addTracks(Playlist& playlist) {
    for (const char* name : {"a.mp3", "b.mp3"}) playlist.addFile(music.file(name), AddMode::Append);
    return true;
  }
  Supervisor& make(Registry* settings = nullptr) {
    SupervisorTimings timings;
    timings.liveSwitchWaitSeconds = 0;
    timings.connection.connectTimeout = timings.connection.ioTimeout = std::chrono::milliseconds(2000);
    supervisor = std::make_unique<Supervisor>(
        &window, "127.0.0.1:1",
        SupervisorContext{prompts, exit, settings ? *settings : registry, service, parts, nullptr, timings});
    supervisor->setVisual(&visual);
    return *supervisor;
  }
  Supervisor& started() {
    EXPECT_TRUE(make().init());
    return *supervisor;
  }
  Supervisor& onAir() {
    started();
    addTracks(*parts.playlistWindow->playlist());
    EXPECT_TRUE(supervisor->broadcast());
    EXPECT_EQ(supervisor->isBroadcasting(), 1);
    return *supervisor;
  }

  test::TempFolder music;
  Journal journal;
  test::FakePrompts prompts;
  test::FakeExit exit;
  MemoryRegistry registry;
  FakeZelvora service;
  test::FakeParts parts{journal, prompts};
  test::FakeMainWindow window{journal};
  test::MemoryVisualModes visual;
  std::unique_ptr<Supervisor> supervisor;
};

class SupervisorTest : public ::testing::Test {
 protected:
  void SetUp() override { rig = fresh(); }
  std::unique_ptr<Rig> fresh() {
    rig.reset();  // the old one first: it resets the program-wide values as it goes
    auto made = std::make_unique<Rig>(peer.port() - 1);
    for (const char* name : {"a.mp3", "b.mp3"}) made->music.write(name, test::frames({}, 418, 40));
    return made;
  }
  test::ScriptedPeer peer;
  std::unique_ptr<Rig> rig;
};

TEST_F(SupervisorTest, SlowProcessorWarningOnTheFirstTwoRunsOnly) {
  for (auto [mhz, session, warned] :
       {std::tuple{0, "0", false}, {233, "0", false}, {232, "1", true}, {232, "2", false}, {100, "", true}}) {
    rig = fresh();
    rig->registry.open(profileKeyPath())->set("sessionID", session);
    rig->parts.mhz = mhz;
    rig->started();
    std::string expected =
        "Your CPU is less than the recommeded speed for live broadcasting, (" + std::to_string(mhz) +
        " Mhz) causing your broadcast to break up, you should have at least a 233 Mhz machine.";
    auto boxes = rig->prompts.boxTexts();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), expected), warned) << mhz << " MHz, session " << session;
  }
}

constexpr const char* kHaveAccount = "Do you already have an account on Zelvora?";
constexpr const char* kOtherAccount =
    "This account, dj, is currently set up for hostplay. Do you want to log into a different account?";
constexpr const char* kRunning = "You currently have a broadcast running! Do you want to continue?";
constexpr const char* kSwitchRefused =
    "Brovana-Live is unable to change your account type from hostplay to Live.Try logging in to you account "
    "and change it by hand.";

TEST_F(SupervisorTest, StartUpQuestionsAndEnds) {
  struct Case {
    const char* what;
    bool firstRun;
    const char* mode;
    bool serverOn, netcastWorks, codecFails;
    const char* version;
    std::vector<bool> answers, wizard;
    bool starts;
    std::vector<std::string> questions;
    const char* wizardRun;  // null: none
    size_t netcasts;        // switches to live
    const char* box;        // a box that must be shown; null: none of the start-up's own
    std::string opened;     // the page opened
  } cases[] = {
      {"codec fails", false, "LI", false, true, true, "0", {}, {}, false, {}, nullptr, 0, nullptr, ""},
      {"upgrade required",
       false,
       "LI",
       false,
       true,
       false,
       "2,http://www.zelvora.example/upgrade.html",
       {},
       {},
       false,
       {},
       nullptr,
       0,
       nullptr,
       "http://www.zelvora.example/upgrade.html"},
      {"first run, no account",
       true,
       "LI",
       false,
       true,
       false,
       "0",
       {false},
       {},
       false,
       {kHaveAccount},
       nullptr,
       0,
       "Brovana-Live will now launch your browser and exit. When ready restart Live and you'll be on the "
       "air!",
       registrationUrl()},
      {"first run, wizard cancelled",
       true,
       "LI",
       false,
       true,
       false,
       "0",
       {true},
       {false},
       false,
       {kHaveAccount},
       "wizard first",
       0,
       nullptr,
       ""},
      {"hostplay, goes live",
       false,
       "OR",
       false,
       true,
       false,
       "0",
       {false},
       {},
       true,
       {kOtherAccount},
       nullptr,
       1,
       nullptr,
       ""},
      {"hostplay, switch refused",
       false,
       "OR",
       false,
       false,
       false,
       "0",
       {false},
       {},
       false,
       {kOtherAccount},
       nullptr,
       1,
       kSwitchRefused,
       ""},
      {"hostplay, other account",
       false,
       "OR",
       false,
       true,
       false,
       "0",
       {true},
       {true},
       true,
       {kOtherAccount},
       "wizard",
       0,
       nullptr,
       ""},
      {"hostplay, other account cancelled",
       false,
       "OR",
       false,
       true,
       false,
       "0",
       {true},
       {false},
       false,
       {kOtherAccount},
       "wizard",
       0,
       nullptr,
       ""},
      {"running, continue",
       false,
       "LI",
       true,
       true,
       false,
       "0",
       {true},
       {},
       true,
       {kRunning},
       nullptr,
       0,
       nullptr,
       ""},
      {"running, stop",
       false,
       "LI",
       true,
       true,
       false,
       "0",
       {false},
       {},
       false,
       {kRunning},
       nullptr,
       0,
       nullptr,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rig = fresh();
    MemoryRegistry empty;
    if (c.firstRun) test::resetProgramValues(&empty);
    rig->service.mode = c.mode;
    rig->service.serverOn = c.serverOn;
    rig->service.netcastWorks = c.netcastWorks;
    rig->service.version = c.version;
    rig->parts.codecFails = c.codecFails;
    for (bool a : c.answers) rig->prompts.answerNext(a);
    rig->parts.wizardResults = c.wizard;
    EXPECT_EQ(rig->make(c.firstRun ? &empty : nullptr).init(), c.starts);
    EXPECT_EQ(rig->exit.ended, !c.starts);
    EXPECT_EQ(rig->prompts.questionTexts(), c.questions);
    EXPECT_EQ(rig->journal.count("wizard") + rig->journal.count("wizard first"), c.wizardRun ? 1u : 0u);
    if (c.wizardRun) {
      EXPECT_EQ(rig->journal.count(c.wizardRun), 1u);
    }
    EXPECT_EQ(rig->service.calls("stream=live").size(), c.netcasts);
    auto boxes = rig->prompts.boxTexts();
    EXPECT_EQ(c.box != nullptr, std::find(boxes.begin(), boxes.end(), c.box ? c.box : "") != boxes.end());
    EXPECT_EQ(rig->prompts.opened(), c.opened.empty() ? std::vector<std::string>{} : std::vector{c.opened});
    EXPECT_EQ(rig->journal.count("make engine"), c.codecFails ? 0u : 1u) << "the end comes before the engine";
    if (!c.starts) {
      EXPECT_TRUE(rig->service.calls("bcinfo.cgi?membername=dj&password=").empty())
          << "no check after the end";
    }
    if (c.firstRun) {
      EXPECT_FALSE(empty.open(profileKeyPath())) << "an unfinished first run stores nothing";
    }
  }
}

TEST_F(SupervisorTest, FirstRunWizardStoresTheSettingsAndStartsWithItsTracks) {
  MemoryRegistry empty;
  test::resetProgramValues(&empty);
  rig->parts.wizardFills = [&](LiveConnect& connection) {
    connection.setMemberName("newdj");
    connection.setPassword("pw");
    rig->addTracks(*rig->parts.playlistWindow->playlist());
  };
  Supervisor& s = rig->make(&empty);
  ASSERT_TRUE(s.init());
  EXPECT_EQ(rig->prompts.boxes().back().caption, "Click to begin!");
  EXPECT_EQ(empty.open(profileKeyPath())->query("username"), "newdj");
  EXPECT_EQ(empty.open(profileKeyPath())->query("sessionID"), "1")
      << "the first run is the first of the count";
  s.autoStart();
  EXPECT_EQ(rig->journal.count("status.show"), 1u);
  EXPECT_EQ(rig->journal.count("engine.start 2 tracks at 0 56000"), 1u);
  EXPECT_EQ(rig->journal.count("playlistWindow.show"), 0u) << "this path does not show the playlist window";
  s.prepareExit();
}

TEST_F(SupervisorTest, ARefusedAccountOpensTheBroadcastInformationAndOffersNoPlaylist) {
  rig->service.refused = true;
  rig->registry.open(profileKeyPath())->set("playlist", "night.m3u");
  rig->started().autoStart();
  EXPECT_EQ(rig->journal.count("info.make"), 1u);
  EXPECT_TRUE(rig->prompts.questionTexts().empty()) << "the dialog is open: no previous playlist is offered";
  EXPECT_EQ(rig->journal.count("playlistWindow.show"), 1u);
}

TEST_F(SupervisorTest, AnEmptyPlaylistIsRefusedWithoutContactingTheService) {
  Supervisor& s = rig->started();
  size_t before = rig->service.calls("").size();
  EXPECT_FALSE(s.broadcast());
  EXPECT_EQ(rig->prompts.boxTexts().back(), "You need to either create or load a playlist!");
  EXPECT_EQ(rig->service.calls("").size(), before);
  EXPECT_EQ(peer.connectionCount(), 0u);
}

TEST_F(SupervisorTest, SwitchingSourcesRestartsOnlyAcrossThePlaylist) {
  Supervisor& s = rig->onAir();
  Journal& j = rig->journal;
  const std::tuple<int, std::vector<std::string>, int, int> steps[] = {
      {kSourceLineIn, {"inMixer.select 4098", "engine.stop", "capture.start 100000"}, 2, 32784},
      {kSourceMicrophone, {"inMixer.select 4099"}, 2, 32785},  // nothing restarts
      {kSourcePlaylist, {"capture.close", "engine.start 2 tracks at 0 56000"}, 1, 32782},
  };
  for (const auto& [source, calls, broadcasting, mark] : steps) {
    j.clear();
    ASSERT_TRUE(s.setSource(source));
    std::vector<std::string> parts;
    for (const std::string& line : j.lines())
      if (line.rfind("engine.", 0) == 0 || line.rfind("inMixer.", 0) == 0 || line.rfind("capture.", 0) == 0)
        parts.push_back(line);
    EXPECT_EQ(parts, calls) << source;
    EXPECT_EQ(s.isBroadcasting(), broadcasting);
    EXPECT_EQ(j.count("check " + std::to_string(mark) + " 1"), 1u);
  }
  EXPECT_EQ(rig->prompts.boxTexts()[0], "Switching your audio source to your (External source : line-in)");
  EXPECT_TRUE(rig->prompts.questions().empty());
}

TEST_F(SupervisorTest, SourcesThatCannotBeSelectedOrStarted) {
  for (auto [code, cd, mixer, message] :
       {std::tuple{
            kSourceCd, false, true,
            "You do not have a CD in your drive. You must load a CD, start playing it with your favorite "
            "player."},
        {kSourceLineIn, false, false, "Unable to switch to (External source : line-in)"}}) {
    rig = fresh();
    rig->parts.cd = cd;
    rig->parts.mixerSelects = mixer;
    Supervisor& s = rig->started();
    EXPECT_FALSE(s.setSource(code));
    EXPECT_EQ(rig->prompts.boxTexts().back(), message);
    EXPECT_EQ(s.source(), kSourcePlaylist) << "the source stays";
  }
  rig = fresh();
  rig->parts.captureStarts = false;
  Supervisor& s = rig->started();
  ASSERT_TRUE(s.setSource(kSourceMixer));
  EXPECT_TRUE(s.broadcast()) << "the start itself succeeded";
  EXPECT_EQ(rig->journal.last("caption"), "Start Broadcast");
  EXPECT_EQ(s.isBroadcasting(), 0);
}

TEST_F(SupervisorTest, AServerThatCannotBeReachedOffersRestartOrExit) {
  peer.stopListening();
  Supervisor& s = rig->started();
  rig->addTracks(*rig->parts.playlistWindow->playlist());
  rig->prompts.answerNext(true);   // Restart
  rig->prompts.answerNext(false);  // Exit
  EXPECT_FALSE(s.broadcast());
  auto questions = rig->prompts.questions();
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[1].text + "|" + questions[1].yesCaption + "|" + questions[1].noCaption,
            "Unable to connect to your Zelvora server, restart and try again?|Restart|Exit");
  auto switches = rig->service.calls("/cgi-bin/switch.cgi");
  ASSERT_EQ(switches.size(), 3u) << "on, then off and on again for the restart";
  EXPECT_NE(switches[1].find("action=OFF"), std::string::npos);
  EXPECT_TRUE(rig->journal.with("engine.start").empty());
}

TEST_F(SupervisorTest, DuringAVoiceoverANewStartAsksFirst) {
  Supervisor& s = rig->onAir();
  ASSERT_TRUE(s.startVoiceover());
  EXPECT_EQ(rig->journal.count("capture.voiceover 1"), 1u);
  EXPECT_EQ(rig->journal.last("label 1038"), "(+mic) Blue in Green");
  EXPECT_EQ(s.isBroadcasting(), 2);
  rig->prompts.answerNext(false);
  rig->journal.clear();
  EXPECT_FALSE(s.broadcast());
  EXPECT_EQ(rig->prompts.questionTexts(),
            std::vector<std::string>{"You are already broadcasting. Do you want to stop and restart?"});
  EXPECT_TRUE(rig->journal.lines().empty()) << "nothing changed";
  s.stopVoiceover();
  EXPECT_EQ(rig->journal.last("label 1038"), "Blue in Green");
  EXPECT_EQ(s.isBroadcasting(), 1);
  EXPECT_TRUE(s.broadcast()) << "the running state equals the last start: no question";
  EXPECT_EQ(rig->prompts.questions().size(), 1u);
}

TEST_F(SupervisorTest, TheWizardFromTheMenuOffersARestart) {
  Supervisor& s = rig->onAir();
  s.showBroadcastInfo();
  test::LogTail log;
  for (bool yes : {false, true}) {
    rig->journal.clear();
    rig->prompts.answerNext(yes);
    EXPECT_EQ(s.runSetupWizard(), yes);
    EXPECT_EQ(rig->prompts.questionTexts().back(),
              "Your broadcast needs to be restarted, (cutting your current listeners off). Restart now?");
    EXPECT_EQ(rig->journal.count("engine.start 2 tracks at 0 56000") + rig->journal.count("info.refresh 0"),
              yes ? 2u : 0u);
  }
  EXPECT_TRUE(log.contains(") Restarting broadcast\n"));
}

TEST_F(SupervisorTest, EngineReportsReachTheWindowsAndTheGauge) {
  rig->onAir();
  EngineReports& reports = *rig->parts.engine->reports;
  rig->journal.clear();
  reports.nowPlaying("Tone");
  reports.trackTimes(70, 3725);
  reports.quality(0.5f, 40000);
  reports.onAirTitle();
  EXPECT_EQ(
      rig->journal.lines(),
      (std::vector<std::string>{"label 1038 Tone", "label 1075 0:01:10" + std::string(17, ' ') + "1:02:05",
                                "gauge.cpu 0.5", "gauge.network 40000 56000",
                                "title Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (3 listeners)"}));
}

TEST_F(SupervisorTest, ExitTurnsOffTheServerThisRunTurnedOnAndGoesInOrder) {
  rig->onAir();
  rig->supervisor->prepareExit();
  EXPECT_EQ(rig->journal.count("engine.stop final"), 1u);
  EXPECT_EQ(rig->registry.open(profileKeyPath())->query("sessionID"), "6");
  EXPECT_EQ(rig->service.calls("action=OFF").size(), 1u);
  rig->journal.clear();
  rig->supervisor.reset();
  EXPECT_TRUE(rig->prompts.questions().empty());
  int last = -1;
  for (const char* entry : {"destroy inMixer", "destroy outMixer", "destroy gauge", "destroy engine",
                            "destroy stage", "destroy playlistWindow", "destroy status"}) {
    EXPECT_GT(rig->journal.position(entry), last) << entry;
    last = rig->journal.position(entry);
  }

  rig = fresh();
  rig->started().prepareExit();
  EXPECT_TRUE(rig->service.calls("/cgi-bin/switch.cgi").empty()) << "a server this run did not turn on stays";
}

TEST_F(SupervisorTest, ExitWithASwitchedAccountOffersHostplayAgain) {
  for (bool works : {true, false}) {
    rig = fresh();
    rig->service.mode = "OR";
    rig->prompts.answerNext(false);  // this account: switched to live
    rig->onAir();
    rig->supervisor->prepareExit();
    EXPECT_TRUE(rig->service.calls("action=OFF").empty()) << "the server is not turned off";
    rig->service.netcastWorks = works;
    rig->supervisor.reset();
    EXPECT_EQ(rig->prompts.questionTexts().back(), "Would you like to turn your hostplay broadcast back on?");
    EXPECT_EQ(rig->service.calls("stream=hostplay").size(), 1u);
    auto boxes = rig->prompts.boxTexts();
    EXPECT_EQ(
        std::count(
            boxes.begin(), boxes.end(),
            "Brovana-Live is unable to change your account back to hostplay from Live. Try logging in to "
            "your account and change it by hand."),
        !works);
  }
}

TEST_F(SupervisorTest, AWorkerStopThatMeetsANewerStartIsDropped) {
  Supervisor& s = rig->onAir();
  EngineReports* reports = rig->parts.engine->reports;
  std::thread([&] { reports->listFailed(); }).join();
  EXPECT_EQ(rig->journal.last("caption"), "Start Broadcast");
  EXPECT_EQ(s.isBroadcasting(), 0) << "the worker stopped the failed list";

  // While the next start holds the supervisor (setting the line speeds), the failed list's
  // worker comes in to stop.
  std::thread worker;
  std::atomic<bool> entered{false};
  rig->parts.onStatusLabel = [&] {
    worker = std::thread([&] {
      entered = true;
      reports->listFailed();
    });
    while (!entered) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  rig->journal.clear();
  ASSERT_TRUE(s.broadcast());
  worker.join();
  EXPECT_EQ(rig->journal.count("engine.stop"), 0u);

  EXPECT_EQ(s.isBroadcasting(), 1);
}

TEST_F(SupervisorTest, WorkerNoticesRaceUserStopsAndStartsSafely) {
  Supervisor& s = rig->onAir();
  EngineReports* reports = rig->parts.engine->reports;
  ASSERT_TRUE(s.setSource(kSourceLineIn));
  std::atomic<bool> done{false};
  std::atomic<int> rounds{0};
  std::thread worker([&] {
    for (; !done; ++rounds) {
      reports->listFailed();
      reports->trackChanged();
    }
  });
  // Until the worker has come round often enough to meet every kind of user operation.
  for (int i = 0; i < 40 || (rounds < 50 && i < 100000); ++i) {
    i % 2 == 0 ? (void)s.broadcast() : s.stop();
    s.setSource(i % 3 == 0 ? kSourcePlaylist : kSourceLineIn);
  }
  done = true;
  worker.join();
  s.stop();
  EXPECT_EQ(s.isBroadcasting(), 0);
  EXPECT_GT(rig->parts.capture->trackChanges.load(), 0);
}

}  // namespace
}  // namespace brovana
