#include "platform/lame_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>

#include "core/text.h"
#include "platform/pcm_shaper.h"
#include "playlist/mp3_info.h"

namespace brovana {
namespace {

// LAME's own table indices: 0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5.
constexpr int kMpeg2 = 0, kMpeg1 = 1, kMpeg25 = 2;
constexpr int kMinSourceRate = 1000;
constexpr int kMaxSourceRate = 384000;
// Frames per lame_encode_buffer call; keeps the output buffer bounded.
constexpr int kEncodeFrames = 8192;
// What LAME asks of the buffer for its flush.
constexpr size_t kFlushBytes = 7200;
// LAME's bound for the MP3 bytes of n samples: 1.25 n + 7200.
size_t mp3Bound(size_t samples) {
  return samples + samples / 4 + 7200;
}

void quiet(const char*, va_list) {}

struct LameDeleter {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using LameHandle = std::unique_ptr<lame_global_flags, LameDeleter>;

// An encoder of `out` from PCM already at its rate and channels, or none when LAME refuses it.
LameHandle configure(const EncodedFormat& out) {
  LameHandle lame(lame_init());
  if (!lame) return lame;
  lame_set_errorf(lame.get(), quiet);
  lame_set_debugf(lame.get(), quiet);
  lame_set_msgf(lame.get(), quiet);
  lame_set_in_samplerate(lame.get(), out.sampleRate);
  lame_set_num_channels(lame.get(), out.channels);
  lame_set_out_samplerate(lame.get(), out.sampleRate);
  lame_set_mode(lame.get(), out.channels == 1 ? MONO : JOINT_STEREO);
  if (out.vbr) {
    // Averaging the bit rate asked for, so that a listener's line needs what it was told.
    lame_set_VBR(lame.get(), vbr_abr);
    lame_set_VBR_mean_bitrate_kbps(lame.get(), out.bitrate / 1000);
  } else {
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_brate(lame.get(), out.bitrate / 1000);
  }
  lame_set_bWriteVbrTag(lame.get(), 0);  // a stream has no header frame to rewrite
  lame_set_write_id3tag_automatic(lame.get(), 0);
  if (lame_init_params(lame.get()) < 0 || lame_get_out_samplerate(lame.get()) != out.sampleRate ||
      (!out.vbr && lame_get_brate(lame.get()) * 1000 != out.bitrate))
    lame.reset();
  return lame;
}

// libsoxr resamples ahead of LAME: at the same quality it costs a fraction of LAME's own
// resampler, which ran whenever the studio's PCM was not at the stream's rate.
class LameEncoder final : public AudioEncoder {
 public:
  LameEncoder(LameHandle lame, const PcmFormat& in, const EncodedFormat& out)
      : lame_(std::move(lame)), out_(out), shaper_(in, {out.sampleRate, out.channels}) {}

  bool valid() const { return shaper_.valid(); }

  bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
    if (!lame_) return false;
    pcm_.clear();
    shaper_.shape(pcm, pcm_);
    if (!encodeSamples()) return false;
    handOut(wholeFrames(), out);
    return true;
  }

  // Everything the resampler and LAME still hold, padded out so that a decoder plays every
  // sample; then a fresh encoder, should more PCM follow.
  bool flush(std::vector<uint8_t>& out) override {
    if (!lame_) return false;
    pcm_.clear();
    shaper_.drain(pcm_);  // an incomplete sample frame is no sound
    bool encoded = encodeSamples();
    size_t start = pending_.size();
    pending_.resize(start + kFlushBytes);
    int n = lame_encode_flush(lame_.get(), pending_.data() + start, static_cast<int>(kFlushBytes));
    pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
    // The flush completes the last frame, so all of it goes.
    handOut(wholeFrames(), out);
    lame_ = configure(out_);
    return encoded && n >= 0 && lame_;
  }

  EncodedFormat format() const override { return out_; }

 private:
  void handOut(size_t bytes, std::vector<uint8_t>& out) {
    out.insert(out.end(), pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(bytes));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(bytes));
  }

  // The bytes of the whole MP3 frames at the front of pending_. LAME hands out its last frame
  // before it is complete (the bit reservoir fills its end with the next frame's data); a stream
  // closed then would leave a broken frame on the air.
  size_t wholeFrames() const {
    size_t at = 0;
    while (at + 4 <= pending_.size()) {
      size_t length = static_cast<size_t>(mpegFrameBytes(std::span(pending_).subspan(at, 4)));
      if (length == 0) return pending_.size();  // no frames to keep whole
      if (at + length > pending_.size()) break;
      at += length;
    }
    return at;
  }

  // Hands pcm_ to LAME a bounded piece at a time; the MP3 output goes to pending_.
  bool encodeSamples() {
    const size_t channels = static_cast<size_t>(out_.channels);
    for (size_t at = 0; at + channels <= pcm_.size();) {
      const size_t frames = std::min((pcm_.size() - at) / channels, size_t{kEncodeFrames});
      int16_t* samples = pcm_.data() + at;
      size_t start = pending_.size();
      pending_.resize(start + mp3Bound(frames));
      int room = static_cast<int>(pending_.size() - start);
      int n = channels == 1 ? lame_encode_buffer(lame_.get(), samples, samples, static_cast<int>(frames),
                                                 pending_.data() + start, room)
                            : lame_encode_buffer_interleaved(lame_.get(), samples, static_cast<int>(frames),
                                                             pending_.data() + start, room);
      pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
      if (n < 0) return false;
      at += frames * channels;
    }
    return true;
  }

  LameHandle lame_;
  const EncodedFormat out_;
  PcmShaper shaper_;
  std::vector<int16_t> pcm_;      // the input at the stream's rate and channels
  std::vector<uint8_t> pending_;  // MP3 bytes not handed out yet
};

const std::vector<EncodedFormat>& lameFormats() {
  static const std::vector<EncodedFormat> all = [] {
    std::vector<EncodedFormat> out;
    for (int version : {kMpeg25, kMpeg2, kMpeg1}) {
      std::vector<int> rates;
      for (int i = 0; i < 4; ++i)
        if (int rate = lame_get_samplerate(version, i); rate > 0) rates.push_back(rate);
      std::sort(rates.begin(), rates.end());
      for (int rate : rates)
        for (int channels = 1; channels <= 2; ++channels)
          for (int i = 1; i < 16; ++i)
            if (int kbps = lame_get_bitrate(version, i); kbps > 0)
              out.push_back({Codec::Mp3, rate, channels, kbps * 1000});
    }
    return out;
  }();
  return all;
}

}  // namespace

std::vector<EncodedFormat> LameEncoderLibrary::formats() const {
  return lameFormats();
}

bool LameEncoderLibrary::usable() {
  const std::vector<EncodedFormat>& all = lameFormats();
  return !all.empty() && open({all.front().sampleRate, all.front().channels}, all.front()).encoder;
}

EncoderOpened LameEncoderLibrary::open(const PcmFormat& in, const EncodedFormat& out) {
  if (out.codec != Codec::Mp3) return {nullptr, "LAME encodes MP3 only"};
  if (in.channels < 1 || in.channels > PcmShaper::kMaxChannels || in.sampleRate < kMinSourceRate ||
      in.sampleRate > kMaxSourceRate)
    return {nullptr, formatText("LAME cannot take PCM of %d Hz, %d channel(s)", in.sampleRate, in.channels)};
  const std::vector<EncodedFormat>& all = lameFormats();
  EncodedFormat constant = out;
  constant.vbr = false;  // a mean bit rate that CBR could make
  if (std::find(all.begin(), all.end(), constant) == all.end())
    return {nullptr, formatText("LAME makes no MP3 of %d Hz, %d channel(s) at %d bit/s", out.sampleRate,
                                out.channels, out.bitrate)};
  LameHandle lame = configure(out);
  if (!lame)
    return {nullptr, formatText("LAME refused %d Hz, %d channel(s) at %d bit/s", out.sampleRate, out.channels,
                                out.bitrate)};
  auto encoder = std::make_unique<LameEncoder>(std::move(lame), in, out);
  if (!encoder->valid())
    return {nullptr, formatText("libsoxr cannot resample %d Hz to %d Hz", in.sampleRate, out.sampleRate)};
  return {std::move(encoder), {}};
}

}  // namespace brovana
