// brovana-bench: what the studio's work costs, measured in one run on the machine at hand.
//   transcode: the playlist engine (mpg123, the conversion stage on LAME, no pace limit, the
//     stream going nowhere) against ffmpeg doing the same job, in processor seconds, which on a
//     busy machine say more than the wall time; the last line is realtime_factor=N.
//   monitor: the visuals with all four displays at 25 ms, fed a 44.1 kHz block every 26 ms;
//     the stream quality gauge per pair of figures.
//   leveller: the plug-in per second of 22050 Hz stereo, with its limiter and the limiter alone,
//     on a chord whose peaks jump between -30 and -0.5 dBFS every 5 s.

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <thread>

#include "audio/conversion_stage.h"
#include "audio/line_speed.h"
#include "audio/playlist_engine.h"
#include "leveller.h"
#include "monitor/quality_gauge.h"
#include "monitor/visual.h"
#include "platform/decoder_library.h"
#include "platform/lame_encoder.h"
#include "platform/mpg123_decoder.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor seconds (user and system) of this process, or of its children that ended.
double cpuSeconds(int who = RUSAGE_SELF) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Timing {
  double wall = -1, cpu = 0;  // wall negative when the job failed
};

template <class Job>
Timing timed(int who, Job job) {
  double cpuBefore = cpuSeconds(who);
  Clock::time_point start = Clock::now();
  if (!job()) return {};
  return {seconds(start), cpuSeconds(who) - cpuBefore};
}

// Discards the stream, counting its bytes; hands out mpg123 decoders, and outputs that take the
// blocks as fast as the conversion stage has room for them. The room is judged from the MP3
// bytes that came out, which cost no lock: asking the ring itself waits for the conversion in
// progress, and the conversion thread would win that lock again and again.
struct Bench final : StreamSink, ConversionStatus, DecoderLibrary {
  explicit Bench(LineSpeedFormat stream) : stream(stream) {}
  int sendStream(const uint8_t*, int length, bool) override { return mp3Bytes += length, length; }
  void flush() override {}
  void showLastError(std::string_view text) override {
    std::fprintf(stderr, "%s\n", std::string(text).c_str());
  }
  void refreshCounters() override {}
  std::unique_ptr<Mp3Decoder> newDecoder() override { return std::make_unique<Mpg123Decoder>(); }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string&) override {
    struct Borrowed final : AudioOutput {
      explicit Borrowed(Bench& bench) : bench(bench) {}
      int open() override { return kDecoderOk; }
      void play(std::span<const int16_t> samples, PcmFormat format) override { bench.play(samples, format); }
      void close() override {}
      Bench& bench;
    };
    return std::make_unique<Borrowed>(*this);
  }
  std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) override {
    return PlatformDecoderLibrary().newResampler(fromRate, toRate, channels);
  }
  void play(std::span<const int16_t> samples, PcmFormat format) {
    frames += static_cast<long long>(samples.size()) / format.channels;
    rate = format.sampleRate;
    // Seconds of sound in less seconds of stream out: at most 4 s wait in the stage's ring.
    while (static_cast<double>(frames) / rate - mp3Bytes * 8.0 / stream.lineSpeed > 4)
      std::this_thread::sleep_for(500us);
  }

  const LineSpeedFormat stream;
  std::atomic<long long> mp3Bytes{0};
  long long frames = 0;
  int rate = 0;
};

int transcode(const std::string& path, int lineSpeed) {
  std::optional<LineSpeedFormat> format = lineSpeedFormat(lineSpeed);
  if (!format) return 2;
  test::FakePrompts prompts;
  test::FakeExit exit;
  Bench bench(*format);
  LameEncoderLibrary codec;
  ConversionStage conversion(bench, bench, codec, prompts, exit);
  conversion.startConvertThread();
  Playlist playlist(prompts);
  PlaylistEngine encoder(conversion, bench, prompts);
  encoder.setNoStats(true);
  encoder.setContinuousLoop(false);
  Timing ours = timed(RUSAGE_SELF, [&] {
    if (!playlist.addFile(path, AddMode::Append)) return false;
    encoder.start(playlist, lineSpeed, 0);
    // Over when the worker has left its list loop and the stage has sent the rest.
    const Clock::time_point giveUp = Clock::now() + 10s;
    for (bool seen = false; seen ? encoder.isRunning() : Clock::now() < giveUp;)
      seen = seen || encoder.isRunning(), std::this_thread::sleep_for(1ms);
    // A flush lets one short chunk through, and the decoder ran far ahead of the codec here: the
    // rest is flushed out chunk by chunk until the sink takes nothing more for a while.
    for (long long last = -1; last != bench.mp3Bytes; std::this_thread::sleep_for(30ms)) {
      last = bench.mp3Bytes;
      for (; conversion.pendingBytes() > 0; std::this_thread::sleep_for(1ms)) conversion.flush();
    }
    return bench.frames > 0 && bench.mp3Bytes > 0;
  });
  for (const std::string& text : prompts.boxTexts()) std::fprintf(stderr, "%s\n", text.c_str());
  if (ours.wall < 0) return std::fprintf(stderr, "the engine did not transcode %s\n", path.c_str()), 1;
  const double audio = static_cast<double>(bench.frames) / bench.rate, ourFactor = audio / ours.wall;
  const std::string kbps = std::to_string(lineSpeed / 1000), file = test::shellQuoted(path),
                    rate = std::to_string(format->sampleRate);
  const std::string ffmpegCommand = "ffmpeg -hide_banner -loglevel error -i " + file + " -ar " + rate +
                                    " -ac " + std::to_string(format->channels) + " -b:a " + kbps +
                                    "k -f mp3 -y /dev/null";
  Timing ffmpeg = timed(RUSAGE_CHILDREN, [&] { return std::system(ffmpegCommand.c_str()) == 0; });

  std::printf("file: %s, %.1f s of audio\n", path.c_str(), audio);
  std::printf("stream: %d bit/s, %s Hz, %d channel(s); %lld bytes (%.1f s at the line speed)\n", lineSpeed,
              rate.c_str(), format->channels, bench.mp3Bytes.load(), bench.mp3Bytes * 8.0 / lineSpeed);
  std::printf("brovana (decode thread + conversion thread): %.2f s wall, %.2f s processor; %.1fx real time\n",
              ours.wall, ours.cpu, ourFactor);
  if (ffmpeg.wall > 0)
    std::printf(
        "ffmpeg: %.2f s wall, %.2f s processor; %.1fx real time; brovana/ffmpeg = %.2f (processor time: "
        "%.2f)\n",
        ffmpeg.wall, ffmpeg.cpu, audio / ffmpeg.wall, ourFactor * ffmpeg.wall / audio, ffmpeg.cpu / ours.cpu);
  std::printf("realtime_factor=%.2f\n", ourFactor);
  return 0;
}

int monitor(double duration, int width, int height) {
  struct CopyingView : VisualView {  // copies each frame out, as the window does
    void showFrame(const Canvas& frame) override {
      copy.assign(frame.bits(), frame.bits() + frame.width() * frame.height());
    }
    std::vector<uint32_t> copy;
  } view;
  std::vector<int16_t> pcm;
  for (int i = 0; i < 2 * 1152; ++i)
    pcm.push_back(int16_t(20000 * std::sin(i * 0.05) * std::sin(i * 0.0007)));
  double cpu = cpuSeconds();
  auto start = Clock::now();
  {
    Visual visual(&view);
    visual.setArea(width, height);
    visual.setDisplay(kDisplayScope, true);
    for (int n = 1; seconds(start) < duration; ++n) {
      visual.addData(reinterpret_cast<const uint8_t*>(pcm.data()), static_cast<int>(pcm.size() * 2), 2, 2);
      std::this_thread::sleep_until(start + n * 26122us);
    }
  }
  std::printf("visuals %dx%d, all displays: %.2f %% of one core (goal < 2 %%)\n", width, height,
              100 * (cpuSeconds() - cpu) / seconds(start));
  QualityGauge gauge;
  cpu = cpuSeconds();
  for (int i = 0; i < 1'000'000; ++i)
    gauge.setCpuQuality(0.95f), gauge.setNetworkQuality(32000 + i % 100, 32000);
  std::printf("gauge: %.0f ns per pair of figures (fed every 3 to 5 s)\n", (cpuSeconds() - cpu) * 1000);
  return 0;
}

int levellerCost(double duration) {
  constexpr int kRate = 22050, kBlock = 1152;
  std::vector<int16_t> audio(size_t(duration * kRate) * 2);
  for (size_t i = 0; i < audio.size(); ++i) {
    double t = double(i / 2) / kRate, level = int(t / 5) % 2 ? 28000 : 900;
    audio[i] = int16_t(
        level * (0.6 * std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * (i % 2 ? 660 : 550) * t)));
  }
  for (bool level : {true, false}) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
      leveller::Leveller leveller(leveller::Settings{.level = level});
      std::vector<int16_t> copy = audio;
      double cpu = cpuSeconds();
      for (size_t at = 0; at + 2 * kBlock <= copy.size(); at += 2 * kBlock)
        leveller.process(&copy[at], kBlock, 2, kRate);
      best = std::min(best, cpuSeconds() - cpu);
    }
    std::printf("%-22s %.3f ms CPU per second of audio = %.3f %% of a core (%.0f s, best of 5)\n",
                level ? "leveller and limiter" : "limiter alone", best / duration * 1e3,
                best / duration * 100, duration);
  }
  return 0;
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  using namespace brovana;
  std::vector<std::string> args(argv + 1, argv + argc);
  const std::string what = args.empty() ? "" : args[0];
  auto number = [&](size_t at, double otherwise) {
    return args.size() > at ? std::atof(args[at].c_str()) : otherwise;
  };
  int code = 2;
  if (what == "transcode" && (args.size() == 2 || (args.size() == 4 && args[2] == "--line-speed")))
    code = transcode(args[1], int(number(3, 56000)));
  else if (what == "monitor")
    code = monitor(number(1, 10), int(number(2, 400)), int(number(3, 56)));
  else if (what == "leveller" && number(1, 600) >= 1)
    code = levellerCost(number(1, 600));
  if (code == 2)
    std::fprintf(
        stderr,
        "usage: brovana-bench transcode FILE.mp3 [--line-speed N]   (N: 16000, 24000, 32000, 56000)\n"
        "       brovana-bench monitor [SECONDS] [WIDTH HEIGHT]\n"
        "       brovana-bench leveller [SECONDS]\n");
  return code;
}
