#include "platform/decoder_library.h"

#include "platform/portaudio_output.h"
#include "platform/soxr_resampler.h"
#include "platform/track_decoder.h"

namespace brovana {

std::unique_ptr<Mp3Decoder> PlatformDecoderLibrary::newDecoder() {
  auto decoder = std::make_unique<TrackDecoder>();
  if (!decoder->valid()) return nullptr;
  return decoder;
}

std::unique_ptr<AudioOutput> PlatformDecoderLibrary::newDeviceOutput(const std::string& device) {
  return std::make_unique<PortAudioOutput>(device);
}

std::unique_ptr<Resampler> PlatformDecoderLibrary::newResampler(int fromRate, int toRate, int channels) {
  return SoxrResampler::make(fromRate, toRate, channels);
}

}  // namespace brovana
