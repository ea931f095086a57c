// The headless studio as a member runs it: the built brovana-live against the service emulator
// and a real Icecast, with listeners that decode what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "app/control_socket.h"
#include "net/server_link.h"
#include "support/demo_station.h"
#include "support/journal.h"
#include "support/scripted_peer.h"
#include "support/service_emulator.h"
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

  static constexpr const char* kSettings = "config/brovana-live/settings.ini";
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

// A first run without a station is refused with what to do; a refused password or a service that
// cannot be reached (told apart from a refused account) stores nothing. A refused live log-in is
// the configure command's own test.
TEST_F(HeadlessStudioTest, FirstRunRefusalsSayWhyAndStoreNothing) {
  const std::string nowhere = "127.0.0.1:" + std::to_string(test::freeLoopbackPort());
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--headless"}, "brovana-live --configure --member NAME --password PW"},
      {{"--configure", "--member", "demo", "--password", "wrong"},
       "Unable to log in, either your username or password are incorrect"},
      {{"-host", nowhere, "--configure", "--member", "demo", "--password", "demo-secret"},
       kServiceUnreachableText},
  };
  for (const auto& [args, told] : cases) {
    SCOPED_TRACE(args.back());
    EXPECT_EQ(runToEnd(args), 1);
    EXPECT_TRUE(has("run.log", told)) << read("run.log");
    EXPECT_FALSE(has(kSettings, "username=demo"));
  }
}

// The station stored, then on the air on the tones through the leveller plug-in, with -outfile
// recording.
class HeadlessOnTheAir : public HeadlessStudioTest {
 protected:
  void SetUp() override {
    HeadlessStudioTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(configure({"--title", "Test tones", "--genre", "Ambient", "--line-speed", "100000",
                           "--output-bitrate", "56000"}))
        << read("run.log");
    onAir = onTones({"-outfile", recording(), "--dsp", std::string(BROVANA_PLUGIN_DIR) + "/leveller.so"},
                    "run1.log");
    test::waitUntil([&] { return has("run1.log", "on the air through") || !onAir->running(); }, 30s);
    ASSERT_TRUE(has("run1.log", "on the air through")) << read("run1.log");
  }

  // A new listener of the server once it hears the tones; null when it does not. A relay asking
  // while the master has no such mount asks again after its update interval (5 s).
  std::unique_ptr<test::StreamListener> listen(test::IcecastServer& server, std::chrono::seconds served) {
    auto listener = test::listenWhenServed(server, served);
    bool heard =
        listener && listener->waitForBody(40000, 30s) && test::peak(test::decodeMp3(listener->body())) > 3000;
    return heard ? std::move(listener) : nullptr;
  }
  // The server dies and starts again; true once the studio has logged in again.
  // Once the stream has begun (the recording holds some of it), the server dies and comes back.
  bool reconnectsAfterTheServerDied() {
    if (!test::waitUntil([&] { return !read("recorded.mp3").empty(); }, 30s)) return false;
    icecast.kill();
    return icecast.start() &&
           test::waitUntil([&] { return has(kRunLog, "Re-connected successfully!"); }, 30s);
  }
  // Lets the run go round the playlist once (the fourth track begins), then ends it with SIGTERM;
  // the exit status.
  int stopAfterARound() {
    EXPECT_TRUE(test::waitUntil([&] { return has(kRunLog, ">>>> 4 : Now playing"); }, 30s)) << read(kRunLog);
    return onAir->stop(SIGTERM, 30s);
  }

  std::string recording() const { return scratch.file("recorded.mp3"); }

  static constexpr const char* kRunLog = "work/live_log1.txt";
  std::unique_ptr<test::ChildProcess> onAir;
};

// A second studio on the same folders is refused and changes nothing there: no log of its own,
// and the first one's log goes on from where it was.
TEST_F(HeadlessOnTheAir, ASecondStudioOnTheSameFoldersIsRefused) {
  auto files = [&] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work())) names.insert(entry.path().string());
    return names;
  };
  std::set<std::string> before = files();
  std::string firstLog = read(kRunLog);
  EXPECT_EQ(onTones({}, "second.log")->wait(20s), 1);
  EXPECT_TRUE(has("second.log", "is running on the working folder " + work())) << read("second.log");
  EXPECT_EQ(files(), before);
  EXPECT_TRUE(read(kRunLog).starts_with(firstLog));
}

// Heard under its name and genre; for many listeners a second Icecast relays the mount, also
// after the master restarted and the studio logged in again.
TEST_F(HeadlessOnTheAir, StationIsHeardUnderItsNameAndGenreAlsoRelayedAndAfterTheServerDied) {
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  test::IcecastServer relay{{.relayOf = icecast.port()}};
  ASSERT_TRUE(relay.start()) << relay.errorLog();
  EXPECT_TRUE(listen(relay, 15s)) << relay.errorLog();
  ASSERT_TRUE(reconnectsAfterTheServerDied()) << icecast.errorLog() << read(kRunLog);
  auto listener = listen(icecast, 15s);
  ASSERT_TRUE(listener) << icecast.errorLog();
  EXPECT_EQ(listener->header("icy-name"), "[Zelvora]Test tones[*]") << listener->head();
  EXPECT_EQ(listener->header("icy-genre"), "Ambient");
  EXPECT_TRUE(listen(relay, 30s)) << relay.errorLog();
}

// A round of the playlist, ended with SIGTERM: the exit sequence; each track that played was
// announced in order, a tagged track with its tag (after the blank titles that clear the
// directory's entry at the log-in); the leveller is in the chain (how it levels is its own test):
// the quiet track, played 24 dB under the loud one at -30 dBFS, comes out above -18 dBFS, and
// nothing above -1 dBFS.
TEST_F(HeadlessOnTheAir, SigtermEndsARoundWithTheExitSequenceEachTrackAnnouncedAndLevelled) {
  EXPECT_EQ(stopAfterARound(), 0) << read("run1.log");
  EXPECT_TRUE(test::inOrder(
      read(kRunLog), {"Starting Brovana-Live 2.01 - Jan. 29, 2001 on " + emulator.webHost(),
                      "ISP Connection is T1/DSL/ISDN/Cable", "aimed towards users with a 56K modem or better",
                      "Logged on successfully", "Now playing : tone440.mp3",
                      "XAudio failed for song broken.mp3 ripped at -1 bps", "Now playing : tone880.mp3",
                      "Exiting Brovana-Live", ": tracks played", "Time Graph for Listeners"}));
  EXPECT_FALSE(serverOn()) << "the run turned the server on, so it turned it off";
  EXPECT_FALSE(has(kRunLog, ") 0 : files couldn't be played.")) << "broken.mp3 was not";
  EXPECT_TRUE(has(kSettings, "sessionID=1"));

  std::string announced;
  for (auto& song : emulator.records("songs"))
    if (song["title"] != "  ")
      announced += song["title"].substr(0, 10) + "/" + song["artist"] + "/" + song["handle"] + " ";
  EXPECT_EQ(announced.substr(0, 38), "Tone 440/Test/demo Tone 880/Test/demo ");

  std::vector<int16_t> heard = test::decodeMp3(read("recorded.mp3"));
  int quietPeak = 0;
  for (size_t at = 0, window = kHeard.sampleRate / 2; at + window <= heard.size(); at += window)
    if (std::span part(heard.data() + at, window); test::dominantTone(part, kHeard, {440, 880}) == 880)
      quietPeak = std::max(quietPeak, test::peak(part));
  EXPECT_GT(quietPeak, 4000);
  EXPECT_LE(test::peak(heard), 29204);
}

// The recording is what was sent, byte for byte as heard. All of it decodes, to as long as its
// bytes last at 56 kbit/s, in whole frames across the track changes and a reconnect.
TEST_F(HeadlessOnTheAir, RecordingIsTheStreamInWholeFramesAcrossAReconnect) {
  ASSERT_TRUE(reconnectsAfterTheServerDied()) << icecast.errorLog() << read(kRunLog);
  auto listener = listen(icecast, 15s);
  ASSERT_TRUE(listener) << icecast.errorLog();
  ASSERT_EQ(stopAfterARound(), 0) << read("run1.log");
  EXPECT_TRUE(has(kRunLog, "goes on after the reconnect")) << read(kRunLog);
  std::string recorded = read("recorded.mp3");
  EXPECT_NE(recorded.find(listener->body()), std::string::npos);
  double rate = 0, frames = 0;
  std::sscanf(test::commandOutput("ffprobe -v error -count_packets -show_entries "
                                  "stream=sample_rate,nb_read_packets -of csv=p=0 '" +
                                  recording() + "'")
                  .c_str(),
              "%lf,%lf", &rate, &frames);
  // The samples in an MPEG-1 frame, or in an MPEG-2 or 2.5 one.
  EXPECT_NEAR(frames * (rate >= 32000 ? 1152 : 576) / rate, recorded.size() * 8.0 / 56000, 0.5);
  EXPECT_EQ(test::commandOutput("ffmpeg -v error -i '" + recording() + "' -f null - 2>&1"), "");
}

TEST_F(HeadlessStudioTest, PlaylistOfWhichNothingPlaysEndsTheRun) {
  ASSERT_TRUE(configure());
  scratch.write("music/broken.m3u", "broken.mp3\n");
  EXPECT_EQ(runToEnd({"--headless", "--playlist", scratch.file("music/broken.m3u")}), 1) << read("run.log");
  EXPECT_TRUE(has("run.log", "nothing is on the air (no track of the playlist could be played)"));
  EXPECT_FALSE(serverOn());
}

// A service that holds every answer, or gives each one slowly, costs the start-up a bounded time
// and no server restarts: the run ends by itself, naming the service.
TEST_F(HeadlessStudioTest, AHangingServiceEndsTheRunNamingTheService) {
  ASSERT_TRUE(configure());
  for (const char* delay : {"120000", "6000"}) {
    SCOPED_TRACE(delay);
    ASSERT_TRUE(emulator.control({{"delay", delay}}));
    EXPECT_EQ(onTones({}, "hang.log")->wait(50s), 1) << read("hang.log");
    EXPECT_TRUE(has("hang.log", "the Zelvora service at " + emulator.webHost() + " does not answer"))
        << read("hang.log");
    EXPECT_FALSE(has("hang.log", "Unable to connect to your Zelvora server")) << "no restart rounds";
  }
}

// A stop ends the run within seconds, with the exit sequence and no log-in during it, wherever
// the run waits: on a server that never answers the log-in, on a slow service during the
// start-up, on a server that stalls the stream.
TEST_F(HeadlessStudioTest, StopEndsTheRunWithinSecondsWhereverItWaits) {
  ASSERT_TRUE(configure());
  auto studioRequests = [&] {
    return std::ranges::count_if(emulator.records("requests"),
                                 [](auto& r) { return r["agent"] == "Brovana"; });
  };
  long before = 0;
  const std::tuple<const char*, test::ScriptedPeer::Script, const char*,
                   std::function<bool(const test::ScriptedPeer&)>>
      cases[] = {
          // where the run waits, the broadcast server, the service's delay (ms), how that shows
          {"log-in", {.neverRead = true}, "0", [](auto& server) { return server.connectionCount() > 0; }},
          // the start-up's first request, about the account, which the service holds
          {"service", {}, "3000", [&](auto&) { return studioRequests() > before; }},
          {"stream",
           {.stallAfterHeaders = true, .receiveBuffer = 4096},
           "0",
           [](auto& server) { return server.unread(0) > 0; }},
      };
  for (const auto& [where, script, delay, waiting] : cases) {
    SCOPED_TRACE(where);
    test::ScriptedPeer server(script);
    ASSERT_TRUE(emulator.control({{"broadcast-port", std::to_string(server.port())}, {"delay", delay}}));
    before = studioRequests();
    auto run = onTones({}, "stop.log");
    EXPECT_TRUE(test::waitUntil([&] { return waiting(server); }, 30s)) << read("stop.log");
    EXPECT_EQ(run->stop(SIGTERM, 10s), 0) << read("stop.log");
    EXPECT_LE(server.connectionCount(), 1u) << "logged in again during the exit";
    EXPECT_FALSE(serverOn()) << "the exit sequence turns off what the run turned on";
  }
}

// Steered from outside while on the air, in real time: --remote next is heard, --remote song is
// the title Icecast shows for the extra mount, status answers while the link reconnects, and
// a request that is too long is refused while the broadcast goes on.
TEST_F(HeadlessStudioTest, RemoteCommandsSteerTheStationAndBadRequestsLeaveItOnTheAir) {
  ASSERT_TRUE(configure());
  const std::string runtime = "XDG_RUNTIME_DIR=" + scratch.path();
  setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
  int calls = 0;
  auto remote = [&](std::vector<std::string> words, std::string* answer = nullptr) {
    words.insert(words.begin(), "--remote");
    std::string log = "remote" + std::to_string(++calls) + ".log";
    int code = studio(words, log, {runtime})->wait(30s);
    if (answer) *answer = read(log);
    return code;
  };
  const std::string extra =
      "icecast://demo-secret@127.0.0.1:" + std::to_string(icecast.port()) + "/extra.mp3";
  auto onAir = studio({"--headless", "--playlist", scratch.file("music/tones.m3u"), "--also", extra},
                      "run1.log", {"BROVANA_PLAYBACK=off", runtime});
  ASSERT_TRUE(
      test::waitUntil([&] { return has("run1.log", "on the air through") || !onAir->running(); }, 30s))
      << read("run1.log");
  auto listener = test::listenWhenServed(icecast);
  ASSERT_TRUE(listener);
  auto hearing = [&](double hz) {
    return test::waitUntil(
        [&] {
          std::vector<int16_t> heard = test::decodeMp3(listener->body());
          size_t last = std::min(heard.size(), size_t(kHeard.sampleRate));  // the last half second
          std::span recent(heard.data() + heard.size() - last, last);
          return last > 0 && test::dominantTone(recent, kHeard, {440, 880}) == hz;
        },
        10s);
  };
  ASSERT_TRUE(hearing(440));
  std::string answer;
  EXPECT_EQ(remote({"next"}, &answer), 0) << answer;
  EXPECT_EQ(answer, "{\"ok\":true}\n");
  EXPECT_TRUE(hearing(880)) << "the 20 s tone 440 was cut short";

  EXPECT_EQ(remote({"song", "Live - Guest DJ"}), 0);
  EXPECT_TRUE(test::waitUntil(
      [&] {
        std::string page = test::httpGetLoopback(icecast.port(), "/status-json.xsl").value_or("");
        return page.find("\"title\":\"Live - Guest DJ\"") != std::string::npos;
      },
      5s));

  const std::string socket = controlSocketPath(work(), false);
  // The studio's own size limit; how each kind of bad line is answered is the control socket's test.
  std::string error;
  EXPECT_NE(callControlSocket(socket, std::string(1 << 20, '{'), 10s, error).value_or(error).find("too long"),
            std::string::npos)
      << error;
  EXPECT_EQ(remote({"source", "nowhere"}, &answer), 1) << answer;

  icecast.kill();
  EXPECT_TRUE(test::waitUntil(
      [&] {
        return remote({"status"}, &answer) == 0 && answer.find("\"reconnecting\"") != std::string::npos;
      },
      30s))
      << answer;
  EXPECT_NE(answer.find("\"onAir\":\"playlist\""), std::string::npos) << answer;
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  EXPECT_TRUE(test::waitUntil([&] { return has("work/live_log1.txt", "Re-connected successfully!"); }, 30s));
  EXPECT_TRUE(test::listenWhenServed(icecast)) << "still on the air";
  EXPECT_EQ(onAir->stop(SIGTERM, 30s), 0) << read("run1.log");
  EXPECT_FALSE(std::filesystem::exists(socket));
  EXPECT_EQ(remote({"status"}, &answer), 1);
  EXPECT_NE(answer.find("no studio is running"), std::string::npos) << answer;
}

}  // namespace
}  // namespace brovana
