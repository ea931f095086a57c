#include "audio/playback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "audio/resampler.h"
#include "support/tone_files.h"

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
      {"mono at half rate", 1.0, std::vector<Step>(3, {2205, kHalfMono}), 200.0},
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
    using Ms = std::chrono::duration<double, std::milli>;
    EXPECT_NEAR(Ms(clock.now_ - start).count(), endMs, 0.01) << name;
  }
}

TEST(OpenPlaybackTest, ChoosesTheDeviceOrTheClock) {
  // A library whose device outputs open with the given status and count what they played.
  struct Library final : DecoderLibrary {
    struct Device final : AudioOutput {
      Device(int status, int& played) : status(status), played(played) {}
      int open() override { return status; }
      void play(std::span<const int16_t>, PcmFormat) override { ++played; }
      void close() override {}
      int status;
      int& played;
    };
    std::unique_ptr<Mp3Decoder> newDecoder() override { return nullptr; }
    std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override {
      asked.push_back(device);
      return makesDevices ? std::make_unique<Device>(status, played) : nullptr;
    }
    bool makesDevices = true;
    int status = kDecoderOk, played = 0;
    std::vector<std::string> asked;
  };
  enum Expect { Device, Clock, Failure };
  const std::tuple<bool, std::string, double, bool, int, Expect, size_t> cases[] = {
      // sound card, device, pace; the library makes devices, which open with; expected, devices asked
      {true, "", 1, true, kDecoderOk, Device, 1},
      {true, "", 1, true, kOutputMissing, Clock, 1},  // no default device: the clock, quietly
      {true, "", 1, true, kOutputBusy, Clock, 1},
      {true, "", 1, false, kDecoderOk, Clock, 1},
      {true, "USB", 1, true, kDecoderOk, Device, 1},
      {true, "USB", 1, true, kOutputBusy, Failure, 1},  // the device asked for is reported
      {true, "USB", 1, true, kOutputMissing, Failure, 1},
      {false, "USB", 1, true, kDecoderOk, Clock, 0},  // playback off
      {true, "", 8, true, kDecoderOk, Clock, 0},      // faster than real time
  };
  for (const auto& [card, device, pace, makesDevices, status, expect, asked] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << card << " '" << device << "' " << pace << " " << makesDevices << " " << status);
    Library library;
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

TEST(PlaybackSettingsTest, ReadFromTheEnvironment) {
  const std::tuple<const char*, const char*, const char*, PlaybackSettings> cases[] = {
      // BROVANA_PACE, BROVANA_PLAYBACK, BROVANA_AUDIO_DEVICE (null: unset); the settings
      {nullptr, nullptr, nullptr, {true, "", 1.0}}, {"4", nullptr, nullptr, {true, "", 4.0}},
      {"2.5", "off", nullptr, {false, "", 2.5}},    {"0", "OFF", nullptr, {false, "", 0.0}},
      {"fast", "0", nullptr, {false, "", 1.0}},     {"-3", "on", "hw:1,0", {true, "hw:1,0", 1.0}},
      {"3x", "no", "", {false, "", 1.0}},
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
  for (const char* name : {"BROVANA_PACE", "BROVANA_PLAYBACK", "BROVANA_AUDIO_DEVICE"}) unsetenv(name);
}

std::vector<int16_t> sine(double frequency, int rate, int channels, double seconds) {
  std::vector<int16_t> samples(static_cast<size_t>(seconds * rate) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(
        std::lrint(12000 * std::sin(2 * std::numbers::pi * frequency * (i / channels) / rate)));
  return samples;
}

// In blocks of `blockFrames` (or of the sizes given, round and round), then drained.
std::vector<int16_t> resample(Resampler& r, std::span<const int16_t> in, std::vector<size_t> blockFrames) {
  std::vector<int16_t> out;
  for (size_t at = 0, i = 0; at < in.size(); at += blockFrames[i++ % blockFrames.size()] * r.channels())
    r.process(in.subspan(at, std::min(blockFrames[i % blockFrames.size()] * r.channels(), in.size() - at)),
              out);
  r.drain(out);
  return out;
}

TEST(ResamplerTest, TonesKeepPitchLevelAndLength) {
  auto rms = [](std::span<const int16_t> s, int channels) {
    double sum = 0;
    for (size_t i = 100 * channels; i < s.size(); i += channels) sum += double(s[i]) * s[i];
    return std::sqrt(sum / (s.size() / channels - 100));
  };
  for (auto [from, to, channels, frequency] : {std::tuple{44100, 22050, 2, 1000.0},
                                               {48000, 22050, 1, 440.0},
                                               {22050, 11025, 2, 3000.0},
                                               {16000, 22050, 1, 2000.0},
                                               {44100, 11025, 2, 880.0},
                                               {32000, 22050, 2, 5000.0}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    Resampler r(from, to, channels);
    std::vector<int16_t> in = sine(frequency, from, channels, 1.0), out = resample(r, in, {1152});
    EXPECT_NEAR(double(out.size()) / channels, to, 40) << "one second stays one second";
    EXPECT_EQ(test::dominantTone(out, {to, channels}, {440, 880, 1000, 2000, 3000, 5000}), frequency);
    EXPECT_NEAR(rms(out, channels) / rms(in, channels), 1.0, 0.03);
  }
  // 15 kHz at 44100 Hz would come back as 7050 Hz at 22050 Hz: at least 40 dB down.
  Resampler down(44100, 22050, 1);
  EXPECT_LT(test::tonePower(resample(down, sine(15000, 44100, 1, 1.0), {4096}), {22050, 1}, 7050),
            test::tonePower(sine(7050, 22050, 1, 1.0), {22050, 1}, 7050) * 1e-4);
}

TEST(ResamplerTest, BlockSizesDoNotChangeTheResultAndSameRatesPassThrough) {
  Resampler whole(44100, 22050, 2), pieces(44100, 22050, 2);
  std::vector<int16_t> in = sine(1234, 44100, 2, 0.5);
  EXPECT_EQ(resample(whole, in, {in.size()}), resample(pieces, in, {1, 7, 1152, 33, 576, 4000}));
  Resampler same(22050, 22050, 2);
  EXPECT_TRUE(same.passThrough());
  in = sine(440, 22050, 2, 0.1);
  EXPECT_EQ(resample(same, in, {in.size()}), in);
}

}  // namespace
}  // namespace brovana
