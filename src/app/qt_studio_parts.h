#pragma once
// The parts the Studio makes when the studio has windows. The broadcast itself (conversion
// stage, playlist engine, capture, mixers, CD check, plug-in host) is the same as without windows;
// the status, stream quality, volume controls, voiceover, playlist and program information
// windows, the setup wizard and the Broadcast Information dialog are Qt windows.

#include "app/headless_front.h"
#include "broadcast/studio_parts.h"

namespace brovana {

class QtSetupWizard;

class QtStudioParts final : public StudioParts {
 public:
  QtStudioParts(Prompts& prompts, EncoderLibrary& codec, HeadlessParts::EngineMaker makeEngine);
  ~QtStudioParts() override;

  // The Studio the windows talk to; set before its init.
  void attach(Studio& studio);
  // The stage takes the full band for the extra servers (see ConversionStage::setFullBand).
  void setFullBand(bool on) { broadcast_.setFullBand(on); }

  int cpuMHz() override { return broadcast_.cpuMHz(); }
  bool cdPresent() override { return broadcast_.cdPresent(); }
  bool runSetupWizard(ServerLink& connection, bool firstRun) override;
  std::unique_ptr<StatusWindow> makeStatusWindow() override;
  std::unique_ptr<QualityWindow> makeQualityWindow() override;
  std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Studio& studio) override;
  std::unique_ptr<StageControl> makeConversionStage(ServerLink& connection, StatusDisplay& status,
                                                    ProgramExit& exit) override;
  std::unique_ptr<EngineControl> makePlaylistEngine(const EngineWiring& wiring) override;
  std::unique_ptr<PluginControl> makePluginHost() override { return broadcast_.makePluginHost(); }
  std::unique_ptr<MixerControl> makeMixer(MixerDestination destination) override {
    return broadcast_.makeMixer(destination);
  }
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int initialVolume) override;
  std::unique_ptr<CaptureControl> makeCapture(const CaptureWiring& wiring) override {
    return broadcast_.makeCapture(wiring);
  }
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(ServerLink& connection,
                                                               Studio& studio) override;
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(ServerLink& connection) override;
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Studio& studio) override;

 private:
  Prompts& prompts_;
  HeadlessParts broadcast_;  // the parts that are the same with and without windows
  Studio* studio_ = nullptr;
  std::unique_ptr<QtSetupWizard> wizard_;  // made by its first run, kept for the next ones
};

}  // namespace brovana
