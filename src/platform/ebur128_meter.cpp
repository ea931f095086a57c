#include "platform/ebur128_meter.h"

#include <ebur128.h>

#include <cmath>
#include <memory>

#include "platform/track_decoder.h"

namespace brovana {
namespace {

struct StateDeleter {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};

}  // namespace

std::optional<Loudness> EbuR128Meter::measure(const std::string& path, const std::atomic<bool>& stop) {
  TrackDecoder decoder;
  if (!decoder.valid() || decoder.createInput(path) != kDecoderOk || decoder.openInput() != kDecoderOk)
    return std::nullopt;
  const PcmFormat format = decoder.format();
  std::unique_ptr<ebur128_state, StateDeleter> state(
      ebur128_init(static_cast<unsigned>(format.channels), static_cast<unsigned long>(format.sampleRate),
                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
  if (!state) return std::nullopt;
  bool any = false;
  for (;;) {
    if (stop.load()) return std::nullopt;
    DecodeStatus status = decoder.decode();
    std::span<const int16_t> block = decoder.block();
    if ((status == DecodeStatus::Block || status == DecodeStatus::LastBlock) && !block.empty()) {
      ebur128_add_frames_short(state.get(), block.data(),
                               block.size() / static_cast<size_t>(format.channels));
      any = true;
    }
    if (status == DecodeStatus::LastBlock || status == DecodeStatus::Error) break;
  }
  decoder.closeInput();
  if (!any) return std::nullopt;
  double lufs = -HUGE_VAL;
  if (ebur128_loudness_global(state.get(), &lufs) != EBUR128_SUCCESS) return std::nullopt;
  double peak = 0;
  for (int c = 0; c < format.channels; ++c) {
    double channelPeak = 0;
    if (ebur128_true_peak(state.get(), static_cast<unsigned>(c), &channelPeak) == EBUR128_SUCCESS)
      peak = std::max(peak, channelPeak);
  }
  return Loudness{lufs, peak > 0 ? 20 * std::log10(peak) : -HUGE_VAL};
}

}  // namespace brovana
