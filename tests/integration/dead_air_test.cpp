// The dead-air guard as a member runs it: the headless studio on the system mixer of a private
// PulseAudio server, a fallback playlist of another tone, Icecast, and a listener that decodes
// what Icecast serves.

#include <gtest/gtest.h>
#include <signal.h>

#include "support/demo_station.h"
#include "support/journal.h"
#include "support/pulse_server.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class DeadAirTest : public ::testing::Test, protected test::DemoStation {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pulse.ready()) << scratch.read("pulseaudio.log");
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(configure()) << scratch.read("run.log");
    ASSERT_TRUE(test::makeTone(scratch.file("660.mp3"), {.frequency = 660, .seconds = 60}));
    // Hiss at -50 dBFS: kept by the trim of a track's silent ends, silence to the guard.
    ASSERT_TRUE(test::makeTone(scratch.file("silent.mp3"), {.seconds = 20, .volume = 0.003}));
    scratch.write("list.m3u", "silent.mp3\n660.mp3\n");
  }

  // A 440 Hz tone of `seconds` played into the null sink, whose monitor the mix records.
  std::unique_ptr<test::ChildProcess> play(int seconds) {
    std::string wav = scratch.file("440-" + std::to_string(seconds) + ".wav");
    if (!test::makeLibraryTone(wav, {.frequency = 440, .seconds = double(seconds)})) return nullptr;
    return std::make_unique<test::ChildProcess>(std::vector<std::string>{"paplay", wav},
                                                scratch.file("paplay.log"));
  }
  bool logged(const std::string& part, const char* log = kLog) const {
    return test::waitUntil([&] { return scratch.read(log).find(part) != std::string::npos; }, 30s);
  }

  static constexpr const char* kLog = "work/live_log0.txt";  // the studio's
  test::PulseServer pulse{scratch.path()};
};

// The tones in the order a listener hears them, each lasting at least a second (two half-second
// windows); silence and the moment of a switch are left out.
std::vector<double> tonesInOrder(const std::vector<int16_t>& pcm) {
  const size_t window = test::kHeard.sampleRate / 2 * test::kHeard.channels;
  std::vector<double> heard;
  double last = -1;
  for (size_t at = 0; at + window <= pcm.size(); at += window) {
    double tone = test::dominantTone(std::span(pcm).subspan(at, window), test::kHeard, {440, 660});
    if (tone > 0 && tone == last && (heard.empty() || heard.back() != tone)) heard.push_back(tone);
    last = tone;
  }
  return heard;
}

// The mix plays the tone for 5 s, then nothing: after 5 s of silence the fallback playlist goes
// on the air, its silent first track is skipped 5 s later, and the tone, back for good, takes
// the air back 3 s after it returned. The log tells each step and counts them at the end.
TEST_F(DeadAirTest, SilentLiveSourceHandsTheAirToTheFallbackPlaylistUntilItIsHeardAgain) {
  auto studio = this->studio({"--headless", "--source", "mix", "--fallback", scratch.file("list.m3u"),
                              "--silence-time", "5", "--silence-level", "-40", "--normalize", "off"},
                             "run.log", {"BROVANA_PLAYBACK=off"});
  ASSERT_TRUE(logged("on the air through", "run.log")) << scratch.read("run.log");
  auto listener = test::listenWhenServed(icecast);
  ASSERT_TRUE(listener);
  auto first = play(5);
  ASSERT_TRUE(first && logged("stays silent: skipping to track 2")) << scratch.read(kLog);
  auto back = play(60);
  ASSERT_TRUE(back && logged("takes the air back from the fallback playlist")) << scratch.read(kLog);
  // Three more seconds of the stream (56 kbit/s), after what the listener had then.
  ASSERT_TRUE(listener->waitForBody(listener->body().size() + 21'000, 20s));

  EXPECT_EQ(tonesInOrder(test::decodeMp3(listener->body())), (std::vector<double>{440, 660, 440}));
  EXPECT_EQ(studio->stop(SIGTERM, 20s), 0);
  EXPECT_TRUE(test::inOrder(scratch.read(kLog),
                            {"WARNING : dead air", "fallback playlist goes on the air", "takes the air back",
                             "1 : silences on the air", "2 : switches to or from the fallback playlist"}));
}

}  // namespace
}  // namespace brovana
