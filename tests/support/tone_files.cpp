#include "support/tone_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace brovana::test {
namespace {

// Single quotes around a shell word.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

bool makeTone(const std::string& path, const ToneSpec& spec) {
  // Through a wav file: lame complains about raw input from a pipe, and sox writes a wav header
  // with the right length only where it can seek.
  std::string wav = path + ".wav";
  char command[512];
  std::snprintf(command, sizeof command,
                "sox -q -n -r %d -c %d -b 16 %s synth %.3f sine %.3f vol 0.5 && "
                "lame --quiet -m %s -b %d --cbr --resample %g%s",
                spec.sampleRate, spec.channels, quoted(wav).c_str(), spec.seconds, spec.frequency,
                spec.channels == 1 ? "m" : "j", spec.kbps, spec.sampleRate / 1000.0,
                spec.infoFrame ? "" : " -t");
  std::string line = command;
  if (!spec.title.empty()) {
    line += " --id3v1-only --tt " + quoted(spec.title) + " --ta " + quoted(spec.artist) + " --tl " +
            quoted(spec.album);
  }
  line += " " + quoted(wav) + " " + quoted(path);
  int status = std::system(line.c_str());
  std::remove(wav.c_str());
  if (status != 0) {
    std::fprintf(stderr, "makeTone failed (%d): %s\n", status, line.c_str());
    return false;
  }
  return true;
}

double tonePower(std::span<const int16_t> samples, PcmFormat format, double frequency) {
  if (!format.valid() || samples.empty()) return 0;
  double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / format.sampleRate);
  double s1 = 0;
  double s2 = 0;
  for (size_t i = 0; i < samples.size(); i += format.channels) {
    double s0 = samples[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  double frames = static_cast<double>(samples.size() / format.channels);
  return (s1 * s1 + s2 * s2 - coefficient * s1 * s2) / (frames * frames);
}

double dominantTone(std::span<const int16_t> samples, PcmFormat format,
                    const std::vector<double>& candidates) {
  double best = -1;
  double bestPower = 1.0;  // below this the stretch counts as silence
  for (double f : candidates) {
    double power = tonePower(samples, format, f);
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}

}  // namespace brovana::test
