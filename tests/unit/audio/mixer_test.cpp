#include "audio/mixer.h"

#include <gtest/gtest.h>

#include "audio/gain_ramp.h"

namespace brovana {
namespace {

using enum MixerControlType;

// A card as a list of lines, each under the line at `parent` (-1: a destination). Control ids
// are line × 10 + place; every write is noted as "id=values".
struct Line {
  int parent;
  int type;
  std::vector<MixerControlType> controls;
  std::vector<MixerItem> items = {};
};

struct FakeMixerModel : MixerModel {
  explicit FakeMixerModel(std::vector<Line> lines) : lines(std::move(lines)) {}
  std::vector<MixerLine> destinations() override { return sources({-1, 0, 1, ""}); }
  std::vector<MixerLine> sources(const MixerLine& parent) override {
    std::vector<MixerLine> out;
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].parent == parent.id) out.push_back({static_cast<int>(i), lines[i].type, 2, ""});
    return out;
  }
  std::vector<MixerControlInfo> controls(const MixerLine& line) override {
    std::vector<MixerControlInfo> out;
    for (MixerControlType type : lines[size_t(line.id)].controls)
      out.push_back({line.id * 10 + int(out.size()), type});
    return out;
  }
  std::vector<MixerItem> listItems(const MixerControlInfo& control) override {
    return lines[size_t(control.id / 10)].items;
  }
  bool setValues(const MixerControlInfo& control, const std::vector<int>& values) override {
    writes += (writes.empty() ? "" : " ") + std::to_string(control.id) + "=";
    for (size_t i = 0; i < values.size(); ++i) writes += (i ? "," : "") + std::to_string(values[i]);
    return true;
  }
  std::vector<Line> lines;
  std::string writes;
};

// Cards whose recording destination starts with a list of the recordable items.
std::vector<Line> listCard(std::vector<MixerItem> items) {
  return {{-1, kDestinationRecording, {List}, std::move(items)}};
}
const std::vector<Line> kMuxCard = listCard({{"CD Audio", kLineCompactDisc},
                                             {"Microphone", kLineMicrophone},
                                             {"Line In", kLineLineIn},
                                             {"Stereo Mixer", kLineLineIn}});
const std::vector<Line> kNoIxerCard =
    listCard({{"Mic", kLineMicrophone}, {"Line 1", kLineLineIn}, {"Line 2", kLineLineIn}});
const std::vector<Line> kAuxListCard = listCard({{"Mic", kLineMicrophone}, {"Aux", kLineAuxiliary}});
// Recording destinations whose first control is a volume: the sources' switches choose.
const std::vector<Line> kSwitchCard = {{-1, kDestinationRecording, {Volume}},
                                       {0, kLineMicrophone, {Mute}},
                                       {0, kLineLineIn, {Mute}},
                                       {0, kLineCompactDisc, {OnOff}}};
const std::vector<Line> kAuxSwitchCard = {
    {-1, kDestinationRecording, {Volume}}, {0, kLineMicrophone, {OnOff}}, {0, kLineAuxiliary, {OnOff}}};
const std::vector<Line> kNoChoiceCard = {{-1, kDestinationRecording, {}}, {0, kLineMicrophone, {Volume}}};

TEST(MixerTest, InputSelectionRules) {
  const std::tuple<const std::vector<Line>&, int, bool, std::string> cases[] = {
      // card, source, result, what was written
      {kMuxCard, kLineSystemMixer, true, "0=0,0,0,1"},
      {kMuxCard, kLineLineIn, true, "0=0,0,1,0"},
      {kMuxCard, kLineMicrophone, true, "0=0,1,0,0"},
      {kMuxCard, kLineAuxiliary, false, ""},  // a missing kind clears nothing
      {kNoIxerCard, kLineSystemMixer, true, "0=0,1,0"},
      {kAuxListCard, kLineLineIn, true, "0=0,1"},
      {kSwitchCard, kLineLineIn, true, "10=1 20=0 30=0"},  // mutes 0 = sounding, switches 1 = on
      {kSwitchCard, kLineMicrophone, true, "10=0 20=1 30=0"},
      {kAuxSwitchCard, kLineLineIn, true, "10=0 20=1"},
      {kAuxSwitchCard, kLineMicrophone, true, "10=1 20=0"},  // aux stands in for line-in only
      {kAuxSwitchCard, kLineCompactDisc, false, ""},
      {kNoChoiceCard, kLineCompactDisc, true, ""},  // the input is chosen elsewhere
  };
  for (const auto& [card, source, result, writes] : cases) {
    FakeMixerModel model(card);
    EXPECT_EQ(Mixer(&model, kDestinationRecording).setInputLine(source), result) << source;
    EXPECT_EQ(model.writes, writes) << source;
  }
  EXPECT_TRUE(Mixer(nullptr, kDestinationRecording).setInputLine(kLineLineIn)) << "no mixer fails no source";
}

TEST(MixerTest, VolumeGoesToTheFirstVolumeOfTheSourceUnderItsDestination) {
  FakeMixerModel model({{-1, kDestinationRecording, {}},
                        {0, kLineMicrophone, {OnOff, Volume}},
                        {0, kLineLineIn, {}},
                        {-1, kDestinationSpeakers, {}}});
  Mixer recording(&model, kDestinationRecording);
  recording.setVolume(kLineMicrophone, 32000);
  recording.setVolume(kLineMicrophone, 65536);  // a slider's full scale
  recording.setVolume(kLineLineIn, 100);
  Mixer(&model, kDestinationSpeakers).setVolume(kLineMicrophone, 5);
  EXPECT_EQ(model.writes, "11=32000,32000 11=65535,65535");
}

TEST(MixerTest, VoiceoverBalance) {
  // slider position, microphone volume, music gain
  for (auto [position, microphone, gain] : {std::tuple{0, 65535, 0.0f},
                                            {16384, 60532, 25067 / 65536.0f},
                                            {32768, 46322, 46322 / 65536.0f},
                                            {65536, 0, 65535 / 65536.0f},
                                            {70000, 0, 65535 / 65536.0f}}) {
    EXPECT_EQ(voiceoverBalance(position).microphoneVolume, microphone) << position;
    EXPECT_FLOAT_EQ(voiceoverBalance(position).musicGain, gain) << position;
  }
}

// Halves round away from zero and the result clips at full scale, steady or ramping.
TEST(GainRampTest, SamplesRoundHalfAwayFromZeroAndClip) {
  const std::vector<int16_t> in{1, -1, 3, -3, 32767, -32768};
  std::vector<int16_t> out;
  auto applied = [&](GainRamp& gain) {
    auto samples = gain.apply(in, 2, out);
    return std::vector<int16_t>(samples.begin(), samples.end());
  };
  GainRamp steady(0.5f);
  EXPECT_EQ(applied(steady), (std::vector<int16_t>{1, -1, 2, -2, 16384, -16384}));
  GainRamp ramp(2.0f);
  ramp.setTarget(2.5f);  // frame by frame: 2.1666, 2.3333, 2.5
  EXPECT_EQ(applied(ramp), (std::vector<int16_t>{2, -2, 7, -7, 32767, -32768}));
}

}  // namespace
}  // namespace brovana
