#include "platform/soxr_resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace brovana {

void SoxrResampler::Deleter::operator()(soxr* resampler) const {
  soxr_delete(resampler);
}

SoxrResampler::SoxrResampler(int fromRate, int toRate, int channels)
    : channels_(static_cast<size_t>(std::clamp(channels, 1, 8))),
      ratio_(static_cast<double>(std::max(1, toRate)) / std::max(1, fromRate)) {
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;  // rounded, like every other step of the pipeline
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // the engine's thread is enough
  soxr_error_t error = nullptr;
  soxr_.reset(soxr_create(std::max(1, fromRate), std::max(1, toRate), static_cast<unsigned>(channels_),
                          &error, &io, &quality, &runtime));
  if (error) soxr_.reset();
}

std::unique_ptr<Resampler> SoxrResampler::make(int fromRate, int toRate, int channels) {
  auto resampler = std::make_unique<SoxrResampler>(fromRate, toRate, channels);
  if (!resampler->valid()) return nullptr;
  return resampler;
}

void SoxrResampler::process(std::span<const int16_t> in, std::vector<int16_t>& out) {
  if (soxr_ && !in.empty()) run(in.data(), in.size() / channels_, out);
}

void SoxrResampler::drain(std::vector<int16_t>& out) {
  if (soxr_) run(nullptr, 0, out);
}

void SoxrResampler::run(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
  // Room for what the block makes, and a little more of what the filter held; libsoxr is asked
  // again until it has taken the whole block and has nothing more to give.
  const size_t room = static_cast<size_t>(std::ceil(static_cast<double>(frames) * ratio_)) + 256;
  for (;;) {
    const size_t base = out.size();
    out.resize(base + room * channels_);
    size_t taken = 0, given = 0;
    soxr_process(soxr_.get(), in, frames, in ? &taken : nullptr, out.data() + base, room, &given);
    out.resize(base + given * channels_);
    if (in) {
      in += taken * channels_;
      frames -= taken;
    }
    if (in ? frames == 0 && given < room : given == 0) return;
  }
}

}  // namespace brovana
