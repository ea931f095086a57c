#pragma once
// The live-input parts on this machine: capture through PortAudio (the device named on the
// command line, or the default input), the default ALSA mixer for the recording and the
// speakers side, and the CD drive check. A front end keeps one and makes the Supervisor's
// capture, mixers and CD check with it.

#include <memory>
#include <string>

#include "broadcast/studio_parts.h"
#include "platform/sound_server_input.h"

namespace brovana {

class ConversionStage;
class Prompts;

class LiveInput {
 public:
  // An empty name records the default input.
  explicit LiveInput(std::string captureDevice = {});

  // `stage` is the conversion stage the front end made.
  std::unique_ptr<CaptureControl> makeCapture(ConversionStage& stage, const CaptureWiring& wiring,
                                              Prompts& prompts);
  std::unique_ptr<MixerControl> makeMixer(MixerDestination destination);
  bool cdPresent();

 private:
  std::string device_;
  // Shared by the mixers, which choose, and the capture, which records what they chose.
  std::shared_ptr<SoundServerInput> soundServer_ = std::make_shared<SoundServerInput>();
};

}  // namespace brovana
