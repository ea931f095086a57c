#include "app/live_windows.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QSignalBlocker>

#include "app/gui_thread.h"
#include "app/skin/skin.h"
#include "app/window_places.h"
#include "broadcast/studio.h"
#include "core/prompts.h"

namespace brovana {
namespace {

void setUpSlider(QSlider& slider, int maximum, int step, int value) {
  slider.setOrientation(Qt::Horizontal);
  slider.setRange(0, maximum);
  slider.setSingleStep(step);
  slider.setPageStep(step);
  slider.setTickInterval(step);
  slider.setTickPosition(QSlider::TicksBelow);
  slider.setValue(value);
}

constexpr struct {
  Volumes::Line line;
  Source source;
  const char* caption;
} kVolumeLines[] = {{Volumes::Cd, Source::Cd, "CD"},
                    {Volumes::LineIn, Source::LineIn, "Line In"},
                    {Volumes::Mic, Source::Microphone, "Microphone"}};

}  // namespace

VoiceoverActions voiceoverActions(Studio& studio) {
  return {[&studio] { return studio.onAir() != OnAir::Off; }, [&studio] { studio.startVoiceover(); },
          [&studio] { studio.stopVoiceover(); },
          [&studio](int position) { studio.sources().setVoiceoverBalance(position); },
          [&studio] { studio.sources().closeVoiceoverPanel(); }};
}

class CrossfadePanel::Window final : public QDialog {
 public:
  Window(VoiceoverActions actions, Prompts& prompts)
      : actions_(std::move(actions)), micSwitch_(actions_, prompts) {
    setWindowTitle("Crossfade");
    rememberPlace(*this, "Crossfade");
    slider_.setObjectName("crossfadeSlider");
    setUpSlider(slider_, kSliderMax, kSliderStep, kCrossfadeStart);
    slider_.setToolTip("Move towards the left to increase microphone input and decrease MP3 volume");
    button_.setObjectName("micButton");
    button_.setText(micSwitch_.caption());
    button_.setToolTip("Turns on/off the microphone");
    row_.addWidget(&microphone_);
    row_.addWidget(&slider_, 1);
    row_.addWidget(&music_);
    layout_.addLayout(&row_);
    layout_.addWidget(&button_);
    connect(&slider_, &QSlider::valueChanged, this, [this](int position) { actions_.balance(position); });
    connect(&button_, &QPushButton::clicked, this, [this] {
      micSwitch_.press();
      button_.setText(micSwitch_.caption());
    });
  }

  void showMicrophone(bool live) {
    micSwitch_.follow(live);
    button_.setText(micSwitch_.caption());
  }

 protected:
  // Closing the window (or Esc) closes the panel, which ends a voiceover that is on.
  void done(int result) override {
    QDialog::done(result);
    actions_.closed();
  }

 private:
  VoiceoverActions actions_;
  MicrophoneSwitch micSwitch_;  // the button's rule
  QVBoxLayout layout_{this};
  QHBoxLayout row_;
  QLabel microphone_{"Microphone"};
  QSlider slider_;
  QLabel music_{"Music"};
  QPushButton button_;
};

CrossfadePanel::CrossfadePanel(VoiceoverActions actions, Prompts& prompts)
    : window_(std::make_unique<Window>(std::move(actions), prompts).release()) {
  applySkin(*window_, currentSkin());
  window_->show();
}

CrossfadePanel::~CrossfadePanel() = default;

QDialog& CrossfadePanel::window() {
  return *window_;
}

void CrossfadePanel::showMicrophone(bool live) {
  postTo(window_.get(), [window = window_.get(), live] { window->showMicrophone(live); });
}

void CrossfadePanel::setSkin(const std::string& path) {
  applySkin(*window_, skinFor(path));
}

VolumeControlsWindow::VolumeControlsWindow(int initialVolume, SetVolume setVolume)
    : values_{initialVolume, initialVolume, initialVolume} {
  window_.setWindowTitle("Volume Controls");
  rememberPlace(window_, "VolumeControls");
  for (const auto& entry : kVolumeLines) {
    QSlider& slider = sliders_[entry.line];
    slider.setObjectName(QString("volume") + QString(entry.caption).remove(' '));
    setUpSlider(slider, kSliderMax, kSliderStep, initialVolume);
    captions_[entry.line].setText(entry.caption);
    grid_.addWidget(&captions_[entry.line], entry.line, 0);
    grid_.addWidget(&slider, entry.line, 1);
    QObject::connect(&slider, &QSlider::valueChanged, &window_, [this, entry, setVolume](int value) {
      values_[entry.line] = value;
      setVolume(entry.source, value);
    });
  }
  applySkin(window_, currentSkin());
}

int VolumeControlsWindow::volume(Line line) const {
  return values_[line].load();
}

void VolumeControlsWindow::setVolume(Line line, int value) {
  values_[line] = value;
  QSignalBlocker quiet(sliders_[line]);
  sliders_[line].setValue(value);
}

void VolumeControlsWindow::setSkin(const std::string& path) {
  applySkin(window_, skinFor(path));
}

void VolumeControlsWindow::show() {
  window_.show();
  window_.raise();
}

}  // namespace brovana
