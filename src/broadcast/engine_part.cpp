#include "broadcast/engine_part.h"

#include "playlist/mp3_info.h"

namespace brovana {

EnginePart::EnginePart(ConversionStage& stage, DecoderLibrary& decoders, Prompts& prompts,
                       const EngineWiring& wiring, EngineTimings timings)
    : encoder_(stage, decoders, prompts, timings) {
  encoder_.setReports(wiring.reports);
  setVisual(wiring.visual);
}

void EnginePart::start(Playlist& playlist, int outputBitrate, int startIndex) {
  encoder_.start(playlist, outputBitrate, startIndex);
}

void EnginePart::stopPlaying(bool final) {
  encoder_.stopPlaying(final);
}

bool EnginePart::isPlaying() const {
  return encoder_.isPlaying();
}

std::optional<std::string> EnginePart::currentTitle() const {
  PlaylistItemRef item = encoder_.currentItem();
  if (!item) return std::nullopt;
  return item->mp3Info().displayTitle();
}

bool EnginePart::continuousLoop() const {
  return encoder_.continuousLoop();
}

void EnginePart::setContinuousLoop(bool on) {
  encoder_.setContinuousLoop(on);
}

int EnginePart::currentIndex() const {
  return encoder_.currentIndex();
}

void EnginePart::setCurrentIndex(int index) {
  encoder_.setCurrentIndex(index);
}

void EnginePart::setVisual(Visualisation* visual) {
  encoder_.setVisual(visual ? visual->feed() : nullptr);
}

bool EnginePart::random() const {
  return encoder_.random();
}

void EnginePart::setRandom(bool on) {
  encoder_.setRandom(on);
}

int EnginePart::priority() const {
  return encoder_.priority();
}

void EnginePart::setPriority(int priority) {
  encoder_.setPriority(priority);
}

}  // namespace brovana
