#pragma once
// A broadcast leveller and limiter for 16-bit interleaved PCM at any rate and channel count, the
// processing a low-bit-rate station wants before its encoder: every track about as loud as the
// last, and no peak that the encoder or the listener's player would clip.
//
// Two stages share one gain across the channels:
// - the leveller, a slow feed-forward gain. Its detector is the mean square over the last
//   400 ms (the window of a momentary loudness meter), read as the peak level of a sine of that
//   power (so a tone at -30 dBFS reads -30).
//   The gain steers that level to the target: up by at most maxBoostDb (the make-up gain) with
//   the release time, down by at most maxCutDb with the attack time. Below the gate (pauses,
//   fades, noise) it holds, so silence is not pumped up.
// - the limiter, which looks ahead and lowers the gain smoothly before any peak that would pass
//   the ceiling. Peaks are also estimated half-way between samples, so the ceiling holds for the
//   wave a player reconstructs, not only for the samples.
// The output runs latencyFrames() behind the input.

#include <cstdint>
#include <vector>

namespace leveller {

struct Settings {
  bool level = true;  // false: the limiter alone
  double targetDb = -14;
  double gateDb = -50;
  double maxBoostDb = 18;
  double maxCutDb = 18;
  double detectorMs = 400;
  double attackMs = 300;
  double releaseMs = 2000;
  double ceilingDb = -1;
  double lookaheadMs = 1.5;
  double limiterReleaseMs = 60;
};

class Leveller {
 public:
  explicit Leveller(const Settings& settings = {});

  // In place; a change of rate or channel count starts the limiter afresh (the leveller's gain
  // carries on).
  void process(int16_t* samples, int frames, int channels, int rate);

  double gainDb() const { return gainDb_; }
  int latencyFrames() const { return lookahead_ + 1; }

 private:
  // The frames between two moves of the leveller's gain.
  static constexpr int kControlFrames = 32;

  // The sum of the last size() values added (the detector's window, the limiter's smoothing).
  class MovingSum {
   public:
    void reset(int size, double fill);
    double add(double value);
    int size() const { return static_cast<int>(values_.size()); }

   private:
    std::vector<double> values_;
    int pos_ = 0;
    double sum_ = 0;
  };

  // The last three levelled samples of a channel and the half-way estimate before the last.
  struct History {
    float y1 = 0, y2 = 0, y3 = 0;
    float mid = 0;
  };

  void configure(int channels, int rate);
  // Once per control block: the block's power joins the detector's window, and the gain moves.
  void steerGain();
  // The limiter's gain for the frame leaving the delay line, given the gain the frame two
  // behind the newest one needs.
  float limiterGain(float needed);

  Settings settings_;
  float ceiling_;
  int channels_ = 0;
  int rate_ = 0;

  // Leveller: the power of the control blocks in the detector's window, and of the block
  // being summed.
  MovingSum windowPower_;
  int blocksFilled_ = 0;
  double power_ = 0;
  int controlCount_ = 0;
  double gainDb_ = 0;
  float levelGain_ = 1;
  float levelStep_ = 0;
  double attackCoef_ = 0;
  double releaseCoef_ = 0;

  // Limiter: the delay line, the window of needed gains (a queue of rising minima), the release
  // and the running mean that smooths the gain over the lookahead.
  int lookahead_ = 1;
  std::vector<float> delay_;
  int delayPos_ = 0;
  std::vector<History> history_;
  struct Needed {
    int64_t frame;
    float gain;
  };
  std::vector<Needed> window_;
  int windowHead_ = 0;
  int windowSize_ = 0;
  int64_t frame_ = 0;
  float released_ = 1;
  float limiterReleaseCoef_ = 0;
  MovingSum smooth_;
};

}  // namespace leveller
