#include "platform/pcm_shaper.h"

#include <algorithm>
#include <cstring>

namespace brovana {
namespace {

std::unique_ptr<SoxrResampler> resamplerFor(const PcmFormat& in, const PcmFormat& out) {
  if (in.sampleRate == out.sampleRate) return nullptr;
  auto resampler = std::make_unique<SoxrResampler>(in.sampleRate, out.sampleRate, out.channels);
  return resampler->valid() ? std::move(resampler) : nullptr;
}

}  // namespace

PcmShaper::PcmShaper(const PcmFormat& in, const PcmFormat& out)
    : in_(in), out_(out), resampler_(resamplerFor(in, out)) {}

void PcmShaper::shape(std::span<const uint8_t> bytes, std::vector<int16_t>& out) {
  if (!valid()) return;
  const size_t align = static_cast<size_t>(in_.bytesPerFrame());
  mapped_.clear();
  size_t offset = 0;
  if (!carry_.empty()) {
    offset = std::min(align - carry_.size(), bytes.size());
    carry_.insert(carry_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    if (carry_.size() == align) {
      mapChannels(carry_.data(), 1);
      carry_.clear();
    }
  }
  const size_t frames = (bytes.size() - offset) / align;
  mapChannels(bytes.data() + offset, frames);
  carry_.insert(carry_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset + frames * align),
                bytes.end());
  if (resampler_)
    resampler_->process(mapped_, out);
  else
    out.insert(out.end(), mapped_.begin(), mapped_.end());
}

void PcmShaper::drain(std::vector<int16_t>& out) {
  carry_.clear();
  if (!resampler_) return;
  resampler_->drain(out);
  resampler_ = resamplerFor(in_, out_);
}

// Mixed down to mono, copied to both sides, or even channels to the left and odd ones to the right.
void PcmShaper::mapChannels(const uint8_t* bytes, size_t frames) {
  const size_t start = mapped_.size();
  mapped_.resize(start + frames * static_cast<size_t>(out_.channels));
  if (in_.channels == out_.channels) {
    if (frames > 0) std::memcpy(mapped_.data() + start, bytes, (mapped_.size() - start) * sizeof(int16_t));
    return;
  }
  const int channels = in_.channels;
  int16_t* to = mapped_.data() + start;
  for (size_t i = 0; i < frames; ++i) {
    int16_t in[kMaxChannels];
    std::memcpy(in, bytes + i * static_cast<size_t>(in_.bytesPerFrame()),
                static_cast<size_t>(in_.bytesPerFrame()));
    if (out_.channels == 1) {
      int sum = 0;
      for (int c = 0; c < channels; ++c) sum += in[c];
      to[i] = static_cast<int16_t>(sum / channels);
    } else if (channels == 1) {
      to[2 * i] = to[2 * i + 1] = in[0];
    } else {
      int left = 0, right = 0;
      for (int c = 0; c < channels; ++c) (c % 2 ? right : left) += in[c];
      to[2 * i] = static_cast<int16_t>(left / ((channels + 1) / 2));
      to[2 * i + 1] = static_cast<int16_t>(right / (channels / 2));
    }
  }
}

}  // namespace brovana
