#pragma once
// The live-input windows: "Crossfade", the voiceover panel (the microphone button and the
// balance between microphone and music), and "Volume Controls" (the recording volumes of the
// microphone, CD and line-in). Both are thin: what they do goes to the Studio, through the
// actions they are given; the microphone button's rule is broadcast/microphone_switch.h's.

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "broadcast/microphone_switch.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class Prompts;
class Studio;

// The Crossfade window's actions on the Studio.
VoiceoverActions voiceoverActions(Studio& studio);

class CrossfadePanel final : public VoiceoverPanel {
 public:
  static constexpr int kSliderMax = kCrossfadeMax;
  static constexpr int kSliderStep = 9362;

  // Shows the window, the slider at the crossfade's starting position (which the studio applies).
  CrossfadePanel(VoiceoverActions actions, Prompts& prompts);
  // May come from a worker thread: the window goes on its own thread.
  ~CrossfadePanel() override;
  void showMicrophone(bool live) override;
  void setSkin(const std::string& path) override;

  QDialog& window();

 private:
  class Window;
  struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
  };
  std::unique_ptr<Window, DeleteLater> window_;  // deleted on the GUI thread, whoever closes
};

class VolumeControlsWindow final : public VolumeWindow {
 public:
  static constexpr int kSliderMax = 65536;
  static constexpr int kSliderStep = 8192;
  using SetVolume = std::function<void(Source source, int volume)>;

  // Hidden until shown; every slider at `initialVolume`. A slider the member moves sets the
  // volume of its source through `setVolume`.
  VolumeControlsWindow(int initialVolume, SetVolume setVolume);

  int volume(Line line) const override;
  // A stored value: the slider shows it.
  void setVolume(Line line, int value) override;
  void show() override;
  void setSkin(const std::string& path) override;

 private:
  QDialog window_;
  QGridLayout grid_{&window_};
  std::array<QLabel, 3> captions_;  // by Line
  std::array<QSlider, 3> sliders_;
  std::array<std::atomic<int>, 3> values_;
};

}  // namespace brovana
