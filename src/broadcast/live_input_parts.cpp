#include "broadcast/live_input_parts.h"

#include "net/server_link.h"

namespace brovana {

CapturePart::CapturePart(ConversionStage& stage, const CaptureWiring& wiring, Prompts& prompts,
                         std::unique_ptr<CaptureDevice> device, ResamplerFactory resamplers)
    : connection_(wiring.connection), input_(stage, std::move(device), prompts, std::move(resamplers)) {
  input_.setReports(wiring.reports);
  setVisual(wiring.visual);
}

bool CapturePart::startInput(int) {
  // Line-in is encoded at the stream's own rate, whatever the member's line.
  return input_.startInput(connection_ ? connection_->outputBitrate() : 0);
}

void CapturePart::closeLineIn() {
  input_.closeLineIn();
}

bool CapturePart::isOpen() const {
  return input_.isOpen();
}

bool CapturePart::startMeter() {
  return input_.startMeter();
}

bool CapturePart::metering() const {
  return input_.metering();
}

bool CapturePart::holdOutput(PcmTap* monitor) {
  return input_.holdOutput(monitor);
}

bool CapturePart::resumeOutput() {
  return input_.resumeOutput();
}

void CapturePart::setVoiceover(bool on) {
  input_.setVoiceover(on);
}

bool CapturePart::voiceover() const {
  return input_.voiceover();
}

void CapturePart::trackChanged() {
  input_.trackChanged();
}

void CapturePart::setVisual(Visualisation* visual) {
  input_.setVisual(visual ? visual->feed() : nullptr);
}

MixerPart::MixerPart(std::unique_ptr<MixerModel> model, MixerDestination destination)
    : model_(std::move(model)),
      mixer_(model_.get(),
             destination == MixerDestination::Recording ? kDestinationRecording : kDestinationSpeakers) {}

// The studio's external sources carry the mixer's line types.
bool MixerPart::selectSource(Source source) {
  return mixer_.setInputLine(static_cast<int>(source), 0);
}

void MixerPart::setSourceVolume(Source source, int volume) {
  mixer_.setVolume(static_cast<int>(source), volume);
}

void MixerPart::setWaveOutVolume(int volume) {
  waveOut_ = volume;
  mixer_.setVolume(kLineWaveOut, volume);
}

}  // namespace brovana
