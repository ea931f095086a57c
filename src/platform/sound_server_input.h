#pragma once
// The recording path on a sound server (PulseAudio, PipeWire). The server offers the desktop's
// default input, chosen in its own settings, and a monitor of its default output, but no
// card-like choice of line-in, microphone or CD with a volume each. The studio keeps that
// choice here: the sound-server mixer model shows it as a list control of four items and
// volume controls for line-in, microphone and CD, and the capture device records the monitor
// when "Stereo Mixer" is chosen, the default input otherwise, at the chosen item's volume.
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
  };
  static constexpr std::array<Item, 4> kItems = {{{"Line In", kLineLineIn},
                                                  {"Microphone", kLineMicrophone},
                                                  {"CD Audio", kLineCompactDisc},
                                                  {"Stereo Mixer", kLineLineIn}}};
  static constexpr int kMonitorItem = 3;

  void choose(int item) { chosen_.store(item); }
  int chosen() const { return chosen_.load(); }
  bool monitor() const { return chosen() == kMonitorItem; }

  // Volumes of the items other than the monitor, which records at full volume.
  void setVolume(int item, int volume) { volumes_[static_cast<size_t>(item)].store(volume); }
  int volume() const {
    int item = chosen();
    return item == kMonitorItem ? kMaxVolume : volumes_[static_cast<size_t>(item)].load();
  }

  // Scales the samples by the chosen item's volume.
  void apply(int16_t* samples, long count) const {
    int gain = volume();
    if (gain >= kMaxVolume) return;
    for (long i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(samples[i] * gain / kMaxVolume);
  }

 private:
  std::atomic<int> chosen_{0};
  std::array<std::atomic<int>, kMonitorItem> volumes_{kMaxVolume, kMaxVolume, kMaxVolume};
};

}  // namespace brovana
