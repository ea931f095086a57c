#include "monitor/visual_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace brovana {
namespace {

constexpr uint32_t kBlack = rgb(0, 0, 0);
constexpr uint32_t kRed = rgb(255, 0, 0);
constexpr uint32_t kOrange = rgb(255, 150, 0);
constexpr uint32_t kAmber = rgb(255, 200, 0);
constexpr uint32_t kGreen = rgb(0, 255, 0);

constexpr double kPi = 3.14;
constexpr double kNeedleReach = 0.7;
constexpr double kNeedleStep = 0.05;
constexpr int kSegmentPitch = 3;

int sampleAt(std::span<const uint8_t> bytes, size_t offset) {
  int16_t sample;
  std::memcpy(&sample, bytes.data() + offset, sizeof sample);
  return sample;
}

}  // namespace

int VisualScene::barSpacing(int width) {
  return static_cast<int>(width * 0.025 + 1.0);
}

int VisualScene::barCount(int width) {
  return std::clamp(width / barSpacing(width), 0, kBands);
}

float VisualScene::fallingBar(float previous, float value) {
  return value < previous ? previous - (previous - value) * 0.25f : value;
}

double VisualScene::needleStep(double previous, double target) {
  return std::clamp(target, previous - kNeedleStep, previous + kNeedleStep);
}

void VisualScene::draw(Canvas& canvas, const VisualBlock& block, DisplaySwitches on) {
  if (on.spectrum) drawSpectrum(canvas, block);
  Levels now = on.levelLine || on.needles ? levels(block) : Levels{};
  if (on.levelLine) drawLevelLine(canvas, now.left);
  if (on.needles) drawNeedles(canvas, now);
  if (on.scope) drawScope(canvas, block);
}

// The peaks of the interleaved 16-bit pairs, each as sqrt(peak ÷ 32768): 0 to about 1.
VisualScene::Levels VisualScene::levels(const VisualBlock& block) {
  int left = 0, right = 0;
  for (size_t at = 0; at + 4 <= block.bytes.size(); at += 4) {
    left = std::max(left, std::abs(sampleAt(block.bytes, at)));
    right = std::max(right, std::abs(sampleAt(block.bytes, at + 2)));
  }
  return {std::sqrt(left / 32768.0), std::sqrt(right / 32768.0)};
}

void VisualScene::drawSpectrum(Canvas& canvas, const VisualBlock& block) {
  if (block.ended) return;
  analyser_.feed(block.bytes, block.channels, block.bytesPerSample);
  const int width = canvas.width(), height = canvas.height();
  const int pitch = barSpacing(width) + 2;
  const int segments = height / kSegmentPitch + 1;
  for (int band = 0; band < barCount(width); ++band) {
    // 64 bins over 40 bands is one bin per band.
    float value = fallingBar(bars_[band], static_cast<float>(height) * analyser_.magnitudes()[band] * 3.0f);
    bars_[band] = value;
    const int x = (band + 1) * pitch;
    const int reach = 4 * static_cast<int>(value);
    for (int i = 0; i < segments && kSegmentPitch * i < reach; ++i) {
      uint32_t colour = i < 4 ? kGreen : i < 8 ? kAmber : kRed;
      canvas.fillRect(x - 2, height - kSegmentPitch * i - 2, 4, 2, colour);
    }
  }
}

void VisualScene::drawLevelLine(Canvas& canvas, double level) {
  const int height = canvas.height();
  const int h = static_cast<int>(height * level);
  const int x = sweep_;
  canvas.line(x + 4, height - h + 4, x + 4, height, kBlack, 2);  // shadow
  canvas.line(x, height - h, x, height, kRed, 2);
  canvas.fillRect(x - 1, height - h - 1, 2, 2, kOrange);
  sweep_ = x + 1 > canvas.width() ? 0 : x + 1;
}

void VisualScene::drawNeedles(Canvas& canvas, Levels levels) {
  const int width = canvas.width(), height = canvas.height();
  const double targets[2] = {levels.left * kNeedleReach * kPi, levels.right * kNeedleReach * kPi};
  const int centres[2] = {static_cast<int>(width * 0.25), static_cast<int>(width * 0.75)};
  const int radius = static_cast<int>(height * 0.8);
  for (int i = 0; i < 2; ++i) {
    needles_[i] = needleStep(needles_[i], targets[i]);
    int tipX = static_cast<int>(centres[i] - std::cos(needles_[i]) * radius);
    int tipY = static_cast<int>(height - std::sin(needles_[i]) * radius);
    canvas.line(centres[i] + 3, height + 1, tipX + 3, tipY + 1, kBlack, 2);  // shadow
    canvas.line(centres[i], height, tipX, tipY, kRed, 2);
  }
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
    if (i > 0) canvas.line(lastX, lastY, x, y, kGreen, 1);
    lastX = x, lastY = y;
  }
}

}  // namespace brovana
