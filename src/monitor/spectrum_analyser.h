#pragma once
// The visuals' spectrum: a 512-point radix-2 transform of the first channel of 512 PCM frames
// under a Hann window, and its bins gathered into bands spaced evenly in pitch (every band the
// same share of an octave), from the lowest bin up to half the sample rate, so that the bars
// spread over what the ear hears rather than crowding the low end. All tables are built once,
// at construction.

#include <array>
#include <cstdint>
#include <span>

namespace brovana {

class SpectrumAnalyser {
 public:
  static constexpr int kPoints = 512;
  static constexpr int kBins = kPoints / 2;
  // A band shows nothing below this level (dB under a full-scale sine).
  static constexpr float kFloorDb = 60.0f;

  SpectrumAnalyser();

  // Transforms the first 512 frames of the block (16-bit or 8-bit interleaved PCM); a block of
  // fewer frames leaves the previous result in place. False then.
  bool feed(std::span<const uint8_t> block, int channels, int bytesPerSample);
  // Band `band` of `bands`: its loudest bin on a decibel scale, 0 at the floor and 1 at full
  // scale.
  float band(int band, int bands) const;

 private:
  void transform();

  std::array<int, kPoints> reversed_{};
  std::array<double, kPoints> sine_{};
  std::array<double, kPoints> window_{};
  std::array<double, kPoints> re_{};
  std::array<double, kPoints> im_{};
  std::array<float, kBins> magnitudes_{};  // each bin's, 1 for a full-scale sine at its frequency
};

}  // namespace brovana
