#include "audio/track_mixer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brovana {
namespace {

int16_t clamped(double value) {
  return static_cast<int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

// The samples at another channel count: mono to both sides, stereo mixed down.
std::vector<int16_t> toChannels(const std::vector<int16_t>& samples, int from, int to) {
  if (from == to || from <= 0 || to <= 0) return samples;
  std::vector<int16_t> out;
  if (to == 1) {
    for (size_t i = 0; i + 1 < samples.size(); i += 2)
      out.push_back(clamped((samples[i] + samples[i + 1]) / 2.0));
  } else {
    for (int16_t s : samples) out.insert(out.end(), {s, s});
  }
  return out;
}

}  // namespace

void TrackMixer::setSeconds(double seconds) {
  seconds_ = std::clamp(seconds, 0.0, 10.0);
}

void TrackMixer::begin(PcmFormat format) {
  if (!delay_.empty()) end();  // a track that was cut short leaves what it held to this one
  // A tail at another rate would play at the wrong speed under this track.
  if (format.sampleRate != format_.sampleRate) tail_.clear();
  tail_ = toChannels(tail_, format_.channels, format.channels);
  format_ = format;
  tailAt_ = 0;
  tailFrames_ = format.channels > 0 ? tail_.size() / static_cast<size_t>(format.channels) : 0;
  emittedFrames_ = 0;
}

void TrackMixer::mixIn(std::span<const int16_t>& samples) {
  const size_t n = std::min(samples.size(), tail_.size() - tailAt_);
  mixed_.resize(n);
  const size_t channels = static_cast<size_t>(std::max(format_.channels, 1));
  for (size_t i = 0; i < n; ++i) {
    const double share = static_cast<double>((tailAt_ + i) / channels) / static_cast<double>(tailFrames_);
    const double angle = share * std::numbers::pi / 2;
    mixed_[i] = clamped(tail_[tailAt_ + i] * std::cos(angle) + samples[i] * std::sin(angle));
  }
  tailAt_ += n;
  delay_.insert(delay_.end(), mixed_.begin(), mixed_.end());
  samples = samples.subspan(n);
}

void TrackMixer::add(std::span<const int16_t> samples, const Send& send) {
  if (!active()) {
    emittedFrames_ += samples.size() / static_cast<size_t>(std::max(format_.channels, 1));
    return send(samples);
  }
  if (overlapping()) mixIn(samples);
  delay_.insert(delay_.end(), samples.begin(), samples.end());
  sendBeyondDelay(send);
}

void TrackMixer::sendBeyondDelay(const Send& send) {
  const size_t held =
      static_cast<size_t>(seconds_ * format_.sampleRate) * static_cast<size_t>(format_.channels);
  if (delay_.size() <= held) return;
  const size_t out = delay_.size() - held;
  send(std::span<const int16_t>(delay_.data(), out));
  emittedFrames_ += out / static_cast<size_t>(std::max(format_.channels, 1));
  delay_.erase(delay_.begin(), delay_.begin() + static_cast<std::ptrdiff_t>(out));
}

std::vector<int16_t> TrackMixer::takeHeld() {
  std::vector<int16_t> held;
  held.swap(delay_);
  // A track shorter than the overlap: what it held was mixed with the tail's start, the rest of the
  // tail comes after it.
  if (overlapping())
    held.insert(held.end(), tail_.begin() + static_cast<std::ptrdiff_t>(tailAt_), tail_.end());
  tail_.clear();
  tailAt_ = 0;
  tailFrames_ = 0;
  return held;
}

void TrackMixer::end() {
  tail_ = takeHeld();
}

void TrackMixer::flush(const Send& send, bool fadeOut) {
  std::vector<int16_t> rest = takeHeld();
  const size_t channels = static_cast<size_t>(std::max(format_.channels, 1));
  const size_t frames = rest.size() / channels;
  for (size_t i = 0; fadeOut && i < rest.size(); ++i)
    rest[i] = clamped(rest[i] * std::cos(static_cast<double>(i / channels) / std::max<size_t>(frames, 1) *
                                         std::numbers::pi / 2));
  if (!rest.empty()) send(rest);
}

}  // namespace brovana
