// The studio with fakes of its parts, of the prompts and of the service: all of them write into
// one journal, so that a test reads what happened in which order.

#include "broadcast/studio.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <thread>

#include "audio/conversion_ports.h"
#include "broadcast/studio_commands.h"
#include "core/registry.h"
#include "diag/logger.h"
#include "fake_parts.h"
#include "monitor/status_display.h"
#include "support/fake_prompts.h"
#include "support/log_tail.h"
#include "support/mp3_bytes.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using test::Journal;

// The service's web API, writing "get PATH"; the server switch and the account mode stick, as on
// the real service. The settings are made before the studio runs.
class FakeZelvora final : public HttpClient {
 public:
  explicit FakeZelvora(Journal& journal) : journal_(journal) {}
  bool get(const std::string&, const std::string&, const std::string& path, std::string& answer, size_t,
           bool) override {
    std::lock_guard lock(mutex_);
    journal_.add("get", path);
    if (dead) return false;
    auto has = [&](const char* part) { return path.find(part) != std::string::npos; };
    if (has("/switch.cgi")) serverOn = has("action=ON");
    if (has("/netcast.cgi") && netcastWorks) mode = has("stream=live") ? "LI" : "OR";
    answer = garbled && has("/bcinfo.cgi") ? "503 Service Unavailable"
             : has("/bcinfo.cgi") ? "0 " + mode + (serverOn ? " ON" : " OFF") + " 3 100 12 4.5 127.0.0.1 " +
                                        std::to_string(listenerPort)
             : has("/livelogin.cgi")    ? "0 SESSION42"
             : has("/netcast.cgi")      ? (netcastWorks ? "0" : "refused")
             : has("/checkversion.cgi") ? version
                                        : "OK";
    return true;
  }
  std::string mode = "LI", version = "0";
  bool serverOn = false, netcastWorks = true, garbled = false, dead = false;
  int listenerPort = 1;

 private:
  Journal& journal_;
  std::mutex mutex_;
};

constexpr const char* kBcinfoByPassword = "get /cgi-bin/bcinfo.cgi?membername=dj&password=";

// One studio with its fakes, and the settings of a member who has run it before.
struct Rig {
  Rig(int listenerPort, const test::TempFolder& music) : music(music) {
    test::resetProgramValues(&registry);
    // The account-mode switch is one flag for the whole run; every studio starts unswitched.
    WebService(service, "127.0.0.1:1").netcastSwitch("dj", "pw", StationMode::Hostplay, 0);
    service.mode = "LI";
    journal.clear();
    service.listenerPort = listenerPort;
    for (auto [name, value] :
         {std::pair{"username", "dj"}, {"pass", "pw"}, {"bitrate", "100000"}, {"sessionID", "5"}})
      registry.create(profileKeyPath())->set(name, value);
    prompts.journal = &journal;
  }
  ~Rig() {
    studio.reset();
    test::resetProgramValues(nullptr);
  }
  void add() {
    for (const char* name : {"a.mp3", "b.mp3"})
      parts.playlistWindow->playlist()->addFile(music.file(name), AddMode::Append);
  }
  Studio& make() {
    StudioTimings timings;
    timings.account.liveSwitchWaitSeconds = 0;
    timings.account.restartWait = restartWait;
    timings.connection.connectTimeout = timings.connection.ioTimeout = std::chrono::milliseconds(2000);
    studio = std::make_unique<Studio>(
        &window, "127.0.0.1:1",
        StudioContext{prompts, exit, *settings, service, parts, nullptr, timings, {}, [this](bool lost) {
                        journal.add("inputLost", lost);
                      }});
    studio->setVisual(&visual);
    return *studio;
  }
  // The first run: no settings at all.
  void firstRun() { settings = &none, test::resetProgramValues(&none); }
  Studio& started() {
    EXPECT_TRUE(make().init());
    return add(), *studio;
  }
  // Until the commands handed to the studio's worker so far have run.
  void settle() {
    studio->worker().await([] {});
  }
  Studio& onAir() {
    EXPECT_TRUE(started().session().start());
    EXPECT_EQ(studio->onAir(), OnAir::Playlist);
    return *studio;
  }

  const test::TempFolder& music;
  Journal journal;
  test::FakePrompts prompts;
  test::FakeExit exit;
  MemoryRegistry registry, none;
  Registry* settings = &registry;
  FakeZelvora service{journal};
  test::FakeParts parts{journal, prompts};
  test::FakeMainWindow window{journal};
  test::MemoryModes visual;
  std::unique_ptr<Studio> studio;
  std::chrono::milliseconds restartWait{0};
};

class StudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.mp3", "b.mp3"}) music.write(name, test::frames({}, 417, 40));
    renew();
  }
  // A new studio; the old one goes first, since it resets the program-wide values as it goes.
  Rig& renew() {
    rig.reset();
    rig = std::make_unique<Rig>(peer.port() - 1, music);
    return *rig;
  }
  test::ScriptedPeer peer;
  test::TempFolder music;
  std::unique_ptr<Rig> rig;
};

TEST_F(StudioTest, StartUpQuestionsAndEnds) {
  const std::string other = "ask This account, dj, is currently set up for hostplay. Do you want to log into",
                    running = "ask You currently have a broadcast running! Do you want to continue?",
                    account = "ask Do you already have an account on Zelvora?",
                    netcast = "get /cgi-bin/netcast.cgi?", version = "get /cgi-bin/checkversion.cgi",
                    page = "http://www.zelvora.example/up.html",
                    notSwitched =
                        "box Brovana-Live is unable to change your account type from hostplay to Live.";
  using Arrange = std::function<void(Rig&)>;
  auto hostplay = [](bool yes) { return [=](Rig& r) { r.service.mode = "OR", r.prompts.answerNext(yes); }; };
  const Arrange newcomer =
                    [](Rig&r) { r.firstRun(), r.prompts.answerNext(false), r.parts.wizardResults = {false}; },
                cancels = [](Rig&r) { r.firstRun(), r.parts.wizardResults = {false}; },
                refused = [&](Rig&r) { hostplay(false)(r), r.service.netcastWorks = false; },
                serverOn = [](Rig&r) { r.service.serverOn = true, r.prompts.answerNext(false); };
  const std::tuple<Arrange, bool, std::vector<std::string>, std::string> cases[] = {
      {[](Rig& r) { r.parts.codecFails = true; }, false, {}, "engine.make"},
      {[&](Rig& r) { r.service.version = "2," + page; }, false, {"open " + page}, kBcinfoByPassword},
      {newcomer,
       false,
       {account, "box Sign up for your Zelvora account at", "open " + registrationUrl(), "wizard first"},
       version},
      {cancels, false, {account, "wizard first"}, version},
      {hostplay(false), true, {other, netcast, version}, "wizard"},
      {refused, false, {other, netcast, notSwitched}, version},
      {hostplay(true), true, {other, "wizard"}, netcast},
      {[](Rig& r) { r.service.garbled = true; }, true, {"box The Zelvora service cannot"}, "info.make"},
      {serverOn, false, {running}, kBcinfoByPassword},
  };
  for (const auto& [arrange, starts, happened, notAfter] : cases) {
    Rig& r = renew();
    arrange(r);
    EXPECT_EQ(r.make().init(), starts) << r.journal.dump();
    EXPECT_EQ(r.exit.ended, !starts);
    EXPECT_TRUE(r.journal.follows(happened));
    // After what happened: the refresh thread's first request may come late, in the password form.
    auto more = happened;
    more.push_back(notAfter);
    EXPECT_FALSE(r.journal.follows(more)) << notAfter;
    EXPECT_FALSE(r.none.open(profileKeyPath())) << "an unfinished first run stores nothing";
  }
}

TEST_F(StudioTest, ExitLeavesAServerThisRunDidNotTurnOnAndGoesInOrder) {
  rig->started().prepareExit();
  EXPECT_TRUE(rig->journal.lacks("get /cgi-bin/switch.cgi")) << "a server this run did not turn on stays on";
  EXPECT_TRUE(rig->journal.lacks("inMixer") && rig->journal.lacks("outMixer"))
      << "no mixer before one is needed";
  rig->studio->sources().setSourceVolume(Source::LineIn, 1000);  // opens both
  rig->journal.clear();
  rig->studio.reset();
  EXPECT_TRUE(rig->journal.follows({"destroy inMixer", "destroy outMixer", "destroy gauge", "destroy engine",
                                    "destroy stage", "destroy playlistWindow", "destroy status"}));
  EXPECT_TRUE(rig->journal.lacks("ask"));
}

TEST_F(StudioTest, AWorkerStopThatMeetsANewerStartIsDropped) {
  Studio& s = rig->onAir();
  EngineReports* reports = rig->parts.engine->reports;
  std::thread([&] { reports->listFailed(); }).join();
  EXPECT_EQ(s.onAir(), OnAir::Off) << "the worker stopped the failed list";
  EXPECT_EQ(rig->journal.last("caption"), "Start Broadcast");

  // The failed list's worker read the count of starts, then the member started again.
  int seen = s.session().starts();
  ASSERT_TRUE(s.session().start());
  rig->journal.clear();
  EXPECT_FALSE(s.session().stopFailedList(seen));
  EXPECT_TRUE(rig->journal.lacks("engine.stop"));
  EXPECT_EQ(s.onAir(), OnAir::Playlist);
}

// However the member's server was restarted, from the menu or with Restart after a failed
// log-in, it gets its time before the next log-in; a stop ends that wait, and nothing more is
// asked or tried.
TEST_F(StudioTest, ARestartedServerGetsItsTimeBeforeTheNextLogInUntilAStop) {
  const std::string on = "get /cgi-bin/switch.cgi?membername=dj&password=pw&action=ON";
  const std::pair<bool, std::vector<std::string>> ways[] = {
      // from the menu; what shows that the wait has begun
      {true, {"get /cgi-bin/switch.cgi?membername=dj&password=pw&action=OFF", on, "get /cgi-bin/bcinfo.cgi"}},
      {false, {"ask Unable to connect", on}},
  };
  for (const auto& [fromMenu, waiting] : ways) {
    Rig& r = renew();
    r.restartWait = std::chrono::hours(1);
    r.service.listenerPort = test::freeLoopbackPort() - 1;  // no server there
    Studio& s = r.started();
    r.prompts.defaultAnswer = false;
    if (fromMenu) {
      StudioCommands(s, r.prompts).restartServer();
      r.settle();
    } else {
      r.prompts.answerNext(true);  // Restart once, then Exit
    }
    auto started = std::async(std::launch::async, [&] { return s.session().start(); });
    ASSERT_TRUE(test::eventually([&] { return bool(r.journal.follows(waiting)); })) << fromMenu;
    s.requestStop();
    ASSERT_EQ(started.wait_for(std::chrono::seconds(10)), std::future_status::ready) << fromMenu;
    EXPECT_FALSE(started.get()) << fromMenu;
    for (const char* after : {"ask", "title Trying to connect"}) {
      auto more = waiting;
      more.push_back(after);
      EXPECT_FALSE(r.journal.follows(more)) << fromMenu << r.journal.dump();
    }
  }
}

// A service that stops answering is named as the reason; restarting the server could not help.
TEST_F(StudioTest, AStartWithoutTheServiceSaysSoAndRestartsNothing) {
  rig->service.listenerPort = test::freeLoopbackPort() - 1;  // no server there either
  Studio& s = rig->started();
  rig->service.dead = true;
  rig->journal.clear();
  EXPECT_FALSE(s.session().start());
  EXPECT_TRUE(rig->journal.lacks("ask Unable to connect")) << rig->journal.dump();
  EXPECT_TRUE(rig->journal.follows({std::string("box ") + kServiceSilentText}));
  // The request that found the service silent, and at most one of the link's refresh thread.
  EXPECT_LE(rig->journal.all("get").size(), 2u) << rig->journal.dump();
}

// The main window's commands, through the rules the window forwards to (the broadcast button is
// the windows' test).
TEST_F(StudioTest, WindowCommands) {
  Studio& s = rig->onAir();
  StudioCommands commands(s, rig->prompts);
  ASSERT_TRUE(s.openVoiceoverPanel());
  commands.selectSource(32782);  // the playlist again: the panel goes, the broadcast stays
  rig->settle();
  EXPECT_FALSE(s.sources().voiceoverPanelOpen());
  EXPECT_EQ(s.onAir(), OnAir::Playlist);
  commands.selectSource(32784);  // line-in: the capture takes the air
  rig->settle();
  EXPECT_EQ(s.onAir(), OnAir::Capture);
  EXPECT_EQ(s.sources().source(), Source::LineIn);

  rig->prompts.answerNext(false);
  EXPECT_FALSE(commands.mayExit()) << "the member stays on the air";
  EXPECT_EQ(rig->journal.last("ask"), "You are currently broadcasting, are you sure you want to exit?");
  EXPECT_TRUE(rig->prompts.questions().back().defaultNo) << "Enter keeps the station on the air";
  // An unsaved list: one question, which offers Save; the exit waits for a list written.
  test::FakePlaylistWindow& list = *rig->parts.playlistWindow;
  list.unsaved = true;
  for (bool saves : {false, true}) {
    list.saves = saves;
    rig->prompts.nextChoice = Answer::Other;
    EXPECT_EQ(commands.mayExit(), saves);
    EXPECT_EQ(rig->prompts.questions().back().otherCaption, "Save and Exit");
  }

  const std::pair<int, std::string> mails[] = {
      {32819, "mailto:support@zelvora.example?subject=Brovana-Live%20Bug%20Report&body="},
      {32818, "mailto:support@zelvora.example?subject=Brovana-Live%20Question&body="},
      {32820, "mailto:?subject=Zelvora%20online%20radio%20station&body=Hey%21%20Check%20out%20my%20Live"},
  };
  for (const auto& [command, start] : mails)
    EXPECT_EQ(commands.mailLink(command).rfind(start, 0), 0u) << command;
}

// However the panel goes, the microphone leaves the mix with it, as it does when it cannot follow
// a new track: the title loses its "(+mic)" and no panel still offers "Turn Mic Off". A new panel
// lets the microphone sound.
TEST_F(StudioTest, TheMicrophoneLeavesTheMixWithThePanelAndEverythingSaysSo) {
  using Act = std::function<void(Rig&, StudioCommands&)>;
  auto choose = [](int command) -> Act { return [=](Rig&, StudioCommands& c) { c.selectSource(command); }; };
  const std::tuple<const char*, bool, Act> ways[] = {
      {"the playlist chosen again", true, choose(32782)},
      {"a CD that is not in the drive", true, choose(32783)},
      {"a mixer that does not switch", false, choose(32821)},
      {"Voiceover... again", true, [](Rig& r, StudioCommands&) { r.studio->openVoiceoverPanel(); }},
      {"the member closes it", true,
       [](Rig& r, StudioCommands&) { r.studio->sources().closeVoiceoverPanel(); }},
      {"a new track it cannot follow", true,
       [](Rig& r, StudioCommands&) {
         r.parts.capture->restartFails = true;
         std::thread([&] { r.parts.engine->reports->trackChanged(); }).join();
       }},
  };
  const std::string microphoneVolume =
      "inMixer.volume " + std::to_string(static_cast<int>(Source::Microphone));
  for (const auto& [way, mixerSwitches, act] : ways) {
    Rig& r = renew();
    r.parts.mixerSwitches = mixerSwitches;
    Studio& s = r.onAir();
    StudioCommands commands(s, r.prompts);
    ASSERT_TRUE(s.openVoiceoverPanel());
    EXPECT_GT(std::atoi(r.journal.last(microphoneVolume).c_str()), 0)
        << "a new panel lets the microphone sound";
    EXPECT_GT(std::atof(r.journal.last("stage.musicGain").c_str()), 0) << "and the music";
    ASSERT_TRUE(s.session().startVoiceover(Source::Microphone));
    EXPECT_EQ(r.journal.last("label 1038"), "(+mic) Blue in Green");
    r.journal.clear();
    act(r, commands);
    r.settle();
    EXPECT_FALSE(r.parts.capture->voiceover() || r.parts.capture->isOpen()) << way;
    std::string title = r.journal.last("label 1038");
    EXPECT_TRUE(title != "<unset>" && title.find("(+mic)") == std::string::npos) << way << ": " << title;
    EXPECT_NE(r.journal.last("panel.microphone"), "1") << way;
    EXPECT_EQ(s.onAir(), OnAir::Playlist) << way;
  }
}

// What the engine (and the capture, through the same port) reports reaches the windows, the gauge
// and the front end; a lost sound card is a warning. Every start begins a fresh picture of the
// broadcast, and an idle studio says it is off the air.
TEST_F(StudioTest, ReportsReachTheWindowsAndEveryStartShowsAFreshPicture) {
  auto label = [&](int id) { return rig->journal.last("label " + std::to_string(id)); };
  Studio& s = rig->onAir();
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
  reports.inputLost();
  reports.inputRestored();
  EXPECT_TRUE(rig->journal.follows({"label 1047 Input lost", "box Your sound card stopped recording",
                                    "inputLost 1", "label 1047 Input back", "inputLost 0"}));
  EXPECT_EQ(rig->prompts.boxes().back().kind, BoxKind::Warning);

  reports.lastError("XAudio failed for song a.mp3");
  reports.trackNumber(2);
  reports.playlistTimes(70, 80);
  Logger::countFailedFile();
  s.session().stop();
  EXPECT_EQ(label(kLabelConnectionState), kOffAirText);
  EXPECT_EQ(label(kLabelFailedFiles), "1") << "counted since the start";
  rig->journal.clear();
  ASSERT_TRUE(s.session().start());
  const std::pair<int, std::string> fresh[] = {
      {kLabelConnectionState, kConnectedText},
      {kLabelConnectedTime, "0:00:00"},
      {kLabelFailedFiles, "0"},
      {kLabelReconnects, "0"},
      {kLabelLastError, " "},
      {kLabelTrackNumber, "0"},
      {kLabelPlaylistTimes, "0:00:00" + std::string(17, ' ') + "0:00:00"}};
  for (const auto& [id, text] : fresh) EXPECT_EQ(label(id), text) << id;
}

// The first run says that the broadcast is starting while it starts; no box holds the start up.
TEST_F(StudioTest, AFirstRunSaysTheBroadcastStartsWhileItDoes) {
  const std::string starting = "Your broadcast is now starting.";
  rig->firstRun();
  rig->prompts.answerNext(true), rig->prompts.defaultAnswer = false;  // an account, and no retries
  rig->parts.onWizard = [&](ServerLink& link) {
    link.setMemberName("dj"), link.setPassword("pw");
    rig->add();
  };
  ASSERT_TRUE(rig->make().init());
  EXPECT_TRUE(rig->journal.lacks("notice " + starting)) << "nothing starts before the main window shows";
  rig->studio->autoStart();
  rig->settle();
  EXPECT_TRUE(rig->journal.follows({"notice " + starting, "engine.start", "notice"}));
  EXPECT_TRUE(rig->journal.lacks("box " + starting));
  EXPECT_EQ(rig->studio->onAir(), OnAir::Playlist);
}

TEST_F(StudioTest, WorkerNoticesRaceUserStopsAndStartsSafely) {
  Studio& s = rig->onAir();
  EngineReports* reports = rig->parts.engine->reports;
  ASSERT_TRUE(s.setSource(Source::LineIn));
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
    i % 2 == 0 ? (void)s.session().start() : s.session().stop();
    s.setSource(i % 3 == 0 ? Source::Playlist : Source::LineIn);
  }
  done = true;
  worker.join();
  s.session().stop();
  EXPECT_EQ(s.onAir(), OnAir::Off);
  EXPECT_GT(rig->parts.capture->trackChanges.load(), 0);
}

// The level meter runs while a live source waits off the air with visuals to show it; a sound
// card that does not record for it is logged once.
TEST_F(StudioTest, TheInputLevelMeterRunsOnlyWhileALiveSourceWaitsOffTheAir) {
  struct : VisualFeed {
    void addData(const uint8_t*, int, int, int) override {}
  } drawn;
  using Step = std::function<void(Rig&)>;
  auto choose = [](Source source) -> Step {
    return [=](Rig& r) { ASSERT_TRUE(r.studio->setSource(source)); };
  };
  const std::map<char, Step> act = {{'v', [](Rig&) {}},  // the visuals shown
                                    {'L', choose(Source::LineIn)},
                                    {'M', choose(Source::Microphone)},
                                    {'P', choose(Source::Playlist)},
                                    {'+', [](Rig& r) { ASSERT_TRUE(r.studio->session().start()); }},
                                    {'-', [](Rig& r) { r.studio->session().stop(); }},
                                    {'o', [](Rig& r) {  // the member switches every display off
                                       r.visual.setDisplay(kDisplayNeedles, false);
                                       r.studio->visualsChanged();
                                       r.settle();
                                     }}};
  const std::pair<std::string, bool> cases[] = {
      {"vP", false},  {"vL", true},   {"L", false}, {"vL+", false}, {"vL+-", true}, {"vLP", false},
      {"v+L", false}, {"v+L-", true}, {"vM", true}, {"vLo", false}, {"voL", false}};
  for (const auto& [steps, metering] : cases) {
    Rig& r = renew();
    r.visual.shown = steps[0] == 'v' ? &drawn : nullptr;
    r.started();
    r.visual.setDisplay(kDisplayNeedles, true);  // after the stored displays were read
    for (char step : steps) act.at(step)(r);
    EXPECT_EQ(r.parts.capture && r.parts.capture->metering(), metering) << steps;
  }
  Rig& r = renew();
  r.visual.shown = &drawn;
  test::LogTail log;
  r.started();
  r.visual.setDisplay(kDisplayNeedles, true);
  ASSERT_TRUE(r.studio->setSource(Source::LineIn));
  r.parts.capture->meterOpens = false;
  r.parts.capture->closeLineIn();
  for (Source source : {Source::Microphone, Source::Mixer}) ASSERT_TRUE(r.studio->setSource(source));
  EXPECT_EQ(log.count("The input level meter cannot open the sound card"), 1);
}

}  // namespace
}  // namespace brovana
