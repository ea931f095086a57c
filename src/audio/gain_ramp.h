#pragma once
// A gain that moves to a new target across one block rather than at once, so that a change of
// level never clicks: a track's loudness correction, the music under a voiceover.

#include <cstdint>
#include <span>
#include <vector>

namespace brovana {

class GainRamp {
 public:
  explicit GainRamp(float factor) : current_(factor), target_(factor) {}
  void setTarget(float factor) { target_ = factor; }
  bool unity() const { return current_ == 1.0f && target_ == 1.0f; }
  // The samples at the gain, clipped at full scale, in `into`; the samples themselves at a gain of 1.
  std::span<const int16_t> apply(std::span<const int16_t> samples, int channels, std::vector<int16_t>& into);

 private:
  float current_;
  float target_;
};

}  // namespace brovana
