#pragma once
// A plain 32-bit pixel image for the visuals: drawn on the drawing thread, handed to a view that
// copies it. Pixels are 0xffRRGGBB, rows top to bottom, so a toolkit can wrap the bits as they
// are (Qt's RGB32 layout). Everything drawn outside the image is clipped.

#include <cstdint>
#include <vector>

namespace brovana {

constexpr uint32_t rgb(int red, int green, int blue) {
  return 0xff000000u | static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 |
         static_cast<uint32_t>(blue);
}

class Canvas {
 public:
  Canvas() = default;
  Canvas(int width, int height, uint32_t colour = rgb(0, 0, 0));

  int width() const { return width_; }
  int height() const { return height_; }
  // width × height pixels, row by row.
  const uint32_t* bits() const { return pixels_.data(); }
  // 0 outside the image.
  uint32_t pixel(int x, int y) const;

  void fill(uint32_t colour);
  // The pixels x ≤ px < x + w, y ≤ py < y + h.
  void fillRect(int x, int y, int w, int h, uint32_t colour);
  // A straight line from one end to the other, both ends included, with a square pen of
  // `penWidth` pixels centred on it.
  void line(int x0, int y0, int x1, int y1, uint32_t colour, int penWidth = 1);

  bool operator==(const Canvas&) const = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace brovana
