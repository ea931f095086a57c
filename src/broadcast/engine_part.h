#pragma once
// The real playlist engine as the studio's EngineControl: the PlaylistEngine, feeding the
// conversion stage and reporting through the wiring's EngineReports.

#include "audio/playlist_engine.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class EnginePart final : public EngineControl {
 public:
  // The stage, the decoder library and the wiring's objects must outlive the engine.
  EnginePart(ConversionStage& stage, DecoderLibrary& decoders, Prompts& prompts, const EngineWiring& wiring,
             EngineTimings timings = {});

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

  PlaylistEngine& encoder() { return encoder_; }

 private:
  PlaylistEngine encoder_;
};

}  // namespace brovana
