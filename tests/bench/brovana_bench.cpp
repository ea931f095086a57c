// brovana-bench transcode FILE.mp3 [--line-speed N]
//
// How fast the playlist engine turns an MP3 file into the stream: the engine decodes the file
// with mpg123 and hands every block to the conversion stage, which encodes it with LAME at the
// line speed's format; the stream goes nowhere. The pace limit is off: the only brake is room in
// the conversion stage's ring, so that nothing is dropped. The same job is then timed with
// ffmpeg and with the lame tool, in one run on the same machine. Figures are multiples of real
// time (seconds of audio per second of wall time) and processor seconds, which on a busy
// machine say more than the wall time; the last line is ours:
//   realtime_factor=<number>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "audio/acm_convert.h"
#include "audio/encoder.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
  double wall = -1, cpu = 0;  // wall negative when the job failed
};

// Times a job on the wall clock and in processor seconds of this process (or of its children).
template <class Job>
Timing timed(int who, Job job) {
  auto cpu = [who] {
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  };
  double cpuBefore = cpu();
  Clock::time_point start = Clock::now();
  if (!job()) return {};
  return {std::chrono::duration<double>(Clock::now() - start).count(), cpu() - cpuBefore};
}

// Discards the stream, counting its bytes; hands out mpg123 decoders, and outputs that take the
// blocks as fast as the conversion stage has room for them, counting them. The room is judged
// from the MP3 bytes that came out, which cost no lock: asking the ring itself waits for the
// conversion in progress, and the conversion thread would win that lock again and again,
// leaving the decoder idle while the ring runs dry.
struct Bench final : StreamSink, ConversionStatus, DecoderLibrary {
  struct Output final : AudioOutput {
    explicit Output(Bench& bench) : bench(bench) {}
    int open() override { return kDecoderOk; }
    void play(std::span<const int16_t> samples, PcmFormat format) override { bench.play(samples, format); }
    void close() override {}
    Bench& bench;
  };
  explicit Bench(LineSpeedFormat stream) : stream(stream) {}
  int sendStream(const uint8_t*, int length, bool) override {
    mp3Bytes += length;
    return length;
  }
  void flush() override {}
  void showLastError(std::string_view text) override {
    std::fprintf(stderr, "%s\n", std::string(text).c_str());
  }
  void refreshCounters() override {}
  std::unique_ptr<Mp3Decoder> newDecoder() override { return std::make_unique<Mpg123Decoder>(); }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string&) override {
    return std::make_unique<Output>(*this);
  }
  void play(std::span<const int16_t> samples, PcmFormat format) {
    frames += static_cast<long long>(samples.size()) / format.channels;
    rate = format.sampleRate;
    // Seconds of sound in, less seconds of stream out: what waits in the stage's ring, at most
    // 88,200 bytes a second, so that 4 s stay well inside its 1,000,000 bytes.
    while (static_cast<double>(frames) / rate - mp3Bytes * 8.0 / stream.lineSpeed > 4)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) override {
    return PlatformDecoderLibrary().newResampler(fromRate, toRate, channels);
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
  LameCodec codec;
  AcmConvert acm(bench, bench, codec, prompts, exit);
  acm.startConvertThread();
  Playlist playlist(prompts);
  Encoder encoder(acm, bench, prompts);
  encoder.setNoStats(true);
  encoder.setContinuousLoop(false);
  Timing ours = timed(RUSAGE_SELF, [&] {
    if (!playlist.addFile(path, AddMode::Append)) return false;
    encoder.start(playlist, lineSpeed, 0);
    // The run is over when the worker has left its list loop and the stage has sent the rest.
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    for (bool seen = false; seen ? encoder.isRunning() : Clock::now() < giveUp;)
      seen = seen || encoder.isRunning(), std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // A flush lets one short chunk through, and the decoder ran far ahead of the codec here, so
    // the rest of the ring is flushed out chunk by chunk. The end is an empty ring and a sink
    // that took nothing more for a few of the stage's idle waits.
    for (long long last = -1; last != bench.mp3Bytes;
         std::this_thread::sleep_for(std::chrono::milliseconds(30))) {
      last = bench.mp3Bytes;
      for (; acm.pendingBytes() > 0; std::this_thread::sleep_for(std::chrono::milliseconds(1))) acm.flush();
    }
    return bench.frames > 0 && bench.mp3Bytes > 0;
  });
  for (const std::string& text : prompts.boxTexts()) std::fprintf(stderr, "%s\n", text.c_str());
  if (ours.wall < 0) {
    std::fprintf(stderr, "the engine did not transcode %s\n", path.c_str());
    return 1;
  }
  const double audio = static_cast<double>(bench.frames) / bench.rate, ourFactor = audio / ours.wall;
  const std::string kbps = std::to_string(lineSpeed / 1000), file = test::shellQuoted(path);
  auto command = [](const std::string& line) { return [line] { return std::system(line.c_str()) == 0; }; };
  Timing ffmpeg = timed(
      RUSAGE_CHILDREN, command("ffmpeg -hide_banner -loglevel error -i " + file + " -ar " +
                               std::to_string(format->sampleRate) + " -ac " +
                               std::to_string(format->channels) + " -b:a " + kbps + "k -f mp3 -y /dev/null"));
  Timing lame =
      timed(RUSAGE_CHILDREN,
            command("lame --quiet --mp3input --resample " + std::to_string(format->sampleRate / 1000.0) +
                    " -b " + kbps + (format->channels == 1 ? " -m m " : " ") + file + " /dev/null"));

  std::printf("file: %s, %.1f s of audio\n", path.c_str(), audio);
  std::printf("stream: %d bit/s, %d Hz, %d channel(s); %lld bytes (%.1f s at the line speed)\n", lineSpeed,
              format->sampleRate, format->channels, bench.mp3Bytes.load(), bench.mp3Bytes * 8.0 / lineSpeed);
  std::printf("brovana (decode thread + conversion thread): %.2f s wall, %.2f s processor; %.1fx real time\n",
              ours.wall, ours.cpu, ourFactor);
  for (auto [name, t] : {std::pair{"ffmpeg", ffmpeg}, {"lame", lame}})
    if (t.wall > 0)
      std::printf(
          "%s: %.2f s wall, %.2f s processor; %.1fx real time; brovana/%s = %.2f (processor time: %.2f)\n",
          name, t.wall, t.cpu, audio / t.wall, name, ourFactor * t.wall / audio, t.cpu / ours.cpu);
  std::printf("realtime_factor=%.2f\n", ourFactor);
  return 0;
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool ok = (args.size() == 2 || (args.size() == 4 && args[2] == "--line-speed")) && args[0] == "transcode";
  int code = ok ? brovana::transcode(args[1], args.size() == 4 ? std::atoi(args[3].c_str()) : 56000) : 2;
  if (code == 2)
    std::fprintf(
        stderr,
        "usage: brovana-bench transcode FILE.mp3 [--line-speed N]   (N: 16000, 24000, 32000, 56000)\n");
  return code;
}
