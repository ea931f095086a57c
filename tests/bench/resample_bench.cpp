// How the stream-rate resampler does, for the rates a playlist brings to the 22,050 and 11,025 Hz
// streams: processor time per minute of stereo audio (in the engine's quarter-second blocks),
// the level at 90 % of the new Nyquist frequency (the passband), and the loudest fold-back of a
// tone between the new Nyquist frequency and the old one (the alias rejection), in dB.
//
//   bench_resample

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <vector>

#include "platform/soxr_resampler.h"

namespace {

std::vector<int16_t> sine(double hz, int rate, double seconds) {
  std::vector<int16_t> pcm(static_cast<size_t>(seconds * rate) * 2);
  for (size_t i = 0; i < pcm.size() / 2; ++i)
    pcm[2 * i] = pcm[2 * i + 1] =
        static_cast<int16_t>(std::lrint(16000 * std::sin(2 * std::numbers::pi * hz * i / rate)));
  return pcm;
}

std::vector<int16_t> resample(const std::vector<int16_t>& in, int from, int to) {
  brovana::SoxrResampler resampler(from, to, 2);
  std::vector<int16_t> out;
  const size_t block = static_cast<size_t>(from / 4) * 2;
  for (size_t at = 0; at < in.size(); at += block)
    resampler.process(std::span<const int16_t>(in).subspan(at, std::min(block, in.size() - at)), out);
  resampler.drain(out);
  return out;
}

// The level of the output against the input sine, in dB, away from the ends.
double levelDb(const std::vector<int16_t>& out) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = out.size() / 4; i < out.size() * 3 / 4; ++i, ++n) sum += double(out[i]) * out[i];
  return 10 * std::log10(std::max(sum / std::max<size_t>(n, 1), 1e-3) / (16000.0 * 16000 / 2));
}

}  // namespace

int main() {
  const int pairs[][2] = {{44100, 22050}, {48000, 22050}, {32000, 22050}, {16000, 22050}, {44100, 11025}};
  std::printf("%-16s %12s %10s %12s\n", "rates", "ms CPU/min", "passband", "worst alias");
  for (auto [from, to] : pairs) {
    std::vector<int16_t> minute = sine(997, from, 60);
    std::clock_t start = std::clock();
    resample(minute, from, to);
    double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    double passband = levelDb(resample(sine(0.45 * to, from, 1), from, to));
    std::printf("%6d -> %-6d %12.1f %9.1f", from, to, ms, passband);
    if (from < to) {
      std::printf("%13s\n", "(none)");
      continue;
    }
    double worst = -200;
    for (double hz = 0.5 * to + 250; hz < 0.5 * from; hz += 250)
      worst = std::max(worst, levelDb(resample(sine(hz, from, 1), from, to)));
    std::printf("%13.1f\n", worst);
  }
  return 0;
}
