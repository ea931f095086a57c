#pragma once
// The sound card's mixer: which physical input the card records (line-in, CD, microphone, or
// the card's own mix of everything, "system mixer") and the input volumes, over a model of the
// card's mixer (destinations, their source lines, and the controls of each) that the platform
// provides. Also the voiceover balance, which turns the crossfade slider's position into a
// microphone recording volume and a music gain.

#include <optional>
#include <string>
#include <vector>

namespace brovana {

// Component types of mixer lines. The studio's external source codes are the same numbers.
inline constexpr int kDestinationSpeakers = 4;
inline constexpr int kDestinationRecording = 7;
inline constexpr int kLineSystemMixer = 3;  // not a line: the recording item whose name holds "ixer"
inline constexpr int kLineLineIn = 0x1002;
inline constexpr int kLineMicrophone = 0x1003;
inline constexpr int kLineCompactDisc = 0x1005;
inline constexpr int kLineWaveOut = 0x1008;
inline constexpr int kLineAuxiliary = 0x1009;

inline constexpr int kMaxVolume = 65535;

enum class MixerControlType {
  List,    // single or multiple select, mux, mixer: one value per item, 1 = chosen
  OnOff,   // 1 = on
  Mute,    // 1 = muted, so 0 = sounding
  Volume,  // one value per channel, 0 to 65535
  Other,
};

struct MixerLine {
  int id = 0;
  int componentType = 0;
  int channels = 1;
  std::string name;
};

struct MixerControlInfo {
  int id = 0;
  MixerControlType type = MixerControlType::Other;
};

// A list control's item: it names a source line and carries its component type.
struct MixerItem {
  std::string name;
  int componentType = 0;
};

// One sound card's mixer as the mixer service shows it. A machine without a mixer has a model
// with no destinations.
class MixerModel {
 public:
  virtual ~MixerModel() = default;
  virtual std::vector<MixerLine> destinations() = 0;
  virtual std::vector<MixerLine> sources(const MixerLine& destination) = 0;
  // Every control of a line, in the card's order.
  virtual std::vector<MixerControlInfo> controls(const MixerLine& line) = 0;
  virtual std::vector<MixerItem> listItems(const MixerControlInfo& control) = 0;
  // List controls: one value per item; volumes: one per channel; switches and mutes: one.
  virtual bool setValues(const MixerControlInfo& control, const std::vector<int>& values) = 0;
};

// The mixer of one destination (the card's recording side or its speakers).
class Mixer {
 public:
  // No model: no mixer, and every operation leaves the card alone.
  Mixer(MixerModel* model, int destinationType);

  // Sets the volume control of the first source of that type under this destination, every
  // channel to `volume` (clamped to 0..65535). Nothing without such a line or control.
  void setVolume(int sourceType, int volume);
  // Makes `source` (a component type, or kLineSystemMixer) the recording input on every
  // recording destination. False when the card offers a choice of inputs but none of that
  // kind; true when it offers no choice at all (the recording input is chosen elsewhere).
  bool setInputLine(int source, int variant = 0);

 private:
  enum class Selection { Made, NotPossible, Missing };
  Selection selectByList(const MixerLine& destination, int request, int variant);
  Selection selectBySwitches(const MixerLine& destination, int request);
  std::optional<MixerLine> findSource(int sourceType);

  MixerModel* model_;
  int destinationType_;
};

// The crossfade of a voiceover: slider position 0 (microphone only) to 65536 (music only).
struct VoiceoverBalance {
  int microphoneVolume = 0;  // for the recording mixer's microphone line
  float musicGain = 0;       // for the conversion stage
};
VoiceoverBalance voiceoverBalance(int position);

}  // namespace brovana
