#pragma once
// The visuals' 128-point spectrum: a radix-2 transform of the first channel of 128 PCM frames,
// giving 64 magnitudes. All tables are built once, at construction.

#include <array>
#include <cstdint>
#include <span>

namespace brovana {

class SpectrumAnalyser {
 public:
  static constexpr int kPoints = 128;
  static constexpr int kBins = kPoints / 2;

  SpectrumAnalyser();

  // Transforms the first 128 frames of the block (16-bit or 8-bit interleaved PCM); a block of
  // fewer frames leaves the previous result in place. False then.
  bool feed(std::span<const uint8_t> block, int channels, int bytesPerSample);
  // sqrt(re² + im²) ÷ 128 of each bin below the half.
  const std::array<float, kBins>& magnitudes() const { return magnitudes_; }

 private:
  void transform();

  std::array<int, kPoints> reversed_{};
  std::array<double, kPoints> sine_{};
  std::array<double, kPoints> re_{};
  std::array<double, kPoints> im_{};
  std::array<float, kBins> magnitudes_{};
};

}  // namespace brovana
