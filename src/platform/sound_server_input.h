#pragma once
// The recording path on a sound server (PulseAudio, PipeWire). The server offers the desktop's
// default input, chosen in its own settings, and a monitor of its default output, but no
// card-like choice of line-in, microphone or CD with a volume each. The studio keeps that
// choice here: the sound-server mixer model shows it as a list control of four items and
// volume controls for line-in, microphone and CD, and the capture device records the chosen
// item's input at its volume. A CD plays through the output (the member's player), so CD audio
// and the system mix are the output's monitor; line-in and the microphone the default input.
// The desktop's own volumes stay as the member set them. Without a sound server nothing
// chooses here, and the capture records the default input at full volume.
//
// Threads: the mixer writes from the user-interface thread, the capture reads on its own.

#include <array>
#include <atomic>
#include <cstdint>

#include "audio/mixer.h"

namespace brovana {

class SoundServerInput {
 public:
  struct Item {
    const char* name;
    int componentType;
    bool monitor;  // the output's monitor rather than the default input
  };
  static constexpr std::array<Item, 4> kItems = {{{"Line In", kLineLineIn, false},
                                                  {"Microphone", kLineMicrophone, false},
                                                  {"CD Audio", kLineCompactDisc, true},
                                                  {"Stereo Mixer", kLineLineIn, true}}};
  // The system mix, which has no volume of its own.
  static constexpr int kMixItem = 3;

  void choose(int item) { chosen_.store(item); }
  int chosen() const { return chosen_.load(); }
  bool monitor() const { return kItems[static_cast<size_t>(chosen())].monitor; }

  // Volumes of the items other than the system mix, which records at full volume.
  void setVolume(int item, int volume) { volumes_[static_cast<size_t>(item)].store(volume); }
  int volume() const {
    int item = chosen();
    return item == kMixItem ? kMaxVolume : volumes_[static_cast<size_t>(item)].load();
  }

  // Scales the samples by the chosen item's volume.
  void apply(int16_t* samples, long count) const {
    int gain = volume();
    if (gain >= kMaxVolume) return;
    for (long i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(samples[i] * gain / kMaxVolume);
  }

 private:
  std::atomic<int> chosen_{0};
  std::array<std::atomic<int>, kMixItem> volumes_{kMaxVolume, kMaxVolume, kMaxVolume};
};

}  // namespace brovana
