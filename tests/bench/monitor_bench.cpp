// What the monitoring costs: the visuals with all four displays on, fed a decoder block of
// 44.1 kHz stereo every 26 ms and drawing every 25 ms (process CPU over the run, as a share of
// one core), and the stream quality gauge per pair of figures.
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

using namespace brovana;

// Copies each frame out, as the window does.
struct CopyingView : VisualView {
  void showFrame(const Canvas& frame) override {
    copy.assign(frame.bits(), frame.bits() + frame.width() * frame.height());
    ++frames;
  }
  std::vector<uint32_t> copy;
  int frames = 0;
};

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  int width = argc > 3 ? std::atoi(argv[2]) : 400, height = argc > 3 ? std::atoi(argv[3]) : 56;
  std::vector<int16_t> pcm;
  for (int i = 0; i < 1152; ++i) {
    double t = i / 44100.0, v = 0.5 * std::sin(2 * M_PI * 220 * t) + 0.3 * std::sin(2 * M_PI * 3100 * t);
    pcm.insert(pcm.end(), {static_cast<int16_t>(30000 * v), static_cast<int16_t>(20000 * v)});
  }

  CopyingView view;
  std::clock_t cpu = std::clock();
  auto start = std::chrono::steady_clock::now();
  {
    Visual visual(&view);
    visual.setArea(width, height);
    visual.setDisplay(kDisplayScope, true);
    for (int n = 1; std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds); ++n) {
      visual.addData(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(pcm.size() * 2), 2, 2);
      std::this_thread::sleep_until(start + n * std::chrono::microseconds(26122));
    }
  }
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("visuals %dx%d, all displays, %.0f s: %d frames, %.2f %% of one core (goal < 2 %%)\n", width,
              height, wall, view.frames,
              100.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / wall);

  LineQuality gauge;
  const int calls = 1'000'000;
  cpu = std::clock();
  for (int i = 0; i < calls; ++i) gauge.setCpuQuality(0.95f), gauge.setNetworkQuality(32000 + i % 100, 32000);
  std::printf("gauge: %.0f ns per pair of figures (fed every 3 to 5 s)\n",
              static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / calls * 1e9);
}
