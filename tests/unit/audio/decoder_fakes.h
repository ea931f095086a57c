#pragma once
// A scripted decoder library for the playlist engine's tests: per file, what opening it answers
// and the statuses its decode steps return; hooks that run on the worker thread at chosen
// blocks; and counts that tell whether a decoder was ever used after it was released.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/mp3_decoder.h"
#include "fakes.h"

namespace brovana::test {

struct DecodeScript {
  int createStatus = kDecoderOk;
  int openStatus = kDecoderOk;
  PcmFormat format{22050, 2};
  // The statuses of the decode steps in order; after them, LastBlock. Empty: `blocks` blocks.
  std::vector<DecodeStatus> statuses;
  int blocks = 4;
  // Never ends by itself: Block after Block until the engine stops asking.
  bool endless = false;
  int blockBytes = 2304;
};

class FakeDecoderLibrary;

class FakeDecoder final : public Mp3Decoder {
 public:
  explicit FakeDecoder(FakeDecoderLibrary& library);
  ~FakeDecoder() override;

  int createInput(const std::string& path) override;
  int openInput() override;
  DecodeStatus decode() override;
  std::span<const int16_t> block() const override { return block_; }
  PcmFormat format() const override { return script_.format; }
  long long bytesRead() const override { return bytesRead_; }
  void closeInput() override { open_ = false; }

 private:
  FakeDecoderLibrary& library_;
  std::string path_;
  DecodeScript script_;
  bool open_ = false;
  size_t step_ = 0;
  long long bytesRead_ = 0;
  std::vector<int16_t> block_;
};

class FakeOutput final : public AudioOutput {
 public:
  explicit FakeOutput(FakeDecoderLibrary& library);
  ~FakeOutput() override;
  int open() override;
  void play(std::span<const int16_t> samples, PcmFormat format) override;
  void close() override {}

 private:
  FakeDecoderLibrary& library_;
};

class FakeDecoderLibrary final : public DecoderLibrary {
 public:
  // A hook runs on the worker thread after block `block` (counting from 0) of the file at
  // `path` was decoded, before the engine hands it on.
  using Hook = std::function<void()>;

  void script(const std::string& path, DecodeScript script) {
    std::lock_guard lock(mutex_);
    scripts_[path] = std::move(script);
  }
  // Runs on the worker thread as a file is opened, with the number of opens before it; it may
  // change the file's script for this time.
  void onOpen(std::function<void(int, const std::string&, DecodeScript&)> hook) {
    std::lock_guard lock(mutex_);
    onOpen_ = std::move(hook);
  }
  void onBlock(const std::string& path, int block, Hook hook) {
    std::lock_guard lock(mutex_);
    hooks_[{path, block}] = std::move(hook);
  }

  bool makesDecoders = true;
  int outputStatus = kDecoderOk;
  // Real time is not the point here; a short pause per block lets other threads in.
  std::chrono::microseconds playTime{200};

  std::unique_ptr<Mp3Decoder> newDecoder() override {
    if (!makesDecoders) return nullptr;
    return std::make_unique<FakeDecoder>(*this);
  }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override {
    std::lock_guard lock(mutex_);
    devicesAsked_.push_back(device);
    return std::make_unique<FakeOutput>(*this);
  }
  std::unique_ptr<Resampler> newResampler(int fromRate, int toRate, int channels) override {
    return nearestResampler(fromRate, toRate, channels);
  }

  int decodersAlive() const { return decodersAlive_.load(); }
  int decodersMade() const { return decodersMade_.load(); }
  int outputsAlive() const { return outputsAlive_.load(); }
  int blocksPlayed() const { return blocksPlayed_.load(); }
  // Decode steps that ran on a decoder after its release: must stay 0.
  int useAfterRelease() const { return useAfterRelease_.load(); }
  // The files opened, in order.
  std::vector<std::string> opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }
  std::vector<std::string> devicesAsked() const {
    std::lock_guard lock(mutex_);
    return devicesAsked_;
  }
  // Waits until the file now open has decoded block `block` (counting from 0).
  bool waitForBlock(const std::string& path, int block,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return progress_.wait_for(lock, limit, [&] { return reached_[path] >= block; });
  }

 private:
  friend class FakeDecoder;
  friend class FakeOutput;

  DecodeScript scriptFor(const std::string& path) {
    std::function<void(int, const std::string&, DecodeScript&)> hook;
    DecodeScript script;
    int number;
    {
      std::lock_guard lock(mutex_);
      number = static_cast<int>(opened_.size());
      opened_.push_back(path);
      reached_[path] = -1;
      auto it = scripts_.find(path);
      if (it != scripts_.end()) script = it->second;
      hook = onOpen_;
    }
    if (hook) hook(number, path, script);
    return script;
  }
  void reached(const std::string& path, int block) {
    Hook hook;
    {
      std::lock_guard lock(mutex_);
      reached_[path] = std::max(reached_[path], block);
      auto it = hooks_.find({path, block});
      if (it != hooks_.end()) hook = it->second;
    }
    progress_.notify_all();
    if (hook) hook();
  }

  mutable std::mutex mutex_;
  std::condition_variable progress_;
  std::map<std::string, DecodeScript> scripts_;
  std::map<std::pair<std::string, int>, Hook> hooks_;
  std::function<void(int, const std::string&, DecodeScript&)> onOpen_;
  std::map<std::string, int> reached_;
  std::vector<std::string> opened_;
  std::vector<std::string> devicesAsked_;
  std::atomic<int> decodersAlive_{0};
  std::atomic<int> decodersMade_{0};
  std::atomic<int> outputsAlive_{0};
  std::atomic<int> blocksPlayed_{0};
  std::atomic<int> useAfterRelease_{0};
};

inline FakeDecoder::FakeDecoder(FakeDecoderLibrary& library) : library_(library) {
  ++library_.decodersAlive_;
  ++library_.decodersMade_;
}

inline FakeDecoder::~FakeDecoder() {
  --library_.decodersAlive_;
}

inline int FakeDecoder::createInput(const std::string& path) {
  path_ = path;
  script_ = library_.scriptFor(path);
  step_ = 0;
  bytesRead_ = 0;
  return script_.createStatus;
}

inline int FakeDecoder::openInput() {
  open_ = script_.openStatus == kDecoderOk;
  return script_.openStatus;
}

inline DecodeStatus FakeDecoder::decode() {
  if (library_.decodersAlive_.load() <= 0) ++library_.useAfterRelease_;
  block_.clear();
  if (!open_) return DecodeStatus::Error;
  size_t step = step_++;
  DecodeStatus status;
  if (script_.endless) {
    status = DecodeStatus::Block;
  } else if (!script_.statuses.empty()) {
    status = step < script_.statuses.size() ? script_.statuses[step] : DecodeStatus::LastBlock;
  } else {
    status = static_cast<int>(step) + 1 < script_.blocks ? DecodeStatus::Block : DecodeStatus::LastBlock;
  }
  if (status == DecodeStatus::Block || status == DecodeStatus::LastBlock) {
    // A recognisable pattern: the step number in every sample.
    block_.assign(static_cast<size_t>(script_.blockBytes) / 2, static_cast<int16_t>(step));
    bytesRead_ += 417;
  }
  library_.reached(path_, static_cast<int>(step));
  return status;
}

inline FakeOutput::FakeOutput(FakeDecoderLibrary& library) : library_(library) {
  ++library_.outputsAlive_;
}

inline FakeOutput::~FakeOutput() {
  --library_.outputsAlive_;
}

inline int FakeOutput::open() {
  return library_.outputStatus;
}

inline void FakeOutput::play(std::span<const int16_t>, PcmFormat) {
  ++library_.blocksPlayed_;
  std::this_thread::sleep_for(library_.playTime);
}

}  // namespace brovana::test
