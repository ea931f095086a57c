#pragma once
// What one frame of the visuals draws, and what carries over between frames: the spectrum bars
// (falling slowly), the sweeping level line, the two needle meters on their scales with a
// peak mark that holds, and the scope line. Sizes are in the screen's device pixels: a scale
// of 2 draws twice as fine on a screen of twice the pixel density. Colours come from the skin.
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

// The skin's colours for the visuals; the shades between are mixed from them.
struct VisualColours {
  uint32_t background = rgb(0, 0, 0);
  uint32_t ink = rgb(0, 255, 0);     // bars, needles, the scope and the level line
  uint32_t accent = rgb(255, 0, 0);  // the loud end: bar tops, the scale's red zone, peak marks
};

// The PCM a frame is drawn from: 16-bit interleaved samples (8-bit for the spectrum only).
// `ended` marks the empty block a source sends when a track or the capture ends.
struct VisualBlock {
  std::span<const uint8_t> bytes;
  int channels = 2;
  int bytesPerSample = 2;
  bool ended = false;
};

// `a` mixed with `b`, `share` of b (0 to 1).
uint32_t mixColours(uint32_t a, uint32_t b, double share);

class VisualScene {
 public:
  static constexpr int kBands = 40;
  // The needles' scale, in dB under full scale; the red zone starts at kRedZoneDb.
  static constexpr double kScaleFloorDb = -40.0;
  static constexpr double kRedZoneDb = -6.0;
  // Frames a peak mark holds before it falls.
  static constexpr int kPeakHoldFrames = 40;

  void setStyle(const VisualColours& colours, double scale);
  // Draws the switched-on displays over what the canvas holds, in the order spectrum, level
  // line, needles, scope.
  void draw(Canvas& canvas, const VisualBlock& block, DisplaySwitches on);
  // Nothing moves any more: the bars are down, the needles and their peak marks at rest.
  bool settled() const;

  // Horizontal pitch of the spectrum bars, and how many bars an area of that width takes
  // (both in the area's own units).
  static int barSpacing(int width);
  static int barCount(int width);
  // A bar that falls moves a quarter of the way down per frame.
  static float fallingBar(float previous, float value);
  // Where a peak of the block (0 to 32768) sits on the needles' scale: 0 to 1.
  static double scalePosition(int peak);
  // A needle rises fast and falls slowly, from one frame to the next.
  static double needleStep(double previous, double target);

  // Each needle's place on its scale, and the peak mark's.
  const std::array<double, 2>& needles() const { return needles_; }
  const std::array<double, 2>& peaks() const { return peaks_; }

 private:
  struct Levels {
    int left = 0;
    int right = 0;
  };
  static Levels levels(const VisualBlock& block);
  int px(double logical) const;
  void drawSpectrum(Canvas& canvas, const VisualBlock& block);
  void drawLevelLine(Canvas& canvas, int peak);
  void drawNeedles(Canvas& canvas, Levels levels);
  void drawMeter(Canvas& canvas, int centreX, int radius, int channel);
  void drawScope(Canvas& canvas, const VisualBlock& block);

  VisualColours colours_;
  double scale_ = 1.0;
  SpectrumAnalyser analyser_;
  std::array<float, kBands> bars_{};
  std::array<double, 2> needles_{};
  std::array<double, 2> peaks_{};
  std::array<int, 2> peakHold_{};
  int sweep_ = 0;
  std::vector<int> scope_;  // the points of the last block that gave any
};

}  // namespace brovana
