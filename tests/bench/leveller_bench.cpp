// The leveller plug-in's cost: CPU time per second of audio at 22050 Hz stereo, in blocks of
// 1152 frames, for module 0 (leveller and limiter) and module 1 (limiter alone). The audio is
// music-like and jumps between -30 and -3 dBFS every 5 seconds, so that both stages work. Best
// of five runs each.
//
//   bench_leveller [seconds of audio, default 600]

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "leveller.h"

namespace {

constexpr int kRate = 22050;
constexpr int kBlockFrames = 1152;

std::vector<int16_t> makeAudio(double seconds) {
  size_t frames = static_cast<size_t>(seconds * kRate);
  std::vector<int16_t> audio(frames * 2);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 0.02);
  for (size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / kRate;
    double level = std::pow(10, (static_cast<int>(t / 5) % 2 ? -3 : -30) / 20.0);
    double base =
        0.5 * std::sin(2 * M_PI * (220 + 20 * std::sin(t / 3)) * t) + 0.3 * std::sin(2 * M_PI * 660 * t);
    audio[2 * i] =
        static_cast<int16_t>(32767 * level * (base + 0.2 * std::sin(2 * M_PI * 1760 * t) + noise(random)));
    audio[2 * i + 1] =
        static_cast<int16_t>(32767 * level * (base + 0.2 * std::sin(2 * M_PI * 2640 * t) + noise(random)));
  }
  return audio;
}

double cpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double run(const leveller::Settings& settings, std::vector<int16_t> audio) {
  leveller::Leveller leveller(settings);
  double begin = cpuSeconds();
  size_t frames = audio.size() / 2;
  for (size_t at = 0; at < frames; at += kBlockFrames) {
    int n = static_cast<int>(std::min<size_t>(kBlockFrames, frames - at));
    leveller.process(audio.data() + 2 * at, n, 2, kRate);
  }
  return cpuSeconds() - begin;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 600;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: bench_leveller [seconds of audio]\n");
    return 2;
  }
  std::vector<int16_t> audio = makeAudio(seconds);
  struct {
    const char* name;
    leveller::Settings settings;
  } modules[] = {{"leveller and limiter", {}}, {"limiter alone", {.level = false}}};
  std::printf("%.0f s of 22050 Hz stereo in blocks of %d frames, best of 5:\n", seconds, kBlockFrames);
  for (const auto& module : modules) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) best = std::min(best, run(module.settings, audio));
    double perSecond = best / seconds;
    std::printf("  %-22s %7.3f ms CPU per second of audio = %.3f %% of a core (%.0f ns per frame)\n",
                module.name, perSecond * 1e3, perSecond * 100, perSecond * 1e9 / kRate);
  }
  return 0;
}
