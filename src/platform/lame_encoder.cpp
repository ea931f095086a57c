#include "platform/lame_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "core/text.h"
#include "playlist/mp3_info.h"

namespace brovana {
namespace {

// LAME's own table indices: 0 MPEG-2, 1 MPEG-1, 2 MPEG-2.5.
constexpr int kMpeg2 = 0, kMpeg1 = 1, kMpeg25 = 2;
constexpr int kMaxSourceChannels = 8;
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

// An encoder from `in` (channels already mapped to those of `out`) to `out`, or none when LAME
// refuses the combination.
LameHandle configure(const PcmFormat& in, const EncodedFormat& out) {
  LameHandle lame(lame_init());
  if (!lame) return lame;
  lame_set_errorf(lame.get(), quiet);
  lame_set_debugf(lame.get(), quiet);
  lame_set_msgf(lame.get(), quiet);
  lame_set_in_samplerate(lame.get(), in.sampleRate);
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

class LameEncoder final : public AudioEncoder {
 public:
  LameEncoder(LameHandle lame, const PcmFormat& in, const EncodedFormat& out)
      : lame_(std::move(lame)), in_(in), out_(out) {}

  bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
    if (!lame_ || !encodePcm(pcm)) return false;
    handOut(wholeFrames(), out);
    return true;
  }

  // Everything LAME still holds, padded out so that a decoder plays every sample; then a fresh
  // encoder, should more PCM follow.
  bool flush(std::vector<uint8_t>& out) override {
    if (!lame_) return false;
    carry_.clear();  // an incomplete sample frame is no sound
    size_t start = pending_.size();
    pending_.resize(start + kFlushBytes);
    int n = lame_encode_flush(lame_.get(), pending_.data() + start, static_cast<int>(kFlushBytes));
    pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
    // The flush completes the last frame, so all of it goes.
    handOut(wholeFrames(), out);
    lame_ = configure(in_, out_);
    return n >= 0 && lame_;
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

  // Takes the bytes (with any partial sample frame left from the last call), maps the channels
  // and hands whole sample frames to LAME; the MP3 output goes to pending_.
  bool encodePcm(std::span<const uint8_t> bytes) {
    const size_t align = static_cast<size_t>(in_.bytesPerFrame());
    size_t offset = 0;
    if (!carry_.empty()) {
      size_t take = std::min(align - carry_.size(), bytes.size());
      carry_.insert(carry_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
      offset = take;
      if (carry_.size() == align) {
        if (!encodeFrames(carry_.data(), 1)) return false;
        carry_.clear();
      }
    }
    size_t frames = (bytes.size() - offset) / align;
    const uint8_t* at = bytes.data() + offset;
    while (frames > 0) {
      size_t now = std::min<size_t>(frames, kEncodeFrames);
      if (!encodeFrames(at, now)) return false;
      at += now * align;
      frames -= now;
    }
    carry_.insert(carry_.end(), at, bytes.data() + bytes.size());
    return true;
  }

  bool encodeFrames(const uint8_t* bytes, size_t frames) {
    pcm_.resize(frames * static_cast<size_t>(out_.channels));
    if (in_.channels == out_.channels)
      std::memcpy(pcm_.data(), bytes, pcm_.size() * sizeof(int16_t));
    else
      mapChannels(bytes, frames);
    size_t start = pending_.size();
    pending_.resize(start + mp3Bound(frames));
    int room = static_cast<int>(pending_.size() - start);
    int n = out_.channels == 1
                ? lame_encode_buffer(lame_.get(), pcm_.data(), pcm_.data(), static_cast<int>(frames),
                                     pending_.data() + start, room)
                : lame_encode_buffer_interleaved(lame_.get(), pcm_.data(), static_cast<int>(frames),
                                                 pending_.data() + start, room);
    pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
    return n >= 0;
  }

  // Into pcm_: mixed down to mono, copied to both sides, or even channels to the left and odd
  // ones to the right.
  void mapChannels(const uint8_t* bytes, size_t frames) {
    const int inChannels = in_.channels;
    for (size_t i = 0; i < frames; ++i) {
      int16_t in[kMaxSourceChannels];
      std::memcpy(in, bytes + i * static_cast<size_t>(inChannels) * 2, static_cast<size_t>(inChannels) * 2);
      if (out_.channels == 1) {
        int sum = 0;
        for (int c = 0; c < inChannels; ++c) sum += in[c];
        pcm_[i] = static_cast<int16_t>(sum / inChannels);
      } else if (inChannels == 1) {
        pcm_[2 * i] = pcm_[2 * i + 1] = in[0];
      } else {
        int left = 0, right = 0;
        for (int c = 0; c < inChannels; ++c) (c % 2 ? right : left) += in[c];
        pcm_[2 * i] = static_cast<int16_t>(left / ((inChannels + 1) / 2));
        pcm_[2 * i + 1] = static_cast<int16_t>(right / (inChannels / 2));
      }
    }
  }

  LameHandle lame_;
  const PcmFormat in_;
  const EncodedFormat out_;
  std::vector<uint8_t> carry_;    // a sample frame split between two calls
  std::vector<int16_t> pcm_;      // channel-mapped input
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
  if (in.channels < 1 || in.channels > kMaxSourceChannels || in.sampleRate < kMinSourceRate ||
      in.sampleRate > kMaxSourceRate)
    return {nullptr, formatText("LAME cannot take PCM of %d Hz, %d channel(s)", in.sampleRate, in.channels)};
  const std::vector<EncodedFormat>& all = lameFormats();
  EncodedFormat constant = out;
  constant.vbr = false;  // a mean bit rate that CBR could make
  if (std::find(all.begin(), all.end(), constant) == all.end())
    return {nullptr, formatText("LAME makes no MP3 of %d Hz, %d channel(s) at %d bit/s", out.sampleRate,
                                out.channels, out.bitrate)};
  LameHandle lame = configure(in, out);
  if (!lame)
    return {nullptr, formatText("LAME refused %d Hz, %d channel(s) to %d Hz at %d bit/s", in.sampleRate,
                                in.channels, out.sampleRate, out.bitrate)};
  return {std::make_unique<LameEncoder>(std::move(lame), in, out), {}};
}

}  // namespace brovana
