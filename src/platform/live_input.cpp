#include "platform/live_input.h"

#include "broadcast/live_input_parts.h"
#include "platform/alsa_mixer.h"
#include "platform/cd_drive.h"
#include "platform/portaudio_capture.h"
#include "platform/soxr_resampler.h"

namespace brovana {

LiveInput::LiveInput(std::string captureDevice) : device_(std::move(captureDevice)) {}

std::unique_ptr<CaptureControl> LiveInput::makeCapture(ConversionStage& stage, const CaptureWiring& wiring,
                                                       Prompts& prompts) {
  return std::make_unique<CapturePart>(
      stage, wiring, prompts, std::make_unique<PortAudioCapture>(device_, soundServer_), SoxrResampler::make);
}

std::unique_ptr<MixerControl> LiveInput::makeMixer(MixerDestination destination) {
  return std::make_unique<MixerPart>(std::make_unique<AlsaMixerModel>(soundServer_), destination);
}

bool LiveInput::cdPresent() {
  return cdDiscPresent();
}

}  // namespace brovana
