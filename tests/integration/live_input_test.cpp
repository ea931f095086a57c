// Live input on a sound card without hardware: a private PulseAudio server with a null sink,
// into which paplay plays a 440 Hz tone and whose monitor the studio records, with Icecast and
// the service emulator as the peers and a listener that decodes what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "app/headless_front.h"
#include "broadcast/engine_part.h"
#include "broadcast/supervisor.h"
#include "core/program_values.h"
#include "net/song_update_sender.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "platform/settings_registry.h"
#include "support/demo_station.h"
#include "support/pulse_server.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

struct Heard {
  double p440 = 0;
  double p660 = 0;
};

class LiveInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pulse.ready()) << scratch.read("pulseaudio.log");
    ASSERT_TRUE(station.icecast.start()) << station.icecast.errorLog();
    std::string wav = scratch.file("440.wav");
    ASSERT_EQ(std::system(("sox -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth 90 sine 440 vol 0.5").c_str()),
              0);
    tone = std::make_unique<test::ChildProcess>(std::vector<std::string>{"paplay", wav},
                                                scratch.file("paplay.log"));
    ASSERT_EQ(
        studio({"--configure", "--member", "demo", "--password", "demo-secret"}, "configure.log")->wait(30s),
        0);
  }

  std::unique_ptr<test::ChildProcess> studio(std::vector<std::string> args, const std::string& log) {
    args.insert(args.begin(), {test::builtProgram("brovana-live"), "-host", station.emulator.webHost(),
                               "--workdir", scratch.file("work")});
    return std::make_unique<test::ChildProcess>(
        args, scratch.file(log), std::vector<std::string>{"XDG_CONFIG_HOME=" + scratch.file("config")});
  }

  // The strength of both tones in about three seconds that a new listener hears.
  Heard listen() {
    auto listener = test::listenWhenServed(station.icecast);
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

  test::TempFolder scratch;
  test::PulseServer pulse{scratch.path()};
  test::DemoStation station;
  std::unique_ptr<test::ChildProcess> tone;
};

TEST_F(LiveInputTest, HeadlessStudioBroadcastsTheSystemMixer) {
  auto live = studio({"--headless", "--source", "mix"}, "studio.log");
  Heard heard = listen();
  EXPECT_GT(heard.p440, 1e5) << "the tone, not silence: " << scratch.read("studio.log");
  EXPECT_GT(heard.p440, 100 * heard.p660);
  EXPECT_EQ(live->stop(SIGTERM, 30s), 0) << scratch.read("studio.log");
}

// A voiceover over a 660 Hz playlist at two crossfade positions, then a line-in broadcast after
// it, through the Supervisor as the windows drive it.
TEST_F(LiveInputTest, VoiceoverCrossfadesAndLineInFollowsIt) {
  test::ToneSpec spec;
  spec.frequency = 660;
  spec.seconds = 60;
  ASSERT_TRUE(test::makeTone(scratch.file("660.mp3"), spec));
  scratch.write("660.m3u", "660.mp3\n");
  test::ScopedChdir inScratch(scratch.path());
  setenv("BROVANA_PLAYBACK", "off", 1);  // the music is not played into the sink that is recorded
  SettingsRegistry registry(scratch.file("config/brovana-live/settings.ini"));
  programValues().setRegistry(&registry);
  programValues().setWebHost(station.emulator.webHost());
  {
    CurlHttpClient http;
    HeadlessPrompts prompts;
    HeadlessExit exit;
    HeadlessMainWindow window;
    LameCodec codec;
    PlatformDecoderLibrary decoders;
    HeadlessParts parts(prompts, codec, [&](AcmConvert& stage, const EngineWiring& wiring, Prompts& p) {
      return std::make_unique<EncoderEngine>(stage, decoders, p, wiring);
    });
    SongUpdateSender songs(http);
    Supervisor studio(&window, station.emulator.webHost(),
                      SupervisorContext{prompts, exit, registry, http, parts, &songs});
    ASSERT_TRUE(studio.init());
    ASSERT_TRUE(studio.playlistWindow()->loadPlaylist(scratch.file("660.m3u")) && studio.broadcast());
    test::waitUntil([&] { return studio.isBroadcasting() == 1; }, 10s);

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
