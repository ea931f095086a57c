#include "platform/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cctype>

#include "platform/portaudio_output.h"

namespace brovana {
namespace {

constexpr int kRecording = 0;
constexpr int kSpeakers = 1;

bool contains(const std::string& name, const char* part) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower.find(part) != std::string::npos;
}

// The source a mixer element or list item stands for, by its name. A mix of everything
// ("Stereo Mix", "Monitor") is a line-type input, as such inputs were on the cards this
// program was made for.
int componentTypeOf(const std::string& name) {
  static constexpr struct {
    const char* part;
    int type;
  } kNames[] = {{"mic", kLineMicrophone}, {"line", kLineLineIn}, {"cd", kLineCompactDisc},
                {"aux", kLineAuxiliary},  {"mix", kLineLineIn},  {"monitor", kLineLineIn},
                {"pcm", kLineWaveOut},    {"wave", kLineWaveOut}};
  for (const auto& entry : kNames)
    if (contains(name, entry.part)) return entry.type;
  return 0;
}

// The 0..65535 scale on an element's own range.
long scaled(int value, long min, long max) {
  return min + (max - min) * value / kMaxVolume;
}

}  // namespace

AlsaMixerModel::AlsaMixerModel(std::shared_ptr<SoundServerInput> soundServer)
    : soundServer_(std::move(soundServer)) {
  quietSoundSystem();
  if (snd_mixer_open(&mixer_, 0) < 0) {
    mixer_ = nullptr;
    return;
  }
  snd_hctl_t* hctl = nullptr;
  if (snd_mixer_attach(mixer_, "default") < 0 || snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer_) < 0 || snd_mixer_get_hctl(mixer_, "default", &hctl) < 0) {
    snd_mixer_close(mixer_);
    mixer_ = nullptr;
    return;
  }
  lines_.push_back({{kRecording, kDestinationRecording, 2, "Recording"}, {}, {}});
  lines_.push_back({{kSpeakers, kDestinationSpeakers, 2, "Speakers"}, {}, {}});
  // A sound server's mixer is a plug-in, a card's is the hardware's own. The server's own
  // controls are not used, so its connection is let go.
  if (snd_ctl_type(snd_hctl_ctl(hctl)) == SND_CTL_TYPE_EXT) {
    snd_mixer_close(mixer_);
    mixer_ = nullptr;
    addSoundServerLines();
  } else {
    addCardLines();
  }
}

AlsaMixerModel::~AlsaMixerModel() {
  if (mixer_) snd_mixer_close(mixer_);
}

int AlsaMixerModel::addLine(int destination, int componentType, const std::string& name) {
  int id = static_cast<int>(lines_.size());
  lines_.push_back({{id, componentType, 2, name}, {}, {}});
  lines_[static_cast<size_t>(destination)].sources.push_back(id);
  return id;
}

void AlsaMixerModel::addControl(int line, Control control) {
  lines_[static_cast<size_t>(line)].controls.push_back(static_cast<int>(controls_.size()));
  controls_.push_back(std::move(control));
}

void AlsaMixerModel::addSoundServerLines() {
  Control choice(MixerControlType::List);
  for (const SoundServerInput::Item& item : SoundServerInput::kItems)
    choice.items.push_back({item.name, item.componentType});
  addControl(kRecording, std::move(choice));
  for (int item = 0; item < SoundServerInput::kMixItem; ++item) {
    const SoundServerInput::Item& named = SoundServerInput::kItems[static_cast<size_t>(item)];
    Control volume(MixerControlType::Volume);
    volume.serverItem = item;
    addControl(addLine(kRecording, named.componentType, named.name), volume);
  }
}

void AlsaMixerModel::addCardLines() {
  for (snd_mixer_elem_t* element = snd_mixer_first_elem(mixer_); element;
       element = snd_mixer_elem_next(element)) {
    if (!snd_mixer_selem_is_active(element)) continue;
    std::string name = snd_mixer_selem_get_name(element);
    if (snd_mixer_selem_is_enum_capture(element)) {
      // The card's choice of recording input; the first one found leads the destination.
      if (!lines_[kRecording].controls.empty()) continue;
      Control choice(MixerControlType::List, element, true);
      int count = snd_mixer_selem_get_enum_items(element);
      for (int i = 0; i < count; ++i) {
        char text[128] = {};
        snd_mixer_selem_get_enum_item_name(element, static_cast<unsigned>(i), sizeof text, text);
        choice.items.push_back({text, componentTypeOf(text)});
      }
      addControl(kRecording, std::move(choice));
      continue;
    }
    // "Capture" is the card's overall recording level and "Master" its overall output, not
    // sources; boosts are extra volumes of a source that is listed anyway.
    if (contains(name, "boost")) continue;
    bool captureSwitch = snd_mixer_selem_has_capture_switch(element);
    bool captureVolume = snd_mixer_selem_has_capture_volume(element);
    if ((captureSwitch || captureVolume) && name != "Capture") {
      int line = addLine(kRecording, componentTypeOf(name), name);
      if (captureSwitch) addControl(line, Control(MixerControlType::OnOff, element, true));
      if (captureVolume) addControl(line, Control(MixerControlType::Volume, element, true));
    }
    bool playbackSwitch = snd_mixer_selem_has_playback_switch(element);
    bool playbackVolume = snd_mixer_selem_has_playback_volume(element);
    if ((playbackSwitch || playbackVolume) && name != "Master") {
      int line = addLine(kSpeakers, componentTypeOf(name), name);
      if (playbackSwitch) addControl(line, Control(MixerControlType::Mute, element));
      if (playbackVolume) addControl(line, Control(MixerControlType::Volume, element));
    }
  }
}

const AlsaMixerModel::Line* AlsaMixerModel::line(const MixerLine& info) const {
  if (info.id < 0 || info.id >= static_cast<int>(lines_.size())) return nullptr;
  return &lines_[static_cast<size_t>(info.id)];
}

std::vector<MixerLine> AlsaMixerModel::destinations() {
  std::vector<MixerLine> out;
  for (size_t i = 0; i < std::min<size_t>(lines_.size(), 2); ++i) out.push_back(lines_[i].info);
  return out;
}

std::vector<MixerLine> AlsaMixerModel::sources(const MixerLine& destination) {
  std::vector<MixerLine> out;
  if (const Line* found = line(destination))
    for (int id : found->sources) out.push_back(lines_[static_cast<size_t>(id)].info);
  return out;
}

std::vector<MixerControlInfo> AlsaMixerModel::controls(const MixerLine& info) {
  std::vector<MixerControlInfo> out;
  if (const Line* found = line(info))
    for (int id : found->controls) out.push_back({id, controls_[static_cast<size_t>(id)].type});
  return out;
}

std::vector<MixerItem> AlsaMixerModel::listItems(const MixerControlInfo& control) {
  if (control.id < 0 || control.id >= static_cast<int>(controls_.size())) return {};
  return controls_[static_cast<size_t>(control.id)].items;
}

bool AlsaMixerModel::setValues(const MixerControlInfo& info, const std::vector<int>& values) {
  if (info.id < 0 || info.id >= static_cast<int>(controls_.size()) || values.empty()) return false;
  const Control& control = controls_[static_cast<size_t>(info.id)];
  if (control.element) return setCardValues(control, values);
  if (control.type == MixerControlType::Volume) {
    soundServer_->setVolume(control.serverItem, values.front());
    return true;
  }
  auto chosen = std::find(values.begin(), values.end(), 1);
  if (chosen == values.end()) return false;
  soundServer_->choose(static_cast<int>(chosen - values.begin()));
  return true;
}

bool AlsaMixerModel::setCardValues(const Control& control, const std::vector<int>& values) {
  snd_mixer_elem_t* element = control.element;
  switch (control.type) {
    case MixerControlType::List: {
      // An enumeration records one input: the first item chosen.
      auto chosen = std::find(values.begin(), values.end(), 1);
      if (chosen == values.end()) return false;
      auto item = static_cast<unsigned>(chosen - values.begin());
      int result = snd_mixer_selem_set_enum_item(element, SND_MIXER_SCHN_FRONT_LEFT, item);
      snd_mixer_selem_set_enum_item(element, SND_MIXER_SCHN_FRONT_RIGHT, item);  // when it has one
      return result >= 0;
    }
    case MixerControlType::OnOff:
      return snd_mixer_selem_set_capture_switch_all(element, values.front() != 0) >= 0;
    case MixerControlType::Mute:
      return snd_mixer_selem_set_playback_switch_all(element, values.front() == 0) >= 0;
    case MixerControlType::Volume: {
      long min = 0, max = 0;
      if (control.capture) {
        snd_mixer_selem_get_capture_volume_range(element, &min, &max);
        return snd_mixer_selem_set_capture_volume_all(element, scaled(values.front(), min, max)) >= 0;
      }
      snd_mixer_selem_get_playback_volume_range(element, &min, &max);
      return snd_mixer_selem_set_playback_volume_all(element, scaled(values.front(), min, max)) >= 0;
    }
    case MixerControlType::Other:
      break;
  }
  return false;
}

}  // namespace brovana
