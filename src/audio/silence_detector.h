#pragma once
// Tells silence from sound in a stream of 16-bit PCM: the stream falls silent once every block
// has stayed below a level (in dBFS, by its peak) for a while, and has sound again once its
// blocks stay at or above it for a while. Time is counted in sample frames, so the answer does not
// depend on how the stream is cut into blocks or how fast it is fed.
//
// Not thread-safe: one feeder.

#include <cstdint>

#include "audio/pcm_format.h"

namespace brovana {

struct SilenceRule {
  double levelDb = -50;       // a block whose peak stays below this is silent
  double silentSeconds = 15;  // silence this long is dead air
  double soundSeconds = 0;    // sound this long ends it (0: the first block with sound)
};

class SilenceDetector {
 public:
  enum class Change { None, SilenceBegan, SoundReturned };

  explicit SilenceDetector(const SilenceRule& rule);

  // `length` bytes of interleaved 16-bit samples; a sample split between two calls is joined.
  Change feed(const uint8_t* pcm, int length, const PcmFormat& format);
  // Whether the last block had sound in it.
  bool heard() const { return heard_; }
  // Starts counting afresh, from silence or from sound.
  void reset(bool silent);

 private:
  const int peakLimit_;  // the least sample magnitude that counts as sound
  const SilenceRule rule_;
  bool silent_ = false;
  bool heard_ = false;
  double runSeconds_ = 0;  // how long the stream has been the opposite of what it counts as
  int carry_ = -1;         // the first byte of a split sample, or -1
};

}  // namespace brovana
