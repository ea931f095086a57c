// The headless studio as a member runs it: the built brovana-live against the service emulator
// and a real Icecast, with a listener that decodes what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/child_process.h"
#include "support/icecast_server.h"
#include "support/journal.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class HeadlessStudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    std::filesystem::create_directories(scratch.file("music"));
    for (int hz : {440, 880}) {  // two tagged tracks of a tone, 12 seconds each
      std::string command = "sox -q -n -r 44100 -c 2 -t wav - synth 12 sine " + std::to_string(hz) +
                            " vol 0.5 2>/dev/null | lame --quiet -b 128 --tt 'Tone " + std::to_string(hz) +
                            "' --ta Test - '" + scratch.file("music/tone" + std::to_string(hz) + ".mp3") +
                            "'";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
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
  std::string read(const std::string& name) { return scratch.read(name); }
  bool has(const std::string& file, const std::string& part) {
    return std::filesystem::exists(scratch.file(file)) && read(file).find(part) != std::string::npos;
  }
  bool serverOn() { return emulator.account("demo") && emulator.account("demo")->serverOn; }

  test::TempFolder scratch;
  test::IcecastServer icecast{{.sourcePassword = "demo-secret", .mount = "/live", .burstSize = 0}};
  test::ServiceEmulator emulator{{.accounts = {"demo:demo-secret:LI"},
                                  .accountsFile = "",
                                  .broadcastHost = "127.0.0.1",
                                  .broadcastPort = icecast.sourcePort(),
                                  .extraArgs = {}}};
};

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
  ASSERT_TRUE(
      test::eventually([&] { return has("run1.log", "on the air through") || !onAir->running(); }, 30s));
  ASSERT_TRUE(has("run1.log", "on the air through")) << read("run1.log");
  EXPECT_TRUE(serverOn()) << "the studio turned the member's server on";
  {
    test::StreamListener listener(icecast.port(), icecast.mount());
    ASSERT_TRUE(listener.waitForHead(10s)) << icecast.errorLog();
    EXPECT_NE(listener.header("icy-name").find("Test tones"), std::string::npos) << listener.head();
    ASSERT_TRUE(listener.waitForBody(40000, 30s));
    scratch.write("heard.mp3", listener.body());
    std::string decode =
        "mpg123 -q -s '" + scratch.file("heard.mp3") + "' > '" + scratch.file("heard.raw") + "'";
    ASSERT_EQ(std::system(decode.c_str()), 0);
    std::string raw = read("heard.raw");
    std::vector<int16_t> pcm(raw.size() / 2);
    std::memcpy(pcm.data(), raw.data(), pcm.size() * 2);
    EXPECT_GT(pcm.size(), 44100u) << "at least half a second of stereo";
    EXPECT_GT(*std::max_element(pcm.begin(), pcm.end()), 3000) << "the tone, not silence";
  }
  EXPECT_TRUE(test::eventually([&] { return has("work/live_log1.txt", "Now playing : tone880.mp3"); }, 30s));
  // The blank titles that clear the directory's entry at the log-in, then one per track.
  std::string announced, artist;
  ASSERT_TRUE(test::eventually(
      [&] {
        announced.clear();
        for (const auto& song : emulator.songs())
          if (song.field("title") != "  ") {
            announced += song.field("title").substr(0, 10) + "/" + song.field("handle") + " ";
            if (artist.empty()) artist = song.field("artist");
          }
        return announced.size() >= 44;
      },
      30s));
  EXPECT_EQ(announced.substr(0, 44), "Tone 440/demo broken.mp3/demo Tone 880/demo ")
      << "each track, in order";
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
  EXPECT_TRUE(has(settings, "sessionID=1"));
}

}  // namespace
}  // namespace brovana
