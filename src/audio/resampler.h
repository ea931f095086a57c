#pragma once
// Sample-rate conversion of 16-bit interleaved PCM, for the stream side of the playlist engine:
// the decoded blocks are played at the file's own rate, and handed to the conversion stage at
// the stream's rate, so that the MP3 encoder gets PCM it need not resample itself (its own
// resampler costs more than encoding). A polyphase windowed-sinc filter of the class of
// ffmpeg's default resampler: 32 taps per phase at the lower of the two rates, cutoff at 97 %
// of the lower Nyquist frequency, Kaiser window with beta 9.

#include <cstdint>
#include <span>
#include <vector>

namespace brovana {

class Resampler {
 public:
  // Rates in Hz (positive), one to eight channels.
  Resampler(int fromRate, int toRate, int channels);

  int fromRate() const { return fromRate_; }
  int toRate() const { return toRate_; }
  int channels() const { return channels_; }
  // Same rates: blocks go through untouched.
  bool passThrough() const { return fromRate_ == toRate_; }

  // Converts one block (whole frames) and appends the result to `out`. The filter's history
  // carries over from block to block, so a track converts as one piece.
  void process(std::span<const int16_t> in, std::vector<int16_t>& out);
  // The end of a track: what the filter still holds, then a fresh start.
  void drain(std::vector<int16_t>& out);
  // Forgets the history (a new track).
  void reset();

 private:
  int fromRate_;
  int toRate_;
  int channels_;
  int up_ = 1;                       // L: phases
  int down_ = 1;                     // M: input step per output sample, in phases
  int taps_ = 0;                     // per phase, padded to whole groups
  long long centre_ = 0;             // of the prototype filter, in phases
  std::vector<float> coefficients_;  // phase-major, taps_ each, newest input first
  // Input history per channel, oldest first; the last taps_ - 1 frames of the previous block
  // stay in front of the new ones.
  std::vector<std::vector<float>> history_;
  long long phase_ = 0;  // position of the next output sample, in phases from history_ start
};

}  // namespace brovana
