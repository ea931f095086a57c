#pragma once
// Sample-rate conversion of 16-bit interleaved PCM, for the stream side of the playlist engine:
// the decoded blocks are played at the file's own rate and handed to the conversion stage at
// the stream's rate, so that the MP3 encoder gets PCM it need not resample itself (its own
// resampler costs more than encoding). The decoder library makes them (src/platform/ has the
// one on libsoxr).

#include <cstdint>
#include <span>
#include <vector>

namespace brovana {

class Resampler {
 public:
  virtual ~Resampler() = default;

  // Converts one block (whole frames) and appends the result to `out`. The filter's history
  // carries over from block to block, so that a track converts as one piece, and the output
  // keeps the input's timing.
  virtual void process(std::span<const int16_t> in, std::vector<int16_t>& out) = 0;
  // The end of a track: what the filter still holds. Nothing may follow.
  virtual void drain(std::vector<int16_t>& out) = 0;
};

}  // namespace brovana
