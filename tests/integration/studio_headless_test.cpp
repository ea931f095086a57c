// The headless studio as a member runs it: the built brovana-live against the service emulator
// and a real Icecast, with listeners that decode what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "net/server_link.h"
#include "support/demo_station.h"
#include "support/journal.h"
#include "support/scripted_peer.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using test::kHeard;

class HeadlessStudioTest : public ::testing::Test, protected test::DemoStation {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    std::filesystem::create_directories(scratch.file("music"));
    // Two tagged tracks of a tone, 20 seconds each: a loud one at -6 dBFS and a quiet one at -30.
    for (auto [hz, volume] : {std::pair{440, 0.5}, {880, 0.0316}})
      ASSERT_TRUE(test::makeTone(scratch.file("music/tone" + std::to_string(hz) + ".mp3"),
                                 {.frequency = double(hz),
                                  .seconds = 20,
                                  .title = "Tone " + std::to_string(hz),
                                  .artist = "Test",
                                  .volume = volume}));
    scratch.write("music/broken.mp3", std::string(48000, 'x'));  // no MP3 at all: skipped
    scratch.write("music/tones.m3u",
                  "#EXTM3U\r\n#EXTINF:20,Tone 440\r\ntone440.mp3\r\nbroken.mp3\r\n"
                  "#EXTINF:20,Tone 880\r\ntone880.mp3\r\n");
  }

  // The studio four times real time, without a sound card; on the tones.
  std::unique_ptr<test::ChildProcess> run(std::vector<std::string> args, const std::string& log = "run.log") {
    return studio(std::move(args), log, {"BROVANA_PLAYBACK=off", "BROVANA_PACE=4"});
  }
  std::unique_ptr<test::ChildProcess> onTones(std::vector<std::string> args, const std::string& log) {
    args.insert(args.begin(), {"--headless", "--playlist", scratch.file("music/tones.m3u")});
    return run(args, log);
  }
  int runToEnd(std::vector<std::string> args) { return run(std::move(args))->wait(60s); }
  std::string read(const std::string& name) { return scratch.read(name); }
  bool has(const std::string& file, const std::string& part) {
    return read(file).find(part) != std::string::npos;
  }
};

// A program installed without its windows module says what to do instead of failing in Qt.
TEST(StudioProgram, MissingWindowsModuleIsNamedWithWhatToDo) {
  test::TempFolder scratch;
  std::filesystem::create_directories(scratch.file("bin"));
  std::filesystem::copy_file(test::builtProgram("brovana-live"), scratch.file("bin/brovana-live"));
  test::ChildProcess studio({scratch.file("bin/brovana-live")}, scratch.file("run.log"),
                            {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(studio.wait(10s), 1);
  EXPECT_TRUE(test::inOrder(scratch.read("run.log"),
                            {"lib/brovana-live/modules/windows.so", "or run the studio with --headless"}));
}

// The refusals of a first run, then one broadcast through the leveller plug-in with -outfile
// recording: a listener on Icecast and one on a second Icecast that relays the mount (many
// listeners), both also after the master restarted and the studio logged in again; SIGTERM.
TEST_F(HeadlessStudioTest, StationGoesOnTheAirThroughARelayAndComesBackAfterTheServerDied) {
  const std::string settings = "config/brovana-live/settings.ini";
  EXPECT_EQ(runToEnd({"--headless"}), 1) << "a first run without settings is refused";
  EXPECT_TRUE(has("run.log", "brovana-live --configure --member NAME --password PW")) << read("run.log");
  EXPECT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "wrong"}), 1);
  EXPECT_FALSE(has(settings, "username=demo")) << "a refused password stores nothing";
  EXPECT_TRUE(has("run.log", "Unable to log in, either your username or password are incorrect"));
  // A pair the account check takes and the live log-in refuses.
  ASSERT_TRUE(emulator.control({{"account", "demo"}, {"login", "refuse"}}));
  EXPECT_EQ(runToEnd({"--configure", "--member", "demo", "--password", "demo-secret"}), 1);
  EXPECT_FALSE(has(settings, "username=demo"));
  ASSERT_TRUE(emulator.control({{"account", "demo"}, {"login", "accept"}}));
  // A service that cannot be reached is told apart from a refused account.
  std::string nowhere = "127.0.0.1:" + std::to_string(test::freeLoopbackPort());
  EXPECT_EQ(runToEnd({"-host", nowhere, "--configure", "--member", "demo", "--password", "demo-secret"}), 1);
  EXPECT_TRUE(has("run.log", kServiceUnreachableText)) << read("run.log");
  EXPECT_FALSE(has(settings, "username=demo"));
  ASSERT_TRUE(configure(
      {"--title", "Test tones", "--genre", "Ambient", "--line-speed", "100000", "--output-bitrate", "56000"}))
      << read("run.log");

  std::string recording = scratch.file("recorded.mp3");
  auto onAir =
      onTones({"-outfile", recording, "--dsp", std::string(BROVANA_PLUGIN_DIR) + "/leveller.so"}, "run1.log");
  test::waitUntil([&] { return has("run1.log", "on the air through") || !onAir->running(); }, 30s);
  ASSERT_TRUE(has("run1.log", "on the air through")) << read("run1.log");
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  // A second studio on the same folders is refused and changes nothing there: no log of its own,
  // and the first one's log goes on from where it was.
  auto files = [&] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work())) names.insert(entry.path().string());
    return names;
  };
  std::set<std::string> before = files();
  std::string firstLog = read("work/live_log1.txt");
  EXPECT_EQ(onTones({}, "second.log")->wait(20s), 1);
  EXPECT_TRUE(has("second.log", "is running on the working folder " + work())) << read("second.log");
  EXPECT_EQ(files(), before);
  EXPECT_TRUE(read("work/live_log1.txt").starts_with(firstLog));
  // A new listener of the server once it hears the tones; null when it does not. A relay asking
  // while the master has no such mount asks again after its update interval (5 s).
  auto listen = [&](test::IcecastServer& server, std::chrono::seconds served) {
    auto listener = test::listenWhenServed(server, served);
    bool heard =
        listener && listener->waitForBody(40000, 30s) && test::peak(test::decodeMp3(listener->body())) > 3000;
    return heard ? std::move(listener) : nullptr;
  };
  auto first = listen(icecast, 15s);
  ASSERT_TRUE(first) << icecast.errorLog();
  EXPECT_EQ(first->header("icy-name"), "[Zelvora]Test tones[*]") << first->head();
  EXPECT_EQ(first->header("icy-genre"), "Ambient");
  first.reset();
  test::IcecastServer relay{{.relayOf = icecast.port()}};
  ASSERT_TRUE(relay.start()) << relay.errorLog();
  EXPECT_TRUE(listen(relay, 15s)) << relay.errorLog();

  icecast.kill();
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", "Re-connected successfully!"); }, 30s));
  EXPECT_TRUE(listen(icecast, 15s)) << icecast.errorLog();
  auto relayListener = listen(relay, 30s);
  ASSERT_TRUE(relayListener) << relay.errorLog();
  std::string relayed = relayListener->body();
  // The blank titles that clear the directory's entry at the log-in, then one per track.
  std::string announced;
  EXPECT_TRUE(test::waitUntil(
      [&] {
        announced.clear();
        for (auto& song : emulator.records("songs"))
          if (song["title"] != "  ")
            announced += song["title"].substr(0, 10) + "/" + song["artist"] + "/" + song["handle"] + " ";
        return announced.size() >= 38;
      },
      30s));
  // Each track that plays, in order, a tagged track with its tag.
  EXPECT_EQ(announced.substr(0, 38), "Tone 440/Test/demo Tone 880/Test/demo ");
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", ">>>> 4 : Now playing"); }, 30s));

  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0) << read("run1.log");
  EXPECT_TRUE(
      test::inOrder(read("work/live_log1.txt"),
                    {"Starting Brovana-Live 2.01 - Jan. 29, 2001 on " + emulator.webHost(),
                     "ISP Connection is T1/DSL/ISDN/Cable", "aimed towards users with a 56K modem or better",
                     "Logged on successfully", "Now playing : tone440.mp3",
                     "XAudio failed for song broken.mp3 ripped at -1 bps", "Now playing : tone880.mp3",
                     "Exiting Brovana-Live", ": tracks played", "Time Graph for Listeners"}));
  EXPECT_FALSE(serverOn()) << "the run turned the server on, so it turned it off";
  EXPECT_FALSE(has("work/live_log1.txt", ") 0 : files couldn't be played.")) << "broken.mp3 was not";
  EXPECT_TRUE(has("work/live_log1.txt", "goes on after the reconnect"));
  EXPECT_TRUE(has(settings, "sessionID=1"));

  // The recording is what was sent, byte for byte as relayed. All of it decodes, to as long as
  // its bytes last at 56 kbit/s, in whole frames across the track changes and the reconnect.
  std::string recorded = read("recorded.mp3");
  EXPECT_NE(recorded.find(relayed), std::string::npos);
  double rate = 0, frames = 0;
  std::sscanf(test::commandOutput("ffprobe -v error -count_packets -show_entries "
                                  "stream=sample_rate,nb_read_packets -of csv=p=0 '" +
                                  recording + "'")
                  .c_str(),
              "%lf,%lf", &rate, &frames);
  // The samples in an MPEG-1 frame, or in an MPEG-2 or 2.5 one.
  EXPECT_NEAR(frames * (rate >= 32000 ? 1152 : 576) / rate, recorded.size() * 8.0 / 56000, 0.5);
  EXPECT_EQ(test::commandOutput("ffmpeg -v error -i '" + recording + "' -f null - 2>&1"), "");
  // The leveller is in the chain (how it levels is its own test): the quiet track, played 24 dB
  // under the loud one at -30 dBFS, comes out above -18 dBFS, and nothing above -1 dBFS.
  std::vector<int16_t> heard = test::decodeMp3(recorded);
  int quietPeak = 0;
  for (size_t at = 0, window = kHeard.sampleRate / 2; at + window <= heard.size(); at += window)
    if (std::span part(heard.data() + at, window); test::dominantTone(part, kHeard, {440, 880}) == 880)
      quietPeak = std::max(quietPeak, test::peak(part));
  EXPECT_GT(quietPeak, 4000);
  EXPECT_LE(test::peak(heard), 29204);
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
    auto run = onTones({}, "stop.log");
    if (before) test::waitUntil([&] { return has("stop.log", before); }, 30s);
    std::this_thread::sleep_for(1s);  // well into the wait
    EXPECT_EQ(run->stop(SIGTERM, 10s), 0) << read("stop.log");
    EXPECT_LE(server.connectionCount(), 1u) << "logged in again during the exit";
    EXPECT_FALSE(serverOn()) << "the exit sequence turns off what the run turned on";
  }
}

}  // namespace
}  // namespace brovana
