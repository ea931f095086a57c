#pragma once
// --record-split: the recording of a stream handed over in whole MP3 frames (as the encoder gives
// them) is cut into parts of a given length of audio, between two frames, so that no audio is lost
// or doubled at a cut. The length is counted in the stream's own frames, not by the clock, so a
// stream that stalls does not make a part short.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace brovana {

class Mp3Splitter {
 public:
  explicit Mp3Splitter(int partSeconds) : partSeconds_(partSeconds) {}
  // Counts the block's frames. The offset of the frame with which the next part begins, when the
  // part under way reached its length in this block; npos when not. What does not parse as a
  // frame ends the count of the block.
  size_t cutIn(const std::vector<uint8_t>& block);
  int partSeconds() const { return static_cast<int>(partSeconds_); }

 private:
  const double partSeconds_;
  double seconds_ = 0;  // of the part under way
};

// PATH with the start time before its extension: rec.mp3 -> rec-20261207-172500.mp3.
std::string partName(const std::string& path, std::time_t start);

}  // namespace brovana
