#pragma once
// The crossfade between tracks, at the stream's rate: the last seconds of a track are held back
// and laid under the first seconds of the next with equal-power curves (cosine out, sine in), so
// that two tracks of the same loudness keep it through the change. Whatever goes out goes out
// once, so the sound card and the stream keep to one timeline.
//
// Used by the playlist engine's worker only.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "audio/pcm_format.h"

namespace brovana {

class TrackMixer {
 public:
  using Send = std::function<void(std::span<const int16_t>)>;

  // 0 to 10 seconds; 0 holds nothing back.
  void setSeconds(double seconds);
  bool active() const { return seconds_ > 0; }
  // A track begins at this format; the held end of the last one is brought to its channels.
  void begin(PcmFormat format);
  // Samples of the track; `send` gets what may go out now.
  void add(std::span<const int16_t> samples, const Send& send);
  // The track ended by itself: its last seconds wait for the next one.
  void end();
  // Nothing follows (a stop, the end of the list): what is held goes out now, faded out for a stop.
  void flush(const Send& send, bool fadeOut);
  // Something of a track is held back.
  bool holding() const { return !tail_.empty() || !delay_.empty(); }
  // The end of the last track is still being laid under this one.
  bool overlapping() const { return tailAt_ < tail_.size(); }
  // Past the middle of the overlap: the new track is now the louder of the two.
  bool newTrackLeads() const { return emittedFrames_ * 2 >= tailFrames_; }

 private:
  void mixIn(std::span<const int16_t>& samples);
  void sendBeyondDelay(const Send& send);
  std::vector<int16_t> takeHeld();

  double seconds_ = 0;
  PcmFormat format_;
  std::vector<int16_t> delay_;  // the track's last seconds so far, not yet out
  std::vector<int16_t> tail_;   // the last track's end, at format_'s channels
  std::vector<int16_t> mixed_;
  size_t tailAt_ = 0;
  size_t tailFrames_ = 0;
  size_t emittedFrames_ = 0;  // of the track that plays
};

}  // namespace brovana
