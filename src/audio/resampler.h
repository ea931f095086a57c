#pragma once
// Sample-rate conversion of 16-bit interleaved PCM, for the stream side of the playlist engine:
// the decoded blocks are played at the file's own rate and handed to the conversion stage at
// the stream's rate, so that the MP3 encoder gets PCM it need not resample itself (its own
// resampler costs more than encoding); and for the capture, from the rate a sound card records
// at to the one asked for. The platform makes them (src/platform/ has the one on libsoxr).

#include <cstdint>
#include <functional>
#include <memory>
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

// Makes resamplers between two different rates; none when it cannot.
using ResamplerFactory = std::function<std::unique_ptr<Resampler>(int fromRate, int toRate, int channels)>;

}  // namespace brovana
