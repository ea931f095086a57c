#include "monitor/visual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <vector>

namespace brovana {
namespace {

using namespace std::chrono_literals;

// 16-bit stereo frames of a sine at `bin` of the 128-point spectrum (0: a constant level).
std::vector<uint8_t> stereoBlock(int frames, int bin, double level = 32767) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i)
    samples.insert(samples.end(), 2,
                   static_cast<int16_t>(bin ? level * std::sin(2 * M_PI * bin * i / 128) : level));
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  return {bytes, bytes + samples.size() * 2};
}

TEST(VisualSceneTest, BarsFallAQuarterOfTheWayAndNeedlesAtMostOneStepPerFrame) {
  float bar = 40;
  for (float expected : {30.0f, 22.5f, 16.875f}) EXPECT_EQ(bar = VisualScene::fallingBar(bar, 0), expected);
  EXPECT_EQ(VisualScene::fallingBar(10, 25), 25) << "a rising bar jumps";
  for (auto [width, spacing, bars] :
       {std::tuple{200, 6, 33}, {100, 3, 33}, {1000, 26, 38}, {4000, 101, 39}}) {
    EXPECT_EQ(VisualScene::barSpacing(width), spacing) << width;
    EXPECT_EQ(VisualScene::barCount(width), bars) << width;
  }

  VisualScene scene;
  Canvas canvas(120, 40);
  std::vector<uint8_t> loud = stereoBlock(256, 0);
  for (auto [frames, angle] : {std::pair{1, 0.05}, {9, 0.5}, {36, 0.7 * 3.14}}) {
    for (int i = 0; i < frames; ++i) scene.draw(canvas, {loud}, {false, false, true, false});
    EXPECT_NEAR(scene.needleAngles()[1], angle, 1e-3) << "full scale, after " << frames << " more frames";
  }
  scene.draw(canvas, {{}, 2, 2, true}, {false, false, true, false});
  EXPECT_NEAR(scene.needleAngles()[0], 0.7 * 3.14 - 0.05, 1e-3) << "the end of a track lets them fall";

  std::vector<uint8_t> half = stereoBlock(256, 0, 16000);
  for (auto [block, line] : {std::pair{VisualBlock{half}, true}, {VisualBlock{{}, 2, 2, true}, false}}) {
    canvas.fill(rgb(0, 0, 0));
    scene.draw(canvas, block, {false, false, false, true});
    EXPECT_EQ(canvas.pixel(60, 1) == rgb(0, 255, 0), line) << "a scope line stands only while PCM flows";
  }
}

// Keeps the third frame that the drawing thread hands over.
struct FrameCatcher : VisualView {
  void showFrame(const Canvas& frame) override {
    if (++frames == 3) third.set_value(frame);
  }
  int frames = 0;  // the drawing thread's
  std::promise<Canvas> third;
};

TEST(VisualTest, AToneRaisesItsBarWhereSilenceLeavesTheBackground) {
  constexpr int kBin = 8, kWidth = 200, kHeight = 60;
  auto picture = [&](double level) {
    FrameCatcher catcher;
    std::future<Canvas> third = catcher.third.get_future();
    Visual visual(&catcher, 5ms);
    visual.setArea(kWidth, kHeight);
    visual.setDisplay(kDisplayNeedles, false);
    visual.setDisplay(kDisplayLevelLine, false);
    // Longer than a block drawn whole: it is queued and drawn in pieces.
    std::vector<uint8_t> block = stereoBlock(20'000, kBin, level);
    visual.addData(block.data(), static_cast<int>(block.size()), 2, 2);
    return third.wait_for(10s) == std::future_status::ready ? third.get() : Canvas();
  };
  Canvas tone = picture(32767), silence = picture(0);
  const int barX = (kBin + 1) * (VisualScene::barSpacing(kWidth) + 2);
  EXPECT_EQ(tone.pixel(barX, kHeight - 1), rgb(0, 255, 0)) << "the bar's first segment";
  EXPECT_EQ(tone.pixel(barX, 10), rgb(255, 0, 0)) << "the bar reaches the top";
  EXPECT_EQ(tone.pixel(barX - 8, kHeight - 1), rgb(0, 0, 0)) << "the band beside it is empty";
  EXPECT_EQ(silence, Canvas(kWidth, kHeight));
}

}  // namespace
}  // namespace brovana
