#include "platform/soxr_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "support/tone_files.h"

namespace brovana {
namespace {

std::vector<int16_t> sine(double frequency, int rate, int channels, double seconds,
                          double amplitude = 12000) {
  size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> samples(frames * channels);
  for (size_t i = 0; i < frames; ++i) {
    auto v =
        static_cast<int16_t>(std::lrint(amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate)));
    for (int c = 0; c < channels; ++c) samples[i * channels + c] = v;
  }
  return samples;
}

double rms(std::span<const int16_t> samples, int channels, size_t skipFrames) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = skipFrames * channels; i + channels <= samples.size(); i += channels, ++n)
    sum += double(samples[i]) * samples[i];
  return n ? std::sqrt(sum / n) : 0;
}

std::vector<int16_t> convert(Resampler& r, int channels, const std::vector<int16_t>& in, size_t blockFrames) {
  std::vector<int16_t> out;
  size_t step = blockFrames * static_cast<size_t>(channels);
  for (size_t at = 0; at < in.size(); at += step)
    r.process(std::span<const int16_t>(in).subspan(at, std::min(step, in.size() - at)), out);
  r.drain(out);
  return out;
}

TEST(ResamplerTest, TonesKeepPitchLevelAndLength) {
  struct Case {
    int from, to, channels;
    double frequency;
  };
  for (Case c : {Case{44100, 22050, 2, 1000}, Case{48000, 22050, 1, 440}, Case{22050, 11025, 2, 3000},
                 Case{16000, 22050, 1, 2000}, Case{44100, 11025, 2, 880}, Case{32000, 22050, 2, 5000}}) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    SoxrResampler r(c.from, c.to, c.channels);
    ASSERT_TRUE(r.valid());
    std::vector<int16_t> in = sine(c.frequency, c.from, c.channels, 1.0);
    std::vector<int16_t> out = convert(r, c.channels, in, 1152);
    double frames = double(out.size()) / c.channels;
    EXPECT_NEAR(frames, c.to, 40) << "one second stays one second";
    PcmFormat format{c.to, c.channels};
    EXPECT_EQ(test::dominantTone(out, format, {440, 880, 1000, 2000, 3000, 5000}), c.frequency);
    EXPECT_NEAR(rms(out, c.channels, 100) / rms(in, c.channels, 100), 1.0, 0.03);
  }
}

TEST(ResamplerTest, TonesAboveTheNewNyquistFrequencyDoNotFoldBack) {
  // At 44100 Hz to 22050 Hz, 15 kHz would come back as 7050 Hz, and 11.5 kHz, just past the
  // new Nyquist frequency, as 10550 Hz.
  for (double tone : {15000.0, 11500.0}) {
    SoxrResampler r(44100, 22050, 1);
    std::vector<int16_t> out = convert(r, 1, sine(tone, 44100, 1, 1.0), 4096);
    std::vector<int16_t> reference = sine(22050 - tone, 22050, 1, 1.0);
    PcmFormat format{22050, 1};
    double folded = test::tonePower(out, format, 22050 - tone);
    double full = test::tonePower(reference, format, 22050 - tone);
    EXPECT_LT(folded, full * 1e-8) << tone << " Hz: at least 80 dB down";
  }
}

TEST(ResamplerTest, BlockSizesDoNotChangeTheResult) {
  SoxrResampler whole(44100, 22050, 2);
  SoxrResampler pieces(44100, 22050, 2);
  std::vector<int16_t> in = sine(1234, 44100, 2, 0.5);
  std::vector<int16_t> a = convert(whole, 2, in, in.size() / 2);
  std::vector<int16_t> b;
  size_t sizes[] = {1, 7, 1152, 33, 576, 4000};
  size_t at = 0;
  for (int i = 0; at < in.size(); ++i) {
    size_t n = std::min(sizes[i % 6] * 2, in.size() - at);
    pieces.process(std::span<const int16_t>(in).subspan(at, n), b);
    at += n;
  }
  pieces.drain(b);
  EXPECT_EQ(a, b);
}

TEST(ResamplerTest, TimingAndConstantsAreKept) {
  // A step at input frame 4410 (0.1 s) reaches half height at output frame 2205; a constant
  // stays that constant.
  SoxrResampler r(44100, 22050, 1);
  std::vector<int16_t> in(44100, 0);
  for (size_t i = 4410; i < in.size(); ++i) in[i] = 10000;
  std::vector<int16_t> out = convert(r, 1, in, 1152);
  size_t half = 0;
  while (half < out.size() && out[half] < 5000) ++half;
  EXPECT_NEAR(double(half), 2205, 1);
  for (size_t i = 3000; i < 20000; ++i) ASSERT_NEAR(out[i], 10000, 1) << i;
}

}  // namespace
}  // namespace brovana
