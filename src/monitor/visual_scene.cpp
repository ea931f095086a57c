#include "monitor/visual_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace brovana {
namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kNeedleRise = 0.25;  // of the scale per frame
constexpr double kNeedleFall = 0.03;
constexpr double kPeakFall = 0.02;
constexpr double kScaleMarksDb[] = {-40, -30, -20, -12, -6, -3, 0};

int sampleAt(std::span<const uint8_t> bytes, size_t offset) {
  int16_t sample;
  std::memcpy(&sample, bytes.data() + offset, sizeof sample);
  return sample;
}

uint8_t channel(uint32_t colour, int shift) {
  return static_cast<uint8_t>(colour >> shift);
}

// A place on a meter's scale (0 to 1) as the angle from its pivot: the scale spans the upper
// 108° of the circle, left to right.
double meterAngle(double position) {
  return kPi * (0.8 - 0.6 * std::clamp(position, 0.0, 1.0));
}

}  // namespace

uint32_t mixColours(uint32_t a, uint32_t b, double share) {
  auto mix = [&](int shift) {
    return static_cast<int>(std::lround(channel(a, shift) * (1 - share) + channel(b, shift) * share));
  };
  return rgb(mix(16), mix(8), mix(0));
}

void VisualScene::setStyle(const VisualColours& colours, double scale) {
  colours_ = colours;
  scale_ = std::max(scale, 1.0);
}

int VisualScene::px(double logical) const {
  return std::max(1, static_cast<int>(std::lround(logical * scale_)));
}

int VisualScene::barSpacing(int width) {
  return static_cast<int>(width * 0.025 + 1.0);
}

int VisualScene::barCount(int width) {
  return std::clamp(width / barSpacing(width), 0, kBands);
}

float VisualScene::fallingBar(float previous, float value) {
  return value < previous ? previous - (previous - value) * 0.25f : value;
}

double VisualScene::scalePosition(int peak) {
  if (peak <= 0) return 0;
  const double db = 20 * std::log10(peak / 32768.0);
  return std::clamp((db - kScaleFloorDb) / -kScaleFloorDb, 0.0, 1.0);
}

double VisualScene::needleStep(double previous, double target) {
  return std::clamp(target, previous - kNeedleFall, previous + kNeedleRise);
}

bool VisualScene::settled() const {
  return std::all_of(bars_.begin(), bars_.end(), [](float bar) { return bar < 0.005f; }) &&
         std::all_of(needles_.begin(), needles_.end(), [](double v) { return v < 1e-3; }) &&
         std::all_of(peaks_.begin(), peaks_.end(), [](double v) { return v < 1e-3; });
}

void VisualScene::draw(Canvas& canvas, const VisualBlock& block, DisplaySwitches on) {
  if (on.spectrum) drawSpectrum(canvas, block);
  Levels now = on.levelLine || on.needles ? levels(block) : Levels{};
  if (on.levelLine) drawLevelLine(canvas, std::max(now.left, now.right));
  if (on.needles) drawNeedles(canvas, now);
  if (on.scope) drawScope(canvas, block);
}

// The peaks of the interleaved 16-bit pairs.
VisualScene::Levels VisualScene::levels(const VisualBlock& block) {
  int left = 0, right = 0;
  for (size_t at = 0; at + 4 <= block.bytes.size(); at += 4) {
    left = std::max(left, std::abs(sampleAt(block.bytes, at)));
    right = std::max(right, std::abs(sampleAt(block.bytes, at + 2)));
  }
  return {left, right};
}

void VisualScene::drawSpectrum(Canvas& canvas, const VisualBlock& block) {
  // At the end of a track the bars fall to rest rather than stand still.
  if (!block.ended) analyser_.feed(block.bytes, block.channels, block.bytesPerSample);
  const int width = canvas.width(), height = canvas.height();
  const int bands = barCount(static_cast<int>(width / scale_));
  if (bands == 0) return;
  const double pitch = static_cast<double>(width) / bands;
  const int barWidth = std::max(1, static_cast<int>(pitch * 0.7));
  const int segment = px(2), step = segment + px(1);
  const uint32_t mid = mixColours(colours_.ink, colours_.accent, 0.5);
  for (int band = 0; band < bands; ++band) {
    const float level = block.ended ? 0.0f : analyser_.band(band, bands);
    bars_[band] = fallingBar(bars_[band], level);
    const int reach = static_cast<int>(bars_[band] * static_cast<float>(height));
    const int x = static_cast<int>(band * pitch + (pitch - barWidth) / 2);
    for (int top = height - segment; top >= height - reach; top -= step) {
      const double share = static_cast<double>(height - top) / height;
      canvas.fillRect(x, top, barWidth, segment,
                      share < 0.6    ? colours_.ink
                      : share < 0.85 ? mid
                                     : colours_.accent);
    }
  }
}

void VisualScene::drawLevelLine(Canvas& canvas, int peak) {
  const int height = canvas.height();
  const int h = static_cast<int>(height * scalePosition(peak));
  const int x = sweep_, pen = px(2), offset = px(4);
  const uint32_t shadow = mixColours(colours_.background, rgb(0, 0, 0), 0.5);
  canvas.line(x + offset, height - h + offset, x + offset, height, shadow, pen);
  canvas.line(x, height - h, x, height, colours_.ink, pen);
  canvas.fillRect(x - pen / 2, height - h - pen / 2, pen, pen, colours_.accent);
  sweep_ = x + px(1) > canvas.width() ? 0 : x + px(1);
}

void VisualScene::drawNeedles(Canvas& canvas, Levels levels) {
  const int width = canvas.width(), height = canvas.height();
  const int radius = std::min(static_cast<int>(height * 0.9), static_cast<int>(width * 0.22));
  const int peaksNow[2] = {levels.left, levels.right};
  for (int i = 0; i < 2; ++i) {
    needles_[i] = needleStep(needles_[i], scalePosition(peaksNow[i]));
    // A peak mark holds its place for a while, then sinks towards the needle.
    if (needles_[i] >= peaks_[i]) {
      peaks_[i] = needles_[i];
      peakHold_[i] = kPeakHoldFrames;
    } else if (peakHold_[i] > 0) {
      --peakHold_[i];
    } else {
      peaks_[i] = std::max(needles_[i], peaks_[i] - kPeakFall);
    }
    drawMeter(canvas, static_cast<int>(width * (i == 0 ? 0.25 : 0.75)), radius, i);
  }
}

// One meter: its scale (an arc with marks, red from kRedZoneDb), the peak mark and the needle,
// all turning about a pivot at the bottom of the area.
void VisualScene::drawMeter(Canvas& canvas, int centreX, int radius, int channel) {
  const int pivotY = canvas.height() - px(2);
  auto at = [&](double position, double reach) {
    const double angle = meterAngle(position);
    return std::pair{centreX + static_cast<int>(std::lround(std::cos(angle) * radius * reach)),
                     pivotY - static_cast<int>(std::lround(std::sin(angle) * radius * reach))};
  };
  const uint32_t scaleColour = mixColours(colours_.ink, colours_.background, 0.45);
  const double redZone = (kRedZoneDb - kScaleFloorDb) / -kScaleFloorDb;
  constexpr int kArcSteps = 30;
  for (int k = 0; k < kArcSteps; ++k) {
    const double from = static_cast<double>(k) / kArcSteps, to = static_cast<double>(k + 1) / kArcSteps;
    const bool red = from >= redZone;
    auto [x0, y0] = at(from, 0.92);
    auto [x1, y1] = at(to, 0.92);
    canvas.line(x0, y0, x1, y1, red ? colours_.accent : scaleColour, red ? px(2) : px(1));
  }
  // The marks outside the arc, the peak mark inside it, so that neither hides the other.
  for (double db : kScaleMarksDb) {
    const double position = (db - kScaleFloorDb) / -kScaleFloorDb;
    auto [x0, y0] = at(position, 0.92);
    auto [x1, y1] = at(position, 1.02);
    canvas.line(x0, y0, x1, y1, position >= redZone ? colours_.accent : scaleColour, px(1));
  }
  if (peaks_[channel] > 1e-3) {
    auto [x0, y0] = at(peaks_[channel], 0.76);
    auto [x1, y1] = at(peaks_[channel], 0.86);
    canvas.line(x0, y0, x1, y1, colours_.accent, px(2));
  }
  auto [tipX, tipY] = at(needles_[channel], 0.9);
  canvas.line(centreX, pivotY, tipX, tipY, colours_.ink, px(1.5));
  canvas.fillRect(centreX - px(3), pivotY - px(3), px(6), px(6), colours_.ink);
}

void VisualScene::drawScope(Canvas& canvas, const VisualBlock& block) {
  // Nothing flows after the end of a track or capture; the last line would stand still.
  if (block.ended) scope_.clear();
  const int width = canvas.width(), height = canvas.height();
  const int sixths = static_cast<int>(block.bytes.size() / 6);
  if (sixths > 0) {
    scope_.resize(static_cast<size_t>((sixths + 1) / 2));
    for (size_t i = 0; i < scope_.size(); ++i)
      scope_[i] = static_cast<int>(std::abs(sampleAt(block.bytes, 4 * i)) / 32768.0 * height);
  }
  if (scope_.empty()) return;
  const double pitch = static_cast<double>(width) / static_cast<double>(scope_.size()) * 4.0;
  int lastX = 0, lastY = 0;
  for (size_t i = 0; i < scope_.size(); ++i) {
    int x = static_cast<int>(static_cast<double>(i) * pitch);
    if (x > width) break;
    int y = height - scope_[i] - height / 2;
    if (i > 0) canvas.line(lastX, lastY, x, y, colours_.ink, px(1));
    lastX = x, lastY = y;
  }
}

}  // namespace brovana
