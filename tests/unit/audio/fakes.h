#pragma once
// Fakes around the conversion stage and the playlist engine: a scriptable encoder library, a sink that
// counts the stream, a status port, and a scripted decoder library (22050 Hz stereo blocks) with
// hooks on the worker thread. The worker threads call them while the test thread looks.

#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "audio/conversion_ports.h"
#include "audio/conversion_stage.h"
#include "audio/line_speed.h"
#include "audio/mp3_decoder.h"
#include "support/fake_prompts.h"
#include "support/journal.h"
#include "support/log_tail.h"

namespace brovana::test {

// The MP3 formats of the four line speeds.
inline std::vector<EncodedFormat> lineSpeedMp3Formats() {
  std::vector<EncodedFormat> formats;
  for (const LineSpeedFormat& f : kLineSpeedFormats) formats.push_back(f.mp3());
  return formats;
}

// Encoders count themselves in and out of the library that made them, and record each call.
class FakeEncoders : public EncoderLibrary {
 public:
  struct Call {
    std::vector<uint8_t> pcm;
    bool flushed;
  };

  std::vector<EncodedFormat> offered = lineSpeedMp3Formats();
  // Why an encoder does not open (empty: it opens); by default it refuses mono to stereo.
  std::function<std::string(const PcmFormat&, const EncodedFormat&)> refusal = [](auto& in, auto& out) {
    return in.channels == 1 && out.channels == 2 ? "no mono to stereo" : "";
  };
  int outputPer100 = 1;      // bytes out per 100 PCM bytes
  std::deque<bool> results;  // of the next encode calls, then success; set before the thread runs
  std::atomic<int> openEncoders{0};

  std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<EncodedFormat> formats() const override { return offered; }
  bool usable() override { return !offered.empty(); }
  EncoderOpened open(const PcmFormat& in, const EncodedFormat& out) override {
    std::string reason = refusal(in, out);
    if (!reason.empty()) return {nullptr, reason};
    return {std::make_unique<Encoder>(*this, out), {}};
  }

 private:
  struct Encoder : AudioEncoder {
    Encoder(FakeEncoders& library, EncodedFormat made) : library(library), made(made) {
      ++library.openEncoders;
    }
    ~Encoder() override { --library.openEncoders; }
    bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
      std::lock_guard lock(library.mutex_);
      library.calls_.push_back({{pcm.begin(), pcm.end()}, false});
      bool result = library.results.empty() || library.results.front();
      if (!library.results.empty()) library.results.pop_front();
      if (result) out.insert(out.end(), pcm.size() / 100 * size_t(library.outputPer100), 0x5a);
      return result;
    }
    // The stage flushes right after the encode call of the same chunk.
    bool flush(std::vector<uint8_t>&) override {
      std::lock_guard lock(library.mutex_);
      library.calls_.back().flushed = true;
      return true;
    }
    EncodedFormat format() const override { return made; }
    FakeEncoders& library;
    EncodedFormat made;
  };

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
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

// A conversion stage on the fake encoders and what it reports to: the log first, since the stage logs
// as it is made, and the stage last, so that it goes first.
struct StageRig {
  LogTail log;
  FakeEncoders encoders;
  FakeSink sink;
  FakeStatus status;
  FakePrompts prompts;
  FakeExit exit;
  ConversionStage stage{sink, status, encoders, prompts, exit};
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
  int16_t level = 1;     // every sample's value
};

class FakeDecoderLibrary final : public DecoderLibrary {
 public:
  std::map<std::string, DecodeScript> scripts;  // by path; set before the engine runs
  // Run on the worker thread after block (from 0) of a file was decoded; set before the run.
  std::map<std::pair<std::string, int>, std::function<void()>> onBlock;
  std::atomic<int> decodersAlive{0}, outputsAlive{0};
  std::atomic<size_t> framesPlayed{0};  // by the sound outputs, stereo

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
      pcm.assign(pcm.size(), script.level);
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
    void play(std::span<const int16_t> samples, PcmFormat) override {
      library.framesPlayed += samples.size() / 2;
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
