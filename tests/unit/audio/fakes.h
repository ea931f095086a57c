#pragma once
// Fakes around the conversion stage: a scriptable MP3 codec, a sink that records the stream,
// a status display, a DSP host and a visualisation feed. All may be called from the conversion
// thread while the test thread looks at them.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "audio/conversion_ports.h"
#include "audio/line_speed.h"
#include "audio/mp3_codec.h"
#include "diag/logger.h"
#include "support/temp_folder.h"

namespace brovana::test {

inline WaveFormat mp3Format(int rate, int channels, int bytesPerSec, uint16_t tag = WAVE_FORMAT_MPEGLAYER3) {
  MPEGLAYER3WAVEFORMAT f;
  f.wfx.wFormatTag = tag;
  f.wfx.nChannels = static_cast<uint16_t>(channels);
  f.wfx.nSamplesPerSec = static_cast<uint32_t>(rate);
  f.wfx.nAvgBytesPerSec = static_cast<uint32_t>(bytesPerSec);
  f.wfx.nBlockAlign = 1;
  f.wID = MPEGLAYER3_ID_MPEG;
  f.nBlockSize = static_cast<uint16_t>(bytesPerSec / 10);
  f.nFramesPerBlock = 1;
  return WaveFormat::fromMpegLayer3(f);
}

// The nominal formats of the four line speeds.
inline std::vector<WaveFormat> nominalFormats() {
  return {mp3Format(11025, 1, 2000), mp3Format(22050, 1, 3000), mp3Format(11025, 2, 4000),
          mp3Format(22050, 2, 7000)};
}

// Polls `done` until it holds or 5 s pass.
inline bool waitFor(const std::function<bool()>& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The program-wide log is opened once per process, in the folder current at its first line:
// this makes that a scratch folder that lives as long as the process.
inline void logInScratchFolder() {
  static TempFolder folder;
  static ScopedChdir inFolder(folder.path());
}

inline std::string logText() {
  std::string path = Logger::getLogPath();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return {};
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

inline uint32_t checksum(const uint8_t* bytes, size_t n) {
  uint32_t sum = 2166136261u;
  for (size_t i = 0; i < n; ++i) sum = (sum ^ bytes[i]) * 16777619u;
  return sum;
}

class FakeCodec : public Mp3Codec {
 public:
  struct Driver {
    DriverId id;
    std::vector<WaveFormat> formats;
    bool opens = true;
    int maxFormatSize = 30;
  };
  struct Conversion {
    int bytes;
    uint32_t sum;
    int result;
    std::vector<uint8_t> pcm;
    uint32_t flags;
  };

  std::vector<Driver> drivers;
  // Whether a stream from `source` to `destination` opens; by default anything but mono to
  // stereo, as the original codec behaved.
  std::function<int(const WaveFormat&, const WaveFormat&)> streamPolicy = [](const WaveFormat& s,
                                                                             const WaveFormat& d) {
    return s.wfx.nChannels == 1 && d.wfx.nChannels == 2 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
  };
  uint32_t sourceSizeAnswer = 10'000;  // destination bytes for 100,000 source bytes
  uint32_t destinationSizeAnswer = 400'000;
  int prepareResult = MMSYSERR_NOERROR;
  // MP3 bytes a conversion hands out per 100 PCM bytes.
  int outputPer100 = 1;
  std::function<void()> onUnprepare;

  // Results for the next conversions, in order; then success.
  void failNextConversions(std::vector<int> results) {
    std::lock_guard lock(mutex_);
    for (int r : results) results_.push_back(r);
  }
  // A copy taken under the lock: the conversion thread writes these.
  template <class T>
  T locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  std::vector<Conversion> conversions() const { return locked(conversions_); }
  int openDrivers() const { return locked(openDrivers_); }
  int openStreams() const { return locked(openStreams_); }
  int streamsOpened() const { return locked(streamsOpened_); }
  WaveFormat lastSource() const { return locked(lastSource_); }

  std::vector<DriverId> enumDrivers() override {
    std::vector<DriverId> ids;
    for (const Driver& d : drivers) ids.push_back(d.id);
    return ids;
  }

  int openDriver(DriverId id, std::unique_ptr<CodecDriver>& out) override {
    for (Driver& d : drivers) {
      if (d.id != id) continue;
      if (!d.opens) return MMSYSERR_NOMEM;
      out = std::make_unique<OpenDriver>(*this, d);
      std::lock_guard lock(mutex_);
      ++openDrivers_;
      return MMSYSERR_NOERROR;
    }
    return MMSYSERR_INVALHANDLE;
  }

  int openStream(const WaveFormat& source, const WaveFormat& destination,
                 std::unique_ptr<CodecStream>& out) override {
    {
      std::lock_guard lock(mutex_);
      lastSource_ = source;
    }
    int result = streamPolicy(source, destination);
    if (result != MMSYSERR_NOERROR) return result;
    out = std::make_unique<Stream>(*this);
    std::lock_guard lock(mutex_);
    ++openStreams_;
    ++streamsOpened_;
    return MMSYSERR_NOERROR;
  }

 private:
  class OpenDriver : public CodecDriver {
   public:
    OpenDriver(FakeCodec& codec, Driver& driver) : codec_(codec), driver_(driver) {}
    ~OpenDriver() override { close(); }
    int maxFormatSize() override { return driver_.maxFormatSize; }
    int enumFormats(const std::function<bool(const WaveFormat&)>& each) override {
      for (const WaveFormat& f : driver_.formats)
        if (!each(f)) break;
      return MMSYSERR_NOERROR;
    }
    int close() override {
      if (closed_) return MMSYSERR_INVALHANDLE;
      closed_ = true;
      std::lock_guard lock(codec_.mutex_);
      --codec_.openDrivers_;
      return MMSYSERR_NOERROR;
    }

   private:
    FakeCodec& codec_;
    Driver& driver_;
    bool closed_ = false;
  };

  class Stream : public CodecStream {
   public:
    explicit Stream(FakeCodec& codec) : codec_(codec) {}
    ~Stream() override { close(); }
    int size(uint32_t input, StreamSize which, uint32_t& output) override {
      uint64_t per100k = which == StreamSize::Source ? codec_.sourceSizeAnswer : codec_.destinationSizeAnswer;
      output = static_cast<uint32_t>(per100k * input / 100'000);
      return MMSYSERR_NOERROR;
    }
    int prepareHeader(ACMSTREAMHEADER& header) override {
      if (codec_.prepareResult != MMSYSERR_NOERROR) return codec_.prepareResult;
      header.fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
      prepared_ = header.cbSrcLength;
      return MMSYSERR_NOERROR;
    }
    int unprepareHeader(ACMSTREAMHEADER& header) override {
      if (codec_.onUnprepare) codec_.onUnprepare();
      if (!(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
      if (header.cbSrcLength != prepared_) return MMSYSERR_INVALPARAM;
      header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
      return MMSYSERR_NOERROR;
    }
    int convert(ACMSTREAMHEADER& header, uint32_t flags) override {
      int result = MMSYSERR_NOERROR;
      {
        std::lock_guard lock(codec_.mutex_);
        if (!codec_.results_.empty()) {
          result = codec_.results_.front();
          codec_.results_.pop_front();
        }
      }
      if (!(header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) result = ACMERR_UNPREPARED;
      Conversion c{static_cast<int>(header.cbSrcLength), checksum(header.pbSrc, header.cbSrcLength), result,
                   std::vector<uint8_t>(header.pbSrc, header.pbSrc + header.cbSrcLength), flags};
      {
        std::lock_guard lock(codec_.mutex_);
        codec_.conversions_.push_back(std::move(c));
      }
      if (result != MMSYSERR_NOERROR) return result;
      uint32_t n = std::min<uint32_t>(header.cbSrcLength / 100 * static_cast<uint32_t>(codec_.outputPer100),
                                      header.cbDstLength);
      std::memset(header.pbDst, 0x5a, n);
      header.cbDstLengthUsed = n;
      return MMSYSERR_NOERROR;
    }
    int close() override {
      if (closed_) return MMSYSERR_INVALHANDLE;
      closed_ = true;
      std::lock_guard lock(codec_.mutex_);
      --codec_.openStreams_;
      return MMSYSERR_NOERROR;
    }

   private:
    FakeCodec& codec_;
    uint32_t prepared_ = 0;
    bool closed_ = false;
  };

  mutable std::mutex mutex_;
  std::deque<int> results_;
  std::vector<Conversion> conversions_;
  int openDrivers_ = 0;
  int openStreams_ = 0;
  int streamsOpened_ = 0;
  WaveFormat lastSource_;
};

class FakeSink : public StreamSink {
 public:
  int sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) override {
    std::lock_guard lock(mutex_);
    stream_.insert(stream_.end(), bytes, bytes + length);
    ++sends_;
    allowedReconnect_ = allowedReconnect_ && reconnectAllowed;
    return length;
  }
  void flush() override {
    std::lock_guard lock(mutex_);
    ++flushes_;
  }
  template <class T>
  T locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  std::vector<uint8_t> stream() const { return locked(stream_); }
  int sends() const { return locked(sends_); }
  int flushes() const { return locked(flushes_); }
  bool allowedReconnect() const { return locked(allowedReconnect_); }

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> stream_;
  int sends_ = 0;
  int flushes_ = 0;
  bool allowedReconnect_ = true;
};

class FakeStatus : public ConversionStatus {
 public:
  void showLastError(std::string_view text) override {
    std::lock_guard lock(mutex_);
    errors.emplace_back(text);
  }
  void refreshCounters() override {
    std::lock_guard lock(mutex_);
    ++refreshes;
  }
  std::mutex mutex_;
  std::vector<std::string> errors;
  int refreshes = 0;
};

// Turns every sample around (negates it) and records what it was given. With `framesOut` set it
// hands back that many frames: the first ones, or the block again after itself.
class FakeDsp : public DspHost {
 public:
  int processSamples(uint8_t* samples, int frames, int bits, int channels, int rate) override {
    calls.push_back({frames, bits, channels, rate});
    int in = frames * channels;
    for (int i = 0; i < in; ++i) {
      int16_t s;
      std::memcpy(&s, samples + 2 * i, 2);
      s = static_cast<int16_t>(-s);
      std::memcpy(samples + 2 * i, &s, 2);
    }
    int out = framesOut < 0 ? frames : framesOut;
    for (int i = in; i < out * channels; ++i) std::memcpy(samples + 2 * i, samples + 2 * (i - in), 2);
    return out;
  }
  struct Call {
    int frames, bits, channels, rate;
  };
  std::vector<Call> calls;  // source thread only; the tests call convertAndSend themselves
  int framesOut = -1;
};

class FakeVisual : public VisualFeed {
 public:
  void addData(const uint8_t* block, int length, int channels, int bytesPerSample) override {
    blocks.emplace_back(block, block + length);
    this->channels = channels;
    this->bytesPerSample = bytesPerSample;
  }
  std::vector<std::vector<uint8_t>> blocks;
  int channels = 0;
  int bytesPerSample = 0;
};

}  // namespace brovana::test
