#include "monitor/spectrum_analyser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brovana {
namespace {

constexpr int kIndexBits = 9;  // log2 of the points
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

SpectrumAnalyser::SpectrumAnalyser() {
  for (int i = 0; i < kPoints; ++i) {
    int r = 0;
    for (int bit = 0; bit < kIndexBits; ++bit) r |= ((i >> bit) & 1) << (kIndexBits - 1 - bit);
    reversed_[i] = r;
    sine_[i] = std::sin(kTwoPi * i / kPoints);
    window_[i] = 0.5 - 0.5 * std::cos(kTwoPi * i / kPoints);
  }
}

bool SpectrumAnalyser::feed(std::span<const uint8_t> block, int channels, int bytesPerSample) {
  if (channels < 1 || (bytesPerSample != 1 && bytesPerSample != 2)) return false;
  size_t frameBytes = static_cast<size_t>(channels * bytesPerSample);
  if (block.size() / frameBytes < kPoints) return false;
  for (int i = 0; i < kPoints; ++i) {
    const uint8_t* sample = block.data() + static_cast<size_t>(i) * frameBytes;
    double value;
    if (bytesPerSample == 2) {
      int16_t s;
      std::memcpy(&s, sample, sizeof s);
      value = s * (1.0 / 32768);
    } else {
      value = (static_cast<int>(*sample) - 128) * (1.0 / 128);  // 8-bit PCM is unsigned
    }
    // Inputs go in bit-reversed order, so the in-place stages leave the output in order.
    re_[reversed_[i]] = value * window_[i];
    im_[reversed_[i]] = 0;
  }
  transform();
  // The window halves a sine's amplitude, the transform splits it between two bins: ×4 ÷ points.
  for (int k = 0; k < kBins; ++k)
    magnitudes_[k] = static_cast<float>(std::hypot(re_[k], im_[k]) * 4 / kPoints);
  return true;
}

float SpectrumAnalyser::band(int band, int bands) const {
  if (bands < 1 || band < 0 || band >= bands) return 0;
  // Edges from bin 1 to the last bin, each the same factor above the one before; a band too
  // narrow for a bin of its own shows the bin it lies in.
  auto edge = [bands](int k) { return std::pow(static_cast<double>(kBins), static_cast<double>(k) / bands); };
  const int first = std::clamp(static_cast<int>(edge(band)), 1, kBins - 1);
  const int last = std::clamp(static_cast<int>(edge(band + 1)), first + 1, kBins);
  const float loudest = *std::max_element(magnitudes_.begin() + first, magnitudes_.begin() + last);
  const float db = 20.0f * std::log10(std::max(loudest, 1e-6f));
  return std::clamp((db + kFloorDb) / kFloorDb, 0.0f, 1.0f);
}

void SpectrumAnalyser::transform() {
  for (int half = 1; half < kPoints; half *= 2) {
    int step = kPoints / (2 * half);  // table stride of this stage's twiddle factors
    for (int start = 0; start < kPoints; start += 2 * half) {
      for (int j = 0; j < half; ++j) {
        int t = j * step;
        double cosine = sine_[(t + kPoints / 4) % kPoints];  // a quarter period ahead
        double sine = sine_[t];
        int a = start + j, b = a + half;
        double re = re_[b] * cosine + im_[b] * sine;
        double im = im_[b] * cosine - re_[b] * sine;
        re_[b] = re_[a] - re;
        im_[b] = im_[a] - im;
        re_[a] += re;
        im_[a] += im;
      }
    }
  }
}

}  // namespace brovana
