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
using namespace std::chrono;

// Copies each frame out, as the window does on the drawing thread.
struct CopyingView : VisualView {
  void showFrame(const Canvas& frame) override {
    copy.assign(frame.bits(), frame.bits() + frame.width() * frame.height());
  }
  std::vector<uint32_t> copy;
};

double cpuSince(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  int width = argc > 3 ? std::atoi(argv[2]) : 400, height = argc > 3 ? std::atoi(argv[3]) : 56;
  std::vector<int16_t> pcm;
  for (int i = 0; i < 2 * 1152; ++i)
    pcm.push_back(static_cast<int16_t>(20000 * std::sin(i * 0.05) * std::sin(i * 0.0007)));
  CopyingView view;
  std::clock_t cpu = std::clock();
  auto start = steady_clock::now();
  {
    Visual visual(&view);
    visual.setArea(width, height);
    visual.setDisplay(kDisplayScope, true);
    for (int n = 1; steady_clock::now() - start < duration<double>(seconds); ++n) {
      visual.addData(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(pcm.size() * 2), 2, 2);
      std::this_thread::sleep_until(start + n * microseconds(26122));
    }
  }
  double wall = duration<double>(steady_clock::now() - start).count();
  std::printf("visuals %dx%d, all displays: %.2f %% of one core (goal < 2 %%)\n", width, height,
              100 * cpuSince(cpu) / wall);

  LineQuality gauge;
  cpu = std::clock();
  for (int i = 0; i < 1'000'000; ++i)
    gauge.setCpuQuality(0.95f), gauge.setNetworkQuality(32000 + i % 100, 32000);
  std::printf("gauge: %.0f ns per pair of figures (fed every 3 to 5 s)\n", cpuSince(cpu) * 1000);
}
