#include "audio/silence_trim.h"

#include <algorithm>
#include <cstdlib>

namespace brovana {
namespace {

// -60 dBFS of 16-bit full scale.
constexpr int kSilence = 33;

bool loud(int16_t sample) {
  return std::abs(static_cast<int>(sample)) > kSilence;
}

}  // namespace

SilenceTrim::SilenceTrim(int channels, int sampleRate)
    : channels_(static_cast<size_t>(std::max(channels, 1))),
      longestHeld_(static_cast<size_t>(std::max(sampleRate, 1)) * channels_ * 10) {}

std::span<const int16_t> SilenceTrim::take(std::span<const int16_t> block, std::vector<int16_t>& into) {
  auto first = std::find_if(block.begin(), block.end(), loud);
  if (!begun_) {
    if (first == block.end()) return {};
    begun_ = true;
    // From the frame the first sound is in.
    block = block.subspan(static_cast<size_t>(first - block.begin()) / channels_ * channels_);
  }
  auto last = std::find_if(block.rbegin(), block.rend(), loud);
  const size_t sounding = last == block.rend() ? 0
                                               : (static_cast<size_t>(block.rend() - last) + channels_ - 1) /
                                                     channels_ * channels_;
  if (sounding == 0 && held_.size() + block.size() <= longestHeld_) {
    held_.insert(held_.end(), block.begin(), block.end());
    return {};
  }
  const size_t kept = sounding == 0 ? block.size() : std::min(sounding, block.size());
  into.assign(held_.begin(), held_.end());
  into.insert(into.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(kept));
  held_.assign(block.begin() + static_cast<std::ptrdiff_t>(kept), block.end());
  return into;
}

}  // namespace brovana
