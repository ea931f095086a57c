#pragma once
// A scripted decoder library for the playlist engine's tests: per file, what opening it answers
// and the statuses its decode steps return; hooks that run on the worker thread; and counts that
// tell whether a decoder was used after it was released.

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

namespace brovana::test {

struct DecodeScript {
  int createStatus = kDecoderOk;
  int openStatus = kDecoderOk;
  PcmFormat format{22050, 2};
  std::vector<DecodeStatus> statuses = {};  // the steps in order, then LastBlock; empty: `blocks` blocks
  int blocks = 4;
  bool endless = false;  // Block after Block until the engine stops asking
  int blockBytes = 2304;
};

class FakeDecoderLibrary final : public DecoderLibrary {
 public:
  // Runs on the worker thread as a file is opened (with the number of opens before it; it may
  // change the script), or after block `block` (from 0) of a file was decoded.
  using OpenHook = std::function<void(int, DecodeScript&)>;
  using BlockHook = std::function<void()>;

  void script(const std::string& path, DecodeScript script) {
    locked([&] { scripts_[path] = script; });
  }
  void onOpen(OpenHook hook) {
    locked([&] { onOpen_ = hook; });
  }
  void onBlock(const std::string& path, int block, BlockHook hook) {
    locked([&] { hooks_[{path, block}] = hook; });
  }
  bool makesDecoders = true;
  int outputStatus = kDecoderOk;

  std::unique_ptr<Mp3Decoder> newDecoder() override {
    return makesDecoders ? std::make_unique<Decoder>(*this) : nullptr;
  }
  std::unique_ptr<AudioOutput> newDeviceOutput(const std::string& device) override {
    locked([&] { devices_.push_back(device); });
    return std::make_unique<Output>(*this);
  }

  std::atomic<int> decodersAlive{0}, decodersMade{0}, outputsAlive{0}, blocksPlayed{0};
  std::atomic<int> useAfterRelease{0};  // decode steps on a released decoder: must stay 0
  std::vector<std::string> opened() const {
    return locked([&] { return opened_; });
  }
  std::vector<std::string> devicesAsked() const {
    return locked([&] { return devices_; });
  }
  // Waits until the file now open has decoded block `block` (from 0).
  bool waitForBlock(const std::string& path, int block) {
    std::unique_lock lock(mutex_);
    return progress_.wait_for(lock, std::chrono::seconds(10), [&] { return reached_[path] >= block; });
  }

 private:
  template <typename F>
  auto locked(F f) const -> decltype(f()) {
    std::lock_guard lock(mutex_);
    return f();
  }

  class Decoder final : public Mp3Decoder {
   public:
    explicit Decoder(FakeDecoderLibrary& library) : library_(library) {
      ++library.decodersAlive, ++library.decodersMade;
    }
    ~Decoder() override { --library_.decodersAlive; }
    int createInput(const std::string& path) override {
      path_ = path, step_ = 0, bytesRead_ = 0;
      script_ = library_.opening(path);
      return script_.createStatus;
    }
    int openInput() override {
      open_ = script_.openStatus == kDecoderOk;
      return script_.openStatus;
    }
    DecodeStatus decode() override {
      if (library_.decodersAlive.load() <= 0) ++library_.useAfterRelease;
      block_.clear();
      if (!open_) return DecodeStatus::Error;
      size_t step = step_++;
      DecodeStatus status =
          script_.endless ? DecodeStatus::Block
          : !script_.statuses.empty()
              ? (step < script_.statuses.size() ? script_.statuses[step] : DecodeStatus::LastBlock)
          : static_cast<int>(step) + 1 < script_.blocks ? DecodeStatus::Block
                                                        : DecodeStatus::LastBlock;
      if (status == DecodeStatus::Block || status == DecodeStatus::LastBlock) {
        block_.assign(static_cast<size_t>(script_.blockBytes) / 2, static_cast<int16_t>(step));
        bytesRead_ += 417;
      }
      library_.reached(path_, static_cast<int>(step));
      return status;
    }
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

  class Output final : public AudioOutput {
   public:
    explicit Output(FakeDecoderLibrary& library) : library_(library) { ++library.outputsAlive; }
    ~Output() override { --library_.outputsAlive; }
    int open() override { return library_.outputStatus; }
    void play(std::span<const int16_t>, PcmFormat) override {
      ++library_.blocksPlayed;
      // Real time is not the point here; a short pause per block lets other threads in.
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    void close() override {}

   private:
    FakeDecoderLibrary& library_;
  };

  DecodeScript opening(const std::string& path) {
    auto [number, script, hook] = locked([&] {
      int n = static_cast<int>(opened_.size());
      opened_.push_back(path);
      reached_[path] = -1;
      return std::tuple{n, scripts_.count(path) ? scripts_[path] : DecodeScript{}, onOpen_};
    });
    if (hook) hook(number, script);
    return script;
  }
  void reached(const std::string& path, int block) {
    BlockHook hook = locked([&] {
      reached_[path] = std::max(reached_[path], block);
      auto it = hooks_.find({path, block});
      return it == hooks_.end() ? BlockHook() : it->second;
    });
    progress_.notify_all();
    if (hook) hook();
  }

  mutable std::mutex mutex_;
  std::condition_variable progress_;
  std::map<std::string, DecodeScript> scripts_;
  std::map<std::pair<std::string, int>, BlockHook> hooks_;
  OpenHook onOpen_;
  std::map<std::string, int> reached_;
  std::vector<std::string> opened_, devices_;
};

}  // namespace brovana::test
