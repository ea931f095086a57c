#pragma once
// The real live-input parts as the studio sees them: the capture (Capture on a
// sound card device, reporting through the wiring's EngineReports like the playlist engine)
// and the sound card's mixers (the mixer rules over a model of the card's mixer). Every front
// end makes them with these, from the devices its platform gives.

#include <memory>

#include "audio/capture.h"
#include "audio/mixer.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class CapturePart final : public CaptureControl {
 public:
  // The stage, the prompts and the wiring's objects must outlive the capture.
  CapturePart(ConversionStage& stage, const CaptureWiring& wiring, Prompts& prompts,
              std::unique_ptr<CaptureDevice> device, ResamplerFactory resamplers);

  bool startInput(int lineSpeed) override;
  void closeLineIn() override;
  bool isOpen() const override;
  bool startMeter() override;
  bool metering() const override;
  bool holdOutput(PcmTap* monitor) override;
  bool resumeOutput() override;
  void setVoiceover(bool on) override;
  bool voiceover() const override;
  void trackChanged() override;
  void setVisual(Visualisation* visual) override;

  Capture& input() { return input_; }

 private:
  ServerLink* connection_;
  Capture input_;
};

class MixerPart final : public MixerControl {
 public:
  MixerPart(std::unique_ptr<MixerModel> model, MixerDestination destination);

  bool selectSource(Source source) override;
  void setSourceVolume(Source source, int volume) override;
  void setWaveOutVolume(int volume) override;
  int waveOutVolume() const override { return waveOut_; }

 private:
  std::unique_ptr<MixerModel> model_;
  Mixer mixer_;
  int waveOut_ = 0;
};

}  // namespace brovana
