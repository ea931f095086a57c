#include "net/live_connect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "monitor/status_display.h"
#include "net/web_service.h"
#include "support/child_process.h"
#include "support/fake_account_service.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/log_tail.h"
#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::FakeAccountService;
using test::ScriptedPeer;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

class LiveConnectTest : public ::testing::Test {
 protected:
  ~LiveConnectTest() override { Logger::setStatsSource(nullptr); }

  // A connection whose account points at `port` on the loopback, with credentials set.
  std::unique_ptr<LiveConnect> connection(int port, LiveConnectTimings timings = {1s, 1s, 120s}) {
    service.setAnswer(kBcinfoOk, "127.0.0.1", port, 4, 6.0f, 25);
    auto live = std::make_unique<LiveConnect>("web.test", &status, service, prompts, timings);
    live->setMemberName("alice");
    live->setPassword("secret");
    EXPECT_TRUE(live->refreshServerInfo());
    return live;
  }

  // The refresh thread asks once at construction; tests that change the answer wait for that first.
  void waitForFirstRefresh() {
    auto deadline = Clock::now() + 10s;
    while (service.bcinfoCount() < 1 && Clock::now() < deadline) std::this_thread::sleep_for(2ms);
    std::this_thread::sleep_for(20ms);
  }

  FakeAccountService service;
  test::FakePrompts prompts;
  test::FakeStatusWindow window;
  test::FakeMainWindow mainWindow;
  StatusDisplay status{&window, &mainWindow};
  test::LogTail log;
};

TEST_F(LiveConnectTest, LineSpeedTableGivesTheDefaultBitRate) {
  const std::pair<int, int> table[] = {{14400, 8000},  {28000, 16000}, {28800, 16000},  {33000, 24000},
                                       {56000, 32000}, {56001, 56000}, {100000, 56000}, {200000, 56000},
                                       {32000, 0},     {19200, 0},     {0, 0},          {-5, 0}};
  for (auto [speed, bitrate] : table) EXPECT_EQ(outputBitrateForLineSpeed(speed), bitrate) << speed;
}

TEST_F(LiveConnectTest, SettersFollowTheirRules) {
  LiveConnect live("web.test", &status, service, prompts);
  const std::pair<std::string, std::string> urls[] = {
      {"www.station.example", "http://www.station.example"},
      {"http://a.example/", "http://a.example/"},
      {"HTTP://B.EXAMPLE", "HTTP://B.EXAMPLE"},
      {"see http: here", "see http: here"},
      {"Http://mixed.example", "http://Http://mixed.example"},
      {"", "http://"},
  };
  for (const auto& [text, stored] : urls) {
    live.setUrl(text);
    EXPECT_EQ(live.url(), stored) << text;
  }
  live.setGenre(3, "Ignored");
  live.setGenre(-1, "Ignored");
  EXPECT_EQ(live.genre(3), std::nullopt);

  live.setLineSpeed(100000);
  live.setOutputBitrate(56000);
  EXPECT_TRUE(prompts.boxes().empty()) << "the caps themselves are allowed";
  live.setLineSpeed(128000);
  live.setOutputBitrate(64000);
  EXPECT_EQ(live.lineSpeed(), 100000);
  EXPECT_EQ(live.outputBitrate(), 56000);
  EXPECT_EQ(
      prompts.boxTexts(),
      (std::vector<std::string>{
          "Your last broadcast is too high a speed for this version of Mirobeam. Dropping to a lower rate.",
          "Your last broadcast is too high a speed for this version of Mirobeam (64000 bps). Dropping to a "
          "lower rate."}));
  live.setLineSpeed(28800);
  EXPECT_EQ(live.outputBitrate(), 56000) << "the table is used only at construction";
}

TEST_F(LiveConnectTest, LoginExchangeCarriesTheStationFieldsByteForByte) {
  struct Case {
    const char* name;
    std::function<void(LiveConnect&)> settings;
    std::string headers;  // after "secret\n"
  };
  const std::string url = "icy-url: http://www.zelvora.example/\n";
  const Case cases[] = {
      {"defaults", [](LiveConnect&) {},
       "icy-name:[Zelvora]Welcome to my show![*]\nicy-genre:Various\n" + url + "icy-pub: 1\nicy-br: 56\n\n"},
      {"three genres, livetag off, 24 kbit/s",
       [](LiveConnect& c) {
         c.setLiveTag(false);
         c.setMessage("Night Owls");
         c.setGenre(0, "Rock");
         c.setGenre(1, "Jazz");
         c.setGenre(2, "Blues");
         c.setOutputBitrate(24000);
         c.setUrl("owls.example");
       },
       "icy-name:[Zelvora]Night Owls\nicy-genre:Rock,Jazz,Blues\nicy-url: http://owls.example\nicy-pub: 1\n"
       "icy-br: 24\n\n"},
      {"first and third genre: the first alone",
       [](LiveConnect& c) {
         c.setGenre(2, "Blues");
         c.setOutputBitrate(56500);
       },
       "icy-name:[Zelvora]Welcome to my show![*]\nicy-genre:Various\n" + url + "icy-pub: 1\nicy-br: 56\n\n"},
      {"no first genre: no genre line",
       [](LiveConnect& c) {
         c.setGenre(0, "");
         c.setGenre(1, "Jazz");
         c.setOutputBitrate(32000);
       },
       "icy-name:[Zelvora]Welcome to my show![*]\n" + url + "icy-pub: 1\nicy-br: 32\n\n"},
      {"empty description", [](LiveConnect& c) { c.setMessage(""); },
       "icy-name:[Zelvora][*]\nicy-genre:Various\n" + url + "icy-pub: 1\nicy-br: 56\n\n"},
      {"an over-long description is cut but keeps its line end",
       [](LiveConnect& c) { c.setMessage(std::string(400, 'm')); },
       "icy-name:[Zelvora]" + std::string(298 - 18, 'm') + "\nicy-genre:Various\n" + url +
           "icy-pub: 1\nicy-br: 56\n\n"},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(ScriptedPeer::Script{{"OK2\r\nicy-caps:11\r\n\r\n"}});
    auto live = connection(peer.port());
    c.settings(*live);
    live->connect();
    ASSERT_TRUE(live->login()) << c.name;
    const std::string stream = "\xFF\xFB\x90\x64 first frame";
    EXPECT_EQ(live->sendStream(bytesOf(stream), stream.size()), static_cast<int>(stream.size()));
    live->disconnect();
    ASSERT_TRUE(peer.waitForClose(0)) << c.name;
    EXPECT_EQ(peer.received(0), "secret\n" + c.headers + stream) << c.name;
  }
}

TEST_F(LiveConnectTest, LoginReadsTwoBytesAndJudgesThem) {
  struct Case {
    const char* name;
    ScriptedPeer::Script script;
    bool loggedOn;
    std::string logLine;
  };
  const Case cases[] = {
      {"OK and more",
       {{"OK2\r\nicy-caps:11\r\n\r\n", "more lines\r\n"}, 50ms},
       true,
       "Logged on successfully\n"},
      {"OK in two pieces", {{"O", "K"}, 100ms}, true, "Logged on successfully\n"},
      {"refusal text", {{"invalid password\r\n"}}, false, "Log-in failed, server error=in\n"},
      {"one byte and gone", {{"X"}, 0ms, false, true}, false, "Log-in failed, server error=X\n"},
      {"closes at once", {{}, 0ms, true}, false, "Log-in failed\n"},
      {"closes after the password", {{}, 0ms, false, true}, false, "Log-in failed\n"},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(c.script);
    auto live = connection(peer.port());
    test::LogTail caseLog;
    live->connect();
    EXPECT_EQ(live->login(), c.loggedOn) << c.name;
    EXPECT_EQ(live->loggedOn(), c.loggedOn) << c.name;
    EXPECT_TRUE(caseLog.contains("Connection made with server, 127.0.0.1, port " +
                                 std::to_string(peer.port()) + "\n"))
        << c.name;
    EXPECT_TRUE(caseLog.contains("Logging on to account for alice\n")) << c.name;
    EXPECT_TRUE(caseLog.contains(") " + c.logLine)) << c.name << "\n" << caseLog.text();
    std::vector<std::string> states = window.labelHistory(kLabelConnectionState);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), c.loggedOn ? "Connected!!" : "Trying to connect to server, standby...")
        << c.name;
  }
}

TEST_F(LiveConnectTest, DroppedLineReconnectsAndResendsTheBlock) {
  ScriptedPeer peer;
  auto live = connection(peer.port());
  Logger::setStatsSource(live.get());
  live->connect();
  ASSERT_TRUE(live->login());
  ASSERT_EQ(live->sendStream(bytesOf("block-0|"), 8), 8);
  auto deadline = Clock::now() + 10s;
  while (peer.received(0).find("block-0|") == std::string::npos && Clock::now() < deadline)
    std::this_thread::sleep_for(2ms);
  std::string loginBytes = peer.received(0);
  ASSERT_EQ(loginBytes.substr(loginBytes.size() - 8), "block-0|");
  loginBytes.resize(loginBytes.size() - 8);
  int reconnectsBefore = Logger::reconnects();

  peer.dropConnections();
  ASSERT_TRUE(peer.waitForClose(0));
  // The first writes after the drop may still be taken by the system; one of the next fails.
  std::string last;
  for (int i = 1; i < 100 && peer.connectionCount() < 2; ++i) {
    last = "block-" + std::to_string(i) + "|";
    EXPECT_EQ(live->sendStream(bytesOf(last), last.size()), static_cast<int>(last.size()));
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(peer.connectionCount(), 2u);
  ASSERT_TRUE(peer.waitForBytes(1, loginBytes.size() + last.size()));
  EXPECT_EQ(peer.received(1), loginBytes + last) << "log-in again, then the failed block once more";

  EXPECT_TRUE(log.contains("Line down, attempting to reconnect. The line has dropped " +
                           std::to_string(reconnectsBefore) + " times.\n"));
  EXPECT_TRUE(log.contains(") Re-connected successfully!\n"));
  EXPECT_EQ(Logger::reconnects(), reconnectsBefore + 1);
  EXPECT_TRUE(live->loggedOn());
  EXPECT_FALSE(live->reconnecting());
  std::vector<std::string> states = window.labelHistory(kLabelConnectionState);
  ASSERT_GE(states.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(states.end() - 4, states.end()),
            (std::vector<std::string>{"Connection lost, attempting to reconnect...standby...",
                                      "Trying to connect to server, standby...", "Connected!!",
                                      "Re-connected successfully!"}));
  EXPECT_EQ(window.label(kLabelReconnects), std::to_string(reconnectsBefore)) << "counters shown at the drop";
  EXPECT_EQ(mainWindow.title(), "Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (4 listeners)");
}

TEST_F(LiveConnectTest, FailedReconnectsSwitchTheStreamOnTheFirstAndEveryTwentiethFailure) {
  int closedPort = test::freeLoopbackPort();
  auto live = connection(closedPort);
  live->connect();
  EXPECT_FALSE(live->login()) << "a failed connect shows as a failed log-in";
  EXPECT_TRUE(
      log.contains("Connection failed with server, 127.0.0.1,  port " + std::to_string(closedPort) + "\n"));
  EXPECT_TRUE(log.contains(") Log-in failed\n"));
  for (int attempt = 1; attempt <= 41; ++attempt) {
    EXPECT_FALSE(live->reconnect());
    size_t expected = attempt >= 41 ? 3 : attempt >= 21 ? 2 : 1;
    ASSERT_EQ(service.netcastCalls().size(), expected) << "after failure " << attempt;
  }
  for (const auto& call : service.netcastCalls()) {
    EXPECT_EQ(call.member, "alice");
    EXPECT_EQ(call.password, "secret");
    EXPECT_EQ(call.stream, "live");
    EXPECT_EQ(call.waitSeconds, 3);
  }
  EXPECT_EQ(log.count(") Re-connect failed\n"), 41);
  EXPECT_EQ(mainWindow.title(), "Brovana-Live 2.01 - Jan. 29, 2001 - Off the Air!");
  EXPECT_FALSE(live->reconnecting());

  // A success starts the count again: the next failure is a first one.
  ScriptedPeer peer;
  service.setAnswer(kBcinfoOk, "127.0.0.1", peer.port());
  ASSERT_TRUE(live->refreshServerInfo());
  EXPECT_TRUE(live->reconnect());
  peer.stopListening();
  EXPECT_FALSE(live->reconnect());
  EXPECT_EQ(service.netcastCalls().size(), 4u);
}

// The link is one: a second sender waits for a running reconnect instead of starting its own
// inside it, so every attempt's lines stand together in the log.
TEST_F(LiveConnectTest, SendersOnADeadLineTakeTurnsAtReconnecting) {
  int closedPort = test::freeLoopbackPort();
  auto live = connection(closedPort);
  EXPECT_EQ(live->sendStream(bytesOf("abc"), 3, false), -1);
  EXPECT_FALSE(log.contains("Line down")) << "a send without reconnect gives the error back as it is";
  std::vector<std::thread> senders;
  for (int t = 0; t < 2; ++t)
    senders.emplace_back([&] {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(live->sendStream(bytesOf("abc"), 3), -1);
    });
  for (std::thread& sender : senders) sender.join();
  std::string text = log.text();
  EXPECT_EQ(log.count("Line down"), 10);
  EXPECT_EQ(log.count(") Re-connect failed\n"), 10);
  size_t at = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    size_t down = text.find("Line down", at);
    size_t failed = text.find(") Re-connect failed\n", down);
    ASSERT_NE(failed, std::string::npos);
    EXPECT_GT(text.find("Line down", down + 1), failed) << "attempt " << attempt << " overlaps the next";
    at = failed;
  }
}

TEST_F(LiveConnectTest, StalledServerDoesNotHoldTheSenderPastTheTimeOut) {
  ScriptedPeer peer(ScriptedPeer::Script{{"OK"}, 0ms, false, false, false, true});
  auto live = connection(peer.port(), {1s, 500ms, 120s});
  live->connect();
  ASSERT_TRUE(live->login());
  std::string block(16 * 1024 * 1024, 'x');
  auto start = Clock::now();
  EXPECT_EQ(live->sendStream(bytesOf(block), block.size()), -1);
  // The write, the log-in on the new link and the resend each wait at most the time-out.
  EXPECT_LT(secondsSince(start), 10.0);
  EXPECT_TRUE(log.contains("Line down, attempting to reconnect."));
}

TEST_F(LiveConnectTest, DisconnectWakesAStalledSendWithoutAReconnect) {
  ScriptedPeer peer(ScriptedPeer::Script{{"OK"}, 0ms, false, false, false, true});
  auto live = connection(peer.port(), {1s, 60s, 120s});
  live->connect();
  ASSERT_TRUE(live->login());
  std::string block(16 * 1024 * 1024, 'x');
  auto sent = std::async(std::launch::async, [&] { return live->sendStream(bytesOf(block), block.size()); });
  ASSERT_EQ(sent.wait_for(300ms), std::future_status::timeout);
  auto start = Clock::now();
  live->disconnect();
  ASSERT_EQ(sent.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(sent.get(), -1);
  EXPECT_LT(secondsSince(start), 5.0);
  EXPECT_FALSE(live->loggedOn());
  EXPECT_FALSE(log.contains("Line down"));
  EXPECT_EQ(peer.connectionCount(), 1u);
}

TEST_F(LiveConnectTest, OnAirClockCountsTheSecondsSinceTheLogin) {
  ScriptedPeer peer;
  auto live = connection(peer.port());
  live->connect();
  ASSERT_TRUE(live->login());
  std::time_t logon = std::time(nullptr);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(live->sendStream(bytesOf("x"), 1), 1);
    if (i < 2) std::this_thread::sleep_for(1100ms);
  }
  int expected = static_cast<int>(std::time(nullptr) - logon);
  EXPECT_GE(live->onAirSeconds(), expected - 1);
  EXPECT_LE(live->onAirSeconds(), expected + 1);
  EXPECT_GE(live->onAirSeconds(), 1);
  std::vector<std::string> shown = window.labelHistory(kLabelConnectedTime);
  ASSERT_EQ(shown.size(), 1u) << "shown at most every 5 seconds";
  EXPECT_EQ(shown[0].substr(0, 6), "0:00:0");
}

TEST_F(LiveConnectTest, DestructionRightAfterConstructionDoesNotWaitForTheRefreshInterval) {
  Clock::time_point start;
  {
    LiveConnect live("web.test", &status, service, prompts);
    waitForFirstRefresh();
    start = Clock::now();
  }
  EXPECT_LT(secondsSince(start), 3.0);
  EXPECT_EQ(service.bcinfoCount(), 1u) << "the first refresh runs at construction, the next not before 120 s";
}

TEST_F(LiveConnectTest, RefreshThreadAsksAgainEveryInterval) {
  LiveConnect live("web.test", &status, service, prompts, {1s, 1s, 20ms});
  auto deadline = Clock::now() + 10s;
  while (service.bcinfoCount() < 4 && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  ASSERT_GE(service.bcinfoCount(), 4u);
  for (const auto& call : service.bcinfoCalls()) EXPECT_TRUE(call.sessionFormAllowed);
}

TEST_F(LiveConnectTest, ReadersNeverSeeAHalfWrittenRecord) {
  std::atomic<int> round{0};
  service.setHandler([&](ServerInfo& info, bool) {
    bool odd = ++round % 2;
    // Field by field with pauses, as a parse does: a reader of the live record would catch it half done.
    info.listeners = odd ? 1 : 2;
    std::this_thread::sleep_for(100us);
    std::snprintf(info.host, sizeof info.host, "%s", odd ? "alpha.example" : "beta.example");
    std::this_thread::sleep_for(100us);
    info.port = odd ? 1001 : 2002;
    return 0;
  });
  LiveConnect live("web.test", &status, service, prompts, {1s, 1s, 0ms});
  std::atomic<bool> torn{false};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&] {
      auto until = Clock::now() + 300ms;
      while (Clock::now() < until) {
        ServerInfo info = live.serverInfo();
        std::string host = info.host;
        bool consistent = (info.listeners == 0 && host.empty() && info.port == 0) ||
                          (info.listeners == 1 && host == "alpha.example" && info.port == 1001) ||
                          (info.listeners == 2 && host == "beta.example" && info.port == 2002);
        if (!consistent) torn = true;
      }
    });
  for (std::thread& reader : readers) reader.join();
  EXPECT_FALSE(torn);
  EXPECT_GT(round.load(), 10);
}

TEST_F(LiveConnectTest, FailedRefreshKeepsWhatTheAnswerReached) {
  std::atomic<int> result{kBcinfoFailed};
  service.setHandler([&](ServerInfo& info, bool) {
    info.serverOn = 1;
    info.accountMode = kModeLive;
    info.listeners = 5;  // the answer stops after the listener count
    return result.load();
  });
  LiveConnect live("web.test", &status, service, prompts);
  EXPECT_FALSE(live.refreshServerInfo());
  EXPECT_FALSE(live.infoFetched());
  EXPECT_EQ(live.listeners(), 5);
  result = kBcinfoOk;
  EXPECT_TRUE(live.refreshServerInfo());
  EXPECT_TRUE(live.infoFetched());
}

TEST_F(LiveConnectTest, CredentialsSetDuringARefreshAreKept) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> holdNext{false};
  service.setHandler([&](ServerInfo& info, bool) {
    if (holdNext.exchange(false)) {
      entered.set_value();
      released.wait();
    }
    info.listeners = 9;
    return 0;
  });
  LiveConnect live("web.test", &status, service, prompts);
  live.setMemberName("alice");
  live.setPassword("old");
  holdNext = true;
  auto refresh = std::async(std::launch::async, [&] { return live.refreshServerInfo(); });
  entered.get_future().wait();
  live.setMemberName("bob");
  live.setPassword("new");
  release.set_value();
  EXPECT_TRUE(refresh.get());
  EXPECT_EQ(live.memberName(), "bob");
  EXPECT_EQ(live.pass(), "new");
  EXPECT_EQ(live.listeners(), 9);
}

TEST_F(LiveConnectTest, FactGettersFetchFirstUntilARefreshSucceeds) {
  LiveConnect live("web.test", &status, service, prompts);
  waitForFirstRefresh();
  size_t calls = service.bcinfoCount();
  live.host();
  live.isHostplay();
  EXPECT_EQ(service.bcinfoCount(), calls + 2) << "each of them asks while nothing was fetched";
  live.listeners();
  live.rating();
  EXPECT_EQ(service.bcinfoCount(), calls + 2) << "the figures are served as they are";

  service.setAnswer(kBcinfoOk, "radio.example", 8001, 3, 4.0f, 10, kModeHostplay);
  EXPECT_EQ(live.host(), "radio.example");
  EXPECT_EQ(live.port(), 8001);
  EXPECT_TRUE(live.isHostplay());
  EXPECT_EQ(service.bcinfoCount(), calls + 3) << "once fetched, served from the record";
}

TEST_F(LiveConnectTest, VerifyAccountMapsTheResultAndWarns) {
  const std::string wrong =
      "Unable to log in, either your username or password are incorrect (passwords are case-sensitive), try "
      "again";
  const std::string notBroadcaster =
      "Unable to log in, you may have registered as a member, but have not registered as a broadcaster yet.";
  const struct {
    int bcinfo, result;
    std::string box;
  } cases[] = {
      {kBcinfoOk, 0, ""},          {kBcinfoFailed, 2, wrong}, {kBcinfoNotBroadcaster, 2, notBroadcaster},
      {kBcinfoBadLogin, 1, wrong}, {kBcinfoCode3, 2, ""},
  };
  LiveConnect live("web.test", &status, service, prompts);
  waitForFirstRefresh();
  live.setMemberName("owner");
  for (const auto& c : cases) {
    for (bool show : {false, true}) {
      service.setAnswer(c.bcinfo, "127.0.0.1", 9000);
      size_t boxes = prompts.boxes().size();
      EXPECT_EQ(live.verifyAccount("carol", "pw", show), c.result) << c.bcinfo;
      auto call = service.bcinfoCalls().back();
      EXPECT_EQ(call.username, "carol");
      EXPECT_EQ(call.sessionid, "");
      EXPECT_FALSE(call.sessionFormAllowed);
      bool warned = show && !c.box.empty();
      ASSERT_EQ(prompts.boxes().size(), boxes + warned) << c.bcinfo;
      if (warned) {
        EXPECT_EQ(prompts.boxes().back().kind, BoxKind::Warning);
        EXPECT_EQ(prompts.boxes().back().text, c.box);
      }
    }
  }
  EXPECT_EQ(live.memberName(), "owner") << "the connection's own record is left alone";
  EXPECT_EQ(live.serverInfo().port, 0);
}

TEST_F(LiveConnectTest, SetCredentialsTakesOnlyWhatTheServiceAccepts) {
  service.setSessionForLogin("S-77");
  service.setAnswer(kBcinfoBadLogin, "", 0);
  LiveConnect live("web.test", &status, service, prompts);
  EXPECT_EQ(live.setCredentials("dave", "hunter2"), 1);
  EXPECT_EQ(live.memberName(), "") << "refused credentials are never taken";
  EXPECT_TRUE(service.loginCalls().empty());
  service.setAnswer(kBcinfoOk, "127.0.0.1", 8001);
  EXPECT_EQ(live.setCredentials("dave", "hunter2"), 0);
  EXPECT_EQ(live.memberName(), "dave");
  ASSERT_FALSE(service.loginCalls().empty());
  EXPECT_EQ(service.loginCalls().back().pass, "hunter2");
  EXPECT_STREQ(live.serverInfo().sessionid, "S-77");

  service.setSessionForLogin("");
  live.setPassword("other");
  EXPECT_STREQ(live.serverInfo().sessionid, "S-77") << "a refused log-in keeps the session id";
  live.setMemberName(std::string(150, 'n'));
  EXPECT_EQ(live.memberName(), std::string(99, 'n'));
}

}  // namespace
}  // namespace brovana
