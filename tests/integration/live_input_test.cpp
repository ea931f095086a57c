// Live input on a sound card without hardware: a private PulseAudio server with a null sink,
// into which paplay plays a tone and whose monitor the studio records, with Icecast and the
// service emulator as the peers and a listener that decodes what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/command_line.h"
#include "app/configure.h"
#include "app/headless_front.h"
#include "broadcast/engine_part.h"
#include "broadcast/program_values.h"
#include "broadcast/supervisor.h"
#include "net/song_update_sender.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "platform/settings_registry.h"
#include "support/demo_station.h"
#include "support/icecast_server.h"
#include "support/pulse_server.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct Heard {
  double p440 = 0;
  double p660 = 0;
};

class LiveInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pulse.ready()) << scratch.read("pulseaudio.log");
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
  }

  // A 440 Hz tone played into the sink, which the default input (its monitor) records.
  std::unique_ptr<test::ChildProcess> play440() {
    std::string wav = scratch.file("440.wav");
    std::string command = "sox -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth 90 sine 440 vol 0.5";
    if (std::system(command.c_str()) != 0) return nullptr;
    return std::make_unique<test::ChildProcess>(std::vector<std::string>{"paplay", wav},
                                                scratch.file("paplay.log"));
  }

  // The strength of both tones in what a new listener hears over about three seconds.
  Heard listen() {
    auto listener = test::listenWhenServed(icecast);
    if (!listener || !listener->waitForBody(21'000, 20s)) return {};
    scratch.write("heard.mp3", listener->body());
    Mpg123Decoder decoder;
    if (decoder.createInput(scratch.file("heard.mp3")) != kDecoderOk || decoder.openInput() != kDecoderOk)
      return {};
    std::vector<int16_t> pcm;
    for (DecodeStatus status = DecodeStatus::Block; status == DecodeStatus::Block;) {
      status = decoder.decode();
      pcm.insert(pcm.end(), decoder.block().begin(), decoder.block().end());
    }
    return {test::tonePower(pcm, decoder.format(), 440), test::tonePower(pcm, decoder.format(), 660)};
  }

  std::vector<std::string> configureArgs() const {
    return {"--configure", "--member", "demo", "--password", "demo-secret", "--output-bitrate", "56000"};
  }

  test::TempFolder scratch;
  test::PulseServer pulse{scratch.path()};
  test::DemoStation station;
  test::IcecastServer& icecast = station.icecast;
  test::ServiceEmulator& emulator = station.emulator;
};

TEST_F(LiveInputTest, HeadlessStudioBroadcastsTheSystemMixer) {
  auto tone = play440();
  ASSERT_NE(tone, nullptr);
  std::vector<std::string> common = {test::builtProgram("brovana-live"), "-host", emulator.webHost(),
                                     "--workdir", scratch.file("work")};
  std::vector<std::string> env = {"XDG_CONFIG_HOME=" + scratch.file("config")};
  std::vector<std::string> configure = common;
  for (const std::string& arg : configureArgs()) configure.push_back(arg);
  ASSERT_EQ(test::ChildProcess(configure, scratch.file("configure.log"), env).wait(30s), 0)
      << fileText(scratch.file("configure.log"));

  std::vector<std::string> run = common;
  for (const char* arg : {"--headless", "--source", "mix"}) run.push_back(arg);
  test::ChildProcess studio(run, scratch.file("studio.log"), env);
  Heard heard = listen();
  EXPECT_GT(heard.p440, 100 * heard.p660) << fileText(scratch.file("studio.log"));
  EXPECT_GT(heard.p440, 1e5) << "the tone, not silence";
  EXPECT_EQ(studio.stop(SIGTERM, 30s), 0) << fileText(scratch.file("studio.log"));
  EXPECT_NE(fileText(scratch.file("work/live_log1.txt")).find("Switching source to the Microsoft Mixer"),
            std::string::npos);
}

// The crossfade of a voiceover over a 660 Hz playlist, then a line-in broadcast after it, through
// the supervisor as the windows drive it.
TEST_F(LiveInputTest, VoiceoverCrossfadesAndLineInFollowsIt) {
  test::ToneSpec spec;
  spec.frequency = 660;
  spec.seconds = 60;
  ASSERT_TRUE(test::makeTone(scratch.file("660.mp3"), spec));
  scratch.write("660.m3u", "660.mp3\n");
  auto tone = play440();
  ASSERT_NE(tone, nullptr);

  test::ScopedChdir inWork(scratch.path());
  setenv("BROVANA_PLAYBACK", "off", 1);  // the playlist is not played into the sink the microphone hears
  SettingsRegistry registry(scratch.file("config/settings.ini"));
  CurlHttpClient http;
  HeadlessPrompts prompts;
  programValues().setRegistry(&registry);
  programValues().setWebHost(emulator.webHost());
  ASSERT_EQ(runConfigure(parseCommandLine(configureArgs()).options, emulator.webHost(), registry, http,
                         prompts, registry.path()),
            0);
  {
    HeadlessExit exit;
    HeadlessMainWindow window;
    HeadlessVisual visual;
    LameCodec codec;
    PlatformDecoderLibrary decoders;
    HeadlessParts parts(prompts, codec, [&](AcmStage& stage, const EngineWiring& wiring, Prompts& p) {
      return std::make_unique<EncoderEngine>(stage, decoders, p, wiring);
    });
    SongUpdateSender songs(http);
    Supervisor studio(&window, emulator.webHost(),
                      SupervisorContext{prompts, exit, registry, http, parts, &songs});
    studio.setVisual(&visual);
    ASSERT_TRUE(studio.init());
    ASSERT_TRUE(studio.playlistWindow()->loadPlaylist(scratch.file("660.m3u")));
    ASSERT_TRUE(studio.broadcast());
    for (int i = 0; i < 100 && studio.isBroadcasting() != 1; ++i) std::this_thread::sleep_for(100ms);

    ASSERT_TRUE(studio.startVoiceover());
    studio.setVoiceoverBalance(32768);
    std::this_thread::sleep_for(5s);  // past the side channel's head start of silence
    Heard both = listen();
    EXPECT_GT(both.p440, 0.1 * both.p660);
    EXPECT_GT(both.p660, 0.1 * both.p440);

    studio.setVoiceoverBalance(65536);
    std::this_thread::sleep_for(5s);
    Heard music = listen();
    EXPECT_GT(music.p660, 100 * music.p440);

    // Switching to line-in ends the voiceover; the line is what goes out now.
    ASSERT_TRUE(studio.setSource(kSourceLineIn));
    EXPECT_EQ(studio.isBroadcasting(), 2);
    std::this_thread::sleep_for(2s);
    Heard line = listen();
    EXPECT_GT(line.p440, 100 * line.p660);
    studio.prepareExit();
    songs.stop();
  }
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
