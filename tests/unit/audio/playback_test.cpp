#include "audio/playback.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Time stands still until someone sleeps; sleeping moves it to the wake-up time.
struct FakeClock final : PaceClock {
  time_point now() override { return now_; }
  void sleepUntil(time_point when) override { now_ = std::max(now_, when); }
  time_point now_ = time_point{} + 1000h;
};

constexpr PcmFormat kCd{44100, 2}, kHalfMono{22050, 1};

TEST(PacedOutputTest, BlocksAreTakenAtThePaceOfTheirSamples) {
  struct Step {
    int frames;
    PcmFormat format = kCd;
    std::chrono::milliseconds idleBefore = 0ms;  // time the caller spends elsewhere before the block
    bool reopen = false;                         // a new track: the output closed and opened again
  };
  const std::tuple<const char*, double, std::vector<Step>, double> cases[] = {
      // The first block goes at once; each later one waits for the one before to play out.
      {"real time", 1.0, std::vector<Step>(5, {4410}), 400.0},
      {"four times real time", 4.0, std::vector<Step>(5, {4410}), 100.0},
      {"pace limit off", 0.0, std::vector<Step>(50, {4410}), 0.0},
      // The new format starts counting where the old blocks end.
      {"format change", 1.0, {{4410}, {4410}, {2205, kHalfMono}, {2205, kHalfMono}}, 300.0},
      // A short hold-up is made good, as a card's buffer would; a long one is not: a card that
      // ran dry starts again at real time.
      {"short stall is caught up", 1.0, {{4410}, {4410, kCd, 150ms}, {4410}}, 200.0},
      {"long stall starts over", 1.0, {{4410}, {4410, kCd, 1000ms}, {4410}}, 1100.0},
      {"closing forgets earlier blocks", 1.0, {{44100}, {44100, kCd, 0ms, true}}, 0.0},
      {"blocks without a usable format are not timed",
       1.0,
       {{4410, {0, 2}}, {4410, {44100, 0}}, {4410, {44100, 6}}, {2205}, {2205}},
       50.0},
  };
  for (const auto& [name, pace, steps, endMs] : cases) {
    FakeClock clock;
    const auto start = clock.now_;
    PacedOutput output(pace, clock);
    ASSERT_EQ(output.open(), kDecoderOk);
    for (const Step& step : steps) {
      if (step.reopen) output.close(), output.open();
      clock.now_ += step.idleBefore;
      output.play(std::vector<int16_t>(size_t(step.frames) * std::max(step.format.channels, 1)), step.format);
    }
    EXPECT_NEAR((std::chrono::duration<double, std::milli>(clock.now_ - start).count()), endMs, 0.01) << name;
  }
}

// A library whose device outputs open with the given status and count what they played.
struct DeviceLibrary final : DecoderLibrary {
  std::unique_ptr<Mp3Decoder> newDecoder() override { return nullptr; }
  std::unique_ptr<Resampler> newResampler(int, int, int) override { return nullptr; }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override {
    struct Device final : AudioOutput {
      explicit Device(DeviceLibrary& library) : library(library) {}
      int open() override { return library.status; }
      void play(std::span<const int16_t>, PcmFormat) override { ++library.played; }
      void close() override {}
      DeviceLibrary& library;
    };
    asked.push_back(device);
    return makesDevices ? std::make_unique<Device>(*this) : nullptr;
  }
  bool makesDevices = true;
  int status = kDecoderOk, played = 0;
  std::vector<std::string> asked;
};

// The default device and a missing named one on a real sound server are the integration test's.
TEST(OpenPlaybackTest, ChoosesTheDeviceOrTheClock) {
  enum Expect { Device, Clock, Failure };
  const std::tuple<bool, std::string, double, bool, int, Expect, size_t> cases[] = {
      // sound card, device, pace; the library makes devices, which open with; expected, devices asked
      {true, "", 1, true, kOutputMissing, Clock, 1},  // no default device: the clock, quietly
      {true, "", 1, true, kOutputBusy, Clock, 1},
      {true, "", 1, false, kDecoderOk, Clock, 1},
      {true, "USB", 1, true, kDecoderOk, Device, 1},
      {true, "USB", 1, true, kOutputBusy, Failure, 1},  // the device asked for is reported
      {false, "USB", 1, true, kDecoderOk, Clock, 0},    // playback off
      {true, "", 8, true, kDecoderOk, Clock, 0},        // faster than real time
  };
  for (const auto& [card, device, pace, makesDevices, status, expect, asked] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << card << " '" << device << "' " << pace << " " << makesDevices << " " << status);
    DeviceLibrary library;
    library.makesDevices = makesDevices, library.status = status;
    OpenedOutput opened = openPlayback(library, PlaybackSettings{card, device, pace});
    EXPECT_EQ(opened.status, expect == Failure ? status : kDecoderOk);
    EXPECT_EQ(library.asked, std::vector<std::string>(asked, device));
    ASSERT_EQ(opened.output == nullptr, expect == Failure);
    if (!opened.output) continue;
    opened.output->play(std::vector<int16_t>(4), kCd);
    EXPECT_EQ(library.played, expect == Device ? 1 : 0);
    EXPECT_EQ(dynamic_cast<PacedOutput*>(opened.output.get()) != nullptr, expect == Clock);
  }
}

TEST(PlaybackSettingsTest, ReadFromTheEnvironmentWhereTheValuesAreUsable) {
  const std::tuple<const char*, const char*, const char*, PlaybackSettings> cases[] = {
      // BROVANA_PACE, BROVANA_PLAYBACK, BROVANA_AUDIO_DEVICE (null: unset); the settings
      {nullptr, nullptr, nullptr, {true, "", 1.0}},
      {"2.5", "off", nullptr, {false, "", 2.5}},
      {"fast", "0", "", {false, "", 1.0}},
      {"-3", "on", "hw:1,0", {true, "hw:1,0", 1.0}},
  };
  for (const auto& [pace, playback, device, expected] : cases) {
    for (auto [name, value] :
         {std::pair{"BROVANA_PACE", pace}, {"BROVANA_PLAYBACK", playback}, {"BROVANA_AUDIO_DEVICE", device}})
      value ? setenv(name, value, 1) : unsetenv(name);
    PlaybackSettings settings = PlaybackSettings::fromEnvironment();
    EXPECT_EQ(std::tie(settings.soundCard, settings.device, settings.pace),
              std::tie(expected.soundCard, expected.device, expected.pace))
        << (pace ? pace : "-") << "/" << (playback ? playback : "-");
  }
}

}  // namespace
}  // namespace brovana
