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
#include <fstream>
#include <sstream>
#include <thread>

#include "support/child_process.h"
#include "support/demo_station.h"
#include "support/icecast_server.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

constexpr PcmFormat kHeardFormat{22050, 2};

struct Decoded {
  size_t samples = 0;
  int peak = 0;
  std::vector<int16_t> pcm;  // kHeardFormat
};

// The MP3 bytes decoded by mpg123, as the station's listeners would hear them.
Decoded decode(const test::TempFolder& folder, const std::string& mp3) {
  folder.write("heard.mp3", mp3);
  std::string command = "mpg123 -q -s --stereo -r 22050 '" + folder.file("heard.mp3") + "' > '" +
                        folder.file("heard.raw") + "' 2>/dev/null";
  Decoded decoded;
  if (std::system(command.c_str()) != 0) return decoded;
  std::string raw = fileText(folder.file("heard.raw"));
  decoded.samples = raw.size() / 2;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    decoded.pcm.push_back(
        static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | static_cast<uint8_t>(raw[i + 1]) << 8));
    decoded.peak = std::max(decoded.peak, std::abs(static_cast<int>(decoded.pcm.back())));
  }
  return decoded;
}

// The level of each of two tones in what was heard (dB, as the peak level of a sine of that
// power): the median over the quarter seconds in which that tone dominates.
std::pair<double, double> toneLevels(const std::vector<int16_t>& pcm, double first, double second) {
  const size_t window = kHeardFormat.sampleRate / 2;  // a quarter second of stereo
  std::vector<double> levels[2];
  for (size_t at = 0; at + window <= pcm.size(); at += window) {
    std::span<const int16_t> part(pcm.data() + at, window);
    double tone = test::dominantTone(part, kHeardFormat, {first, second}), sum = 0;
    for (int16_t s : part) sum += double(s) * s;
    if (tone > 0)
      levels[tone == second].push_back(10 * std::log10(sum / window / (32768.0 * 32768.0)) + 3.0103);
  }
  for (auto& v : levels) std::sort(v.begin(), v.end());
  return {levels[0].at(levels[0].size() / 2), levels[1].at(levels[1].size() / 2)};
}

// The length of an MP3 file in seconds, from the frames ffprobe reads in it.
double decodedSeconds(const std::string& path) {
  std::string command =
      "ffprobe -v error -count_packets -show_entries stream=sample_rate,nb_read_packets -of "
      "csv=p=0 '" +
      path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
  double rate = 0, frames = 0;
  if (!out || std::fscanf(out.get(), "%lf,%lf", &rate, &frames) != 2 || rate <= 0) return 0;
  return frames * (rate >= 32000 ? 1152 : 576) / rate;  // samples in an MPEG-1 frame, in MPEG-2 or 2.5
}

class HeadlessStudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    // Two tagged tracks of a tone, 12 seconds each.
    for (int hz : {440, 880}) {
      std::string mp3 = scratch.file("music/tone" + std::to_string(hz) + ".mp3");
      fs::create_directories(scratch.file("music"));
      std::string command = "sox -q -n -r 44100 -c 2 -t wav - synth 12 sine " + std::to_string(hz) +
                            " vol 0.5 2>/dev/null | lame --quiet -b 128 --tt 'Tone " + std::to_string(hz) +
                            "' --ta Test - '" + mp3 + "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    scratch.write("music/tones.m3u",
                  "#EXTM3U\r\n#EXTINF:12,Test - Tone 440\r\ntone440.mp3\r\n#EXTINF:12,Test - Tone "
                  "880\r\ntone880.mp3\r\n");
  }

  // brovana-live with the scratch folder's settings and working folder.
  std::unique_ptr<test::ChildProcess> studio(std::vector<std::string> args, const std::string& log) {
    std::vector<std::string> argv = {test::builtProgram("brovana-live"), "-host", emulator.webHost(),
                                     "--workdir", work()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<test::ChildProcess>(
        argv, scratch.file(log),
        // Four times real time, paced by the clock: both tracks play within seconds.
        std::vector<std::string>{"XDG_CONFIG_HOME=" + scratch.file("config"), "BROVANA_PLAYBACK=off",
                                 "BROVANA_PACE=4"});
  }
  // Until the studio says it is on the air, or has ended.
  bool onTheAir(test::ChildProcess& process, const std::string& log) {
    waitUntil(
        [&] {
          return fileText(scratch.file(log)).find("on the air through") != std::string::npos ||
                 !process.running();
        },
        30s);
    return fileText(scratch.file(log)).find("on the air through") != std::string::npos;
  }
  int runToEnd(std::vector<std::string> args, const std::string& log) {
    auto process = studio(std::move(args), log);
    return process->wait(60s);
  }
  std::string work() const { return scratch.file("work"); }
  std::string settings() const { return fileText(scratch.file("config/brovana-live/settings.ini")); }
  bool serverOn() {
    auto account = emulator.account("demo");
    return account && account->serverOn;
  }

  test::TempFolder scratch;
  test::DemoStation station;
  test::IcecastServer& icecast = station.icecast;
  test::ServiceEmulator& emulator = station.emulator;
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
  auto onAir = studio({"--headless", "--playlist", scratch.file("music/tones.m3u")}, "run1.log");
  ASSERT_TRUE(onTheAir(*onAir, "run1.log")) << fileText(scratch.file("run1.log"));
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    ASSERT_TRUE(listener.waitForHead(10s)) << icecast.errorLog();
    EXPECT_NE(listener.header("icy-name").find("Test tones"), std::string::npos) << listener.head();
    ASSERT_TRUE(listener.waitForBody(40000, 30s)) << fileText(scratch.file("run1.log"));
    Decoded heard = decode(scratch, listener.body());
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

TEST_F(HeadlessStudioTest, LevellerPlugInEvensOutAQuietAndALoudTrackUnderTheCeiling) {
  // A quiet tone at -30 dBFS and a loud one at -6 dBFS: 24 dB apart as they are played.
  for (auto [hz, db] : {std::pair{440, -30}, std::pair{880, -6}}) {
    std::string command = "sox -q -n -r 22050 -c 2 -t wav - synth 20 sine " + std::to_string(hz) + " vol " +
                          std::to_string(db) + "dB 2>/dev/null | lame --quiet -b 64 - '" +
                          scratch.file("music/level" + std::to_string(hz) + ".mp3") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  scratch.write("music/levels.m3u", "level440.mp3\nlevel880.mp3\n");
  ASSERT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret"}, "configure.log"), 0);

  auto onAir = studio({"--headless", "--playlist", scratch.file("music/levels.m3u"), "--dsp",
                       std::string(BROVANA_PLUGIN_DIR) + "/leveller.so"},
                      "dsp.log");
  ASSERT_TRUE(onTheAir(*onAir, "dsp.log")) << fileText(scratch.file("dsp.log"));
  Decoded heard;
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    // A minute of the 56 kbit/s stream: each track whole at least once.
    ASSERT_TRUE(listener.waitForBody(420'000, 60s)) << fileText(scratch.file("dsp.log"));
    heard = decode(scratch, listener.body());
  }
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0);

  auto [quiet, loud] = toneLevels(heard.pcm, 440, 880);
  EXPECT_NEAR(quiet, -14, 3) << "raised to the leveller's target";
  EXPECT_LT(std::abs(quiet - loud), 4) << quiet << " dB against " << loud << " dB";
  EXPECT_LE(heard.peak, 29204) << "-1 dBFS";
}

// Many listeners: a second Icecast relays the mount of the one the studio streams to. Both serve
// the stream, also after the master restarted and the studio logged in again. -outfile records
// on meanwhile, byte for byte as relayed.
TEST_F(HeadlessStudioTest, RelayServesTheMastersStreamAlsoAfterTheStudioReconnects) {
  test::IcecastServer relay{{.mount = "/live", .relayOf = icecast.port()}};
  ASSERT_TRUE(relay.start()) << relay.errorLog();
  ASSERT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret"}, "configure.log"), 0);
  std::string recording = scratch.file("recorded.mp3");
  auto onAir =
      studio({"--headless", "--playlist", scratch.file("music/tones.m3u"), "-outfile", recording}, "run.log");
  ASSERT_TRUE(onTheAir(*onAir, "run.log")) << fileText(scratch.file("run.log"));
  auto hears = [&](test::IcecastServer& server) {
    auto listener = test::listenWhenServed(server);
    bool heard =
        listener && listener->waitForBody(20000, 20s) && decode(scratch, listener->body()).peak > 3000;
    return heard ? listener->body() : std::string();
  };
  EXPECT_NE(hears(relay), "") << relay.errorLog();

  icecast.kill();
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  std::string log = work() + "/live_log1.txt";
  EXPECT_TRUE(
      waitUntil([&] { return fileText(log).find("Re-connected successfully!") != std::string::npos; }, 30s));
  EXPECT_NE(hears(icecast), "") << icecast.errorLog();
  std::string relayed = hears(relay);
  ASSERT_NE(relayed, "") << relay.errorLog();
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0);
  EXPECT_NE(fileText(log).find("goes on after the reconnect"), std::string::npos) << fileText(log);
  std::string recorded = fileText(recording);
  EXPECT_NE(recorded.find(relayed), std::string::npos);
  // All of it decodes, to as long as its bytes last at 56 kbit/s.
  EXPECT_NEAR(decodedSeconds(recording), recorded.size() * 8.0 / 56000, 0.5);
}

}  // namespace
}  // namespace brovana
