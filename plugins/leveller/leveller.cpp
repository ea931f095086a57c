#include "leveller.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace leveller {
namespace {

constexpr float kScale = 1.0f / 32768.0f;
// The mean square of a sine is half its peak squared: +3 dB reads a tone at its peak level.
constexpr double kSineDb = 3.0103;

double decibelsToGain(double db) {
  return std::pow(10.0, db / 20.0);
}

// The per-step coefficient of a one-pole smoother with time constant `ms`, stepping `frames`.
double smoothing(double ms, int frames, int rate) {
  return 1.0 - std::exp(-frames * 1000.0 / (ms * rate));
}

int16_t toSample(float value) {
  float scaled = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
  return static_cast<int16_t>(scaled + (scaled >= 0 ? 0.5f : -0.5f));
}

}  // namespace

void Leveller::MovingSum::reset(int size, double fill) {
  values_.assign(size, fill);
  pos_ = 0;
  sum_ = size * fill;
}

double Leveller::MovingSum::add(double value) {
  sum_ += value - values_[pos_];
  values_[pos_] = value;
  pos_ = (pos_ + 1) % size();
  return sum_;
}

Leveller::Leveller(const Settings& settings)
    : settings_(settings), ceiling_(static_cast<float>(decibelsToGain(settings.ceilingDb))) {}

void Leveller::configure(int channels, int rate) {
  channels_ = channels;
  rate_ = rate;
  int window =
      std::max(1, static_cast<int>(std::lround(settings_.detectorMs * rate / 1000.0 / kControlFrames)));
  windowPower_.reset(window, 0.0);
  blocksFilled_ = controlCount_ = 0;
  power_ = 0;
  attackCoef_ = smoothing(settings_.attackMs, kControlFrames, rate);
  releaseCoef_ = smoothing(settings_.releaseMs, kControlFrames, rate);
  limiterReleaseCoef_ = static_cast<float>(smoothing(settings_.limiterReleaseMs, 1, rate));

  lookahead_ = std::max(1, static_cast<int>(std::lround(settings_.lookaheadMs * rate / 1000.0)));
  // The frame two behind the newest is judged (its half-way neighbours need the newest), and it
  // leaves the line lookahead - 1 frames after that.
  delay_.assign(static_cast<size_t>(lookahead_ + 2) * channels, 0.0f);
  delayPos_ = 0;
  history_.assign(channels, History{});
  window_.assign(lookahead_ + 1, Needed{});
  windowHead_ = windowSize_ = 0;
  frame_ = 0;
  released_ = 1;
  smooth_.reset(lookahead_, 1.0);
}

void Leveller::steerGain() {
  double windowPower = windowPower_.add(power_);
  blocksFilled_ = std::min(blocksFilled_ + 1, windowPower_.size());
  power_ = 0;
  // The running sum may drift a hair below zero after long silence.
  double meanSquare = std::max(windowPower, 0.0) / (blocksFilled_ * kControlFrames);
  double levelDb = 10.0 * std::log10(meanSquare + 1e-12) + kSineDb;
  if (levelDb > settings_.gateDb) {
    double wanted = std::clamp(settings_.targetDb - levelDb, -settings_.maxCutDb, settings_.maxBoostDb);
    gainDb_ += (wanted < gainDb_ ? attackCoef_ : releaseCoef_) * (wanted - gainDb_);
  }
  levelStep_ = (static_cast<float>(decibelsToGain(gainDb_)) - levelGain_) / kControlFrames;
}

float Leveller::limiterGain(float needed) {
  // The least gain needed over the lookahead window: a queue of rising minima.
  int capacity = static_cast<int>(window_.size());
  while (windowSize_ > 0 && window_[(windowHead_ + windowSize_ - 1) % capacity].gain >= needed) --windowSize_;
  window_[(windowHead_ + windowSize_) % capacity] = {frame_, needed};
  ++windowSize_;
  if (window_[windowHead_].frame <= frame_ - lookahead_) {
    windowHead_ = (windowHead_ + 1) % capacity;
    --windowSize_;
  }
  ++frame_;
  // Down at once, up with the release; then the mean over the lookahead, which reaches every
  // minimum by the time its frame leaves the delay line and never lies above it.
  released_ = std::min(window_[windowHead_].gain, released_ + (1.0f - released_) * limiterReleaseCoef_);
  return static_cast<float>(smooth_.add(released_) / lookahead_);
}

void Leveller::process(int16_t* samples, int frames, int channels, int rate) {
  if (channels <= 0 || rate <= 0) return;
  if (channels != channels_ || rate != rate_) configure(channels, rate);
  const int delayFrames = lookahead_ + 2;
  for (int i = 0; i < frames; ++i) {
    int16_t* frame = samples + static_cast<std::ptrdiff_t>(i) * channels;
    if (settings_.level) {
      float power = 0;
      for (int c = 0; c < channels; ++c) {
        float x = frame[c] * kScale;
        power += x * x;
      }
      power_ += power / channels;
      if (++controlCount_ == kControlFrames) {
        controlCount_ = 0;
        steerGain();
      }
      levelGain_ += levelStep_;
    }

    // The levelled frame goes into the delay line; the oldest one comes out.
    float* newest = &delay_[static_cast<size_t>(delayPos_) * channels];
    int oldestPos = (delayPos_ + 1) % delayFrames;
    const float* oldest = &delay_[static_cast<size_t>(oldestPos) * channels];
    float peak = 0;
    for (int c = 0; c < channels; ++c) {
      float y = frame[c] * kScale * levelGain_;
      History& h = history_[c];
      // Half-way between the two frames before this one (4-tap interpolation), next to the
      // half-way point before them: the frame two behind is judged by its own sample and both.
      float mid = (9.0f * (h.y2 + h.y1) - h.y3 - y) * (1.0f / 16.0f);
      peak = std::max({peak, std::fabs(h.y2), std::fabs(h.mid), std::fabs(mid)});
      h.y3 = h.y2;
      h.y2 = h.y1;
      h.y1 = y;
      h.mid = mid;
      newest[c] = y;
    }
    float gain = limiterGain(peak > ceiling_ ? ceiling_ / peak : 1.0f);
    for (int c = 0; c < channels; ++c) frame[c] = toSample(oldest[c] * gain);
    delayPos_ = oldestPos;
  }
}

}  // namespace leveller
