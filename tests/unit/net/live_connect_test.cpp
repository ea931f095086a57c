#include "net/live_connect.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>

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
using test::ScriptedPeer;

const uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

class LiveConnectTest : public ::testing::Test {
 protected:
  // A connection whose account points at `port` on the loopback, with credentials set.
  std::unique_ptr<LiveConnect> connection(int port, LiveConnectTimings timings = {1s, 1s, 120s}) {
    service.setAnswer(kBcinfoOk, "127.0.0.1", port, 4, 6.0f, 25);
    size_t asked = service.bcinfoCount();
    auto live = std::make_unique<LiveConnect>("web.test", &reports, service, prompts, timings);
    live->setMemberName("alice");
    live->setPassword("secret");
    EXPECT_TRUE(live->refreshServerInfo());
    // The refresh thread's first request, made at construction, is out of the way too.
    for (auto until = Clock::now() + 10s; service.bcinfoCount() < asked + 2 && Clock::now() < until;)
      std::this_thread::sleep_for(1ms);
    return live;
  }
  std::unique_ptr<LiveConnect> loggedOn(const ScriptedPeer& peer,
                                        LiveConnectTimings timings = {1s, 1s, 120s}) {
    auto live = connection(peer.port(), timings);
    live->connect();
    EXPECT_TRUE(live->login());
    return live;
  }

  test::FakeAccountService service;
  test::FakePrompts prompts;
  test::Journal journal;
  test::FakeLinkReports reports{journal};
  test::LogTail log;
};

TEST_F(LiveConnectTest, LoginExchangeCarriesTheStationFieldsByteForByte) {
  const std::string url = "icy-url: http://www.zelvora.example/\n";
  const std::pair<std::function<void(LiveConnect&)>, std::string> cases[] = {
      {[](LiveConnect&) {},
       "icy-name:[Zelvora]Welcome to my show![*]\nicy-genre:Various\n" + url + "icy-pub: 1\nicy-br: 56\n\n"},
      {[](LiveConnect& c) {
         c.setLiveTag(false);
         c.setMessage("Night Owls");
         for (int i = 0; i < 3; ++i) c.setGenre(i, std::vector<std::string>{"Rock", "Jazz", "Blues"}[i]);
         c.setOutputBitrate(24000);
         c.setUrl("owls.example");
       },
       "icy-name:[Zelvora]Night Owls\nicy-genre:Rock,Jazz,Blues\nicy-url: http://owls.example\nicy-pub: 1\n"
       "icy-br: 24\n\n"},
      {[](LiveConnect& c) { c.setGenre(2, "Blues"); },  // the first and the third: the first alone
       "icy-name:[Zelvora]Welcome to my show![*]\nicy-genre:Various\n" + url + "icy-pub: 1\nicy-br: 56\n\n"},
      {[](LiveConnect& c) {
         c.setGenre(0, "");
         c.setGenre(1, "Jazz");
         c.setOutputBitrate(32000);
       },
       "icy-name:[Zelvora]Welcome to my show![*]\n" + url + "icy-pub: 1\nicy-br: 32\n\n"},
      {[](LiveConnect& c) { c.setMessage(std::string(400, 'm')); },  // cut, but with its line end
       "icy-name:[Zelvora]" + std::string(280, 'm') + "\nicy-genre:Various\n" + url +
           "icy-pub: 1\nicy-br: 56\n\n"},
  };
  for (const auto& [settings, headers] : cases) {
    ScriptedPeer peer(ScriptedPeer::Script{{"OK2\r\nicy-caps:11\r\n\r\n"}});
    auto live = connection(peer.port());
    settings(*live);
    live->connect();
    ASSERT_TRUE(live->login()) << headers;
    const std::string stream = "\xFF\xFB\x90\x64 first frame";
    EXPECT_EQ(live->sendStream(bytesOf(stream), stream.size()), static_cast<int>(stream.size()));
    live->disconnect();
    ASSERT_TRUE(peer.waitForClose(0));
    EXPECT_EQ(peer.received(0), "secret\n" + headers + stream);
  }
}

TEST_F(LiveConnectTest, LoginReadsTwoBytesAndJudgesThem) {
  const std::tuple<ScriptedPeer::Script, bool, std::string> cases[] = {
      {{{"OK2\r\nicy-caps:11\r\n\r\n", "more lines\r\n"}, 50ms}, true, "Logged on successfully\n"},
      {{{"O", "K"}, 100ms}, true, "Logged on successfully\n"},
      {{{"invalid password\r\n"}}, false, "Log-in failed, server error=in\n"},
      {{{"X"}, 0ms, false, true}, false, "Log-in failed, server error=X\n"},
      {{{}, 0ms, true}, false, "Log-in failed\n"},
  };
  for (const auto& [script, loggedOn, logLine] : cases) {
    ScriptedPeer peer(script);
    auto live = connection(peer.port());
    test::LogTail caseLog;
    journal.clear();
    live->connect();
    EXPECT_EQ(live->login(), loggedOn) << logLine;
    EXPECT_TRUE(
        caseLog.contains("Connection made with server, 127.0.0.1, port " + std::to_string(peer.port())));
    EXPECT_TRUE(caseLog.contains(") Logging on to account for alice\n"));

    EXPECT_TRUE(caseLog.contains(") " + logLine)) << caseLog.text();
    EXPECT_EQ(journal.last("statusText"),
              loggedOn ? "Connected!!" : "Trying to connect to server, standby...");
  }
}

TEST_F(LiveConnectTest, DroppedLineReconnectsAndResendsTheBlock) {
  ScriptedPeer peer;
  auto live = loggedOn(peer);
  ASSERT_EQ(live->sendStream(bytesOf("block-0|"), 8), 8);
  for (auto until = Clock::now() + 10s; !peer.received(0).ends_with("block-0|") && Clock::now() < until;)
    std::this_thread::sleep_for(2ms);
  std::string loginBytes = peer.received(0);
  loginBytes.resize(loginBytes.size() - 8);
  int reconnectsBefore = Logger::reconnects();
  journal.clear();

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
  EXPECT_EQ(Logger::reconnects(), reconnectsBefore + 1);
  std::vector<std::string> shown;
  for (const std::string& line : journal.lines())
    if (!line.starts_with("onAirTime")) shown.push_back(line);
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "errorCounts", "state 5",

                       "statusText Connection lost, attempting to reconnect...standby...",
                       "statusText Trying to connect to server, standby...", "statusText Connected!!",
                       "statusText Re-connected successfully!", "state 1", "speeds 100000 56000"}));
}

TEST_F(LiveConnectTest, FailedReconnectsSwitchTheStreamOnTheFirstAndEveryTwentiethFailure) {
  auto live = connection(test::freeLoopbackPort());
  for (int attempt = 1; attempt <= 41; ++attempt) {
    EXPECT_FALSE(live->reconnect());
    ASSERT_EQ(service.netcastCalls().size(), attempt >= 41 ? 3u : attempt >= 21 ? 2u : 1u) << attempt;
  }
  auto call = service.netcastCalls()[0];
  EXPECT_EQ(call.member + " " + call.password + " " + call.stream + " " + std::to_string(call.waitSeconds),
            "alice secret live 3");
  EXPECT_EQ(log.count(") Re-connect failed\n"), 41);
  EXPECT_EQ(journal.last("state"), "2");

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
  auto live = connection(test::freeLoopbackPort());
  EXPECT_EQ(live->sendStream(bytesOf("abc"), 3, false), -1);
  EXPECT_FALSE(log.contains("Line down")) << "without reconnect the error comes back as it is";
  std::vector<std::thread> senders;
  for (int t = 0; t < 2; ++t)
    senders.emplace_back([&] {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(live->sendStream(bytesOf("abc"), 3), -1);
    });
  for (std::thread& sender : senders) sender.join();
  std::string text = log.text();
  size_t at = 0;
  for (int attempt = 0; attempt < 10; ++attempt) {
    size_t down = text.find("Line down", at);
    size_t failed = text.find(") Re-connect failed\n", down);
    ASSERT_NE(failed, std::string::npos);
    EXPECT_GT(text.find("Line down", down + 1), failed) << "attempt " << attempt << " overlaps the next";
    at = failed;
  }
}

TEST_F(LiveConnectTest, StalledServerCostsAtMostTheTimeOutAndDisconnectWakesTheSend) {
  ScriptedPeer peer(ScriptedPeer::Script{{"OK"}, 0ms, false, false, false, true});
  const std::string block(16 * 1024 * 1024, 'x');
  auto start = Clock::now();
  EXPECT_EQ(loggedOn(peer, {1s, 500ms, 120s})->sendStream(bytesOf(block), block.size()), -1);
  // The write, the log-in on the new link and the resend each wait at most the time-out.
  EXPECT_LT(Clock::now() - start, 10s);
  EXPECT_TRUE(log.contains("Line down, attempting to reconnect."));

  ScriptedPeer stalled(ScriptedPeer::Script{{"OK"}, 0ms, false, false, false, true});
  test::LogTail later;
  auto live = loggedOn(stalled, {1s, 60s, 120s});
  auto sent = std::async(std::launch::async, [&] { return live->sendStream(bytesOf(block), block.size()); });
  ASSERT_EQ(sent.wait_for(300ms), std::future_status::timeout);
  live->disconnect();
  ASSERT_EQ(sent.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(sent.get(), -1);
  EXPECT_FALSE(live->loggedOn());
  EXPECT_FALSE(later.contains("Line down")) << "a disconnect is no dropped line";
}

TEST_F(LiveConnectTest, RefreshThreadAsksEveryIntervalAndStopsAtOnce) {
  {
    LiveConnect live("web.test", &reports, service, prompts, {1s, 1s, 20ms});
    for (auto until = Clock::now() + 10s; service.bcinfoCount() < 4 && Clock::now() < until;)
      std::this_thread::sleep_for(5ms);
    ASSERT_GE(service.bcinfoCount(), 4u);
    for (const auto& call : service.bcinfoCalls()) EXPECT_TRUE(call.sessionFormAllowed);
  }
  auto start = Clock::now();
  { LiveConnect live("web.test", &reports, service, prompts); }
  EXPECT_LT(Clock::now() - start, 3s) << "the 120-second sleep is woken";
}

TEST_F(LiveConnectTest, ReadersNeverSeeAHalfWrittenRecordAndCredentialsSetMeanwhileStay) {
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
  LiveConnect live("web.test", &reports, service, prompts, {1s, 1s, 0ms});
  std::atomic<bool> torn{false};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&, r] {
      for (auto until = Clock::now() + 300ms; Clock::now() < until;) {
        if (r == 0) live.setMemberName("bob");
        ServerInfo info = live.serverInfo();
        std::string host = info.host;
        torn = torn || !((info.listeners == 0 && host.empty() && info.port == 0) ||
                         (info.listeners == 1 && host == "alpha.example" && info.port == 1001) ||
                         (info.listeners == 2 && host == "beta.example" && info.port == 2002));
      }
    });
  for (std::thread& reader : readers) reader.join();
  EXPECT_FALSE(torn);
  EXPECT_GT(round.load(), 10);
  EXPECT_EQ(live.memberName(), "bob") << "a refresh does not undo a name set meanwhile";
}

TEST_F(LiveConnectTest, VerifyAccountMapsTheResultAndWarns) {
  const std::string wrong =
      "Unable to log in, either your username or password are incorrect (passwords are case-sensitive), try "
      "again";
  const std::tuple<int, int, std::string> cases[] = {
      {kBcinfoOk, 0, ""},
      {kBcinfoFailed, 2, wrong},
      {kBcinfoNotBroadcaster, 2,
       "Unable to log in, you may have registered as a member, but have not registered as a broadcaster "
       "yet."},
      {kBcinfoBadLogin, 1, wrong},
      {kBcinfoCode3, 2, ""},
  };
  auto live = connection(9000);
  for (const auto& [bcinfo, result, box] : cases) {
    service.setAnswer(bcinfo, "127.0.0.1", 9000);
    size_t boxes = prompts.boxes().size();
    EXPECT_EQ(live->verifyAccount("carol", "pw", true), result) << bcinfo;
    auto call = service.bcinfoCalls().back();
    EXPECT_EQ(call.username + "/" + call.sessionid + "/" + std::to_string(call.sessionFormAllowed),
              "carol//0");
    EXPECT_EQ(prompts.boxTexts().size(), boxes + !box.empty()) << bcinfo;
    if (!box.empty()) {
      EXPECT_EQ(prompts.boxTexts().back(), box);
    }
  }
  EXPECT_EQ(live->memberName(), "alice") << "the connection's own record is left alone";
}

TEST_F(LiveConnectTest, SettersFollowTheirRules) {
  LiveConnect live("web.test", &reports, service, prompts);
  for (auto [text, stored] : {std::pair{"www.station.example", "http://www.station.example"},
                              {"HTTP://B.EXAMPLE", "HTTP://B.EXAMPLE"},
                              {"see http: here", "see http: here"},
                              {"Http://mixed.example", "http://Http://mixed.example"}}) {
    live.setUrl(text);
    EXPECT_EQ(live.url(), stored);
  }
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
  service.setSessionForLogin("S-77");
  live.setPassword("hunter2");
  service.setSessionForLogin("");
  live.setPassword("other");
  EXPECT_STREQ(live.serverInfo().sessionid, "S-77") << "a refused log-in keeps the session id";
}

}  // namespace
}  // namespace brovana
