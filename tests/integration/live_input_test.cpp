// Live input on a sound card without hardware: a private PulseAudio server with a null sink,
// into which paplay plays a 440 Hz tone and whose monitor the studio records, with Icecast and
// the service emulator as the peers and a listener that decodes what Icecast serves.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "app/headless_front.h"
#include "broadcast/engine_part.h"
#include "broadcast/studio.h"
#include "core/program_values.h"
#include "net/song_update_sender.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_encoder.h"
#include "platform/settings_registry.h"
#include "support/demo_station.h"
#include "support/pulse_server.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

struct Heard {
  double p440 = 0, p660 = 0;
};

// The visuals as the main window has them, keeping the loudest sample handed to them.
struct LevelSeen final : Visualisation, VisualFeed {
  VisualFeed* feed() override { return this; }
  bool displayOn(int) const override { return true; }
  void setDisplay(int, bool) override {}
  void addData(const uint8_t* block, int length, int, int) override {
    for (int i = 0; i < length / 2; ++i)
      peak = std::max(peak.load(), std::abs(int{reinterpret_cast<const int16_t*>(block)[i]}));
  }
  std::atomic<int> peak{0};
};

class LiveInputTest : public ::testing::Test, protected test::DemoStation {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pulse.ready()) << scratch.read("pulseaudio.log");
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    std::string wav = scratch.file("440.wav");
    ASSERT_EQ(std::system(("sox -q -n -r 44100 -c 2 -b 16 '" + wav + "' synth 90 sine 440 vol 0.5").c_str()),
              0);
    tone = std::make_unique<test::ChildProcess>(std::vector<std::string>{"paplay", wav},
                                                scratch.file("paplay.log"));
    ASSERT_TRUE(configure()) << scratch.read("run.log");
  }

  // The strength of both tones in about three seconds that a new listener hears.
  Heard listen() {
    auto listener = test::listenWhenServed(icecast);
    if (!listener || !listener->waitForBody(21'000, 20s)) return {};
    std::vector<int16_t> pcm = test::decodeMp3(listener->body());
    return {test::tonePower(pcm, test::kHeard, 440), test::tonePower(pcm, test::kHeard, 660)};
  }

  // Listens again and again, while the studio's change reaches what goes out, until what is heard
  // passes `wanted`; what was heard last when it never does.
  ::testing::AssertionResult hears(const std::function<bool(const Heard&)>& wanted) {
    Heard heard;
    if (test::waitUntil([&] { return wanted(heard = listen()); }, 60s)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "440 Hz: " << heard.p440 << ", 660 Hz: " << heard.p660;
  }

  test::PulseServer pulse{scratch.path()};
  std::unique_ptr<test::ChildProcess> tone;
};

// The level meter off the air, a voiceover over a 660 Hz playlist at two crossfade positions, then a
// line-in broadcast after it, and the system mixer, through the Studio as the windows drive it.
TEST_F(LiveInputTest, VoiceoverCrossfadesAndTheLineAndTheMixerFollowIt) {
  ASSERT_TRUE(test::makeTone(scratch.file("660.mp3"), {.frequency = 660, .seconds = 60}));
  scratch.write("660.m3u", "660.mp3\n");
  test::ScopedChdir inScratch(scratch.path());
  setenv("BROVANA_PLAYBACK", "off", 1);  // the music is not played into the sink that is recorded
  SettingsRegistry registry(settingsPath());
  programValues().setRegistry(&registry);
  programValues().setWebHost(emulator.webHost());
  {
    CurlHttpClient http;
    HeadlessPrompts prompts;
    HeadlessExit exit;
    HeadlessMainWindow window;
    LameEncoderLibrary codec;
    PlatformDecoderLibrary decoders;
    HeadlessParts parts(prompts, codec, [&](ConversionStage& stage, const EngineWiring& wiring, Prompts& p) {
      return std::make_unique<EnginePart>(stage, decoders, p, wiring);
    });
    SongUpdateSender songs(http);
    Studio studio(&window, emulator.webHost(), StudioContext{prompts, exit, registry, http, parts, &songs});
    ASSERT_TRUE(studio.init());
    // Line-in off the air: the tone (near 8000 after the input volume) moves the meter, not the air.
    LevelSeen level;
    studio.setVisual(&level);
    ASSERT_TRUE(studio.setSource(Source::LineIn));
    EXPECT_TRUE(test::waitUntil([&] { return level.peak > 4000; }, 10s)) << level.peak;
    EXPECT_EQ(studio.onAir(), OnAir::Off);
    ASSERT_TRUE(studio.setSource(Source::Playlist));
    ASSERT_TRUE(studio.playlistWindow()->loadPlaylist(scratch.file("660.m3u")) && studio.session().start());
    ASSERT_TRUE(test::waitUntil([&] { return studio.onAir() == OnAir::Playlist; }, 10s));

    ASSERT_TRUE(studio.session().startVoiceover(Source::Microphone));
    studio.sources().setVoiceoverBalance(32768);
    EXPECT_TRUE(hears([](auto& h) { return h.p440 > 0.1 * h.p660 && h.p660 > 0.1 * h.p440; }))
        << "the voiceover and the music at half and half";
    studio.sources().setVoiceoverBalance(65536);
    EXPECT_TRUE(hears([](auto& h) { return h.p660 > 100 * h.p440; })) << "the music alone";

    // Switching to line-in ends the voiceover; the line is what goes out now, then the mixer.
    for (Source source : {Source::LineIn, Source::Mixer}) {
      ASSERT_TRUE(studio.setSource(source)) << static_cast<int>(source);
      EXPECT_TRUE(hears([](auto& h) { return h.p440 > 1e5 && h.p440 > 100 * h.p660; }))
          << static_cast<int>(source) << ": the tone alone, not silence";
    }
    studio.prepareExit();
    songs.stop();
  }
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
