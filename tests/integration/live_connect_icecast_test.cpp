// The server connection against a real Icecast 2 that takes the source on the port above its
// listener port, with the account facts from the service emulator and a listener fetching the
// mount.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "broadcast/report_adapters.h"
#include "monitor/status_display.h"
#include "net/live_connect.h"
#include "net/web_account_service.h"
#include "net/web_service.h"
#include "platform/curl_http_client.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/icecast_server.h"
#include "support/log_tail.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class LiveConnectIcecastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    // Twenty seconds of a tone at the stream's format: real frames, so that Icecast serves them at once.
    ASSERT_TRUE(test::makeTone(folder.file("tone.mp3"), {.seconds = 20, .sampleRate = 22050, .kbps = 56}));
    mp3 = folder.read("tone.mp3");
    live = std::make_unique<LiveConnect>(emulator.webHost(), &reports, accounts, prompts,
                                         LiveConnectTimings{2s, 2s, 120s});
    live->setMemberName("alice");
    live->setPassword(icecast.sourcePassword());
    // bcinfo names the listener port; the source goes to the port above it.
    ASSERT_TRUE(live->refreshServerInfo());
    ASSERT_EQ(live->port(), icecast.sourcePort());
  }
  void TearDown() override { Logger::setStatsSource(nullptr); }

  // Sends the tone from `at` in blocks of 4096 bytes (round and round while `loop`); the blocks
  // that failed.
  int send(size_t at, size_t end, const std::atomic<bool>* loop = nullptr) {
    int failed = 0;
    for (; loop ? !*loop : at + 4096 <= end; at += 4096) {
      if (at + 4096 > end) at = 0;
      failed += live->sendStream(bytes() + at, 4096) < 0;
      if (loop) std::this_thread::sleep_for(20ms);  // as the conversion thread sends
    }
    return failed;
  }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(mp3.data()); }
  // Logs in and sends a first block, then waits until Icecast serves the mount.
  std::unique_ptr<test::StreamListener> goOnAir() {
    live->connect();
    if (!live->login()) return nullptr;
    send(0, 4096);
    return test::listenWhenServed(icecast);
  }

  test::TempFolder folder;
  test::IcecastServer icecast{{"source-secret", "/live", 0}};
  test::ServiceEmulator emulator{
      {.accountsFile = "alice source-secret mode=LI listeners=2 rating=8.0 minutes=12\n",
       .broadcastPort = icecast.sourcePort()}};
  CurlHttpClient http;
  WebService web{http, emulator.webHost()};
  WebAccountService accounts{web};
  std::string mp3;
  test::FakePrompts prompts;
  test::Journal journal;
  test::FakeStatusWindow window{journal};
  test::FakeMainWindow mainWindow{journal};
  StatusDisplay status{&window, &mainWindow};
  LinkReportsAdapter reports{status};
  test::LogTail log;
  std::unique_ptr<LiveConnect> live;
};

// One session: a refused log-in, the station on the air, the server killed and back.
TEST_F(LiveConnectIcecastTest, StationGoesOnTheAirAndComesBackAfterTheServerDied) {
  // Icecast closes the connection without a word when the password is wrong.
  live->setPassword("not-the-password");
  live->connect();
  EXPECT_TRUE(
      log.contains("Connection made with server, 127.0.0.1, port " + std::to_string(icecast.sourcePort())));
  EXPECT_FALSE(live->login());
  EXPECT_TRUE(log.contains(") Log-in failed\n")) << log.text();

  live->setPassword(icecast.sourcePassword());
  live->setMessage("Tone Hour");
  for (int i = 0; i < 3; ++i) live->setGenre(i, std::vector{"Ambient", "Test", "Sine"}[i]);
  live->setUrl("tone.example/station");
  live->setOutputBitrate(56000);
  auto first = goOnAir();
  ASSERT_TRUE(first) << icecast.errorLog();
  EXPECT_TRUE(log.contains(") Logged on successfully\n"));
  for (auto [name, value] : {std::pair{"icy-name", "[Zelvora]Tone Hour[*]"},
                             {"icy-genre", "Ambient,Test,Sine"},
                             {"icy-url", "http://tone.example/station"},
                             {"icy-pub", "1"},
                             {"icy-br", "56"}})
    EXPECT_EQ(first->header(name), value) << first->head();

  Logger::setStatsSource(live.get());
  int reconnectsBefore = Logger::reconnects();
  std::atomic<bool> stop{false};
  std::atomic<int> failedBlocks{0};
  std::thread sender([&] { failedBlocks = send(4096, mp3.size(), &stop); });
  ASSERT_TRUE(first->waitForBody(64 * 1024)) << icecast.errorLog();
  EXPECT_NE(mp3.find(first->body().substr(0, 64 * 1024)), std::string::npos) << "the bytes as sent, in order";
  EXPECT_FALSE(log.contains("Line down"));

  icecast.kill();
  bool lineDown = log.waitFor("Line down, attempting to reconnect. The line has dropped " +
                              std::to_string(reconnectsBefore) + " times.\n");
  bool failedWhileDown = log.waitFor(") Re-connect failed\n");
  bool restarted = icecast.start();
  bool reconnected = log.waitFor(") Re-connected successfully!\n", 20s);
  auto second = reconnected ? test::listenWhenServed(icecast) : nullptr;
  bool streamBack = second && second->waitForBody(16 * 1024);
  stop = true;
  sender.join();

  EXPECT_TRUE(lineDown) << log.text();
  EXPECT_TRUE(failedWhileDown);
  ASSERT_TRUE(restarted) << icecast.errorLog();
  ASSERT_TRUE(reconnected) << log.text();
  EXPECT_EQ(Logger::reconnects(), reconnectsBefore + 1);
  EXPECT_GT(failedBlocks.load(), 0) << "blocks sent while the server was gone are lost";
  int switches = 0;
  for (const auto& request : emulator.records("requests"))
    switches += request.values.at("target").starts_with("/cgi-bin/netcast.cgi?stream=live&membername=alice&");
  EXPECT_GE(switches, 1) << "the first failure asks for live mode";
  EXPECT_EQ(window.label(kLabelConnectionState), "Re-connected successfully!");
  EXPECT_EQ(journal.last("title"), "Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (2 listeners)");
  ASSERT_TRUE(streamBack) << "the restarted server's listener receives the stream again";
  EXPECT_NE((mp3 + mp3).find(second->body().substr(0, 16 * 1024)), std::string::npos);
}

}  // namespace
}  // namespace brovana
