// The server connection against a real Icecast 2 that takes the source on the port above its
// listener port, with the account facts from the service emulator and a listener fetching the
// mount.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
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

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

// Twenty seconds of a tone, encoded at the stream's bit rate: real frames, so that Icecast
// serves them at once.
std::string makeToneMp3(const test::TempFolder& folder) {
  std::string path = folder.file("tone.mp3");
  std::string command =
      "sox -q -n -r 44100 -c 2 -t wav - synth 20 sine 440 2>/dev/null | lame --quiet -b 56 - '" + path + "'";
  if (std::system(command.c_str()) != 0) return {};
  return folder.read("tone.mp3");
}

class LiveConnectIcecastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    mp3 = makeToneMp3(folder);
    ASSERT_GT(mp3.size(), 100000u);
    live = std::make_unique<LiveConnect>(emulator.webHost(), &reports, accounts, prompts,
                                         LiveConnectTimings{2s, 2s, 120s});
    live->setMemberName("alice");
    live->setPassword(icecast.sourcePassword());
    // bcinfo names the listener port; the source goes to the port above it.
    ASSERT_TRUE(live->refreshServerInfo());
    ASSERT_EQ(live->port(), icecast.sourcePort());
  }
  void TearDown() override { Logger::setStatsSource(nullptr); }

  // Logs in and sends a first block, then waits until Icecast serves the mount.
  std::unique_ptr<test::StreamListener> goOnAir() {
    live->connect();
    if (!live->login()) return nullptr;
    live->sendStream(bytesOf(mp3), 4096);
    return listen();
  }

  std::unique_ptr<test::StreamListener> listen() { return test::listenWhenServed(icecast); }

  static test::EmulatorOptions emulatorOptions(int sourcePort) {
    test::EmulatorOptions options;
    options.accountsFile = "alice source-secret mode=LI listeners=2 rating=8.0 minutes=12\n";
    options.broadcastPort = sourcePort;
    return options;
  }

  test::TempFolder folder;
  test::IcecastServer icecast{{"source-secret", "/live", 0}};
  test::ServiceEmulator emulator{emulatorOptions(icecast.sourcePort())};
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

TEST_F(LiveConnectIcecastTest, ListenerGetsTheStationHeadersAndTheStreamInOrder) {
  live->setMessage("Tone Hour");
  live->setGenre(0, "Ambient");
  live->setGenre(1, "Test");
  live->setGenre(2, "Sine");
  live->setUrl("tone.example/station");
  live->setOutputBitrate(56000);
  auto listener = goOnAir();
  ASSERT_TRUE(listener) << icecast.errorLog();
  EXPECT_TRUE(live->loggedOn());
  EXPECT_TRUE(log.contains(") Logged on successfully\n"));

  EXPECT_EQ(listener->header("icy-name"), "[Zelvora]Tone Hour[*]") << listener->head();
  EXPECT_EQ(listener->header("icy-genre"), "Ambient,Test,Sine");
  EXPECT_EQ(listener->header("icy-url"), "http://tone.example/station");
  EXPECT_EQ(listener->header("icy-pub"), "1");
  EXPECT_EQ(listener->header("icy-br"), "56");

  for (size_t at = 4096; at < mp3.size(); at += 4096) {
    size_t n = std::min<size_t>(4096, mp3.size() - at);
    ASSERT_EQ(live->sendStream(bytesOf(mp3) + at, n), static_cast<int>(n));
  }
  ASSERT_TRUE(listener->waitForBody(64 * 1024)) << listener->body().size() << " bytes\n"
                                                << icecast.errorLog();
  std::string body = listener->body();
  EXPECT_NE(mp3.find(body.substr(0, 64 * 1024)), std::string::npos)
      << "the listener gets the bytes as sent, in order";
  EXPECT_FALSE(log.contains("Line down"));
}

TEST_F(LiveConnectIcecastTest, WrongPasswordIsRefused) {
  live->setPassword("not-the-password");
  live->connect();
  EXPECT_TRUE(
      log.contains("Connection made with server, 127.0.0.1, port " + std::to_string(icecast.sourcePort())));
  EXPECT_FALSE(live->login());
  EXPECT_FALSE(live->loggedOn());
  // Icecast closes the connection without a word when the password is wrong.
  EXPECT_TRUE(log.contains(") Log-in failed\n")) << log.text();
  EXPECT_FALSE(log.contains("server error"));
}

TEST_F(LiveConnectIcecastTest, KilledServerIsReconnectedOnceItIsBack) {
  auto first = goOnAir();
  ASSERT_TRUE(first) << icecast.errorLog();
  Logger::setStatsSource(live.get());
  int reconnectsBefore = Logger::reconnects();

  // The conversion thread: a block of the tone every 20 ms, round and round.
  std::atomic<bool> stop{false};
  std::atomic<int> failedBlocks{0};
  std::thread sender([&] {
    size_t at = 4096;
    while (!stop) {
      if (at + 4096 > mp3.size()) at = 0;
      if (live->sendStream(bytesOf(mp3) + at, 4096) < 0) ++failedBlocks;
      at += 4096;
      std::this_thread::sleep_for(20ms);
    }
  });
  ASSERT_TRUE(first->waitForBody(8192)) << icecast.errorLog();

  icecast.kill();
  bool lineDown = log.waitFor("Line down, attempting to reconnect. The line has dropped " +
                              std::to_string(reconnectsBefore) + " times.\n");
  bool failedWhileDown = log.waitFor(") Re-connect failed\n");
  bool restarted = icecast.start();
  bool reconnected = log.waitFor(") Re-connected successfully!\n", 20s);
  std::unique_ptr<test::StreamListener> second = reconnected ? listen() : nullptr;
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
  for (const test::SeenRequest& request : emulator.requests())
    switches += request.target.rfind("/cgi-bin/netcast.cgi?stream=live&membername=alice&", 0) == 0;
  EXPECT_GE(switches, 1) << "the first failure asks for live mode";
  EXPECT_EQ(window.label(kLabelConnectionState), "Re-connected successfully!");
  EXPECT_EQ(journal.last("title"), "Brovana-Live 2.01 - Jan. 29, 2001 - On the Air! (2 listeners)");

  ASSERT_TRUE(streamBack) << "the restarted server's listener receives the stream again";
  std::string twice = mp3 + mp3;
  std::string body = second->body();
  EXPECT_NE(twice.find(body.substr(0, 16 * 1024)), std::string::npos);
}

}  // namespace
}  // namespace brovana
