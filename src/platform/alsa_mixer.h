#pragma once
// The system's default ALSA mixer as the mixer model. On a sound card: a recording destination
// whose first control is the card's capture-source enumeration (a list control) when it has
// one, with a source line per capture element (its capture switch an on/off control, its
// capture volume a volume); a speakers destination with a source line per playback element
// (its switch a mute control, its volume a volume; "PCM" is the wave output). On a sound
// server the recording choice is the studio's own (SoundServerInput) and the desktop's
// volumes are left alone. Without a mixer the model has no destinations.

#include <memory>
#include <string>
#include <vector>

#include "audio/mixer.h"
#include "platform/sound_server_input.h"

struct _snd_mixer;
struct _snd_mixer_elem;

namespace brovana {

class AlsaMixerModel final : public MixerModel {
 public:
  explicit AlsaMixerModel(std::shared_ptr<SoundServerInput> soundServer);
  ~AlsaMixerModel() override;
  AlsaMixerModel(const AlsaMixerModel&) = delete;
  AlsaMixerModel& operator=(const AlsaMixerModel&) = delete;

  std::vector<MixerLine> destinations() override;
  std::vector<MixerLine> sources(const MixerLine& destination) override;
  std::vector<MixerControlInfo> controls(const MixerLine& line) override;
  std::vector<MixerItem> listItems(const MixerControlInfo& control) override;
  bool setValues(const MixerControlInfo& control, const std::vector<int>& values) override;

 private:
  struct Control {
    explicit Control(MixerControlType type, _snd_mixer_elem* element = nullptr, bool capture = false)
        : type(type), element(element), capture(capture) {}
    MixerControlType type;
    _snd_mixer_elem* element = nullptr;  // none: a control of the sound-server path
    bool capture = false;
    int serverItem = -1;  // the sound-server item whose volume it is
    std::vector<MixerItem> items;
  };
  struct Line {
    MixerLine info;
    std::vector<int> controls;
    std::vector<int> sources;
  };

  void addSoundServerLines();
  void addCardLines();
  int addLine(int destination, int componentType, const std::string& name);
  void addControl(int line, Control control);
  bool setCardValues(const Control& control, const std::vector<int>& values);
  const Line* line(const MixerLine& info) const;

  std::shared_ptr<SoundServerInput> soundServer_;
  _snd_mixer* mixer_ = nullptr;
  std::vector<Line> lines_;  // the two destinations first; ids are indexes
  std::vector<Control> controls_;
};

}  // namespace brovana
