// The headless studio as a member runs it: the built brovana-live against the service emulator
// and a real Icecast, with a listener that decodes what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/headless_station.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::fileText;
using test::waitUntil;

struct Decoded {
  size_t samples = 0;
  int peak = 0;
};

// The MP3 bytes decoded by mpg123, as the station's listeners would hear them.
Decoded decode(const test::TempFolder& folder, const std::string& mp3) {
  folder.write("heard.mp3", mp3);
  std::string command =
      "mpg123 -q -s '" + folder.file("heard.mp3") + "' > '" + folder.file("heard.raw") + "' 2>/dev/null";
  Decoded decoded;
  if (std::system(command.c_str()) != 0) return decoded;
  std::string raw = fileText(folder.file("heard.raw"));
  decoded.samples = raw.size() / 2;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    int16_t sample =
        static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8);
    decoded.peak = std::max(decoded.peak, std::abs(static_cast<int>(sample)));
  }
  return decoded;
}

// The length of an MP3 file in seconds, from the frames ffprobe reads in it.
double decodedSeconds(const std::string& path) {
  std::string command =
      "ffprobe -v error -count_packets -select_streams a:0 -show_entries "
      "stream=nb_read_packets,sample_rate -of csv=p=0 '" +
      path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
  int rate = 0;
  long frames = 0;
  if (!out || std::fscanf(out.get(), "%d,%ld", &rate, &frames) != 2 || rate <= 0) return 0;
  // MPEG-1 frames hold 1152 samples, MPEG-2 and 2.5 frames 576.
  return static_cast<double>(frames) * (rate >= 32000 ? 1152 : 576) / rate;
}

class HeadlessStudioTest : public ::testing::Test, protected test::HeadlessStation {
 protected:
  void SetUp() override {
    std::string problem;
    ASSERT_TRUE(prepare(problem)) << problem;
  }
};

TEST_F(HeadlessStudioTest, ConfiguredStudioGoesOnTheAirAndOffAgainOnSigterm) {
  // A first run without settings is refused, with the way to configure.
  EXPECT_EQ(runToEnd({"--headless"}, "first.log"), 1);
  std::string first = fileText(scratch.file("first.log"));
  EXPECT_NE(first.find("no station is configured yet"), std::string::npos) << first;
  EXPECT_NE(first.find("brovana-live --configure --member NAME --password PW"), std::string::npos) << first;

  // A wrong password stores nothing; the right one stores the station.
  EXPECT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "wrong"}, "configure.log"), 1);
  EXPECT_FALSE(fs::exists(scratch.file("config/brovana-live/settings.ini")) &&
               settings().find("username=demo") != std::string::npos);
  ASSERT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret", "--title", "Test tones",
                      "--genre", "Ambient", "--line-speed", "100000", "--output-bitrate", "56000"},
                     "configure.log"),
            0)
      << fileText(scratch.file("configure.log"));
  EXPECT_NE(settings().find("sessionID=0"), std::string::npos) << settings();

  // On the air: the listener gets MP3 that decodes to the tone.
  auto onAir =
      studio({"--headless", "--playlist", playlist(), "-outfile", scratch.file("recorded.mp3")}, "run1.log");
  ASSERT_TRUE(onTheAir(*onAir, "run1.log")) << fileText(scratch.file("run1.log"));
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  std::string heardBytes;
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    ASSERT_TRUE(listener.waitForHead(10s)) << icecast.errorLog();
    EXPECT_NE(listener.header("icy-name").find("Test tones"), std::string::npos) << listener.head();
    ASSERT_TRUE(listener.waitForBody(40000, 30s)) << fileText(scratch.file("run1.log"));
    heardBytes = listener.body();
    Decoded heard = decode(scratch, heardBytes);
    EXPECT_GT(heard.samples, 44100u) << "at least half a second of stereo";
    EXPECT_GT(heard.peak, 3000) << "the tone, not silence";
  }
  // Both tracks play, and each is announced with its tag.
  EXPECT_TRUE(waitUntil(
      [&] {
        return fileText(work() + "/live_log1.txt").find("Now playing : tone880.mp3") != std::string::npos;
      },
      30s));
  EXPECT_TRUE(waitUntil(
      [&] {
        int tagged = 0;
        for (const auto& song : emulator.songs()) tagged += song.field("title").starts_with("Tone ");
        return tagged >= 2;
      },
      10s));

  // SIGTERM: the exit sequence, then exit code 0.
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0) << fileText(scratch.file("run1.log"));
  std::string log1 = fileText(work() + "/live_log1.txt");
  EXPECT_NE(log1.find("Starting Brovana-Live 2.01 - Jan. 29, 2001 on " + emulator.webHost()),
            std::string::npos)
      << log1;
  EXPECT_NE(log1.find("Now playing : tone440.mp3"), std::string::npos) << log1;
  EXPECT_NE(log1.find("Now playing : tone880.mp3"), std::string::npos) << log1;
  EXPECT_NE(log1.find("Exiting Brovana-Live"), std::string::npos) << log1;
  EXPECT_NE(log1.find(": tracks played"), std::string::npos) << log1;
  EXPECT_FALSE(serverOn()) << "the run turned the server on, so it turned it off";
  EXPECT_NE(settings().find("sessionID=1"), std::string::npos) << settings();

  // -outfile kept the stream as the server got it: what the listener heard is in it, and it decodes whole, as
  // long as its bytes last at 56 kbit/s and at least the first track.
  std::string recorded = fileText(scratch.file("recorded.mp3"));
  EXPECT_NE(recorded.find(heardBytes), std::string::npos);
  double seconds = decodedSeconds(scratch.file("recorded.mp3"));
  EXPECT_NEAR(seconds, recorded.size() * 8.0 / 56000, 0.5);
  EXPECT_GE(seconds, 12.0);

  // A second run counts once more and keeps a log of its own.
  auto again = studio({"--headless"}, "run2.log");
  ASSERT_TRUE(onTheAir(*again, "run2.log")) << fileText(scratch.file("run2.log"));
  EXPECT_NE(
      fileText(scratch.file("run2.log")).find("Do you want to start broadcasting your previous playlist"),
      std::string::npos)
      << "the playlist of the first run is offered and taken";
  EXPECT_EQ(again->stop(SIGINT, 30s), 0);
  EXPECT_TRUE(fs::exists(work() + "/live_log2.txt"));
  EXPECT_NE(fileText(work() + "/live_log1.txt").find("Exiting Brovana-Live"), std::string::npos)
      << "the first run's log is kept";
  EXPECT_NE(settings().find("sessionID=2"), std::string::npos) << settings();
}

// Many listeners: a second Icecast relays the mount of the one the studio streams to. Both serve
// the stream, and after the master restarts the studio logs in again and the relay serves on.
TEST_F(HeadlessStudioTest, RelayServesTheMastersStreamAlsoAfterTheStudioReconnects) {
  test::IcecastServer relay{{.sourcePassword = "unused", .mount = "/live", .relayOf = icecast.port()}};
  ASSERT_TRUE(relay.start()) << relay.errorLog();
  ASSERT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret"}, "configure.log"), 0);
  auto onAir =
      studio({"--headless", "--playlist", playlist(), "-outfile", scratch.file("recorded.mp3")}, "run.log");
  ASSERT_TRUE(onTheAir(*onAir, "run.log")) << fileText(scratch.file("run.log"));

  auto hears = [&](test::IcecastServer& server) {
    auto listener = test::listenWhenServed(server);
    if (!listener || !listener->waitForBody(20000, 20s)) return std::string();
    std::string body = listener->body();
    return decode(scratch, body).peak > 3000 ? body : std::string();
  };
  EXPECT_FALSE(hears(icecast).empty()) << icecast.errorLog();
  EXPECT_FALSE(hears(relay).empty()) << relay.errorLog();

  icecast.kill();
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  EXPECT_TRUE(waitUntil(
      [&] {
        return fileText(work() + "/live_log1.txt").find("Re-connected successfully!") != std::string::npos;
      },
      30s))
      << fileText(work() + "/live_log1.txt");
  EXPECT_FALSE(hears(icecast).empty()) << icecast.errorLog();
  std::string relayedAfter = hears(relay);
  EXPECT_FALSE(relayedAfter.empty()) << relay.errorLog();

  // The recording went on in the same file after the reconnect, byte for byte as relayed.
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0);
  EXPECT_NE(fileText(work() + "/live_log1.txt").find("goes on after the reconnect"), std::string::npos);
  EXPECT_NE(fileText(scratch.file("recorded.mp3")).find(relayedAfter), std::string::npos);
}

}  // namespace
}  // namespace brovana
