#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <functional>

namespace brovana {
namespace {

using Type = MixerControlType;

// A card described line by line; every write is noted as "control=values".
class FakeMixerModel : public MixerModel {
 public:
  int line(int destination, int type, std::string name) {
    int id = static_cast<int>(lines_.size());
    lines_.push_back({{id, type, 2, name}, {}, {}});
    if (destination >= 0) lines_[static_cast<size_t>(destination)].sources.push_back(id);
    return id;
  }
  void control(int line, Type type, std::vector<MixerItem> items = {}) {
    int id = static_cast<int>(controls_.size());
    controls_.push_back(
        {lines_[static_cast<size_t>(line)].info.name + ":" + std::to_string(static_cast<int>(type)),
         std::move(items)});
    lines_[static_cast<size_t>(line)].controls.push_back({id, type});
  }

  std::vector<MixerLine> destinations() override {
    std::vector<MixerLine> out;
    for (const Line& l : lines_)
      if (l.info.componentType == kDestinationWaveIn || l.info.componentType == kDestinationSpeakers)
        out.push_back(l.info);
    return out;
  }
  std::vector<MixerLine> sources(const MixerLine& destination) override {
    std::vector<MixerLine> out;
    for (int id : lines_[static_cast<size_t>(destination.id)].sources)
      out.push_back(lines_[static_cast<size_t>(id)].info);
    return out;
  }
  std::vector<MixerControlInfo> controls(const MixerLine& line) override {
    return lines_[static_cast<size_t>(line.id)].controls;
  }
  std::vector<MixerItem> listItems(const MixerControlInfo& control) override {
    return controls_[static_cast<size_t>(control.id)].items;
  }
  bool setValues(const MixerControlInfo& control, const std::vector<int>& values) override {
    if (!writes.empty()) writes += " ";
    writes += controls_[static_cast<size_t>(control.id)].name + "=";
    for (size_t i = 0; i < values.size(); ++i) writes += (i ? "," : "") + std::to_string(values[i]);
    return true;
  }

  std::string writes;

 private:
  struct Line {
    MixerLine info;
    std::vector<MixerControlInfo> controls;
    std::vector<int> sources;
  };
  struct Control {
    std::string name;
    std::vector<MixerItem> items;
  };
  std::vector<Line> lines_;
  std::vector<Control> controls_;
};

// Control names read "line:type", the type as its number: 0 list, 1 on/off, 2 mute, 3 volume.
void listCard(FakeMixerModel& m, std::vector<MixerItem> items) {
  m.control(m.line(-1, kDestinationWaveIn, "rec"), Type::List, std::move(items));
}

// Recording sources with their switches, behind a destination whose first control is a volume.
void switchCard(FakeMixerModel& m, std::vector<std::pair<int, Type>> sources) {
  int rec = m.line(-1, kDestinationWaveIn, "rec");
  m.control(rec, Type::Volume);
  const char* names[] = {"", "a", "b", "c"};
  int n = 0;
  for (auto [type, control] : sources) m.control(m.line(rec, type, names[++n]), control);
}

const std::vector<MixerItem> kMuxCard = {{"CD Audio", kLineCompactDisc},
                                         {"Microphone", kLineMicrophone},
                                         {"Line In", kLineLineIn},
                                         {"Stereo Mixer", kLineLineIn}};

TEST(MixerTest, InputSelectionRules) {
  struct Case {
    const char* card;
    std::function<void(FakeMixerModel&)> build;
    int source;
    bool result;
    std::string writes;
  } cases[] = {
      {"mux", [](auto& m) { listCard(m, kMuxCard); }, kLineSystemMixer, true, "rec:0=0,0,0,1"},
      {"mux", [](auto& m) { listCard(m, kMuxCard); }, kLineLineIn, true, "rec:0=0,0,1,0"},
      {"mux", [](auto& m) { listCard(m, kMuxCard); }, kLineMicrophone, true, "rec:0=0,1,0,0"},
      {"mux", [](auto& m) { listCard(m, kMuxCard); }, kLineCompactDisc, true, "rec:0=1,0,0,0"},
      {"mux without the kind: nothing cleared", [](auto& m) { listCard(m, kMuxCard); }, kLineAuxiliary, false,
       ""},
      {"no item holds ixer",
       [](auto& m) {
         listCard(m, {{"Mic", kLineMicrophone}, {"Line 1", kLineLineIn}, {"Line 2", kLineLineIn}});
       },
       kLineSystemMixer, true, "rec:0=0,1,0"},
      {"names are case-sensitive",
       [](auto& m) {
         listCard(m, {{"STEREO MIXER", kLineLineIn}, {"Line", kLineLineIn}});
       },
       kLineLineIn, true, "rec:0=0,1"},
      {"aux stands in for line-in",
       [](auto& m) {
         listCard(m, {{"Mic", kLineMicrophone}, {"Aux", kLineAuxiliary}});
       },
       kLineLineIn, true, "rec:0=0,1"},
      {"mutes",
       [](auto& m) {
         switchCard(m, {{kLineMicrophone, Type::Mute}, {kLineLineIn, Type::Mute}});
       },
       kLineMicrophone, true, "a:2=0 b:2=1"},
      {"switches and mutes",
       [](auto& m) {
         switchCard(
             m, {{kLineMicrophone, Type::OnOff}, {kLineLineIn, Type::Mute}, {kLineCompactDisc, Type::OnOff}});
       },
       kLineLineIn, true, "a:1=0 b:2=0 c:1=0"},
      {"aux for line-in only",
       [](auto& m) {
         switchCard(m, {{kLineMicrophone, Type::OnOff}, {kLineAuxiliary, Type::OnOff}});
       },
       kLineMicrophone, true, "a:1=1 b:1=0"},
      {"aux for line-in",
       [](auto& m) {
         switchCard(m, {{kLineMicrophone, Type::OnOff}, {kLineAuxiliary, Type::OnOff}});
       },
       kLineLineIn, true, "a:1=0 b:1=1"},
      {"switches without the kind",
       [](auto& m) {
         switchCard(m, {{kLineMicrophone, Type::OnOff}});
       },
       kLineCompactDisc, false, ""},
      {"no choice offered",
       [](auto& m) {
         switchCard(m, {{kLineMicrophone, Type::Volume}});
       },
       kLineCompactDisc, true, ""},
      {"no recording destination", [](auto& m) { m.line(-1, kDestinationSpeakers, "out"); }, kLineLineIn,
       true, ""},
  };
  for (const Case& c : cases) {
    FakeMixerModel model;
    c.build(model);
    Mixer mixer(&model, kDestinationWaveIn);
    EXPECT_EQ(mixer.setInputLine(c.source), c.result) << c.card << ", source " << c.source;
    EXPECT_EQ(model.writes, c.writes) << c.card << ", source " << c.source;
  }
  EXPECT_TRUE(Mixer(nullptr, kDestinationWaveIn).setInputLine(kLineLineIn)) << "no mixer fails no source";
}

TEST(MixerTest, VolumeGoesToTheFirstVolumeOfTheSourceUnderItsDestination) {
  FakeMixerModel model;
  int rec = model.line(-1, kDestinationWaveIn, "rec");
  int mic = model.line(rec, kLineMicrophone, "mic");
  model.control(mic, Type::OnOff);
  model.control(mic, Type::Volume);
  model.line(rec, kLineLineIn, "line");  // no volume control
  model.line(-1, kDestinationSpeakers, "out");

  Mixer recording(&model, kDestinationWaveIn);
  recording.setVolume(kLineMicrophone, 32000);
  recording.setVolume(kLineMicrophone, 65536);
  recording.setVolume(kLineLineIn, 100);
  Mixer speakers(&model, kDestinationSpeakers);
  speakers.setVolume(kLineMicrophone, 5);
  EXPECT_EQ(model.writes, "mic:3=32000,32000 mic:3=65535,65535");
}

TEST(MixerTest, VoiceoverBalance) {
  struct Case {
    int position, microphone;
    float gain;
  } cases[] = {{0, 65535, 0.0f},
               {16384, 60532, 25067 / 65536.0f},
               {32768, 46322, 46322 / 65536.0f},
               {65536, 0, 65535 / 65536.0f},
               {-1, 65535, 0.0f},
               {70000, 0, 65535 / 65536.0f}};
  for (const Case& c : cases) {
    VoiceoverBalance balance = voiceoverBalance(c.position);
    EXPECT_EQ(balance.microphoneVolume, c.microphone) << c.position;
    EXPECT_FLOAT_EQ(balance.musicGain, c.gain) << c.position;
  }
}

}  // namespace
}  // namespace brovana
