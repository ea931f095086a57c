// brovana-bench transcode FILE.mp3 [--line-speed N]
//
// How fast the playlist engine turns an MP3 file into the stream: the engine decodes the file
// with mpg123 and hands every block to the conversion stage, which encodes it with LAME at the
// line speed's format; the stream goes nowhere. The pace limit is off: the only brake is room in
// the conversion stage's ring, so that nothing is dropped. The same job is then timed with
// ffmpeg and with the lame tool, in one run on the same machine. Figures are multiples of real
// time (seconds of audio per second of wall time); the last line is ours:
//   realtime_factor=<number>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/acm_convert.h"
#include "audio/encoder.h"
#include "net/account_service.h"
#include "net/live_connect.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of this process, or of its finished children: on a busy machine the wall
// time of a run says as much about the neighbours as about the run.
double cpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The stream goes nowhere; only its size is kept.
struct DiscardSink final : StreamSink, ConversionStatus {
  int sendStream(const uint8_t*, int length, bool) override {
    bytes += length;
    return length;
  }
  void flush() override {}
  void showLastError(std::string_view text) override {
    std::fprintf(stderr, "%s\n", std::string(text).c_str());
  }
  void refreshCounters() override {}
  std::atomic<long long> bytes{0};
};

struct NoAccount final : AccountService {
  int bcinfo(ServerInfo&, bool) override { return 2; }
  bool livelogin(ServerInfo&) override { return false; }
  bool netcastSwitch(const std::string&, const std::string&, const std::string&, int) override {
    return false;
  }
};

// Hands out mpg123 decoders, and outputs that take the blocks as fast as the conversion stage
// has room for them, counting them. The room is judged from the MP3 bytes that came out, which
// cost no lock: asking the ring itself waits for the conversion in progress, and the conversion
// thread would win that lock again and again, leaving the decoder idle while the ring runs dry.
class BenchLibrary final : public DecoderLibrary {
 public:
  BenchLibrary(const DiscardSink& sink, LineSpeedFormat stream)
      : sink_(sink),
        stream_(stream),
        pcmPerMp3Byte_(stream.sampleRate * stream.channels * 2 / (stream.lineSpeed / 8.0)) {}
  std::unique_ptr<Mp3Decoder> newDecoder() override { return std::make_unique<Mpg123Decoder>(); }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string&) override {
    return std::make_unique<Output>(*this);
  }

  long long frames = 0;
  int rate = 0;

 private:
  struct Output final : AudioOutput {
    explicit Output(BenchLibrary& library) : library(library) {}
    int open() override { return kDecoderOk; }
    void play(std::span<const int16_t> samples, PcmFormat format) override { library.play(samples, format); }
    void close() override {}
    BenchLibrary& library;
  };
  void play(std::span<const int16_t> samples, PcmFormat format) {
    frames += static_cast<long long>(samples.size()) / format.channels;
    rate = format.sampleRate;
    // PCM at the stream's rate that went into the stage so far.
    streamPcm_ += static_cast<double>(samples.size()) * 2 * stream_.sampleRate / format.sampleRate;
    while (streamPcm_ - static_cast<double>(sink_.bytes.load()) * pcmPerMp3Byte_ > 500'000)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
  }

  const DiscardSink& sink_;
  const LineSpeedFormat stream_;
  const double pcmPerMp3Byte_;
  double streamPcm_ = 0;
};

struct Result {
  double audioSeconds = 0, wallSeconds = 0, cpuSeconds = 0;
  long long streamBytes = 0;
};

Result runEngine(const std::string& path, LineSpeedFormat& format) {
  Result result;
  test::FakePrompts prompts;
  test::FakeExit exit;
  DiscardSink sink;
  LameCodec codec;
  AcmConvert acm(sink, sink, codec, prompts, exit);
  acm.startConvertThread();
  NoAccount account;
  LiveConnect connection("127.0.0.1:1", nullptr, account, prompts);
  Playlist playlist(prompts);
  if (!playlist.addFile(path, AddMode::Append)) return result;
  BenchLibrary library(sink, format);
  Encoder encoder(acm, library, prompts);
  encoder.setNoStats(true);
  encoder.setContinuousLoop(false);

  double cpuStart = cpuSeconds(RUSAGE_SELF);
  Clock::time_point start = Clock::now();
  encoder.start(playlist, connection, format.lineSpeed, 0);
  // The run is over when the worker has left its list loop and the stage has sent the rest.
  for (bool seen = false; seen ? encoder.isRunning() : secondsSince(start) < 10;) {
    seen = seen || encoder.isRunning();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A flush lets one short chunk through, and the decoder ran far ahead of the codec here, so
  // the rest of the ring is flushed out chunk by chunk. The end is an empty ring and a sink that
  // took nothing more for a few of the stage's idle waits.
  for (long long last = -1; last != sink.bytes.load();) {
    last = sink.bytes.load();
    while (acm.pendingBytes() > 0) {
      acm.flush();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  result.wallSeconds = secondsSince(start) - 0.03;
  result.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuStart;
  result.streamBytes = sink.bytes.load();
  if (library.rate > 0) result.audioSeconds = static_cast<double>(library.frames) / library.rate;
  if (auto mp3 = acm.getMp3Format()) {
    format.sampleRate = static_cast<int>(mp3->wfx.nSamplesPerSec);
    format.channels = mp3->wfx.nChannels;
  }
  for (const std::string& text : prompts.boxTexts()) std::fprintf(stderr, "%s\n", text.c_str());
  return result;
}

struct Timing {
  double wall = -1, cpu = 0;  // wall negative when the command failed
};

Timing timeCommand(const std::string& command) {
  double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
  Clock::time_point start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    return {};
  }
  return {secondsSince(start), cpuSeconds(RUSAGE_CHILDREN) - cpuBefore};
}

int usage() {
  std::fprintf(
      stderr, "usage: brovana-bench transcode FILE.mp3 [--line-speed N]   (N: 16000, 24000, 32000, 56000)\n");
  return 2;
}

int transcode(const std::string& path, int lineSpeed) {
  std::optional<LineSpeedFormat> speed = lineSpeedFormat(lineSpeed);
  if (!speed) return usage();
  LineSpeedFormat format = *speed;
  Result ours = runEngine(path, format);
  if (ours.audioSeconds <= 0 || ours.streamBytes <= 0) {
    std::fprintf(stderr, "the engine did not transcode %s\n", path.c_str());
    return 1;
  }
  double ourFactor = ours.audioSeconds / ours.wallSeconds;
  const std::string kbps = std::to_string(lineSpeed / 1000), rate = std::to_string(format.sampleRate);
  Timing ffmpeg =
      timeCommand("ffmpeg -hide_banner -loglevel error -i " + test::shellQuoted(path) + " -ar " + rate +
                  " -ac " + std::to_string(format.channels) + " -b:a " + kbps + "k -f mp3 -y /dev/null");
  Timing lame = timeCommand("lame --quiet --mp3input --resample " +
                            std::to_string(format.sampleRate / 1000.0) + " -b " + kbps +
                            (format.channels == 1 ? " -m m " : " ") + test::shellQuoted(path) + " /dev/null");

  std::printf("file: %s, %.1f s of audio\n", path.c_str(), ours.audioSeconds);
  std::printf("stream: %d bit/s, %d Hz, %d channel(s); %lld bytes (%.1f s at the line speed)\n", lineSpeed,
              format.sampleRate, format.channels, ours.streamBytes, ours.streamBytes * 8.0 / lineSpeed);
  std::printf("brovana (decode thread + conversion thread): %.2f s wall, %.2f s processor; %.1fx real time\n",
              ours.wallSeconds, ours.cpuSeconds, ourFactor);
  for (auto [name, t] : {std::pair{"ffmpeg", ffmpeg}, std::pair{"lame", lame}}) {
    if (t.wall <= 0) continue;
    double factor = ours.audioSeconds / t.wall;
    std::printf(
        "%s: %.2f s wall, %.2f s processor; %.1fx real time; brovana/%s = %.2f (processor time: %.2f)\n",
        name, t.wall, t.cpu, factor, name, ourFactor / factor, t.cpu / ours.cpuSeconds);
  }
  std::printf("realtime_factor=%.2f\n", ourFactor);
  return 0;
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || args[0] != "transcode") return brovana::usage();
  int lineSpeed = 56000;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] != "--line-speed" || i + 1 == args.size()) return brovana::usage();
    lineSpeed = std::atoi(args[++i].c_str());
  }
  return brovana::transcode(args[1], lineSpeed);
}
