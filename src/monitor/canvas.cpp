#include "monitor/canvas.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace brovana {

Canvas::Canvas(int width, int height, uint32_t colour)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), colour) {}

uint32_t Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
}

void Canvas::fill(uint32_t colour) {
  std::fill(pixels_.begin(), pixels_.end(), colour);
}

void Canvas::fillRect(int x, int y, int w, int h, uint32_t colour) {
  int left = std::max(x, 0), right = std::min(x + w, width_);
  int top = std::max(y, 0), bottom = std::min(y + h, height_);
  if (left >= right) return;
  for (int row = top; row < bottom; ++row) {
    auto begin = pixels_.begin() + static_cast<std::ptrdiff_t>(row) * width_;
    std::fill(begin + left, begin + right, colour);
  }
}

void Canvas::line(int x0, int y0, int x1, int y1, uint32_t colour, int penWidth) {
  int pen = std::max(penWidth, 1);
  int offset = pen / 2;
  // Bresenham: one pen stamp per step along the longer axis.
  int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    fillRect(x0 - offset, y0 - offset, pen, pen, colour);
    if (x0 == x1 && y0 == y1) return;
    int doubled = 2 * error;
    if (doubled >= dy) error += dy, x0 += stepX;
    if (doubled <= dx) error += dx, y0 += stepY;
  }
}

}  // namespace brovana
