// The headless studio as a member runs it: the built brovana-live against the service emulator
// and a real Icecast, with a listener that decodes what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/child_process.h"
#include "support/demo_station.h"
#include "support/scripted_peer.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
constexpr PcmFormat kHeard{22050, 2};

// The level of each of two tones in what was heard (dB, as the peak level of a sine of that
// power): the median over the quarter seconds in which that tone dominates.
std::pair<double, double> toneLevels(const std::vector<int16_t>& pcm, double first, double second) {
  const size_t window = kHeard.sampleRate / 2;  // a quarter second of stereo
  std::vector<double> levels[2];
  for (size_t at = 0; at + window <= pcm.size(); at += window) {
    std::span<const int16_t> part(pcm.data() + at, window);
    double tone = test::dominantTone(part, kHeard, {first, second}), sum = 0;
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
      "ffprobe -v error -count_packets -show_entries stream=sample_rate,nb_read_packets -of csv=p=0 '" +
      path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> out(popen(command.c_str(), "r"), pclose);
  double rate = 0, frames = 0;
  if (!out || std::fscanf(out.get(), "%lf,%lf", &rate, &frames) != 2 || rate <= 0) return 0;
  return frames * (rate >= 32000 ? 1152 : 576) / rate;  // samples in an MPEG-1 frame, in MPEG-2 or 2.5
}

// What ffmpeg says while it decodes the whole file: nothing, for a sequence of whole frames.
std::string decodeErrors(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> out(
      popen(("ffmpeg -v error -i '" + path + "' -f null - 2>&1").c_str(), "r"), pclose);
  std::string said;
  for (int c; out && (c = std::fgetc(out.get())) != EOF;) said += static_cast<char>(c);
  return out ? said : "ffmpeg did not run";
}

class HeadlessStudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    std::filesystem::create_directories(scratch.file("music"));
    for (int hz : {440, 880})  // two tagged tracks of a tone, 12 seconds each
      ASSERT_TRUE(test::makeTone(
          scratch.file("music/tone" + std::to_string(hz) + ".mp3"),
          {.frequency = double(hz), .seconds = 12, .title = "Tone " + std::to_string(hz), .artist = "Test"}));
    scratch.write("music/broken.mp3", std::string(48000, 'x'));  // no MP3 at all: skipped
    scratch.write("music/tones.m3u",
                  "#EXTM3U\r\n#EXTINF:12,Tone 440\r\ntone440.mp3\r\nbroken.mp3\r\n"
                  "#EXTINF:12,Tone 880\r\ntone880.mp3\r\n");
  }

  // brovana-live with the scratch folder's settings and working folder, four times real time.
  std::unique_ptr<test::ChildProcess> studio(std::vector<std::string> args, const std::string& log) {
    std::vector<std::string> argv = {test::builtProgram("brovana-live"), "-host", emulator.webHost(),
                                     "--workdir", scratch.file("work")};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<test::ChildProcess>(
        argv, scratch.file(log),
        std::vector<std::string>{"XDG_CONFIG_HOME=" + scratch.file("config"), "BROVANA_PLAYBACK=off",
                                 "BROVANA_PACE=4"});
  }
  int runToEnd(std::vector<std::string> args) { return studio(std::move(args), "run.log")->wait(60s); }
  bool configure() { return runToEnd({"--configure", "--member", "demo", "--password", "demo-secret"}) == 0; }
  // Until the studio says it is on the air (true), or has ended.
  bool onTheAir(test::ChildProcess& process, const std::string& log) {
    test::waitUntil([&] { return has(log, "on the air through") || !process.running(); }, 30s);
    return has(log, "on the air through");
  }
  // The MP3 bytes decoded by mpg123 (at kHeard), as the station's listeners would hear them.
  std::vector<int16_t> decode(const std::string& mp3) {
    scratch.write("heard.mp3", mp3);
    std::system(("mpg123 -q -s --stereo -r 22050 '" + scratch.file("heard.mp3") + "' > '" +
                 scratch.file("heard.raw") + "' 2>/dev/null")
                    .c_str());
    std::string raw = read("heard.raw");
    std::vector<int16_t> pcm(raw.size() / 2);
    std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
    return pcm;
  }
  static int peak(const std::vector<int16_t>& pcm) {
    int most = 0;
    for (int16_t s : pcm) most = std::max(most, std::abs(int(s)));
    return most;
  }
  std::string read(const std::string& name) { return scratch.read(name); }
  bool has(const std::string& file, const std::string& part) {
    return std::filesystem::exists(scratch.file(file)) && read(file).find(part) != std::string::npos;
  }
  bool serverOn() { return emulator.account("demo") && emulator.account("demo")->serverOn; }

  test::TempFolder scratch;
  test::DemoStation station;
  test::IcecastServer& icecast = station.icecast;
  test::ServiceEmulator& emulator = station.emulator;
};

// A program installed without its windows module says what to do instead of failing in Qt.
TEST(StudioWindowsTest, MissingModuleIsNamedWithWhatToDo) {
  test::TempFolder scratch;
  std::filesystem::create_directories(scratch.file("bin"));
  std::filesystem::copy_file(test::builtProgram("brovana-live"), scratch.file("bin/brovana-live"));
  test::ChildProcess studio({scratch.file("bin/brovana-live")}, scratch.file("run.log"),
                            {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(studio.wait(10s), 1);
  EXPECT_NE(scratch.read("run.log").find("lib/brovana-live/modules/windows.so"), std::string::npos)
      << scratch.read("run.log");
  EXPECT_NE(scratch.read("run.log").find("or run the studio with --headless"), std::string::npos);
}

TEST_F(HeadlessStudioTest, ConfiguredStudioGoesOnTheAirAndOffAgainOnSigterm) {
  const std::string settings = "config/brovana-live/settings.ini";
  EXPECT_EQ(runToEnd({"--headless"}), 1) << "a first run without settings is refused";
  EXPECT_TRUE(has("run.log", "brovana-live --configure --member NAME --password PW")) << read("run.log");
  EXPECT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "wrong"}), 1);
  EXPECT_FALSE(has(settings, "username=demo")) << "a refused password stores nothing";
  EXPECT_TRUE(has("run.log", "Unable to log in, either your username or password are incorrect"));
  ASSERT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret", "--title", "Test tones",
                      "--genre", "Ambient", "--line-speed", "100000", "--output-bitrate", "56000"}),
            0)
      << read("run.log");

  auto onAir = studio({"--headless", "--playlist", scratch.file("music/tones.m3u")}, "run1.log");
  ASSERT_TRUE(onTheAir(*onAir, "run1.log")) << read("run1.log");
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    ASSERT_TRUE(listener.waitForHead(10s)) << icecast.errorLog();
    EXPECT_NE(listener.header("icy-name").find("Test tones"), std::string::npos) << listener.head();
    ASSERT_TRUE(listener.waitForBody(40000, 30s));
    std::vector<int16_t> pcm = decode(listener.body());
    EXPECT_GT(pcm.size(), 44100u) << "at least half a second of stereo";
    EXPECT_GT(peak(pcm), 3000) << "the tone, not silence";
  }
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", "Now playing : tone880.mp3"); }, 30s));
  // The blank titles that clear the directory's entry at the log-in, then one per track.
  std::string announced, artist;
  ASSERT_TRUE(test::waitUntil(
      [&] {
        announced.clear();
        for (const auto& song : emulator.songs())
          if (song.field("title") != "  ") {
            announced += song.field("title").substr(0, 10) + "/" + song.field("handle") + " ";
            if (artist.empty()) artist = song.field("artist");
          }
        return announced.size() >= 28;
      },
      30s));
  EXPECT_EQ(announced.substr(0, 28), "Tone 440/demo Tone 880/demo ") << "each track that plays, in order";
  EXPECT_EQ(artist, "Test") << "a tagged track with its tag";

  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0) << read("run1.log");
  std::string log = read("work/live_log1.txt");
  size_t at = 0;
  for (const std::string& line :
       {"Starting Brovana-Live 2.01 - Jan. 29, 2001 on " + emulator.webHost(),
        std::string("ISP Connection is T1/DSL/ISDN/Cable"),
        std::string("aimed towards users with a 56K modem or better"), std::string("Logged on successfully"),
        std::string("Now playing : tone440.mp3"),
        std::string("XAudio failed for song broken.mp3 ripped at -1 bps"),
        std::string("Now playing : tone880.mp3"), std::string("Exiting Brovana-Live"),
        std::string(": tracks played"), std::string("Time Graph for Listeners")})
    EXPECT_NE(at = log.find(line, at), std::string::npos) << line << " missing or out of order\n" << log;
  EXPECT_FALSE(serverOn()) << "the run turned the server on, so it turned it off";
  EXPECT_FALSE(has("work/live_log1.txt", ") 0 : files couldn't be played.")) << "broken.mp3 was not";
  EXPECT_TRUE(has(settings, "sessionID=1"));
}

// A playlist of which nothing plays ends the run by itself. A stop ends it within seconds, with the
// exit sequence and no log-in during it: while the start-up waits on a server that never answers
// the log-in or on a slow service, and while the server stalls the stream.
TEST_F(HeadlessStudioTest, StopsAndFailuresEndTheRunWithinSeconds) {
  ASSERT_TRUE(configure());
  scratch.write("music/broken.m3u", "broken.mp3\n");
  EXPECT_EQ(runToEnd({"--headless", "--playlist", scratch.file("music/broken.m3u")}), 1) << read("run.log");
  EXPECT_TRUE(has("run.log", "nothing is on the air (no track of the playlist could be played)"));
  EXPECT_FALSE(serverOn());
  const std::tuple<test::ScriptedPeer::Script, const char*, const char*> cases[] = {
      // the broadcast server, the service's delay (ms), what the studio says before SIGTERM goes
      {{.neverRead = true}, "0", "[Trying to connect to"},
      {{}, "3000", nullptr},  // a second into the start-up
      {{.stallAfterHeaders = true, .receiveBuffer = 4096}, "0", "on the air through"},
  };
  for (const auto& [script, delay, before] : cases) {
    test::ScriptedPeer server(script);
    ASSERT_TRUE(emulator.control({{"broadcast-port", std::to_string(server.port())}, {"delay", delay}}));
    auto run = studio({"--headless", "--playlist", scratch.file("music/tones.m3u")}, "stop.log");
    if (before) test::waitUntil([&] { return has("stop.log", before); }, 30s);
    std::this_thread::sleep_for(1s);  // well into the wait
    EXPECT_EQ(run->stop(SIGTERM, 10s), 0) << read("stop.log");
    EXPECT_LE(server.connectionCount(), 1u) << "logged in again during the exit";
    EXPECT_FALSE(serverOn()) << "the exit sequence turns off what the run turned on";
  }
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
  ASSERT_TRUE(configure());
  auto onAir = studio({"--headless", "--playlist", scratch.file("music/levels.m3u"), "--dsp",
                       std::string(BROVANA_PLUGIN_DIR) + "/leveller.so"},
                      "dsp.log");
  ASSERT_TRUE(onTheAir(*onAir, "dsp.log")) << read("dsp.log");
  std::vector<int16_t> heard;
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    // A minute of the 56 kbit/s stream: each track whole at least once.
    ASSERT_TRUE(listener.waitForBody(420'000, 60s)) << read("dsp.log");
    heard = decode(listener.body());
  }
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0);
  auto [quiet, loud] = toneLevels(heard, 440, 880);
  EXPECT_NEAR(quiet, -14, 3) << "raised to the leveller's target";
  EXPECT_LT(std::abs(quiet - loud), 4) << quiet << " dB against " << loud << " dB";
  EXPECT_LE(peak(heard), 29204) << "-1 dBFS";
}

// Many listeners: a second Icecast relays the mount of the one the studio streams to. Both serve
// the stream, also after the master restarted and the studio logged in again. -outfile records
// on meanwhile, byte for byte as relayed.
TEST_F(HeadlessStudioTest, RelayServesTheMastersStreamAlsoAfterTheStudioReconnects) {
  ASSERT_TRUE(configure());
  std::string recording = scratch.file("recorded.mp3");
  auto onAir = studio({"--headless", "--playlist", scratch.file("music/tones.m3u"), "-outfile", recording},
                      "run1.log");
  ASSERT_TRUE(onTheAir(*onAir, "run1.log")) << read("run1.log");
  // A relay asking while the master has no such mount asks again after its update interval (5 s).
  auto hears = [&](test::IcecastServer& server, std::chrono::seconds served) {
    auto listener = test::listenWhenServed(server, served);
    bool heard = listener && listener->waitForBody(20000, 20s) && peak(decode(listener->body())) > 3000;
    return heard ? listener->body() : std::string();
  };
  ASSERT_NE(hears(icecast, 15s), "") << icecast.errorLog();
  test::IcecastServer relay{{.mount = "/live", .relayOf = icecast.port()}};
  ASSERT_TRUE(relay.start()) << relay.errorLog();
  EXPECT_NE(hears(relay, 15s), "") << relay.errorLog();

  icecast.kill();
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", "Re-connected successfully!"); }, 30s));
  EXPECT_NE(hears(icecast, 15s), "") << icecast.errorLog();
  std::string relayed = hears(relay, 30s);
  ASSERT_NE(relayed, "") << relay.errorLog();
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", ">>>> 4 : Now playing"); }, 30s));
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0);
  EXPECT_TRUE(has("work/live_log1.txt", "goes on after the reconnect")) << read("work/live_log1.txt");
  std::string recorded = read("recorded.mp3");
  EXPECT_NE(recorded.find(relayed), std::string::npos);
  // All of it decodes, to as long as its bytes last at 56 kbit/s, and it is whole frames across
  // three track changes and the reconnect.
  EXPECT_NEAR(decodedSeconds(recording), recorded.size() * 8.0 / 56000, 0.5);
  EXPECT_EQ(decodeErrors(recording), "");
}

}  // namespace
}  // namespace brovana
