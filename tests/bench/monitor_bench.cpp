// What the monitoring costs: the visuals with all four displays on, drawn every 25 ms from
// music-like PCM fed in real time (process CPU time over the run, as a share of one core, and
// the cost of one frame), and the stream quality gauge per pair of figures.
//
//   bench_monitor [seconds, default 10] [width height, default 400 56]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

#include "monitor/line_quality.h"
#include "monitor/visual.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One decoder block of 44.1 kHz stereo: 1152 frames, a few tones that swell and fade.
std::vector<int16_t> block(int index) {
  std::vector<int16_t> samples;
  for (int i = 0; i < 1152; ++i) {
    double t = (index * 1152 + i) / 44100.0;
    double v = (0.5 + 0.4 * std::sin(t * 3)) *
               (0.5 * std::sin(2 * M_PI * 220 * t) + 0.3 * std::sin(2 * M_PI * 3100 * t));
    samples.insert(samples.end(), {static_cast<int16_t>(30000 * v), static_cast<int16_t>(20000 * v)});
  }
  return samples;
}

// Copies each frame out, as the window does.
class CopyingView : public VisualView {
 public:
  void showFrame(const Canvas& frame) override {
    copy_.assign(frame.bits(), frame.bits() + frame.width() * frame.height());
    ++frames;
  }
  int frames = 0;

 private:
  std::vector<uint32_t> copy_;
};

void visuals(double seconds, int width, int height) {
  CopyingView view;
  double cpuBefore = cpuSeconds();
  auto start = Clock::now();
  {
    Visual visual(&view);
    visual.setArea(width, height);
    for (int display : {kDisplaySpectrum, kDisplayLevelLine, kDisplayScope, kDisplayNeedles})
      visual.setDisplay(display, true);
    for (int n = 0; Clock::now() - start < std::chrono::duration<double>(seconds); ++n) {
      std::vector<int16_t> samples = block(n);
      visual.addData(reinterpret_cast<const uint8_t*>(samples.data()), static_cast<int>(samples.size() * 2),
                     2, 2);
      std::this_thread::sleep_until(start + n * std::chrono::microseconds(1152 * 1000000LL / 44100));
    }
  }
  double wall = std::chrono::duration<double>(Clock::now() - start).count();
  double cpu = cpuSeconds() - cpuBefore;
  std::printf("visuals %dx%d, all displays, %.0f s: %d frames, %.2f %% of one core (goal < 2 %%)\n", width,
              height, wall, view.frames, 100 * cpu / wall);

  VisualScene scene;
  Canvas canvas(width, height);
  std::vector<int16_t> samples = block(0);
  VisualBlock pcm{{reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2}};
  const int frames = 20000;
  double before = cpuSeconds();
  for (int i = 0; i < frames; ++i) {
    canvas.fill(0);
    scene.draw(canvas, pcm, {true, true, true, true});
  }
  double perFrame = (cpuSeconds() - before) / frames;
  std::printf("one frame: %.1f us, at 40 frames a second %.3f %% of one core\n", perFrame * 1e6,
              perFrame * 40 * 100);
}

void gauge() {
  LineQuality quality;
  const int calls = 1'000'000;
  double before = cpuSeconds();
  for (int i = 0; i < calls; ++i) {
    quality.setCpuQuality(0.9f + (i % 10) * 0.01f);
    quality.setNetworkQuality(32000 + i % 100, 32000);
  }
  std::printf("gauge: %.0f ns per pair of figures (fed every 3 to 5 s)\n",
              (cpuSeconds() - before) / calls * 1e9);
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  int width = argc > 3 ? std::atoi(argv[2]) : 400, height = argc > 3 ? std::atoi(argv[3]) : 56;
  brovana::visuals(seconds, width, height);
  brovana::gauge();
}
