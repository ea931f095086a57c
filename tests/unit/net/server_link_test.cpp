#include "net/server_link.h"

#include <gtest/gtest.h>

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

class ServerLinkTest : public ::testing::Test {
 protected:
  // A connection whose account points at `port` on the loopback, by name, with credentials set
  // and the refresh thread's first request out of the way.
  std::unique_ptr<ServerLink> connection(int port, ServerLinkTimings timings = {1s, 1s, 120s}) {
    service.setAnswer(kBcinfoOk, "localhost", port);
    size_t asked = service.bcinfoCount();
    auto live = std::make_unique<ServerLink>("web.test", &reports, service, prompts, timings);
    live->setMemberName("alice");
    live->setPassword("secret");
    EXPECT_TRUE(live->refreshServerInfo());
    test::eventually([&] { return service.bcinfoCount() >= asked + 2; });
    return live;
  }
  std::unique_ptr<ServerLink> loggedOn(const ScriptedPeer& peer, ServerLinkTimings timings = {1s, 1s, 120s}) {
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

TEST_F(ServerLinkTest, LoginExchangeCarriesTheStationFieldsByteForByte) {
  const std::string name = "icy-name:[Zelvora]", pub = "icy-pub: 1\n", end = pub + "icy-br: 56\n\n",
                    show = name + "Welcome to my show![*]\n", url = "icy-url: http://www.zelvora.example/\n";
  const std::pair<std::function<void(ServerLink&)>, std::string> cases[] = {
      {[](ServerLink&) {}, show + "icy-genre:Various\n" + url + end},
      {[](ServerLink& c) {
         c.setLiveTag(false), c.setMessage("Night Owls"), c.setGenre(1, "Jazz"), c.setGenre(2, "Blues");
         c.setOutputBitrate(24000), c.setUrl("owls.example");
       },
       name + "Night Owls\nicy-genre:Various,Jazz,Blues\nicy-url: http://owls.example\n" + pub +
           "icy-br: 24\n\n"},
      {[](ServerLink& c) { c.setGenre(0, ""), c.setGenre(1, "Jazz"); }, show + url + end},
      {[](ServerLink& c) { c.setMessage(std::string(400, 'm')); },  // cut, but with its line end
       name + std::string(280, 'm') + "\nicy-genre:Various\n" + url + end},
      {[](ServerLink& c) {  // control characters in the texts are left out: no injected lines
         c.setMessage("Owls\r\nicy-description:x"), c.setGenre(0, "Rock\n"), c.setGenre(1, "Ja\tzz\x7f");
         c.setUrl("owls.example\n\nMP3");
       },
       name + "Owlsicy-description:x[*]\nicy-genre:Rock,Jazz\nicy-url: http://owls.exampleMP3\n" + end},
  };
  std::string stream = "\xFF\xFB\x90\x64";  // far more than a socket takes at once, in bytes that differ
  for (int i = 0; i < 200000; ++i) stream += static_cast<char>(i * 7 % 251);
  for (const auto& [settings, headers] : cases) {
    ScriptedPeer peer(ScriptedPeer::Script{{"OK2\r\nicy-caps:11\r\n\r\n"}});
    auto live = connection(peer.port());
    settings(*live);
    live->connect();
    ASSERT_TRUE(live->login()) << headers;
    EXPECT_EQ(live->sendStream(bytesOf(stream), stream.size()), static_cast<int>(stream.size()));
    live->disconnect();
    ASSERT_TRUE(peer.waitForClose(0));
    EXPECT_EQ(peer.received(0), "secret\n" + headers + stream);
  }
}

TEST_F(ServerLinkTest, DroppedLineReconnectsAndResendsTheBlock) {
  ScriptedPeer peer;
  auto live = loggedOn(peer);
  ASSERT_EQ(live->sendStream(bytesOf("block-0|"), 8), 8);
  ASSERT_TRUE(test::eventually([&] { return peer.received(0).ends_with("block-0|"); }));
  std::string loginBytes = peer.received(0).substr(0, peer.received(0).size() - 8);
  int reconnectsBefore = Logger::reconnects();

  peer.dropConnections();
  ASSERT_TRUE(peer.waitForClose(0));
  // The first writes after the drop may still be taken by the system; one of the next fails.
  std::string last;
  int sent = 0;
  ASSERT_TRUE(test::eventually([&] {
    last = "block-" + std::to_string(++sent) + "|";
    EXPECT_EQ(live->sendStream(bytesOf(last), last.size()), static_cast<int>(last.size()));
    return peer.connectionCount() >= 2;
  }));
  ASSERT_TRUE(peer.waitForBytes(1, loginBytes.size() + last.size()));
  EXPECT_EQ(peer.received(1), loginBytes + last) << "log-in again, then the failed block once more";
  EXPECT_TRUE(log.contains("Line down, attempting to reconnect. The line has dropped " +
                           std::to_string(reconnectsBefore) + " times.\n"));
  EXPECT_EQ(Logger::reconnects(), reconnectsBefore + 1);
}

// A server that logs the source in and then reads nothing: once its fixed receive buffer is full
// its system takes nothing more, and the link gives it up after the stall time (not the far longer
// I/O time-out) and logs in again on the reconnect path.
TEST_F(ServerLinkTest, ServerThatStopsReadingIsNoticedWithinTheStallTimeAndLinkedAgain) {
  ScriptedPeer peer({.stallAfterHeaders = true, .receiveBuffer = 65536});
  auto live = loggedOn(peer, {1s, 30s, 120s, 2s});
  const std::string block(1000, 'm');
  auto callStart = Clock::now(), callEnd = callStart;
  for (auto deadline = callStart + 40s; peer.connectionCount() < 2 && callEnd < deadline;) {
    callStart = Clock::now();
    EXPECT_EQ(live->sendStream(bytesOf(block), block.size()), static_cast<int>(block.size()));
    callEnd = Clock::now();
  }
  ASSERT_EQ(peer.connectionCount(), 2u) << log.text();
  EXPECT_LT(callEnd - callStart, 4s) << "the send that found the stall waited past the stall time"
                                     << log.text();
  EXPECT_TRUE(log.contains("The server has taken nothing for 2 seconds\n")) << log.text();
  EXPECT_TRUE(log.waitFor("Re-connected successfully!\n")) << log.text();
}

// The link is one: a second sender waits for a running reconnect instead of starting its own
// inside it, so every attempt's lines stand together in the log.
TEST_F(ServerLinkTest, SendersOnADeadLineTakeTurnsAtReconnectingAndSwitchTheStreamEveryTwentiethTime) {
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
  for (size_t at = 0, attempt = 0; attempt < 10; ++attempt) {
    size_t down = text.find("Line down", at);
    at = text.find(") Re-connect failed\n", down);
    ASSERT_NE(at, std::string::npos);
    EXPECT_GT(text.find("Line down", down + 1), at) << "attempt " << attempt << " overlaps the next";
  }
  // The stream is switched on the first failure and on every twentieth.
  for (int attempt = 11; attempt <= 41; ++attempt) {
    EXPECT_FALSE(live->reconnect());
    ASSERT_EQ(service.netcastCalls().size(), attempt >= 41 ? 3u : attempt >= 21 ? 2u : 1u) << attempt;
  }
  EXPECT_EQ(std::tuple(service.netcastCalls()[0], log.count(") Re-connect failed\n"), journal.last("state")),
            std::tuple("alice secret live 3", 41, "2"));
}

// The on-air clock counts whole seconds since each log-in, summed over the log-ins of a broadcast:
// never reset by a new one, never counting a second twice. A new broadcast counts from zero,
// without the pause before it.
TEST_F(ServerLinkTest, OnAirClockSumsTheSecondsOfEveryLoginOfABroadcast) {
  ScriptedPeer peer;
  const std::time_t start = std::time(nullptr);
  auto live = loggedOn(peer);
  // Frames go out until the clock shows `seconds` on the air.
  auto streamUntil = [&](int seconds) {
    return test::waitUntil(
        [&] { return live->sendStream(bytesOf("frame"), 5) > 0 && live->onAirSeconds() >= seconds; }, 10s);
  };
  ASSERT_TRUE(streamUntil(2));
  const int first = live->onAirSeconds();
  live->disconnect(), live->connect();
  ASSERT_TRUE(live->login());
  ASSERT_TRUE(streamUntil(first + 1));
  EXPECT_LE(live->onAirSeconds(), std::time(nullptr) - start);
  // Off the air, still logged on, until the wall clock has moved on two seconds.
  const std::time_t idle = std::time(nullptr);
  ASSERT_TRUE(test::waitUntil([&] { return std::time(nullptr) >= idle + 2; }, 5s));
  live->restartOnAirClock();
  const std::time_t restarted = std::time(nullptr);
  EXPECT_EQ(live->onAirSeconds(), 0);
  ASSERT_TRUE(streamUntil(1));
  EXPECT_LE(live->onAirSeconds(), std::time(nullptr) - restarted + 1) << "the idle time is not counted";
}

TEST_F(ServerLinkTest, ReadersNeverSeeAHalfWrittenRecordAndCredentialsSetMeanwhileStay) {
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
  ServerLink live("web.test", &reports, service, prompts, {1s, 1s, 0ms});
  std::atomic<bool> torn{false}, enough{false};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r)
    readers.emplace_back([&, r] {
      while (!enough) {
        if (r == 0) live.setMemberName("bob");
        ServerInfo info = live.serverInfo();
        std::string seen = std::to_string(info.listeners) + info.host + std::to_string(info.port);
        torn = torn || (seen != "00" && seen != "1alpha.example1001" && seen != "2beta.example2002");
      }
    });
  const int from = round;
  EXPECT_TRUE(test::eventually([&] { return round > from + 10; })) << "refreshes while the readers read";
  enough = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_FALSE(torn);
  EXPECT_EQ(live.memberName(), "bob") << "a refresh does not undo a name set meanwhile";
}

}  // namespace
}  // namespace brovana
