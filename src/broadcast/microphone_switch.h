#pragma once
// The voiceover panel's microphone button, apart from its window: on the air a press turns the
// microphone on beside the playlist, and off again; off the air it tells the member why nothing
// happens. The panel (app/live_windows.h) shows the caption, forwards the presses and passes on
// what the studio says of the microphone. Closing the panel ends the voiceover in the studio
// (SourceDesk::closeVoiceoverPanel).

#include <functional>

namespace brovana {

class Prompts;

// The crossfade slider's positions, 0 (microphone only) to kCrossfadeMax (music only), and
// where a new panel puts it: both sounding, the microphone not muted.
inline constexpr int kCrossfadeMax = 65536;
inline constexpr int kCrossfadeStart = kCrossfadeMax / 2;

// What the voiceover panel asks of the studio.
struct VoiceoverActions {
  std::function<bool()> broadcasting;
  // The microphone beside the playlist; the studio says later whether it opened.
  std::function<void()> start;
  std::function<void()> stop;
  std::function<void(int position)> balance;
  std::function<void()> closed;  // the member closed the panel
};

class MicrophoneSwitch {
 public:
  // Both outlive the switch.
  MicrophoneSwitch(VoiceoverActions& actions, Prompts& prompts) : actions_(actions), prompts_(prompts) {}

  // Shows the new state at once; the studio corrects it when the microphone does not open.
  void press();
  // What the studio says: the microphone went into the mix or out of it.
  void follow(bool live) { on_ = live; }
  bool on() const { return on_; }
  const char* caption() const { return on_ ? "Turn Mic Off" : "Turn Mic On"; }

 private:
  VoiceoverActions& actions_;
  Prompts& prompts_;
  bool on_ = false;
};

}  // namespace brovana
