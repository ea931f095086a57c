// The leveller plug-in's cost: CPU time per second of audio at 22050 Hz stereo in blocks of 1152
// frames, for the leveller with its limiter and for the limiter alone, best of five runs. The
// audio is a chord whose peaks jump between -30 and -0.5 dBFS (above the ceiling) every 5 s, so
// that both stages work.
//
//   bench_leveller [seconds of audio, default 600]

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "leveller.h"

int main(int argc, char** argv) {
  constexpr int kRate = 22050, kBlock = 1152;
  double seconds = argc > 1 ? std::atof(argv[1]) : 600;
  if (seconds < 1) return std::fprintf(stderr, "usage: bench_leveller [seconds of audio, at least 1]\n"), 2;
  std::vector<int16_t> audio(size_t(seconds * kRate) * 2);
  for (size_t i = 0; i < audio.size(); ++i) {
    double t = double(i / 2) / kRate, level = int(t / 5) % 2 ? 28000 : 900;
    audio[i] = int16_t(
        level * (0.6 * std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * (i % 2 ? 660 : 550) * t)));
  }
  std::printf("%.0f s of 22050 Hz stereo in blocks of %d frames, best of 5:\n", seconds, kBlock);
  for (bool level : {true, false}) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
      leveller::Leveller leveller(leveller::Settings{.level = level});
      std::vector<int16_t> copy = audio;
      timespec begin, end;
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
      for (size_t at = 0; at + 2 * kBlock <= copy.size(); at += 2 * kBlock)
        leveller.process(&copy[at], kBlock, 2, kRate);
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
      best = std::min(best, double(end.tv_sec - begin.tv_sec) + double(end.tv_nsec - begin.tv_nsec) / 1e9);
    }
    std::printf("  %-22s %.3f ms CPU per second of audio = %.3f %% of a core\n",
                level ? "leveller and limiter" : "limiter alone", best / seconds * 1e3, best / seconds * 100);
  }
  return 0;
}
