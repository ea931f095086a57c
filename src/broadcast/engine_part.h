#pragma once
// The real playlist engine as the Supervisor's PlaylistEngine: the Encoder, fed by the
// conversion stage, with its notices passed on to the Supervisor.

#include "audio/encoder.h"
#include "broadcast/audio_parts.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class EncoderEngine final : public PlaylistEngine, private EncoderSupervisor {
 public:
  // The stage, the decoder library and the wiring's objects must outlive the engine.
  EncoderEngine(AcmStage& stage, DecoderLibrary& decoders, Prompts& prompts, const EngineWiring& wiring,
                EncoderTimings timings = {});

  void start(Playlist& playlist, LiveConnect& connection, int outputBitrate, int startIndex) override;
  void stopPlaying(bool final) override;
  bool isPlaying() const override;
  std::optional<std::string> currentTitle() const override;
  bool continuousLoop() const override;
  void setContinuousLoop(bool on) override;
  int currentIndex() const override;
  void setCurrentIndex(int index) override;
  void setVisual(Visualisation* visual) override;
  void detachQualityGauge() override;
  bool random() const override;
  void setRandom(bool on) override;
  int priority() const override;
  void setPriority(int priority) override;

  Encoder& encoder() { return encoder_; }

 private:
  // EncoderSupervisor, on the engine's worker thread.
  void stop() override;
  void trackChanged() override;

  EngineEvents* const events_;
  Encoder encoder_;  // last: its worker is joined before the rest goes
};

}  // namespace brovana
