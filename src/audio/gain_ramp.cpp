#include "audio/gain_ramp.h"

#include <algorithm>
#include <cmath>

namespace brovana {
namespace {

// Rounded half away from zero, as lround does, and clipped at full scale. In double the rounding
// is exact for any float product, and without the library call per sample the steady loop
// vectorises.
int16_t scaled(int16_t sample, float gain) {
  double value = std::clamp(static_cast<double>(static_cast<float>(sample) * gain), -32768.0, 32767.0);
  return static_cast<int16_t>(value < 0 ? value - 0.5 : value + 0.5);
}

}  // namespace

std::span<const int16_t> GainRamp::apply(std::span<const int16_t> samples, int channels,
                                         std::vector<int16_t>& into) {
  if (unity()) return samples;
  into.resize(samples.size());
  if (current_ == target_) {
    const float gain = current_;
    std::transform(samples.begin(), samples.end(), into.begin(),
                   [gain](int16_t s) { return scaled(s, gain); });
    return into;
  }
  const size_t width = static_cast<size_t>(std::max(channels, 1));
  const size_t frames = samples.size() / width;
  const float step = frames > 0 ? (target_ - current_) / static_cast<float>(frames) : 0.0f;
  float gain = current_;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (i % width == 0) gain += step;
    into[i] = scaled(samples[i], gain);
  }
  current_ = target_;
  return into;
}

}  // namespace brovana
