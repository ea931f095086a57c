// The conversion stage on the real encoder: 10 s of a 1 kHz tone in, MP3 at each line speed out,
// decoded again with the mpg123 command-line player.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "audio/acm_convert.h"
#include "platform/lame_codec.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

struct MemorySink : StreamSink, ConversionStatus {
  int sendStream(const uint8_t* bytes, int length, bool) override {
    std::lock_guard lock(mutex);
    mp3.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    return length;
  }
  void flush() override {}
  void showLastError(std::string_view) override {}
  void refreshCounters() override {}
  std::mutex mutex;
  std::string mp3;
};

TEST(AudioRoundTripTest, ToneComesBackAtEachLineSpeed) {
  constexpr double kSeconds = 10;
  std::vector<int16_t> tone(static_cast<size_t>(kSeconds * 44100) * 2);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 1000 * static_cast<double>(i / 2) / 44100));
  const auto* pcm = reinterpret_cast<const uint8_t*>(tone.data());
  const size_t pcmBytes = tone.size() * 2;
  std::vector<double> frequencies;
  for (double f = 50; f < 5500; f += 5) frequencies.push_back(f);
  test::TempFolder folder;
  test::ScopedChdir inFolder(folder.path());

  for (const LineSpeedFormat& speed : kLineSpeedFormats) {
    SCOPED_TRACE(::testing::Message() << "line speed " << speed.lineSpeed);
    LameCodec codec;
    MemorySink sink;
    test::FakePrompts prompts;
    test::FakeExit exit;
    AcmConvert stage(sink, sink, codec, prompts, exit);
    stage.startConvertThread();
    TrackFormat track{folder.file("tone.mp3"), 44100, 2};
    ASSERT_EQ(stage.InitACM(speed.lineSpeed, &track), kInitOpened);
    // Blocks of 1152 sample frames, as a decoder hands them out; a source never runs a whole
    // ring ahead of the conversion.
    for (size_t at = 0, block = 1152 * 4; at < pcmBytes; at += block) {
      while (stage.pendingBytes() > AcmConvert::kRingBytes / 2) std::this_thread::sleep_for(1ms);
      ASSERT_TRUE(
          stage.convertAndSend(pcm + at, static_cast<int>(std::min(block, pcmBytes - at)), 0, "tone"));
    }
    stage.flush();
    for (auto until = std::chrono::steady_clock::now() + 30s;
         (stage.flushing() || stage.pendingBytes() > 0) && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(2ms);
    ASSERT_FALSE(stage.flushing());
    stage.closeACM(true);
    EXPECT_TRUE(prompts.boxes().empty());

    // mpg123 writes a WAV file: channels at byte 22, the rate at 24, the samples from 44 on.
    folder.write("out.mp3", sink.mp3);
    ASSERT_EQ(std::system("mpg123 -q -w out.wav out.mp3"), 0);
    std::string wav = folder.read("out.wav");
    ASSERT_GT(wav.size(), 44u);
    PcmFormat heard{0, wav[22]};
    std::memcpy(&heard.sampleRate, &wav[24], 4);
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    std::memcpy(samples.data(), &wav[44], samples.size() * 2);
    EXPECT_EQ(heard, (PcmFormat{speed.sampleRate, speed.channels}));
    // The tone, behind the codec's delay (the encoder's and the decoder's), and filled up to a
    // whole frame: the length is right to within one frame of the codec delay.
    const double frame = speed.sampleRate >= 32000 ? 1152 : 576,
                 frames = samples.size() / double(heard.channels);
    EXPECT_NEAR(frames, kSeconds * speed.sampleRate + 576 + 529, frame);
    const double bytesPerFrame = frame * speed.lineSpeed / 8 / speed.sampleRate;
    EXPECT_NEAR(sink.mp3.size(), frames / frame * bytesPerFrame, bytesPerFrame)
        << "the line speed's byte rate";
    ASSERT_GT(frames, 3 * speed.sampleRate);
    for (int second : {1, 7}) {
      auto stretch = std::span(samples).subspan(size_t(second) * speed.sampleRate * heard.channels,
                                                size_t(speed.sampleRate) * heard.channels);
      EXPECT_NEAR(test::dominantTone(stretch, heard, frequencies), 1000, 10) << second;
    }
  }
}

}  // namespace
}  // namespace brovana
