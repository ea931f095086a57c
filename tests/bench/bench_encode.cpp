// How fast PCM becomes MP3 at 56 kbit/s (44100 Hz stereo in, 22050 Hz joint stereo out), in
// multiples of real time: the conversion stage's codec stream in its 50,000-byte chunks, the
// whole stage (ring, conversion thread, null connection), and the lame command-line encoder
// on the same PCM, side by side. Best of five runs each, taken in turns.
//
//   bench_encode [seconds of PCM, default 60]

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/acm_convert.h"
#include "core/prompts.h"
#include "platform/lame_codec.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

// Something music-like: a few drifting tones and a little noise, different in each channel.
std::vector<uint8_t> makePcm(double seconds) {
  const int rate = 44100;
  size_t frames = static_cast<size_t>(seconds * rate);
  std::vector<uint8_t> pcm(frames * 4);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0, 600);
  for (size_t i = 0; i < frames; ++i) {
    double t = static_cast<double>(i) / rate;
    double base = 3000 * std::sin(2 * M_PI * (220 + 20 * std::sin(t / 3)) * t) +
                  2000 * std::sin(2 * M_PI * 660 * t) * (0.5 + 0.5 * std::sin(t * 2));
    int16_t left = static_cast<int16_t>(base + 1500 * std::sin(2 * M_PI * 1760 * t) + noise(random));
    int16_t right = static_cast<int16_t>(base + 1500 * std::sin(2 * M_PI * 2640 * t) + noise(random));
    std::memcpy(pcm.data() + i * 4, &left, 2);
    std::memcpy(pcm.data() + i * 4 + 2, &right, 2);
  }
  return pcm;
}

WaveFormat mp3At56() {
  for (const WaveFormat& f : LameCodec::formats())
    if (f.wfx.nSamplesPerSec == 22050 && f.wfx.nChannels == 2 && f.wfx.nAvgBytesPerSec == 7000) return f;
  std::fprintf(stderr, "no 56 kbit/s format\n");
  std::exit(1);
}

double secondsSince(Clock::time_point begin) {
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// The codec stream alone, fed as the conversion thread feeds it.
double codecStream(const std::vector<uint8_t>& pcm, size_t& mp3Bytes) {
  LameCodec codec;
  std::unique_ptr<CodecStream> stream;
  if (codec.openStream(makePcmFormat(44100, 2), mp3At56(), stream) != MMSYSERR_NOERROR) std::exit(1);
  std::vector<uint8_t> src(50'000), dst(200'000);
  ACMSTREAMHEADER header;
  header.pbSrc = src.data();
  header.cbSrcLength = static_cast<uint32_t>(src.size());
  header.pbDst = dst.data();
  header.cbDstLength = static_cast<uint32_t>(dst.size());
  stream->prepareHeader(header);
  mp3Bytes = 0;
  auto begin = Clock::now();
  for (size_t at = 0; at < pcm.size(); at += src.size()) {
    size_t n = std::min(src.size(), pcm.size() - at);
    std::memcpy(src.data(), pcm.data() + at, n);
    header.cbSrcLength = static_cast<uint32_t>(n);
    stream->convert(header, at + n == pcm.size() ? ACM_STREAMCONVERTF_END : 0);
    mp3Bytes += header.cbDstLengthUsed;
  }
  double seconds = secondsSince(begin);
  header.cbSrcLength = static_cast<uint32_t>(src.size());
  stream->unprepareHeader(header);
  return seconds;
}

class NullSink : public StreamSink {
 public:
  int sendStream(const uint8_t*, int length, bool) override { return length; }
  void flush() override {}
};

class QuietStatus : public ConversionStatus {
 public:
  void showLastError(std::string_view) override {}
  void refreshCounters() override {}
};

class QuietPrompts : public Prompts {
 public:
  bool ask(const Question&) override { return false; }
  void notice(std::string_view) override {}
  void waitCursor(bool) override {}
  void open(std::string_view) override {}

 protected:
  void showBox(BoxKind, std::string_view text, std::string_view) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
};

class NoExit : public ProgramExit {
 public:
  void endProgram(int) override { std::exit(1); }
};

// The whole stage: blocks of 1152 sample frames in, as fast as the ring lets them.
double wholeStage(const std::vector<uint8_t>& pcm) {
  LameCodec codec;
  NullSink sink;
  QuietStatus status;
  QuietPrompts prompts;
  NoExit exit;
  AcmConvert stage(sink, status, codec, prompts, exit);
  stage.startConvertThread();
  TrackFormat track{"bench.pcm", 44100, 2};
  if (stage.InitACM(56000, &track) != kInitOpened) std::exit(1);
  constexpr size_t kBlock = 1152 * 4;
  auto begin = Clock::now();
  for (size_t at = 0; at < pcm.size(); at += kBlock) {
    while (stage.pendingBytes() > AcmConvert::kRingBytes / 2)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    stage.convertAndSend(pcm.data() + at, static_cast<int>(std::min(kBlock, pcm.size() - at)), 0, "bench");
  }
  stage.flush();
  while (stage.flushing()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  double seconds = secondsSince(begin);
  stage.closeACM(true);
  return seconds;
}

double lameCommand(const std::string& pcmPath, const std::string& mp3Path) {
  std::string command =
      "lame --quiet -r -s 44.1 --bitwidth 16 --signed --little-endian -m j -b 56 --cbr --resample 22.05 '" +
      pcmPath + "' '" + mp3Path + "' 2>/dev/null";
  auto begin = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "lame failed: %s\n", command.c_str());
    std::exit(1);
  }
  return secondsSince(begin);
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  using namespace brovana;
  double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  if (seconds <= 0) seconds = 60;
  std::vector<uint8_t> pcm = makePcm(seconds);

  char folder[] = "/tmp/bench_encode.XXXXXX";
  if (!mkdtemp(folder)) return 1;
  std::string pcmPath = std::string(folder) + "/in.pcm", mp3Path = std::string(folder) + "/out.mp3";
  std::ofstream(pcmPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(pcm.data()), static_cast<long>(pcm.size()));

  // Taken in turns, so that a busy moment of the machine does not fall on one of them only.
  constexpr int kRounds = 5;
  size_t ourBytes = 0;
  double stream = 1e30, stage = 1e30, lame = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    stream = std::min(stream, codecStream(pcm, ourBytes));
    stage = std::min(stage, wholeStage(pcm));
    lame = std::min(lame, lameCommand(pcmPath, mp3Path));
  }
  std::ifstream lameOut(mp3Path, std::ios::binary | std::ios::ate);
  long lameBytes = static_cast<long>(lameOut.tellg());

  std::printf("PCM: %.0f s of 44100 Hz stereo; MP3: 22050 Hz joint stereo, 56 kbit/s CBR; best of %d\n",
              seconds, kRounds);
  std::printf("%-34s %8s %12s %10s\n", "", "seconds", "x real time", "MP3 bytes");
  std::printf("%-34s %8.3f %12.1f %10zu\n", "codec stream (50,000-byte chunks)", stream, seconds / stream,
              ourBytes);
  std::printf("%-34s %8.3f %12.1f %10s\n", "whole stage (ring + thread)", stage, seconds / stage, "-");
  std::printf("%-34s %8.3f %12.1f %10ld\n", "lame command line", lame, seconds / lame, lameBytes);
  std::printf("speed against lame: codec stream %.2f, whole stage %.2f\n", lame / stream, lame / stage);

  std::remove(pcmPath.c_str());
  std::remove(mp3Path.c_str());
  rmdir(folder);
  return 0;
}
