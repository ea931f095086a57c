#include "monitor/visual.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <random>
#include <vector>

namespace brovana {
namespace {

using namespace std::chrono_literals;

// 16-bit stereo frames of a sine at `bin` of the 512-point spectrum (0: a constant level; -1:
// white noise).
std::vector<uint8_t> stereoBlock(int frames, int bin, double level = 32767) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> noise(-1, 1);
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) {
    double shape = bin > 0 ? std::sin(2 * M_PI * bin * i / 512) : bin == 0 ? 1 : noise(random);
    samples.insert(samples.end(), 2, static_cast<int16_t>(level * shape));
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  return {bytes, bytes + samples.size() * 2};
}

TEST(VisualSceneTest, NeedlesRiseFastFallSlowlyAndThePeakMarkHolds) {
  for (auto [peak, position] : {std::pair{0, 0.0}, {32768, 1.0}, {16384, 0.85}, {328, 0.0}, {3277, 0.5}})
    EXPECT_NEAR(VisualScene::scalePosition(peak), position, 0.01) << peak;
  VisualScene scene;
  Canvas canvas(200, 50);
  std::vector<uint8_t> loud = stereoBlock(1024, 0);
  const VisualBlock ended{{}, 2, 2, true};
  const std::tuple<const VisualBlock*, int, double, double> steps[] = {
      // block, frames, needle and peak mark afterwards
      {nullptr, 1, 0.25, 0.25}, {nullptr, 3, 1.0, 1.0}, {&ended, 10, 0.7, 1.0},  // the mark holds
      {&ended, 30, 0.0, 1.0},   {&ended, 10, 0.0, 0.8},                          // then sinks
  };
  for (const auto& [block, frames, needle, peak] : steps) {
    for (int i = 0; i < frames; ++i)
      scene.draw(canvas, block ? *block : VisualBlock{loud}, {false, false, true, false});
    EXPECT_NEAR(scene.needles()[1], needle, 1e-4);
    EXPECT_NEAR(scene.peaks()[1], peak, 1e-4);
  }
  EXPECT_FALSE(scene.settled());
  for (int i = 0; i < 40; ++i) scene.draw(canvas, ended, {true, false, true, false});
  EXPECT_TRUE(scene.settled());
}

// A tone lights the band of its pitch, tones an octave apart lie equally far apart, and noise
// reaches every band; the bars take the skin's colours, loud end on top.
TEST(VisualSceneTest, SpectrumBandsSpreadOverThePitchesInTheSkinsColours) {
  constexpr int kWidth = 400, kHeight = 60;
  const VisualColours colours{rgb(1, 2, 3), rgb(10, 200, 10), rgb(250, 10, 10)};
  const int bands = VisualScene::barCount(kWidth);
  auto picture = [&](int bin, double scale = 1) {
    VisualScene scene;
    scene.setStyle(colours, scale);
    Canvas canvas(static_cast<int>(kWidth * scale), static_cast<int>(kHeight * scale), colours.background);
    std::vector<uint8_t> block = stereoBlock(1024, bin);
    scene.draw(canvas, {block}, {true, false, false, false});
    return canvas;
  };
  auto litBands = [&](const Canvas& canvas) {
    std::vector<int> lit;
    for (int band = 0; band < bands; ++band) {
      const int x = static_cast<int>((band + 0.5) * canvas.width() / bands);
      if (canvas.pixel(x, canvas.height() - 1) != colours.background) lit.push_back(band);
    }
    return lit;
  };
  std::vector<int> middles;
  for (int bin : {4, 8, 16, 32, 64, 128}) {
    std::vector<int> lit = litBands(picture(bin));
    ASSERT_FALSE(lit.empty()) << bin;
    EXPECT_LE(lit.back() - lit.front(), 3) << bin;
    middles.push_back(lit[lit.size() / 2]);
  }
  for (size_t i = 2; i < middles.size(); ++i)
    EXPECT_NEAR(middles[i] - middles[i - 1], middles[1] - middles[0], 1);
  EXPECT_EQ(litBands(picture(-1)).size(), static_cast<size_t>(bands)) << "noise";
  EXPECT_EQ(litBands(picture(-1, 2)).size(), static_cast<size_t>(bands))
      << "as many bands at twice the density";
  Canvas tone = picture(16);
  const int x = static_cast<int>((middles[2] + 0.5) * kWidth / bands);
  EXPECT_EQ(std::tuple(tone.pixel(x, kHeight - 1), tone.pixel(x, 1)),
            std::tuple(colours.ink, colours.accent));
}

// Keeps the third frame that the drawing thread hands over.
struct FrameCatcher : VisualView {
  void showFrame(const Canvas& frame) override {
    if (++frames == 3) third.set_value(frame);
  }
  int frames = 0;  // the drawing thread's
  std::promise<Canvas> third;
};

// Sound that comes while the area is hidden is not even taken: shown again, the visuals draw
// what comes next.
TEST(VisualTest, AToneRaisesItsBarsAndNothingIsTakenWhileHidden) {
  constexpr int kWidth = 200, kHeight = 60;
  auto picture = [&](double level, bool hiddenTone) {
    FrameCatcher catcher;
    std::future<Canvas> third = catcher.third.get_future();
    Visual visual(&catcher, 5ms);
    visual.setArea(kWidth, kHeight);
    visual.setDisplay(kDisplayNeedles, false);
    visual.setDisplay(kDisplayLevelLine, false);
    std::vector<uint8_t> tone = stereoBlock(20'000, 16);
    if (hiddenTone) {
      visual.setShown(false);
      visual.addData(tone.data(), static_cast<int>(tone.size()), 2, 2);
      visual.setShown(true);
    }
    // Longer than a block drawn whole: it is queued and drawn in pieces.
    std::vector<uint8_t> block = stereoBlock(20'000, 16, level);
    visual.addData(block.data(), static_cast<int>(block.size()), 2, 2);
    return third.wait_for(10s) == std::future_status::ready ? third.get() : Canvas();
  };
  Canvas tone = picture(32767, false), silence = picture(0, true);
  int lit = 0;
  for (int x = 0; x < kWidth; ++x) lit += tone.pixel(x, kHeight - 1) == VisualColours{}.ink;
  EXPECT_GT(lit, 0);
  EXPECT_LT(lit, kWidth / 4) << "one tone, a few bars";
  EXPECT_EQ(silence, Canvas(kWidth, kHeight));
}

}  // namespace
}  // namespace brovana
