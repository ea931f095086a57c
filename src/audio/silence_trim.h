#pragma once
// Leaves out the silence at the start and the end of a track: samples below -60 dBFS. Silence
// inside a track is kept; it is held back until sound follows, so that what is still held when
// the track ends was its closing silence.

#include <cstdint>
#include <span>
#include <vector>

namespace brovana {

class SilenceTrim {
 public:
  explicit SilenceTrim(int channels, int sampleRate);
  // What of the block may be played now (in `into`, or a part of the block itself): nothing
  // before the first sound, and silence only once sound follows it.
  std::span<const int16_t> take(std::span<const int16_t> block, std::vector<int16_t>& into);

 private:
  const size_t channels_;
  const size_t longestHeld_;  // a silence this long goes out anyway: a pause, not an ending
  bool begun_ = false;
  std::vector<int16_t> held_;
};

}  // namespace brovana
