#include "audio/gain_ramp.h"

#include <algorithm>
#include <cmath>

namespace brovana {

std::span<const int16_t> GainRamp::apply(std::span<const int16_t> samples, int channels,
                                         std::vector<int16_t>& into) {
  if (unity()) return samples;
  into.resize(samples.size());
  const size_t width = static_cast<size_t>(std::max(channels, 1));
  const size_t frames = samples.size() / width;
  const float step = frames > 0 ? (target_ - current_) / static_cast<float>(frames) : 0.0f;
  float gain = current_;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (i % width == 0) gain += step;
    into[i] = static_cast<int16_t>(std::clamp(std::lround(samples[i] * gain), -32768L, 32767L));
  }
  current_ = target_;
  return into;
}

}  // namespace brovana
