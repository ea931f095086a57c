#pragma once
// Fakes around the conversion stage and the playlist engine: a scriptable MP3 codec, a sink that
// counts the stream, a status port, and a scripted decoder library (22050 Hz stereo blocks) with
// hooks on the worker thread. The worker threads call them while the test thread looks.

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/conversion_ports.h"
#include "audio/conversion_stage.h"
#include "audio/mp3_codec.h"
#include "audio/mp3_decoder.h"
#include "support/fake_prompts.h"
#include "support/journal.h"
#include "support/log_tail.h"

namespace brovana::test {

// The nominal formats of the four line speeds.
inline std::vector<WaveFormat> nominalFormats() {
  std::vector<WaveFormat> formats;
  for (auto [rate, channels, bytesPerSec] :
       {std::tuple{11025, 1, 2000}, {22050, 1, 3000}, {11025, 2, 4000}, {22050, 2, 7000}}) {
    formats.push_back(WaveFormat::fromMpegLayer3(
        {{WAVE_FORMAT_MPEGLAYER3, uint16_t(channels), uint32_t(rate), uint32_t(bytesPerSec), 1, 0, 0}}));
  }
  return formats;
}

// Drivers and streams count themselves in and out of the codec that made them.
class FakeCodec : public Mp3Codec {
 public:
  struct Conversion {
    std::vector<uint8_t> pcm;
    uint32_t flags;
  };

  std::vector<WaveFormat> formats = nominalFormats();  // of its one driver, number 3
  // Whether a stream opens; by default anything but mono to stereo, as the original codec.
  std::function<int(const WaveFormat&, const WaveFormat&)> streamPolicy = [](auto& s, auto& d) {
    return s.wfx.nChannels == 1 && d.wfx.nChannels == 2 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
  };
  uint32_t sourceSizeAnswer = 10'000, destinationSizeAnswer = 400'000;  // for 100,000 bytes
  uint32_t outputPer100 = 1;                                            // MP3 bytes per 100 PCM bytes
  std::deque<int> results;  // of the next conversions, then success; set before the thread runs
  std::atomic<int> openDrivers{0}, openStreams{0};

  std::vector<Conversion> conversions() const {
    std::lock_guard lock(mutex_);
    return conversions_;
  }
  std::vector<DriverId> enumDrivers() override { return {3}; }
  int openDriver(DriverId id, std::unique_ptr<CodecDriver>& out) override {
    return id == 3 ? (out = std::make_unique<OpenDriver>(*this), MMSYSERR_NOERROR) : MMSYSERR_NOMEM;
  }
  int openStream(const WaveFormat& source, const WaveFormat& destination,
                 std::unique_ptr<CodecStream>& out) override {
    int result = streamPolicy(source, destination);
    if (result == MMSYSERR_NOERROR) out = std::make_unique<Stream>(*this);
    return result;
  }

 private:
  struct OpenDriver : CodecDriver {
    explicit OpenDriver(FakeCodec& codec) : codec(codec) { ++codec.openDrivers; }
    ~OpenDriver() override { --codec.openDrivers; }
    int maxFormatSize() override { return 30; }
    int enumFormats(const std::function<bool(const WaveFormat&)>& each) override {
      for (const WaveFormat& f : codec.formats)
        if (!each(f)) break;
      return MMSYSERR_NOERROR;
    }
    int close() override { return MMSYSERR_NOERROR; }
    FakeCodec& codec;
  };

  struct Stream : CodecStream {
    explicit Stream(FakeCodec& codec) : codec(codec) { ++codec.openStreams; }
    ~Stream() override { --codec.openStreams; }
    int size(uint32_t input, StreamSize which, uint32_t& output) override {
      uint64_t per100k = which == StreamSize::Source ? codec.sourceSizeAnswer : codec.destinationSizeAnswer;
      output = static_cast<uint32_t>(per100k * input / 100'000);
      return MMSYSERR_NOERROR;
    }
    int prepareHeader(ACMSTREAMHEADER& header) override {
      return header.fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED, MMSYSERR_NOERROR;
    }
    int unprepareHeader(ACMSTREAMHEADER& header) override {
      return header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED, MMSYSERR_NOERROR;
    }
    int convert(ACMSTREAMHEADER& header, uint32_t flags) override {
      std::lock_guard lock(codec.mutex_);
      int result = ACMERR_UNPREPARED;
      if (header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) {
        result = codec.results.empty() ? MMSYSERR_NOERROR : codec.results.front();
        if (!codec.results.empty()) codec.results.pop_front();
      }
      codec.conversions_.push_back({{header.pbSrc, header.pbSrc + header.cbSrcLength}, flags});
      header.cbDstLengthUsed = std::min(header.cbSrcLength / 100 * codec.outputPer100, header.cbDstLength);
      std::memset(header.pbDst, 0x5a, header.cbDstLengthUsed);
      return result;
    }
    int close() override { return MMSYSERR_NOERROR; }
    FakeCodec& codec;
  };

  mutable std::mutex mutex_;
  std::vector<Conversion> conversions_;
};

// Counts the MP3 bytes the connection would have sent.
struct FakeSink : StreamSink {
  int sendStream(const uint8_t*, int length, bool) override { return sent += length, length; }
  void flush() override { ++flushes; }
  std::atomic<int> sent{0}, flushes{0};
};

struct FakeStatus : ConversionStatus {
  void showLastError(std::string_view) override {}
  void refreshCounters() override { ++refreshes; }
  int refreshes = 0;  // the stage reports from the caller's thread here
};

// A conversion stage on the fake codec and what it reports to: the log first, since the stage logs
// as it is made, and the stage last, so that it goes first.
struct StageRig {
  LogTail log;
  FakeCodec codec;
  FakeSink sink;
  FakeStatus status;
  FakePrompts prompts;
  FakeExit exit;
  ConversionStage stage{sink, status, codec, prompts, exit};
};

// A plug-in that negates every sample and, with `framesOut` set, hands back that many frames
// (the first ones, or the block again after itself); and the visualisation after it. Both are
// called on the source's thread: the test's own, or the capture's before the test looks.
struct FakeDspAndVisual : SampleProcessor, VisualFeed {
  int processSamples(uint8_t* samples, int frames, int, int channels, int rate) override {
    calls.push_back({frames, rate});
    auto* s = reinterpret_cast<int16_t*>(samples);
    for (int i = 0; i < frames * channels; ++i) s[i] = static_cast<int16_t>(-s[i]);
    int out = framesOut < 0 ? frames : framesOut;
    for (int i = frames * channels; i < out * channels; ++i) s[i] = s[i - frames * channels];
    return out;
  }
  void addData(const uint8_t* block, int length, int, int) override {
    shown.emplace_back(block, block + length);
  }
  std::vector<std::pair<int, int>> calls;  // frames, rate
  std::vector<std::vector<uint8_t>> shown;
  int framesOut = -1;
};

// The frame nearest each output time: the rate is all the engine's and the capture's tests
// look at. A ResamplerFactory.
inline std::unique_ptr<Resampler> nearestResampler(int fromRate, int toRate, int channels) {
  struct Nearest final : Resampler {
    void process(std::span<const int16_t> in, std::vector<int16_t>& out) override {
      for (size_t frames = in.size() / channels; next < frames; next += step)
        out.insert(out.end(), &in[size_t(next) * channels], &in[size_t(next) * channels] + channels);
      next -= static_cast<double>(in.size() / channels);
    }
    void drain(std::vector<int16_t>&) override {}
    double step, next = 0;
    size_t channels;
  };
  auto resampler = std::make_unique<Nearest>();
  resampler->step = static_cast<double>(fromRate) / toRate, resampler->channels = size_t(channels);
  return resampler;
}

struct DecodeScript {
  int createStatus = kDecoderOk, openStatus = kDecoderOk;
  bool endless = false;  // Block after Block until the engine stops asking; else four blocks
};

class FakeDecoderLibrary final : public DecoderLibrary {
 public:
  std::map<std::string, DecodeScript> scripts;  // by path; set before the engine runs
  // Run on the worker thread after block (from 0) of a file was decoded; set before the run.
  std::map<std::pair<std::string, int>, std::function<void()>> onBlock;
  std::atomic<int> decodersAlive{0}, outputsAlive{0};

  std::unique_ptr<Mp3Decoder> newDecoder() override { return std::make_unique<Decoder>(*this); }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string&) override {
    return std::make_unique<Output>(*this);
  }
  std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) override {
    return nearestResampler(fromRate, toRate, channels);
  }
  std::vector<std::string> opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  // Waits until the file now open has decoded block `block` (from 0).
  bool waitForBlock(const std::string& path, int block) {
    return eventually([&] {
      std::lock_guard lock(mutex_);
      return reached_[path] >= block;
    });
  }

 private:
  struct Decoder final : Mp3Decoder {
    explicit Decoder(FakeDecoderLibrary& library) : library(library) { ++library.decodersAlive; }
    ~Decoder() override { --library.decodersAlive; }
    int createInput(const std::string& name) override {
      std::lock_guard lock(library.mutex_);
      path = name, step = 0, script = library.scripts[path];
      library.opened_.push_back(path);
      library.reached_[path] = -1;
      return script.createStatus;
    }
    int openInput() override { return open = script.openStatus == kDecoderOk, script.openStatus; }
    DecodeStatus decode() override {
      if (!open) return DecodeStatus::Error;
      size_t now = step++;
      library.reached(path, static_cast<int>(now));
      return script.endless || now < 3 ? DecodeStatus::Block : DecodeStatus::LastBlock;
    }
    std::span<const int16_t> block() const override { return pcm; }
    PcmFormat format() const override { return {22050, 2}; }
    long long bytesRead() const override { return 417 * static_cast<long long>(step); }
    void closeInput() override { open = false; }
    FakeDecoderLibrary& library;
    std::string path;
    DecodeScript script;
    bool open = false;
    size_t step = 0;
    std::vector<int16_t> pcm = std::vector<int16_t>(1152, 1);
  };

  struct Output final : AudioOutput {
    explicit Output(FakeDecoderLibrary& library) : library(library) { ++library.outputsAlive; }
    ~Output() override { --library.outputsAlive; }
    int open() override { return kDecoderOk; }
    void play(std::span<const int16_t>, PcmFormat) override {
      std::this_thread::sleep_for(std::chrono::microseconds(200));  // lets other threads in
    }
    void close() override {}
    FakeDecoderLibrary& library;
  };

  void reached(const std::string& path, int block) {
    std::unique_lock lock(mutex_);
    reached_[path] = std::max(reached_[path], block);
    auto hook = onBlock.find({path, block});
    lock.unlock();
    if (hook != onBlock.end()) hook->second();
  }

  mutable std::mutex mutex_;
  std::map<std::string, int> reached_;
  std::vector<std::string> opened_;
};

}  // namespace brovana::test
