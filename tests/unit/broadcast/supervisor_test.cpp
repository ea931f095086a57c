#include "broadcast/supervisor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "broadcast/program_values.h"
#include "core/registry.h"
#include "diag/logger.h"
#include "fake_parts.h"
#include "monitor/main_window_view.h"
#include "support/fake_prompts.h"
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
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
    answer = respond(path);
    if (answer.size() >= capacity) answer.resize(capacity - 1);
    return true;
  }

  void setListenerPort(int port) {
    with([&] { listenerPort_ = port; });
  }
  void setMode(const std::string& mode) {
    with([&] { mode_ = mode; });
  }
  void setServerOn(bool on) {
    with([&] { serverOn_ = on; });
  }
  void setPasswordRefused(bool refused) {
    with([&] { refused_ = refused; });
  }
  void setNetcastWorks(bool works) {
    with([&] { netcastWorks_ = works; });
  }
  void setVersionAnswer(const std::string& answer) {
    with([&] { version_ = answer; });
  }

  std::vector<std::string> paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
  }
  // The requests to that script, with their queries.
  std::vector<std::string> calls(const std::string& script) const {
    std::vector<std::string> out;
    for (const std::string& p : paths())
      if (p.find(script) != std::string::npos) out.push_back(p);
    return out;
  }
  size_t requestCount() const { return paths().size(); }
  void forgetRequests() {
    std::lock_guard lock(mutex_);
    paths_.clear();
  }
  bool serverOn() const {
    std::lock_guard lock(mutex_);
    return serverOn_;
  }

 private:
  template <typename F>
  void with(F f) {
    std::lock_guard lock(mutex_);
    f();
  }
  static bool has(const std::string& path, const std::string& part) {
    return path.find(part) != std::string::npos;
  }

  std::string respond(const std::string& path) {
    if (has(path, "/cgi-bin/bcinfo.cgi")) {
      if (refused_ && has(path, "password=")) return "-2";
      return "0 " + mode_ + (serverOn_ ? " ON" : " OFF") + " 3 100 12 4.5 127.0.0.1 " +
             std::to_string(listenerPort_);
    }
    if (has(path, "/cgi-bin/livelogin.cgi")) return "0 SESSION42";
    if (has(path, "/cgi-bin/switch.cgi")) {
      serverOn_ = has(path, "action=ON");
      return "OK";
    }
    if (has(path, "/cgi-bin/netcast.cgi")) {
      if (!netcastWorks_) return "refused";
      mode_ = has(path, "stream=live") ? "LI" : "OR";
      return "0";
    }
    if (has(path, "/cgi-bin/checkversion.cgi")) return version_;
    return "";
  }

  mutable std::mutex mutex_;
  std::vector<std::string> paths_;
  std::string mode_ = "LI";
  bool serverOn_ = false;
  bool refused_ = false;
  bool netcastWorks_ = true;
  std::string version_ = "0";
  int listenerPort_ = 1;
};

class RecordingMainWindow final : public MainWindowView {
 public:
  void setTitle(const std::string&) override {}
  void setBroadcastCaption(const std::string& caption) override {
    std::lock_guard lock(mutex_);
    caption_ = caption;
  }
  void setMenuCheck(int id, bool checked) override {
    std::lock_guard lock(mutex_);
    checks_[id] = checked;
  }
  std::string caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
  }
  // The ids that carry a mark.
  std::vector<int> checked() const {
    std::lock_guard lock(mutex_);
    std::vector<int> ids;
    for (const auto& [id, on] : checks_)
      if (on) ids.push_back(id);
    return ids;
  }

 private:
  mutable std::mutex mutex_;
  std::string caption_ = "<unset>";
  std::map<int, bool> checks_;
};

std::vector<std::string> questionTexts(const test::FakePrompts& prompts) {
  std::vector<std::string> texts;
  for (const Question& q : prompts.questions()) texts.push_back(q.text);
  return texts;
}

bool contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string logText() {
  std::ifstream file(Logger::getLogPath());
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// One studio: the Supervisor with its fakes, and the settings of a member who has run it before.
struct Rig {
  Rig(int listenerPort, const test::TempFolder& music) : music(music) {
    test::resetProgramValues(&registry);
    // The account-mode switch is one flag for the whole run; every studio starts unswitched.
    WebService(service, "127.0.0.1:1").netcastSwitch("dj", "pw", "hostplay", 0);
    service.forgetRequests();
    service.setMode("LI");
    service.setListenerPort(listenerPort);
    storeSettings({{"username", "dj"},
                   {"pass", "pw"},
                   {"message", "Night show"},
                   {"genre", "Jazz"},
                   {"bitrate", "100000"},
                   {"sessionID", "5"}});
    parts.playlistLoader = [this](Playlist& playlist, const std::string& path) {
      if (path != "night.m3u") return false;
      addTracks(playlist);
      return true;
    };
  }
  ~Rig() {
    supervisor.reset();
    test::resetProgramValues(nullptr);
  }

  void storeSettings(const std::map<std::string, std::string>& values) {
    auto key = registry.create(profileKeyPath());
    for (const auto& [name, value] : values) key->set(name, value);
  }
  std::optional<std::string> stored(const std::string& name) {
    auto key = registry.open(profileKeyPath());
    return key ? key->query(name) : std::nullopt;
  }
  void addTracks(Playlist& playlist) {
    for (const char* name : {"a.mp3", "b.mp3"}) playlist.addFile(music.file(name), AddMode::Append);
  }
  void addTracks() { addTracks(*parts.playlistWindow->playlist()); }

  Supervisor& make() {
    SupervisorTimings timings;
    timings.liveSwitchWaitSeconds = 0;
    timings.connection.connectTimeout = std::chrono::milliseconds(2000);
    timings.connection.ioTimeout = std::chrono::milliseconds(2000);
    supervisor = std::make_unique<Supervisor>(
        &window, "127.0.0.1:1", SupervisorContext{prompts, exit, registry, service, parts, nullptr, timings});
    supervisor->setVisual(&visual);
    return *supervisor;
  }
  Supervisor& started() {
    Supervisor& s = make();
    EXPECT_TRUE(s.init());
    return s;
  }
  // Started, with a playlist on the air.
  Supervisor& onAir() {
    Supervisor& s = started();
    addTracks();
    EXPECT_TRUE(s.broadcast());
    EXPECT_EQ(s.isBroadcasting(), 1);
    return s;
  }
  std::vector<std::string> questions() const { return questionTexts(prompts); }

  const test::TempFolder& music;
  Journal journal;
  test::FakePrompts prompts;
  test::FakeExit exit;
  MemoryRegistry registry;
  FakeZelvora service;
  test::FakeParts parts{journal, prompts};
  RecordingMainWindow window;
  test::FakeVisualisation visual;
  std::unique_ptr<Supervisor> supervisor;
};

class SupervisorTest : public ::testing::Test {
 protected:
  SupervisorTest() {
    for (const char* name : {"a.mp3", "b.mp3"}) {
      std::ofstream file(music.file(name), std::ios::binary);
      file << test::frames({}, 417, 40);
    }
  }
  std::unique_ptr<Rig> fresh() { return std::make_unique<Rig>(peer.port() - 1, music); }

  test::TempFolder music;
  test::ScriptedPeer peer;
  std::unique_ptr<Rig> rig = fresh();
};

constexpr const char* kSlowCpu =
    "Your CPU is less than the recommeded speed for live broadcasting, (232 Mhz) causing your broadcast to "
    "break up, "
    "you should have at least a 233 Mhz machine.";

TEST_F(SupervisorTest, SlowProcessorWarningOnTheFirstTwoRunsOnly) {
  struct Case {
    int mhz;
    std::optional<std::string> session;
    bool warned;
  } cases[] = {
      {0, "0", false},   {233, "0", false}, {232, "0", true},          {232, "1", true},
      {232, "2", false}, {232, "9", false}, {100, std::nullopt, true},
  };
  for (const Case& c : cases) {
    std::string label = std::to_string(c.mhz) + " MHz, session " + c.session.value_or("none");
    rig.reset();
    rig = fresh();
    if (c.session)
      rig->storeSettings({{"sessionID", *c.session}});
    else
      rig->storeSettings({{"sessionID", ""}});
    rig->parts.mhz = c.mhz;
    rig->started();
    bool warned = false;
    for (const auto& box : rig->prompts.boxes())
      if (box.text.starts_with("Your CPU is less than")) {
        warned = true;
        if (c.mhz == 232) {
          EXPECT_EQ(box.text, kSlowCpu);
        }
        EXPECT_EQ(box.kind, BoxKind::Warning);
      }
    EXPECT_EQ(warned, c.warned) << label;
  }
}

// ---- the start-up questions, and the ways a start-up ends ----

constexpr const char* kHaveAccount = "Do you already have an account on Zelvora?";
constexpr const char* kOtherAccount =
    "This account, dj, is currently set up for hostplay. Do you want to log into a different account?";
constexpr const char* kRunning = "You currently have a broadcast running! Do you want to continue?";
constexpr const char* kSwitchRefused =
    "Brovana-Live is unable to change your account type from hostplay to Live.Try logging in to you account "
    "and change it by hand.";
constexpr const char* kUpgrade = "http://www.zelvora.example/upgrade.html";

TEST_F(SupervisorTest, StartUpQuestionsAndEnds) {
  struct Case {
    const char* what;
    bool firstRun;  // nothing stored yet
    const char* mode;
    bool serverOn, netcastWorks, codecFails;
    const char* version;
    std::vector<bool> answers, wizard;
    bool starts;
    std::vector<std::string> questions;
    const char* wizardEntry;  // the wizard run, once; null: none
    const char* netcast;      // the stream asked for; null: no switch
    const char* box;          // a box that must be shown
    const char* opened;       // the page opened
    const char* notAfter;     // a part or request that must not follow the end
  } cases[] = {
      {"codec fails", false, "LI", false, true, true, "0", {}, {}, false, {}, nullptr, nullptr, nullptr,
       nullptr, "make engine"},
      {"upgrade required", false, "LI", false, true, false, "2,http://www.zelvora.example/upgrade.html", {}, {},
       false, {}, nullptr, nullptr, nullptr, kUpgrade, "bcinfo.cgi?membername=dj&password="},
      {"first run, no account", true, "LI", false, true, false, "0", {false}, {}, false, {kHaveAccount}, nullptr,
       nullptr,
       "Brovana-Live will now launch your browser and exit. When ready restart Live and you'll be on the air!",
       "registration", "checkversion.cgi"},
      {"first run, wizard cancelled", true, "LI", false, true, false, "0", {true}, {false}, false,
       {kHaveAccount}, "wizard first", nullptr, nullptr, nullptr, "checkversion.cgi"},
      {"hostplay, goes live", false, "OR", false, true, false, "0", {false}, {}, true, {kOtherAccount}, nullptr,
       "live", nullptr, nullptr, nullptr},
      {"hostplay, switch refused", false, "OR", false, false, false, "0", {false}, {}, false, {kOtherAccount},
       nullptr, "live", kSwitchRefused, nullptr, nullptr},
      {"hostplay, other account", false, "OR", false, true, false, "0", {true}, {true}, true, {kOtherAccount},
       "wizard", nullptr, nullptr, nullptr, nullptr},
      {"hostplay, other account cancelled", false, "OR", false, true, false, "0", {true}, {false}, false,
       {kOtherAccount}, "wizard", nullptr, nullptr, nullptr, nullptr},
      {"running, continue", false, "LI", true, true, false, "0", {true}, {}, true, {kRunning}, nullptr, nullptr,
       nullptr, nullptr, nullptr},
      {"running, stop", false, "LI", true, true, false, "0", {false}, {}, false, {kRunning}, nullptr, nullptr,
       nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rig.reset();
    rig = fresh();
    Rig& r = *rig;
    MemoryRegistry empty;
    if (c.firstRun) test::resetProgramValues(&empty);
    r.service.setMode(c.mode);
    r.service.setServerOn(c.serverOn);
    r.service.setNetcastWorks(c.netcastWorks);
    r.service.setVersionAnswer(c.version);
    r.parts.codecFails = c.codecFails;
    for (bool a : c.answers) r.prompts.answerNext(a);
    r.parts.wizardResults = c.wizard;
    Supervisor s(&r.window, "127.0.0.1:1",
                 SupervisorContext{r.prompts, r.exit, c.firstRun ? empty : r.registry, r.service, r.parts});
    EXPECT_EQ(s.init(), c.starts);
    EXPECT_EQ(r.exit.ended, !c.starts);
    if (!c.starts) {
      EXPECT_EQ(r.exit.exitCode, 0);
    }
    EXPECT_EQ(r.questions(), c.questions);
    for (const char* entry : {"wizard", "wizard first"})
      EXPECT_EQ(r.journal.count(entry), c.wizardEntry && entry == std::string(c.wizardEntry) ? 1u : 0u) << entry;
    auto netcast = r.service.calls("/cgi-bin/netcast.cgi");
    ASSERT_EQ(netcast.size(), c.netcast ? 1u : 0u);
    if (c.netcast) {
      EXPECT_NE(netcast[0].find(std::string("stream=") + c.netcast), std::string::npos);
    }
    if (c.box) {
      EXPECT_TRUE(contains(r.prompts.boxTexts(), c.box));
    }
    EXPECT_EQ(contains(r.prompts.boxTexts(), kSwitchRefused), c.box == kSwitchRefused);
    std::string opened = c.opened == nullptr ? "" : c.opened == std::string("registration") ? registrationUrl()
                                                                                            : c.opened;
    EXPECT_EQ(r.prompts.opened(), opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{opened});
    if (c.notAfter) {
      EXPECT_TRUE(r.journal.with(c.notAfter).empty());
      EXPECT_TRUE(r.service.calls(c.notAfter).empty());
    }
    if (c.firstRun) {
      EXPECT_FALSE(empty.open(profileKeyPath())) << "an unfinished first run stores nothing";
    }
  }
}

TEST_F(SupervisorTest, FirstRunWizardStoresTheSettingsAndStartsWithItsTracks) {
  MemoryRegistry empty;
  test::resetProgramValues(&empty);
  Rig& r = *rig;
  r.parts.wizardFills = [&](LiveConnect& connection) {
    connection.setMemberName("newdj");
    connection.setPassword("pw");
    connection.setMessage("First show");
    r.addTracks();
  };
  Supervisor s(&r.window, "127.0.0.1:1", SupervisorContext{r.prompts, r.exit, empty, r.service, r.parts});
  ASSERT_TRUE(s.init());
  EXPECT_TRUE(s.firstRunDone());
  bool told = false;
  for (const auto& box : r.prompts.boxes())
    if (box.text.starts_with("Your broadcast is now starting.")) told = box.caption == "Click to begin!";
  EXPECT_TRUE(told);
  auto key = empty.open(profileKeyPath());
  ASSERT_TRUE(key);
  EXPECT_EQ(key->query("username"), "newdj");
  EXPECT_EQ(key->query("sessionID"), "1") << "the first run is the first of the count";

  s.autoStart();
  EXPECT_EQ(r.journal.count("status.show"), 1u);
  EXPECT_EQ(r.journal.count("engine.start 2 tracks at 0, 56000 bps"), 1u);
  EXPECT_EQ(r.journal.count("playlistWindow.show"), 0u) << "this path does not show the playlist window";
  s.prepareExit();
}

TEST_F(SupervisorTest, ARefusedAccountOpensTheBroadcastInformationAndOffersNoPlaylist) {
  rig->service.setPasswordRefused(true);
  rig->storeSettings({{"playlist", "night.m3u"}});
  Supervisor& s = rig->started();
  EXPECT_EQ(rig->journal.count("make info"), 1u);
  EXPECT_FALSE(rig->exit.ended);
  s.autoStart();
  EXPECT_TRUE(rig->questions().empty()) << "the dialog is open: no previous playlist is offered";
  EXPECT_EQ(rig->journal.count("playlistWindow.show"), 1u);
}

// ---- broadcasting ----

TEST_F(SupervisorTest, AnEmptyPlaylistIsRefusedWithoutContactingTheService) {
  Supervisor& s = rig->started();
  size_t before = rig->service.requestCount();
  EXPECT_FALSE(s.broadcast());
  EXPECT_EQ(rig->prompts.boxTexts().back(), "You need to either create or load a playlist!");
  EXPECT_EQ(rig->prompts.boxes().back().kind, BoxKind::Warning);
  EXPECT_EQ(rig->service.requestCount(), before);
  EXPECT_FALSE(s.serverTurnedOn());
  EXPECT_EQ(peer.connectionCount(), 0u);
  EXPECT_EQ(rig->journal.with("engine.start").size(), 0u);
}

TEST_F(SupervisorTest, SwitchingSourcesRestartsOnlyAcrossThePlaylist) {
  Supervisor& s = rig->onAir();
  Journal& j = rig->journal;

  // Playlist -> Line-In: the broadcast restarts from the capture.
  j.clear();
  ASSERT_TRUE(s.setSource(kSourceLineIn));
  EXPECT_EQ(j.count("engine.stop"), 1u);
  EXPECT_EQ(j.count("inMixer.select 4098"), 1u);
  EXPECT_EQ(j.count("capture.start 100000"), 1u);
  EXPECT_EQ(s.isBroadcasting(), 2);
  EXPECT_EQ(s.kind(), kKindExternal);
  EXPECT_EQ(rig->window.checked(), std::vector<int>{32784});
  EXPECT_EQ(rig->prompts.boxTexts().back(),
            "Switching your audio source to your (External source : line-in)");
  EXPECT_EQ(j.count("status.label 1038 (External source : line-in)"), 1u);
  EXPECT_NE(logText().find("Switching source to Line-In\n"), std::string::npos);

  // Line-In -> Microphone: the mixer switches, nothing restarts.
  j.clear();
  ASSERT_TRUE(s.setSource(kSourceMicrophone));
  EXPECT_EQ(j.count("inMixer.select 4099"), 1u);
  EXPECT_TRUE(j.with("capture.").empty());
  EXPECT_TRUE(j.with("engine.").empty());
  EXPECT_EQ(s.isBroadcasting(), 2);
  EXPECT_EQ(rig->window.checked(), std::vector<int>{32785});

  // Microphone -> Playlist: the playlist comes back on the air.
  j.clear();
  ASSERT_TRUE(s.setSource(kSourcePlaylist));
  EXPECT_EQ(j.count("capture.close"), 1u);
  EXPECT_EQ(j.count("engine.start 2 tracks at 0, 56000 bps"), 1u);
  EXPECT_EQ(s.isBroadcasting(), 1);
  EXPECT_EQ(s.kind(), kKindPlaylist);
  EXPECT_EQ(rig->window.checked(), std::vector<int>{32782});
  EXPECT_TRUE(rig->questions().empty());
}

TEST_F(SupervisorTest, ExternalSourcesThatCannotBeSelected) {
  struct Case {
    int code;
    bool cd, mixer;
    const char* message;  // null: selected
  } cases[] = {
      {kSourceCd, false, true,
       "You do not have a CD in your drive. You must load a CD, start playing it with your favorite player."},
      {kSourceCd, true, true, nullptr},
      {kSourceLineIn, false, false, "Unable to switch to (External source : line-in)"},
      {kSourceMixer, false, false, "Unable to switch to (External source : system mixer)"},
      {kSourceMixer, false, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    rig.reset();
    rig = fresh();
    rig->parts.cd = c.cd;
    rig->parts.mixerSelects = c.mixer;
    Supervisor& s = rig->started();
    EXPECT_EQ(s.setSource(c.code), c.message == nullptr);
    if (c.message) {
      EXPECT_EQ(rig->prompts.boxTexts().back(), c.message);
      EXPECT_EQ(s.source(), kSourcePlaylist) << "the source stays";
      EXPECT_TRUE(rig->window.checked().empty());
    } else {
      EXPECT_EQ(s.source(), c.code);
    }
    if (c.code == kSourceCd && !c.cd) {
      EXPECT_TRUE(rig->journal.with("inMixer.select").empty());
    }
  }
}

TEST_F(SupervisorTest, ACaptureThatFailsToStartLeavesTheStationOffTheAir) {
  rig->parts.captureStarts = false;
  Supervisor& s = rig->started();
  ASSERT_TRUE(s.setSource(kSourceLineIn));
  EXPECT_TRUE(s.broadcast()) << "the start itself succeeded";
  EXPECT_EQ(rig->journal.count("capture.start 100000"), 1u);
  EXPECT_EQ(rig->window.caption(), "Start Broadcast");
  EXPECT_EQ(s.isBroadcasting(), 0);
  EXPECT_EQ(s.kind(), kKindExternal);
}

TEST_F(SupervisorTest, AServerThatCannotBeReachedOffersRestartOrExit) {
  peer.stopListening();
  Supervisor& s = rig->started();
  rig->addTracks();
  rig->prompts.answerNext(true);   // Restart
  rig->prompts.answerNext(false);  // Exit
  EXPECT_FALSE(s.broadcast());
  auto questions = rig->prompts.questions();
  ASSERT_EQ(questions.size(), 2u);
  for (const Question& q : questions) {
    EXPECT_EQ(q.text, "Unable to connect to your Zelvora server, restart and try again?");
    EXPECT_EQ(q.yesCaption, "Restart");
    EXPECT_EQ(q.noCaption, "Exit");
  }
  auto switches = rig->service.calls("/cgi-bin/switch.cgi");
  ASSERT_EQ(switches.size(), 3u) << "on, then off and on again for the restart";
  EXPECT_NE(switches[1].find("action=OFF"), std::string::npos);
  EXPECT_NE(switches[2].find("action=ON"), std::string::npos);
  EXPECT_TRUE(rig->journal.with("engine.start").empty());
}

// ---- voiceover ----

TEST_F(SupervisorTest, DuringAVoiceoverANewStartAsksFirst) {
  Supervisor& s = rig->onAir();
  rig->parts.engine->setTitle("Blue in Green");
  ASSERT_TRUE(s.startVoiceover());
  EXPECT_EQ(rig->journal.count("capture.voiceover on"), 1u);
  EXPECT_EQ(rig->journal.count("status.label 1038 (+mic) Blue in Green"), 1u);
  EXPECT_EQ(s.isBroadcasting(), 2);
  EXPECT_EQ(s.kind(), kKindPlaylist);

  rig->prompts.answerNext(false);
  rig->journal.clear();
  EXPECT_FALSE(s.broadcast());
  EXPECT_EQ(rig->questions(),
            std::vector<std::string>{"You are already broadcasting. Do you want to stop and restart?"});
  EXPECT_TRUE(rig->journal.entries().empty()) << "nothing changed";
  EXPECT_EQ(s.isBroadcasting(), 2);

  s.stopVoiceover();
  EXPECT_EQ(rig->journal.count("capture.voiceover off"), 1u);
  EXPECT_EQ(rig->journal.count("capture.close"), 1u);
  EXPECT_EQ(rig->journal.count("status.label 1038 Blue in Green"), 1u);
  EXPECT_EQ(s.isBroadcasting(), 1);
  EXPECT_TRUE(s.broadcast()) << "the running state equals the last start";
  EXPECT_EQ(rig->questions().size(), 1u);
}

// ---- other commands ----

TEST_F(SupervisorTest, DroppedFilesOfferToStartOrRestart) {
  Supervisor& s = rig->started();
  EXPECT_TRUE(s.playFile({rig->music.file("a.mp3")}));
  EXPECT_EQ(rig->questions().back(), "Do you want to start broadcasting?");
  EXPECT_EQ(rig->journal.count("engine.start 1 tracks at 0, 56000 bps"), 1u);
  rig->prompts.answerNext(false);
  EXPECT_FALSE(s.playFile({rig->music.file("b.mp3")}));
  EXPECT_EQ(rig->questions().back(), "You are currently broadcasting. Do you want to stop?");
  EXPECT_EQ(s.isBroadcasting(), 1) << "declined: still on the air";
}

TEST_F(SupervisorTest, TheWizardFromTheMenuOffersARestart) {
  Supervisor& s = rig->started();
  EXPECT_TRUE(s.runSetupWizard()) << "idle: the wizard's own result";
  EXPECT_TRUE(rig->questions().empty());
  rig->parts.wizardResults = {false};
  EXPECT_FALSE(s.runSetupWizard());

  rig->addTracks();
  ASSERT_TRUE(s.broadcast());
  s.showBroadcastInfo();
  for (bool yes : {false, true}) {
    rig->journal.clear();
    rig->prompts.answerNext(yes);
    EXPECT_EQ(s.runSetupWizard(), yes);
    EXPECT_EQ(rig->questions().back(),
              "Your broadcast needs to be restarted, (cutting your current listeners off). Restart now?");
    EXPECT_EQ(rig->journal.count("engine.start 2 tracks at 0, 56000 bps"), yes ? 1u : 0u);
    EXPECT_EQ(rig->journal.count("info.refresh"), yes ? 1u : 0u);
  }
  EXPECT_NE(logText().find("Restarting broadcast\n"), std::string::npos);
}

// ---- the exit sequence ----

TEST_F(SupervisorTest, ExitTurnsOffTheServerThisRunTurnedOn) {
  rig->onAir();
  rig->supervisor->prepareExit();
  EXPECT_EQ(rig->journal.count("engine.stop final"), 1u);
  EXPECT_EQ(rig->stored("sessionID"), "6");
  EXPECT_EQ(rig->stored("username"), "dj");
  auto switches = rig->service.calls("/cgi-bin/switch.cgi");
  ASSERT_EQ(switches.size(), 2u);
  EXPECT_NE(switches[1].find("action=OFF"), std::string::npos);
  EXPECT_FALSE(rig->service.serverOn());

  rig->journal.clear();
  rig->supervisor.reset();
  EXPECT_TRUE(rig->questions().empty());
  const char* order[] = {"destroy inMixer", "destroy outMixer", "engine.detachGauge",    "destroy gauge",
                         "destroy engine",  "destroy stage",    "destroy playlistWindow"};
  int last = -1;
  for (const char* entry : order) {
    int at = rig->journal.position(entry);
    EXPECT_GT(at, last) << entry;
    last = at;
  }
  EXPECT_EQ(Supervisor::instance(), nullptr);
}

TEST_F(SupervisorTest, ExitLeavesAServerThisRunDidNotTurnOn) {
  rig->started().prepareExit();
  EXPECT_TRUE(rig->service.calls("/cgi-bin/switch.cgi").empty());
  EXPECT_EQ(rig->journal.count("engine.stop final"), 1u);
}

TEST_F(SupervisorTest, ExitWithASwitchedAccountOffersHostplayAgain) {
  for (bool works : {true, false}) {
    SCOPED_TRACE(works);
    rig.reset();
    rig = fresh();
    rig->service.setMode("OR");
    rig->prompts.answerNext(false);  // this account, switched to live
    rig->onAir();
    rig->supervisor->prepareExit();
    EXPECT_EQ(rig->service.calls("/cgi-bin/switch.cgi").size(), 1u) << "the server is not turned off";
    rig->service.setNetcastWorks(works);
    rig->supervisor.reset();
    EXPECT_EQ(rig->questions().back(), "Would you like to turn your hostplay broadcast back on?");
    auto netcast = rig->service.calls("/cgi-bin/netcast.cgi");
    ASSERT_EQ(netcast.size(), 2u);
    EXPECT_NE(netcast[1].find("stream=hostplay"), std::string::npos);
    EXPECT_EQ(contains(rig->prompts.boxTexts(),
                       "Brovana-Live is unable to change your account back to hostplay "
                       "from Live. Try logging in to your account and change it by hand."),
              !works);
  }
}

// ---- the engine's worker ----

TEST_F(SupervisorTest, TheWorkerStopsAFailedList) {
  Supervisor& s = rig->onAir();
  std::thread worker([&] { rig->parts.engine->wiring().events->listFailed(); });
  worker.join();
  EXPECT_EQ(rig->journal.count("engine.stop"), 1u);
  EXPECT_EQ(rig->window.caption(), "Start Broadcast");
  EXPECT_EQ(s.isBroadcasting(), 0);
}

TEST_F(SupervisorTest, AWorkerStopThatMeetsANewerStartIsDropped) {
  Supervisor& s = rig->onAir();
  EngineEvents* events = rig->parts.engine->wiring().events;
  s.stop();
  std::thread worker;
  std::atomic<bool> entered{false};
  bool once = true;
  // While the next start holds the supervisor (setting the line speeds), the failed list's
  // worker comes in to stop.
  rig->parts.onStatusLabel = [&](int) {
    if (!once) return;
    once = false;
    worker = std::thread([&] {
      entered = true;
      events->listFailed();
    });
    while (!entered) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  rig->journal.clear();
  ASSERT_TRUE(s.broadcast());
  worker.join();
  rig->parts.onStatusLabel = nullptr;
  EXPECT_EQ(rig->journal.count("engine.start 2 tracks at 0, 56000 bps"), 1u);
  EXPECT_EQ(rig->journal.count("engine.stop"), 0u);
  EXPECT_EQ(s.isBroadcasting(), 1);
  EXPECT_EQ(rig->window.caption(), "Stop Broadcast");
}

TEST_F(SupervisorTest, WorkerStopsRaceUserStopsAndStartsSafely) {
  Supervisor& s = rig->onAir();
  EngineEvents* events = rig->parts.engine->wiring().events;
  std::atomic<bool> done{false};
  std::atomic<int> rounds{0};
  ASSERT_TRUE(s.setSource(kSourceLineIn));
  std::thread worker([&] {
    while (!done) {
      events->listFailed();
      events->trackChanged();
      ++rounds;
    }
  });
  // Until the worker has come round often enough to meet every kind of user operation.
  for (int i = 0; i < 40 || (rounds < 50 && i < 100000); ++i) {
    if (i % 2 == 0)
      s.broadcast();
    else
      s.stop();
    s.setSource(i % 3 == 0 ? kSourcePlaylist : kSourceLineIn);
  }
  done = true;
  worker.join();
  s.stop();
  EXPECT_EQ(s.isBroadcasting(), 0);
  EXPECT_EQ(rig->window.caption(), "Start Broadcast");
  ASSERT_TRUE(rig->parts.capture);
  EXPECT_GT(rig->parts.capture->trackChanges.load(), 0);
}

// ---- with the real conversion stage and playlist engine ----

}  // namespace
}  // namespace brovana
