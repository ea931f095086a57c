#include "audio/playback.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Time stands still until someone sleeps; sleeping moves it to the wake-up time.
class FakeClock final : public PaceClock {
 public:
  time_point now() override { return now_; }
  void sleepUntil(time_point when) override {
    sleeps.push_back(when - origin);
    if (when > now_) now_ = when;
  }
  void advance(Clock::duration by) { now_ += by; }
  Clock::duration elapsed() const { return now_ - origin; }

  const time_point origin = time_point{} + 1000h;
  std::vector<Clock::duration> sleeps;

 private:
  time_point now_ = origin;
};

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

struct Step {
  int frames;
  PcmFormat format;
  std::chrono::milliseconds idleBefore = 0ms;  // time the caller spends elsewhere before the block
};

constexpr PcmFormat kCd{44100, 2};
constexpr PcmFormat kHalfMono{22050, 1};

TEST(PacedOutputTest, BlocksAreTakenAtThePaceOfTheirSamples) {
  struct Case {
    const char* name;
    double pace;
    std::vector<Step> steps;
    double expectedEndMs;  // clock when the last block was taken
  };
  std::vector<Case> cases = {
      // The first block goes at once; each later one waits for the one before to play out.
      {"real time", 1.0, std::vector<Step>(5, Step{4410, kCd}), 400.0},
      {"four times real time", 4.0, std::vector<Step>(5, Step{4410, kCd}), 100.0},
      {"mono at half rate", 1.0, std::vector<Step>(3, Step{2205, kHalfMono}), 200.0},
      {"pace limit off", 0.0, std::vector<Step>(50, Step{4410, kCd}), 0.0},
      // The new format starts counting where the old blocks end.
      {"format change", 1.0, {{4410, kCd}, {4410, kCd}, {2205, kHalfMono}, {2205, kHalfMono}}, 300.0},
      // A short hold-up is made good, as a card's buffer would.
      {"short stall is caught up", 1.0, {{4410, kCd}, {4410, kCd, 150ms}, {4410, kCd}}, 200.0},
      // A long one is not: a card that ran dry starts again at real time.
      {"long stall starts over", 1.0, {{4410, kCd}, {4410, kCd, 1000ms}, {4410, kCd}}, 1100.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    PacedOutput output(c.pace, clock);
    ASSERT_EQ(output.open(), kDecoderOk);
    for (const Step& step : c.steps) {
      clock.advance(step.idleBefore);
      std::vector<int16_t> samples(static_cast<size_t>(step.frames) * step.format.channels);
      output.play(samples, step.format);
    }
    EXPECT_NEAR(ms(clock.elapsed()), c.expectedEndMs, 0.01);
  }
}

TEST(PacedOutputTest, ClosingForgetsTheTimeOfEarlierBlocks) {
  FakeClock clock;
  PacedOutput output(1.0, clock);
  output.open();
  std::vector<int16_t> second(88200);
  output.play(second, kCd);
  output.close();
  output.open();
  output.play(second, kCd);
  EXPECT_TRUE(clock.sleeps.empty()) << "a new track's first block waits for nothing";
}

TEST(PacedOutputTest, BlocksWithoutAUsableFormatAreNotTimed) {
  FakeClock clock;
  PacedOutput output(1.0, clock);
  output.open();
  std::vector<int16_t> samples(4410);
  for (PcmFormat format : {PcmFormat{0, 2}, PcmFormat{44100, 0}, PcmFormat{44100, 6}})
    output.play(samples, format);
  output.play(samples, kCd);
  output.play(samples, kCd);
  ASSERT_EQ(clock.sleeps.size(), 1u);
  EXPECT_NEAR(ms(clock.sleeps[0]), 50.0, 0.01);
}

// A device output whose open() answers as told, counting what it played.
class FakeDevice final : public AudioOutput {
 public:
  explicit FakeDevice(int status, int* played) : status_(status), played_(played) {}
  int open() override { return status_; }
  void play(std::span<const int16_t>, PcmFormat) override { ++*played_; }
  void close() override {}

 private:
  int status_;
  int* played_;
};

class FakeLibrary final : public DecoderLibrary {
 public:
  std::unique_ptr<Mp3Decoder> newDecoder() override { return nullptr; }
  std::unique_ptr<Resampler> newResampler(int, int, int) override { return nullptr; }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override {
    asked.push_back(device);
    if (!makesDevices) return nullptr;
    return std::make_unique<FakeDevice>(deviceStatus, &devicePlays);
  }
  bool makesDevices = true;
  int deviceStatus = kDecoderOk;
  int devicePlays = 0;
  std::vector<std::string> asked;
};

TEST(OpenPlaybackTest, ChoosesTheDeviceOrTheClock) {
  enum class Expect { Device, Clock, Failure };
  struct Case {
    const char* name;
    PlaybackSettings settings;
    bool makesDevices;
    int deviceStatus;
    Expect expect;
    int expectedStatus;
    size_t devicesAsked;
  };
  auto settings = [](bool card, std::string device, double pace) {
    PlaybackSettings s;
    s.soundCard = card;
    s.device = std::move(device);
    s.pace = pace;
    return s;
  };
  std::vector<Case> cases = {
      {"default device plays", settings(true, "", 1), true, kDecoderOk, Expect::Device, kDecoderOk, 1},
      {"no default device: clock, quietly", settings(true, "", 1), true, kOutputMissing, Expect::Clock,
       kDecoderOk, 1},
      {"busy default device: clock, quietly", settings(true, "", 1), true, kOutputBusy, Expect::Clock,
       kDecoderOk, 1},
      {"library without devices: clock", settings(true, "", 1), false, kDecoderOk, Expect::Clock, kDecoderOk,
       1},
      {"device asked for plays", settings(true, "USB", 1), true, kDecoderOk, Expect::Device, kDecoderOk, 1},
      {"device asked for is busy", settings(true, "USB", 1), true, kOutputBusy, Expect::Failure, kOutputBusy,
       1},
      {"device asked for is missing", settings(true, "USB", 1), true, kOutputMissing, Expect::Failure,
       kOutputMissing, 1},
      {"playback off", settings(false, "USB", 1), true, kDecoderOk, Expect::Clock, kDecoderOk, 0},
      {"faster than real time", settings(true, "", 8), true, kDecoderOk, Expect::Clock, kDecoderOk, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeLibrary library;
    library.makesDevices = c.makesDevices;
    library.deviceStatus = c.deviceStatus;
    OpenedOutput opened = openPlayback(library, c.settings);
    EXPECT_EQ(opened.status, c.expectedStatus);
    EXPECT_EQ(library.asked.size(), c.devicesAsked);
    if (library.asked.size() == 1) {
      EXPECT_EQ(library.asked[0], c.settings.device);
    }
    if (c.expect == Expect::Failure) {
      EXPECT_EQ(opened.output, nullptr);
      continue;
    }
    ASSERT_NE(opened.output, nullptr);
    std::vector<int16_t> samples(4);
    opened.output->play(samples, kCd);
    EXPECT_EQ(library.devicePlays, c.expect == Expect::Device ? 1 : 0);
    EXPECT_EQ(dynamic_cast<PacedOutput*>(opened.output.get()) != nullptr, c.expect == Expect::Clock);
  }
}

TEST(PlaybackSettingsTest, ReadFromTheEnvironment) {
  struct Case {
    const char* pace;
    const char* playback;
    const char* device;
    double expectedPace;
    bool expectedCard;
    std::string expectedDevice;
  };
  std::vector<Case> cases = {
      {nullptr, nullptr, nullptr, 1.0, true, ""}, {"4", nullptr, nullptr, 4.0, true, ""},
      {"2.5", "off", nullptr, 2.5, false, ""},    {"0", "OFF", nullptr, 0.0, false, ""},
      {"fast", "0", nullptr, 1.0, false, ""},     {"-3", "on", "hw:1,0", 1.0, true, "hw:1,0"},
      {"3x", "no", "", 1.0, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pace ? c.pace : "-") + "/" + (c.playback ? c.playback : "-"));
    auto set = [](const char* name, const char* value) {
      if (value != nullptr) {
        setenv(name, value, 1);
      } else {
        unsetenv(name);
      }
    };
    set("BROVANA_PACE", c.pace);
    set("BROVANA_PLAYBACK", c.playback);
    set("BROVANA_AUDIO_DEVICE", c.device);
    PlaybackSettings settings = PlaybackSettings::fromEnvironment();
    EXPECT_EQ(settings.pace, c.expectedPace);
    EXPECT_EQ(settings.soundCard, c.expectedCard);
    EXPECT_EQ(settings.device, c.expectedDevice);
  }
  unsetenv("BROVANA_PACE");
  unsetenv("BROVANA_PLAYBACK");
  unsetenv("BROVANA_AUDIO_DEVICE");
}

}  // namespace
}  // namespace brovana
