#include "support/tone_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace brovana::test {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool makeTone(const std::string& path, const ToneSpec& spec) {
  // Through a wav file: lame complains about raw input from a pipe, and sox writes a wav header
  // with the right length only where it can seek.
  std::string wav = shellQuoted(path + ".wav");
  char command[512];
  std::snprintf(command, sizeof command,
                "sox -q -n -r %d -c %d -b 16 %s synth %.3f sine %.3f vol %g && "
                "lame --quiet -m %s -b %d --cbr --resample %g",
                spec.sampleRate, spec.channels, wav.c_str(), spec.seconds, spec.frequency, spec.volume,
                spec.channels == 1 ? "m" : "j", spec.kbps, spec.sampleRate / 1000.0);
  std::string line = command;
  if (!spec.title.empty())
    line += " --id3v1-only --tt " + shellQuoted(spec.title) + " --ta " + shellQuoted(spec.artist) + " --tl " +
            shellQuoted(spec.album);
  line += " " + wav + " " + shellQuoted(path) + "; status=$?; rm -f " + wav + "; exit $status";
  if (std::system(line.c_str()) == 0) return true;
  std::fprintf(stderr, "makeTone failed: %s\n", line.c_str());
  return false;
}

bool makeLibraryTone(const std::string& path, const ToneSpec& tone) {
  const std::string ending = path.substr(path.rfind('.') + 1);
  const char* codec = ending == "ogg"    ? "libvorbis"
                      : ending == "opus" ? "libopus"
                      : ending == "mp3"  ? "libmp3lame"
                                         : "";
  // One expression per channel: ffmpeg's own up-mix would lower each channel by 3 dB.
  char wave[120];
  std::snprintf(wave, sizeof wave, "%g*sin(2*PI*%g*t)*between(t\\,%g\\,%g)", tone.volume, tone.frequency,
                tone.silentEnds, tone.seconds - tone.silentEnds);
  std::string source = "aevalsrc=" + std::string(wave);
  for (int c = 1; c < tone.channels; ++c) source += "|" + std::string(wave);
  source += ":s=" + std::to_string(tone.sampleRate) + ":d=" + std::to_string(tone.seconds);
  std::string line = "ffmpeg -loglevel error -y -f lavfi -i " + shellQuoted(source) +
                     (*codec ? std::string(" -c:a ") + codec : "");
  for (auto [key, text] : {std::pair{"title", &tone.title}, {"artist", &tone.artist}, {"album", &tone.album}})
    if (!text->empty()) line += std::string(" -metadata ") + key + "=" + shellQuoted(*text);
  line += " " + shellQuoted(path) + " </dev/null";
  if (std::system(line.c_str()) == 0) return true;
  std::fprintf(stderr, "makeLibraryTone failed: %s\n", line.c_str());
  return false;
}

std::vector<int16_t> decodeMp3(const std::string& mp3) {
  TempFolder folder;
  folder.write("heard.mp3", mp3);
  std::string bytes = commandOutput("mpg123 -q -s --stereo -r 22050 " +
                                    shellQuoted(folder.file("heard.mp3")) + " 2>/dev/null");
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

int peak(std::span<const int16_t> samples) {
  int most = 0;
  for (int16_t s : samples) most = std::max(most, std::abs(int(s)));
  return most;
}

double tonePower(std::span<const int16_t> samples, PcmFormat format, double frequency) {
  if (!format.valid() || samples.empty()) return 0;
  // Goertzel
  double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / format.sampleRate), s1 = 0, s2 = 0;
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
  double best = -1, bestPower = 1.0;  // below this the stretch counts as silence
  for (double f : candidates)
    if (double power = tonePower(samples, format, f); power > bestPower) bestPower = power, best = f;
  return best;
}

}  // namespace brovana::test
