#pragma once
// What one frame of the visuals draws, and what carries over between frames: the 40 spectrum
// bars (falling slowly), the sweeping level line, the two needle meters and the scope line.
// Used by the drawing thread only.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "monitor/canvas.h"
#include "monitor/spectrum_analyser.h"

namespace brovana {

// The four displays, by the numbers the settings and the menu use.
enum VisualDisplay : int {
  kDisplaySpectrum = 1,
  kDisplayLevelLine = 2,  // "VU - scrolling"
  kDisplayScope = 3,
  kDisplayNeedles = 4,  // "VU - stereo"
};

struct DisplaySwitches {
  bool spectrum, levelLine, needles, scope;
};

// The PCM a frame is drawn from: 16-bit interleaved samples (8-bit for the spectrum only).
// `ended` marks the empty block a source sends when a track or the capture ends.
struct VisualBlock {
  std::span<const uint8_t> bytes;
  int channels = 2;
  int bytesPerSample = 2;
  bool ended = false;
};

class VisualScene {
 public:
  static constexpr int kBands = 40;

  // Draws the switched-on displays over what the canvas holds, in the order spectrum, level
  // line, needles, scope.
  void draw(Canvas& canvas, const VisualBlock& block, DisplaySwitches on);

  // Horizontal pitch of the spectrum bars, and how many bars an area of that width takes.
  static int barSpacing(int width);
  static int barCount(int width);
  // A bar that falls moves a quarter of the way down per frame.
  static float fallingBar(float previous, float value);
  // A needle moves at most 0.05 rad per frame towards its target.
  static double needleStep(double previous, double target);

  const std::array<double, 2>& needleAngles() const { return needles_; }

 private:
  struct Levels {
    double left = 0;
    double right = 0;
  };
  static Levels levels(const VisualBlock& block);
  void drawSpectrum(Canvas& canvas, const VisualBlock& block);
  void drawLevelLine(Canvas& canvas, double level);
  void drawNeedles(Canvas& canvas, Levels levels);
  void drawScope(Canvas& canvas, const VisualBlock& block);

  SpectrumAnalyser analyser_;
  std::array<float, kBands> bars_{};
  std::array<double, 2> needles_{};
  int sweep_ = 0;
  std::vector<int> scope_;  // the points of the last block that gave any
};

}  // namespace brovana
