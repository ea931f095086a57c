#include "audio/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>

namespace brovana {
namespace {

constexpr int kTapsAtLowerRate = 32;
// Taps are done eight at a time, four lanes of two vectors.
constexpr int kTapGroup = 8;
using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* at) {
  Float4 v;
  std::memcpy(&v, at, sizeof v);
  return v;
}
constexpr double kCutoff = 0.97;
constexpr double kKaiserBeta = 9.0;

// Modified Bessel function of the first kind, order 0.
double besselI0(double x) {
  double sum = 1;
  double term = 1;
  for (int k = 1; k < 50; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
    if (term < sum * 1e-12) break;
  }
  return sum;
}

}  // namespace

Resampler::Resampler(int fromRate, int toRate, int channels)
    : fromRate_(std::max(1, fromRate)), toRate_(std::max(1, toRate)), channels_(std::clamp(channels, 1, 8)) {
  history_.resize(static_cast<size_t>(channels_));
  if (passThrough()) return;
  int g = std::gcd(fromRate_, toRate_);
  up_ = toRate_ / g;
  down_ = fromRate_ / g;
  // Downsampling stretches the filter over more input samples; upsampling keeps it at the input.
  double stretch = std::max(1.0, static_cast<double>(fromRate_) / toRate_);
  int realTaps = static_cast<int>(std::ceil(kTapsAtLowerRate * stretch));
  // Padded with zero taps at the old end to whole groups.
  taps_ = (realTaps + kTapGroup - 1) / kTapGroup * kTapGroup;
  // The prototype runs at fromRate × up; its cutoff is a fraction of the lower Nyquist frequency.
  double cutoff = kCutoff * 0.5 * std::min(fromRate_, toRate_) / (static_cast<double>(fromRate_) * up_);
  int length = realTaps * up_;
  centre_ = (length - 1) / 2;
  double centre = (length - 1) / 2.0;
  double norm = besselI0(kKaiserBeta);
  std::vector<double> prototype(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) {
    double t = i - centre;
    double sinc = t == 0 ? 2 * cutoff : std::sin(2 * std::numbers::pi * cutoff * t) / (std::numbers::pi * t);
    double r = t / (centre + 0.5);
    double window = besselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1 - r * r))) / norm;
    prototype[static_cast<size_t>(i)] = sinc * window * up_;
  }
  // Phase p takes prototype taps p, p + up, p + 2 up ...; stored newest input first, so that the
  // dot product runs over the history backwards from the newest sample.
  coefficients_.assign(static_cast<size_t>(taps_) * up_, 0.0f);
  for (int p = 0; p < up_; ++p) {
    double sum = 0;
    for (int k = 0; k < realTaps; ++k) sum += prototype[static_cast<size_t>(p + k * up_)];
    for (int k = 0; k < realTaps; ++k) {
      // Each phase is scaled to unity gain at 0 Hz, so that a constant stays constant.
      coefficients_[static_cast<size_t>(p * taps_ + (taps_ - 1 - k))] =
          static_cast<float>(prototype[static_cast<size_t>(p + k * up_)] / sum);
    }
  }
  reset();
}

void Resampler::reset() {
  for (auto& h : history_) h.assign(static_cast<size_t>(std::max(0, taps_ - 1)), 0.0f);
  // The centre of the filter of the first output sits on the first input frame, which follows
  // taps - 1 frames of silence: the output keeps the input's timing.
  phase_ = static_cast<long long>(taps_ - 1) * up_ + centre_;
}

void Resampler::drain(std::vector<int16_t>& out) {
  if (passThrough()) return;
  std::vector<int16_t> silence(static_cast<size_t>(centre_ / up_ + 1) * static_cast<size_t>(channels_), 0);
  process(silence, out);
  reset();
}

void Resampler::process(std::span<const int16_t> in, std::vector<int16_t>& out) {
  const size_t frames = in.size() / static_cast<size_t>(channels_);
  if (passThrough()) {
    out.insert(out.end(), in.begin(), in.begin() + static_cast<long>(frames * channels_));
    return;
  }
  for (int c = 0; c < channels_; ++c) {
    std::vector<float>& h = history_[static_cast<size_t>(c)];
    size_t start = h.size();
    h.resize(start + frames);
    for (size_t i = 0; i < frames; ++i)
      h[start + i] = in[i * static_cast<size_t>(channels_) + static_cast<size_t>(c)];
  }
  const long long available = static_cast<long long>(history_[0].size());
  // Output n needs input frames [i - taps + 1, i] with i = phase / up.
  long long produced;
  long long phase = phase_;
  long long lastNeeded = phase / up_;
  long long count = 0;
  while (lastNeeded < available) {
    ++count;
    phase += down_;
    lastNeeded = phase / up_;
  }
  size_t base = out.size();
  out.resize(base + static_cast<size_t>(count) * static_cast<size_t>(channels_));
  phase = phase_;
  for (produced = 0; produced < count; ++produced, phase += down_) {
    long long newest = phase / up_;
    const float* taps = coefficients_.data() + (phase % up_) * taps_;
    for (int c = 0; c < channels_; ++c) {
      const float* x = history_[static_cast<size_t>(c)].data() + (newest - taps_ + 1);
      Float4 a = {0, 0, 0, 0};
      Float4 b = {0, 0, 0, 0};
      for (int k = 0; k < taps_; k += kTapGroup) {
        a += load4(taps + k) * load4(x + k);
        b += load4(taps + k + 4) * load4(x + k + 4);
      }
      Float4 sum = a + b;
      long v = std::lrint((sum[0] + sum[1]) + (sum[2] + sum[3]));
      out[base + static_cast<size_t>(produced * channels_ + c)] =
          static_cast<int16_t>(std::clamp(v, -32768L, 32767L));
    }
  }
  // Keep what the next outputs still need: from the oldest frame of the next output's window.
  long long keepFrom = std::max(0LL, phase / up_ - taps_ + 1);
  keepFrom = std::min(keepFrom, available);
  for (auto& h : history_) h.erase(h.begin(), h.begin() + keepFrom);
  phase_ = phase - keepFrom * up_;
}

}  // namespace brovana
