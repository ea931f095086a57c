#pragma once
// The real playlist engine as the Supervisor's PlaylistEngine: the Encoder, feeding the
// conversion stage and reporting through the wiring's EngineReports.

#include "audio/encoder.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class EncoderEngine final : public PlaylistEngine {
 public:
  // The stage, the decoder library and the wiring's objects must outlive the engine.
  EncoderEngine(AcmConvert& stage, DecoderLibrary& decoders, Prompts& prompts, const EngineWiring& wiring,
                EncoderTimings timings = {});

  void start(Playlist& playlist, int outputBitrate, int startIndex) override;
  void stopPlaying(bool final) override;
  bool isPlaying() const override;
  std::optional<std::string> currentTitle() const override;
  bool continuousLoop() const override;
  void setContinuousLoop(bool on) override;
  int currentIndex() const override;
  void setCurrentIndex(int index) override;
  void setVisual(Visualisation* visual) override;
  bool random() const override;
  void setRandom(bool on) override;
  int priority() const override;
  void setPriority(int priority) override;

  Encoder& encoder() { return encoder_; }

 private:
  Encoder encoder_;
};

}  // namespace brovana
