#include "audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace brovana {
namespace {

// Line-in requests name the item they want: variant 1 for line-in itself, 2 for the card's mix.
constexpr int kVariantLineIn = 1;
constexpr int kVariantSystemMixer = 2;

bool hasType(const std::vector<int>& types, int type) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// A line-in request goes to the auxiliary input on cards that have that and no line-in.
int substituteAux(int request, const std::vector<int>& types) {
  if (request == kLineLineIn && !hasType(types, kLineLineIn) && hasType(types, kLineAuxiliary))
    return kLineAuxiliary;
  return request;
}

}  // namespace

Mixer::Mixer(MixerModel* model, int destinationType) : model_(model), destinationType_(destinationType) {}

std::optional<MixerLine> Mixer::findSource(int sourceType) {
  for (const MixerLine& destination : model_->destinations()) {
    if (destination.componentType != destinationType_) continue;
    for (const MixerLine& source : model_->sources(destination))
      if (source.componentType == sourceType) return source;
  }
  return std::nullopt;
}

void Mixer::setVolume(int sourceType, int volume) {
  if (!model_) return;
  std::optional<MixerLine> line = findSource(sourceType);
  if (!line) return;
  for (const MixerControlInfo& control : model_->controls(*line)) {
    if (control.type != MixerControlType::Volume) continue;
    // A slider's full scale is 65536, one more than a control takes.
    int value = std::clamp(volume, 0, kMaxVolume);
    model_->setValues(control, std::vector<int>(static_cast<size_t>(std::max(line->channels, 1)), value));
    return;
  }
}

bool Mixer::setInputLine(int source, int variant) {
  if (!model_) return true;
  int request = source;
  if (source == kLineSystemMixer) {
    request = kLineLineIn;
    variant = kVariantSystemMixer;
  } else if (source == kLineLineIn) {
    variant = kVariantLineIn;
  }
  bool made = true;
  for (const MixerLine& destination : model_->destinations()) {
    if (destination.componentType != kDestinationRecording) continue;
    Selection selection = selectByList(destination, request, variant);
    if (selection == Selection::NotPossible) selection = selectBySwitches(destination, request);
    if (selection == Selection::Missing) made = false;
  }
  return made;
}

// Through the destination's first control, when that is a list of the recordable items.
Mixer::Selection Mixer::selectByList(const MixerLine& destination, int request, int variant) {
  std::vector<MixerControlInfo> controls = model_->controls(destination);
  if (controls.empty() || controls.front().type != MixerControlType::List) return Selection::NotPossible;
  std::vector<MixerItem> items = model_->listItems(controls.front());
  std::vector<int> types;
  for (const MixerItem& item : items) types.push_back(item.componentType);
  request = substituteAux(request, types);

  std::vector<int> values(items.size(), 0);
  if (request != kLineLineIn) {
    for (size_t i = 0; i < items.size(); ++i) values[i] = items[i].componentType == request;
  } else {
    // The first line-type item whose name fits the variant (case-sensitive), else the first one.
    const char* wanted = variant == kVariantSystemMixer ? "ixer" : "ine";
    std::optional<size_t> first, named;
    for (size_t i = 0; i < items.size() && !named; ++i) {
      if (items[i].componentType != kLineLineIn) continue;
      if (!first) first = i;
      if (items[i].name.find(wanted) != std::string::npos) named = i;
    }
    if (std::optional<size_t> chosen = named ? named : first) values[*chosen] = 1;
  }
  // Clearing every item would leave the card recording nothing.
  if (!hasType(values, 1)) return Selection::Missing;
  model_->setValues(controls.front(), values);
  return Selection::Made;
}

// Through the sources' own switches: the chosen source on and sounding, every other off and
// muted.
Mixer::Selection Mixer::selectBySwitches(const MixerLine& destination, int request) {
  std::vector<MixerLine> sources = model_->sources(destination);
  std::vector<int> types;
  for (const MixerLine& line : sources) types.push_back(line.componentType);
  request = substituteAux(request, types);

  struct Write {
    MixerControlInfo control;
    int value;
  };
  std::vector<Write> writes;
  for (const MixerLine& line : sources) {
    bool chosen = line.componentType == request;
    for (const MixerControlInfo& control : model_->controls(line)) {
      if (control.type == MixerControlType::OnOff) writes.push_back({control, chosen ? 1 : 0});
      if (control.type == MixerControlType::Mute) writes.push_back({control, chosen ? 0 : 1});
    }
  }
  // A card without switches offers no choice here: what it records is decided elsewhere.
  if (writes.empty()) return Selection::Made;
  if (!hasType(types, request)) return Selection::Missing;
  for (const Write& write : writes) model_->setValues(write.control, {write.value});
  return Selection::Made;
}

VoiceoverBalance voiceoverBalance(int position) {
  // 1.57 rather than pi/2: the microphone's full volume stays one below the control's scale.
  constexpr double kQuarterTurn = 1.57;
  constexpr double kScale = 65536;
  double p = std::clamp(position, 0, 65536);
  VoiceoverBalance balance;
  balance.microphoneVolume =
      static_cast<int>(std::trunc(kScale * std::sin(kQuarterTurn * (kScale - p) / kScale)));
  balance.musicGain = static_cast<float>(std::trunc(kScale * std::sin(kQuarterTurn * p / kScale)) / kScale);
  return balance;
}

}  // namespace brovana
