#pragma once
// The parts the Supervisor makes when the studio has windows. The broadcast itself (conversion
// stage, playlist engine) is the same as without windows; the status window, the playlist window
// and the program information form are Qt windows. The parts
// whose windows are not in this build yet (wizard, broadcast information, stream quality,
// volume controls, capture, voiceover panel, plug-in host) come back null, and the Supervisor
// goes without them; each maker is where its window plugs in.

#include <atomic>

#include "app/headless_front.h"
#include "broadcast/studio_parts.h"

namespace brovana {

// The sound card's mixer when there is none to drive: sources switch and the volume is kept,
// so that no source fails just for lacking a mixer.
class NullMixer final : public MixerControl {
 public:
  bool selectSource(int) override { return true; }
  void setSourceVolume(int, int) override {}
  void setWaveOutVolume(int volume) override { volume_ = volume; }
  int waveOutVolume() const override { return volume_; }

 private:
  std::atomic<int> volume_{0};
};

class QtStudioParts final : public StudioParts {
 public:
  QtStudioParts(Prompts& prompts, Mp3Codec& codec, HeadlessParts::EngineMaker makeEngine);

  // The Supervisor the windows talk to; set before its init.
  void attach(Supervisor& supervisor) { supervisor_ = &supervisor; }

  int cpuMHz() override { return broadcast_.cpuMHz(); }
  bool cdPresent() override { return false; }
  bool runSetupWizard(LiveConnect& connection, bool firstRun) override;
  std::unique_ptr<StatusWindow> makeStatusWindow() override;
  std::unique_ptr<QualityWindow> makeQualityWindow() override { return nullptr; }
  std::unique_ptr<PlaylistWindowControl> makePlaylistWindow(Supervisor& supervisor) override;
  std::unique_ptr<ConversionStage> makeConversionStage(LiveConnect& connection, StatusDisplay& status,
                                                       ProgramExit& exit) override;
  std::unique_ptr<PlaylistEngine> makePlaylistEngine(ConversionStage& stage,
                                                     const EngineWiring& wiring) override;
  std::unique_ptr<PluginHost> makePluginHost() override { return broadcast_.makePluginHost(); }
  std::unique_ptr<MixerControl> makeMixer(MixerDestination) override;
  std::unique_ptr<VolumeWindow> makeVolumeWindow(int) override { return nullptr; }
  std::unique_ptr<Capture> makeCapture(ConversionStage&, const CaptureWiring&) override { return nullptr; }
  std::unique_ptr<BroadcastInfoDialog> makeBroadcastInfoDialog(LiveConnect&, Supervisor&) override {
    return nullptr;
  }
  std::unique_ptr<ProgramInfoDialog> makeProgramInfoDialog(LiveConnect& connection) override;
  std::unique_ptr<VoiceoverPanel> makeVoiceoverPanel(Supervisor&) override { return nullptr; }

 private:
  Prompts& prompts_;
  HeadlessParts broadcast_;  // the parts that are the same with and without windows
  Supervisor* supervisor_ = nullptr;
};

}  // namespace brovana
