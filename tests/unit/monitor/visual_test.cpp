#include "monitor/visual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Interleaved 16-bit stereo frames of one value, or of a sine at `bin` of the 128-point spectrum.
std::vector<uint8_t> stereoBlock(int frames, int bin, int16_t level = 32767) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) {
    double angle = 2 * M_PI * bin * i / SpectrumAnalyser::kPoints;
    int16_t s = bin == 0 ? level : static_cast<int16_t>(level * std::sin(angle));
    samples.insert(samples.end(), {s, s});
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  return {bytes, bytes + samples.size() * 2};
}

TEST(VisualSceneTest, BarsFallAQuarterOfTheWayAndFitTheirArea) {
  float bar = 40;
  for (float expected : {30.0f, 22.5f, 16.875f}) EXPECT_EQ(bar = VisualScene::fallingBar(bar, 0), expected);
  EXPECT_EQ(VisualScene::fallingBar(10, 25), 25) << "a rising bar jumps";
  for (auto [width, spacing, bars] :
       {std::tuple{200, 6, 33}, {100, 3, 33}, {1000, 26, 38}, {4000, 101, 39}}) {
    EXPECT_EQ(VisualScene::barSpacing(width), spacing) << width;
    EXPECT_EQ(VisualScene::barCount(width), bars) << width;
  }
}

TEST(VisualSceneTest, NeedlesMoveAtMostOneStepPerFrame) {
  VisualScene scene;
  Canvas canvas(120, 40);
  std::vector<uint8_t> loud = stereoBlock(256, 0);
  const DisplaySwitches needles{false, false, true, false};
  std::vector<double> angles;
  for (int frame = 0; frame < 46; ++frame) {
    scene.draw(canvas, {loud}, needles);
    angles.push_back(scene.needleAngles()[1]);
  }
  EXPECT_NEAR(angles[0], 0.05, 1e-9);
  EXPECT_NEAR(angles[9], 0.5, 1e-9);
  EXPECT_NEAR(angles[45], 0.7 * 3.14, 1e-3) << "full scale";
  scene.draw(canvas, {{}, 2, 2, true}, needles);
  EXPECT_NEAR(scene.needleAngles()[0], angles[45] - 0.05, 1e-9) << "the end of a track lets them fall";
}

// Keeps the latest frame.
class FrameCatcher : public VisualView {
 public:
  void showFrame(const Canvas& frame) override {
    std::lock_guard lock(mutex_);
    frame_ = frame;
    ++frames_;
    arrived_.notify_all();
  }
  Canvas frameAfter(int frames) {
    std::unique_lock lock(mutex_);
    int wanted = frames_ + frames;
    EXPECT_TRUE(arrived_.wait_for(lock, 10s, [&] { return frames_ >= wanted; }));
    return frame_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  Canvas frame_;
  int frames_ = 0;
};

TEST(VisualTest, AToneRaisesItsBarWhereSilenceLeavesTheBackground) {
  constexpr int kBin = 8, kWidth = 200, kHeight = 60;
  auto picture = [&](int16_t level) {
    FrameCatcher catcher;
    Visual visual(&catcher, 5ms);
    visual.setArea(kWidth, kHeight);
    visual.setDisplay(kDisplayNeedles, false);
    visual.setDisplay(kDisplayLevelLine, false);
    // Longer than a block drawn in place: it goes through the queue, piece by piece.
    std::vector<uint8_t> block = stereoBlock(20'000, kBin, level);
    for (int i = 0; i < 3; ++i) visual.addData(block.data(), static_cast<int>(block.size()), 2, 2);
    return catcher.frameAfter(3);
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
