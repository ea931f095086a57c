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
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/acm_convert.h"
#include "audio/encoder.h"
#include "core/prompts.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of this process, or of its finished children: on a busy machine the wall
// time of a run says as much about the neighbours as about the run.
double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class ConsolePrompts final : public Prompts {
 public:
  bool ask(const Question&) override { return true; }
  void notice(std::string_view) override {}
  void waitCursor(bool) override {}
  void open(std::string_view) override {}

 protected:
  void showBox(BoxKind, std::string_view text, std::string_view) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
};

class ExitAtOnce final : public ProgramExit {
 public:
  void endProgram(int code) override { std::exit(code); }
};

// The stream goes nowhere; only its size is kept.
class DiscardSink final : public StreamSink {
 public:
  int sendStream(const uint8_t*, int length, bool) override {
    bytes += length;
    return length;
  }
  void flush() override {}
  std::atomic<long long> bytes{0};
};

class NoStatus final : public ConversionStatus {
 public:
  void showLastError(std::string_view text) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  void refreshCounters() override {}
};

// Takes the blocks as fast as the conversion stage has room for them, and counts them. The
// room is judged from the MP3 bytes that came out, which cost no lock: asking the ring itself
// waits for the conversion in progress, and the conversion thread would win that lock again and
// again, leaving the decoder idle while the ring runs dry.
class RingRoomOutput final : public AudioOutput {
 public:
  RingRoomOutput(const DiscardSink& sink, double pcmPerMp3Byte)
      : sink_(sink), pcmPerMp3Byte_(pcmPerMp3Byte) {}
  int open() override { return kDecoderOk; }
  void play(std::span<const int16_t> samples, PcmFormat format) override {
    frames += static_cast<long long>(samples.size()) / format.channels;
    rate = format.sampleRate;
    // PCM at the stream's rate that went into the stage so far.
    streamPcm_ += static_cast<double>(samples.size()) * 2 * pcmPerInputByte(format);
    while (streamPcm_ - static_cast<double>(sink_.bytes.load()) * pcmPerMp3Byte_ > kMostPending)
      std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  void close() override {}

  long long frames = 0;
  int rate = 0;
  int streamRate = 22050;

 private:
  double pcmPerInputByte(PcmFormat format) const {
    return static_cast<double>(streamRate) / format.sampleRate;
  }
  static constexpr double kMostPending = 500'000;
  const DiscardSink& sink_;
  double pcmPerMp3Byte_;
  double streamPcm_ = 0;
};

class BenchLibrary final : public DecoderLibrary {
 public:
  explicit BenchLibrary(RingRoomOutput& output) : output_(output) {}
  std::unique_ptr<Mp3Decoder> newDecoder() override { return std::make_unique<Mpg123Decoder>(); }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string&) override {
    return std::make_unique<Forward>(output_);
  }

 private:
  class Forward final : public AudioOutput {
   public:
    explicit Forward(RingRoomOutput& to) : to_(to) {}
    int open() override { return to_.open(); }
    void play(std::span<const int16_t> samples, PcmFormat format) override { to_.play(samples, format); }
    void close() override {}

   private:
    RingRoomOutput& to_;
  };
  RingRoomOutput& output_;
};

struct Result {
  double audioSeconds = 0;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long long streamBytes = 0;
  bool ok = false;
};

Result runEngine(const std::string& path, int lineSpeed, LineSpeedFormat& format) {
  Result result;
  ConsolePrompts prompts;
  ExitAtOnce exit;
  DiscardSink sink;
  NoStatus status;
  LameCodec codec;
  AcmConvert acm(sink, status, codec, prompts, exit);
  acm.startConvertThread();
  Playlist playlist(prompts);
  if (!playlist.addFile(path, AddMode::Append)) return result;

  // PCM bytes per MP3 byte at the line speed: the stage's input rate over the stream's byte rate.
  RingRoomOutput output(sink,
                        static_cast<double>(format.sampleRate) * format.channels * 2 / (lineSpeed / 8.0));
  output.streamRate = format.sampleRate;
  BenchLibrary library(output);
  Encoder encoder(acm, library, prompts);
  encoder.setNoStats(true);
  encoder.setContinuousLoop(false);

  double cpuStart = cpuSeconds(RUSAGE_SELF);
  Clock::time_point start = Clock::now();
  encoder.start(playlist, lineSpeed, 0);

  // The run is over when the worker has left its list loop and the stage has sent the rest.
  for (bool seen = false;;) {
    bool running = encoder.isRunning();
    seen = seen || running;
    if ((seen && !running) || (!seen && secondsSince(start) > 10)) break;
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
  if (output.rate > 0) result.audioSeconds = static_cast<double>(output.frames) / output.rate;
  if (auto mp3 = acm.getMp3Format()) {
    format.sampleRate = static_cast<int>(mp3->wfx.nSamplesPerSec);
    format.channels = mp3->wfx.nChannels;
  }
  result.ok = result.audioSeconds > 0 && result.streamBytes > 0;
  return result;
}

struct Timing {
  double wall = -1;  // negative when the command failed
  double cpu = 0;
};

Timing timeCommand(const std::string& command) {
  Timing timing;
  double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
  Clock::time_point start = Clock::now();
  int status = std::system(command.c_str());
  double seconds = secondsSince(start);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    return timing;
  }
  timing.wall = seconds;
  timing.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
  return timing;
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
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
  Result ours = runEngine(path, lineSpeed, format);
  if (!ours.ok) {
    std::fprintf(stderr, "the engine did not transcode %s\n", path.c_str());
    return 1;
  }
  double ourFactor = ours.audioSeconds / ours.wallSeconds;
  int kbps = lineSpeed / 1000;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", format.sampleRate / 1000.0);

  std::string ffmpeg = "ffmpeg -hide_banner -loglevel error -i " + quoted(path) + " -ar " +
                       std::to_string(format.sampleRate) + " -ac " + std::to_string(format.channels) +
                       " -b:a " + std::to_string(kbps) + "k -f mp3 -y /dev/null";
  std::string lame = "lame --quiet --mp3input --resample " + std::string(rate) + " -b " +
                     std::to_string(kbps) + (format.channels == 1 ? " -m m " : " ") + quoted(path) +
                     " /dev/null";
  Timing ffmpegTime = timeCommand(ffmpeg);
  Timing lameTime = timeCommand(lame);

  std::printf("file: %s, %.1f s of audio\n", path.c_str(), ours.audioSeconds);
  std::printf("stream: %d bit/s, %d Hz, %d channel(s); %lld bytes (%.1f s at the line speed)\n", lineSpeed,
              format.sampleRate, format.channels, ours.streamBytes, ours.streamBytes * 8.0 / lineSpeed);
  std::printf("brovana (decode thread + conversion thread): %.2f s wall, %.2f s processor; %.1fx real time\n",
              ours.wallSeconds, ours.cpuSeconds, ourFactor);
  auto report = [&](const char* name, const Timing& t) {
    if (t.wall <= 0) return;
    double factor = ours.audioSeconds / t.wall;
    std::printf(
        "%s: %.2f s wall, %.2f s processor; %.1fx real time; brovana/%s = %.2f (processor time: %.2f)\n",
        name, t.wall, t.cpu, factor, name, ourFactor / factor, t.cpu / ours.cpuSeconds);
  };
  report("ffmpeg", ffmpegTime);
  report("lame", lameTime);
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
    if (args[i] == "--line-speed" && i + 1 < args.size()) {
      lineSpeed = std::atoi(args[++i].c_str());
    } else {
      return brovana::usage();
    }
  }
  return brovana::transcode(args[1], lineSpeed);
}
