// The conversion stage on the real encoder: 10 s of a 1 kHz tone in, MP3 at each line speed out,
// decoded again with the mpg123 command-line player.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "audio/acm_convert.h"
#include "platform/lame_codec.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class MemorySink : public StreamSink {
 public:
  int sendStream(const uint8_t* bytes, int length, bool) override {
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), bytes, bytes + length);
    return length;
  }
  void flush() override {}
  std::vector<uint8_t> bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> bytes_;
};

class NoStatus : public ConversionStatus {
 public:
  void showLastError(std::string_view) override {}
  void refreshCounters() override {}
};

struct Wave {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
  size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
};

// The MP3 decoded by the mpg123 command-line player, with the rate and channels ffprobe reads.
Wave decode(const std::string& mp3) {
  Wave wave;
  std::string raw = mp3 + ".raw";
  if (std::system(("mpg123 -q -s '" + mp3 + "' > '" + raw + "' 2>/dev/null").c_str()) != 0) return wave;
  std::FILE* probe =
      popen(("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate,channels -of csv=p=0 '" +
             mp3 + "'")
                .c_str(),
            "r");
  if (probe == nullptr) return wave;
  if (std::fscanf(probe, "%d,%d", &wave.rate, &wave.channels) != 2) wave.channels = 0;
  pclose(probe);
  std::ifstream in(raw, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  wave.samples.resize(bytes.size() / 2);
  std::memcpy(wave.samples.data(), bytes.data(), wave.samples.size() * 2);
  return wave;
}

// The frequency (in 5 Hz steps) with the most energy in one second of the mono mix.
double dominantFrequency(const Wave& wave, size_t fromFrame) {
  size_t n = static_cast<size_t>(wave.rate);
  std::vector<double> mono(n);
  for (size_t i = 0; i < n; ++i) {
    double sum = 0;
    for (int c = 0; c < wave.channels; ++c)
      sum += wave.samples[(fromFrame + i) * static_cast<size_t>(wave.channels) + static_cast<size_t>(c)];
    mono[i] = sum / wave.channels;
  }
  double best = 0, bestPower = -1;
  for (double f = 50; f < wave.rate / 2.0 - 50; f += 5) {
    // Goertzel
    double coefficient = 2 * std::cos(2 * M_PI * f / wave.rate), s1 = 0, s2 = 0;
    for (double x : mono) {
      double s0 = x + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    if (power > bestPower) bestPower = power, best = f;
  }
  return best;
}

std::vector<uint8_t> tone(int rate, int channels, double seconds, double hz) {
  size_t frames = static_cast<size_t>(rate * seconds);
  std::vector<uint8_t> out(frames * static_cast<size_t>(channels) * 2);
  for (size_t i = 0; i < frames; ++i) {
    auto s = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
    for (int c = 0; c < channels; ++c)
      std::memcpy(out.data() + (i * static_cast<size_t>(channels) + static_cast<size_t>(c)) * 2, &s, 2);
  }
  return out;
}

TEST(AudioRoundTripTest, ToneComesBackAtEachLineSpeed) {
  constexpr double kSeconds = 10;
  const std::vector<uint8_t> pcm = tone(44100, 2, kSeconds, 1000);
  test::TempFolder folder;
  test::ScopedChdir inFolder(folder.path());

  for (const LineSpeedFormat& speed : kLineSpeedFormats) {
    SCOPED_TRACE(::testing::Message() << "line speed " << speed.lineSpeed);
    LameCodec codec;
    MemorySink sink;
    NoStatus status;
    test::FakePrompts prompts;
    test::FakeExit exit;
    AcmConvert stage(sink, status, codec, prompts, exit);
    stage.startConvertThread();
    TrackFormat track{folder.file("tone.mp3"), 44100, 2};
    ASSERT_EQ(stage.InitACM(speed.lineSpeed, &track), kInitOpened);

    // Blocks of 1152 sample frames, as a decoder hands them out; a source never runs a whole
    // ring ahead of the conversion.
    constexpr size_t kBlock = 1152 * 4;
    for (size_t at = 0; at < pcm.size(); at += kBlock) {
      while (stage.pendingBytes() > AcmConvert::kRingBytes / 2) std::this_thread::sleep_for(1ms);
      int n = static_cast<int>(std::min(kBlock, pcm.size() - at));
      ASSERT_TRUE(stage.convertAndSend(pcm.data() + at, n, 0, "tone"));
    }
    stage.flush();
    auto until = std::chrono::steady_clock::now() + 30s;
    while ((stage.flushing() || stage.pendingBytes() > 0) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(2ms);
    ASSERT_FALSE(stage.flushing());
    stage.closeACM(true);
    EXPECT_TRUE(prompts.boxes().empty());

    std::vector<uint8_t> mp3 = sink.bytes();
    std::string mp3Path = folder.file("out" + std::to_string(speed.lineSpeed) + ".mp3");
    std::ofstream(mp3Path, std::ios::binary)
        .write(reinterpret_cast<const char*>(mp3.data()), static_cast<long>(mp3.size()));
    Wave wave = decode(mp3Path);

    EXPECT_EQ(wave.rate, speed.sampleRate);
    EXPECT_EQ(wave.channels, speed.channels);
    // The tone, behind the codec's delay (the encoder's and the decoder's), and filled up to a
    // whole frame: the length is right to within one frame of the codec delay.
    const double frame = speed.sampleRate >= 32000 ? 1152 : 576;
    const double codecDelay = 576 + 529;
    double expected = kSeconds * speed.sampleRate + codecDelay;
    EXPECT_NEAR(static_cast<double>(wave.frames()), expected, frame)
        << wave.frames() << " sample frames decoded";
    double bytesPerFrame = frame * speed.lineSpeed / 8 / speed.sampleRate;
    EXPECT_NEAR(static_cast<double>(mp3.size()), static_cast<double>(wave.frames()) / frame * bytesPerFrame,
                bytesPerFrame)
        << "the line speed's byte rate";
    ASSERT_GT(wave.frames(), static_cast<size_t>(3 * speed.sampleRate));
    EXPECT_NEAR(dominantFrequency(wave, static_cast<size_t>(speed.sampleRate)), 1000, 10);
    EXPECT_NEAR(dominantFrequency(wave, static_cast<size_t>(7 * speed.sampleRate)), 1000, 10);
  }
}

}  // namespace
}  // namespace brovana
