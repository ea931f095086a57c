#include "broadcast/engine_part.h"

#include "playlist/mp3_info.h"

namespace brovana {

EncoderEngine::EncoderEngine(AcmConvert& stage, DecoderLibrary& decoders, Prompts& prompts,
                             const EngineWiring& wiring, EncoderTimings timings)
    : encoder_(stage, decoders, prompts, timings) {
  encoder_.setReports(wiring.reports);
  setVisual(wiring.visual);
}

void EncoderEngine::start(Playlist& playlist, int outputBitrate, int startIndex) {
  encoder_.start(playlist, outputBitrate, startIndex);
}

void EncoderEngine::stopPlaying(bool final) {
  encoder_.stopPlaying(final);
}

bool EncoderEngine::isPlaying() const {
  return encoder_.isPlaying();
}

std::optional<std::string> EncoderEngine::currentTitle() const {
  PlaylistItemRef item = encoder_.currentItem();
  if (!item) return std::nullopt;
  return item->mp3Info().displayTitle();
}

bool EncoderEngine::continuousLoop() const {
  return encoder_.continuousLoop();
}

void EncoderEngine::setContinuousLoop(bool on) {
  encoder_.setContinuousLoop(on);
}

int EncoderEngine::currentIndex() const {
  return encoder_.currentIndex();
}

void EncoderEngine::setCurrentIndex(int index) {
  encoder_.setCurrentIndex(index);
}

void EncoderEngine::setVisual(Visualisation* visual) {
  encoder_.setVisual(visual ? visual->feed() : nullptr);
}

bool EncoderEngine::random() const {
  return encoder_.random();
}

void EncoderEngine::setRandom(bool on) {
  encoder_.setRandom(on);
}

int EncoderEngine::priority() const {
  return encoder_.priority();
}

void EncoderEngine::setPriority(int priority) {
  encoder_.setPriority(priority);
}

}  // namespace brovana
