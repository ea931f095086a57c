#include "platform/lame_codec.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <span>

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

WaveFormat layer3Format(int version, int rate, int channels, int kbps) {
  MPEGLAYER3WAVEFORMAT f;
  f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
  f.wfx.nChannels = static_cast<uint16_t>(channels);
  f.wfx.nSamplesPerSec = static_cast<uint32_t>(rate);
  f.wfx.nAvgBytesPerSec = static_cast<uint32_t>(kbps * 1000 / 8);
  f.wfx.nBlockAlign = 1;
  f.wfx.wBitsPerSample = 0;
  f.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
  f.wID = MPEGLAYER3_ID_MPEG;
  f.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
  // Bytes of one frame without its padding byte.
  f.nBlockSize = static_cast<uint16_t>((version == kMpeg1 ? 144 : 72) * kbps * 1000 / rate);
  f.nFramesPerBlock = 1;
  f.nCodecDelay = 576;  // LAME's encoder delay in samples
  return WaveFormat::fromMpegLayer3(f);
}

bool sameFormat(const WaveFormat& a, const WaveFormat& b) {
  return a.wfx.wFormatTag == b.wfx.wFormatTag && a.wfx.nChannels == b.wfx.nChannels &&
         a.wfx.nSamplesPerSec == b.wfx.nSamplesPerSec && a.wfx.nAvgBytesPerSec == b.wfx.nAvgBytesPerSec;
}

class LameDriver : public CodecDriver {
 public:
  int maxFormatSize() override { return static_cast<int>(sizeof(MPEGLAYER3WAVEFORMAT)); }
  int enumFormats(const std::function<bool(const WaveFormat&)>& each) override {
    if (closed_) return MMSYSERR_INVALHANDLE;
    for (const WaveFormat& f : LameCodec::formats())
      if (!each(f)) break;
    return MMSYSERR_NOERROR;
  }
  int close() override {
    if (closed_) return MMSYSERR_INVALHANDLE;
    closed_ = true;
    return MMSYSERR_NOERROR;
  }

 private:
  bool closed_ = false;
};

struct LameDeleter {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
using LameHandle = std::unique_ptr<lame_global_flags, LameDeleter>;

class LameStream : public CodecStream {
 public:
  LameStream(LameHandle lame, const WaveFormat& source, const WaveFormat& destination)
      : lame_(std::move(lame)), source_(source.wfx), destination_(destination.wfx) {}

  // An encoder from `source` to `destination`, or none when LAME refuses the combination.
  static LameHandle configure(const WAVEFORMATEX& in, const WAVEFORMATEX& out);

  int size(uint32_t input, StreamSize which, uint32_t& output) override {
    if (!lame_) return MMSYSERR_INVALHANDLE;
    double inRate = source_.nSamplesPerSec, outRate = destination_.nSamplesPerSec;
    if (which == StreamSize::Source) {
      double samples = static_cast<double>(input / source_.nBlockAlign) * outRate / inRate;
      output =
          static_cast<uint32_t>(std::min<double>(mp3Bound(static_cast<size_t>(samples) + 1), UINT32_MAX));
    } else {
      uint64_t bytes = uint64_t{input} * source_.nAvgBytesPerSec / destination_.nAvgBytesPerSec;
      output = static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX)) / source_.nBlockAlign *
               source_.nBlockAlign;
    }
    return MMSYSERR_NOERROR;
  }

  int prepareHeader(ACMSTREAMHEADER& header) override {
    if (!lame_) return MMSYSERR_INVALHANDLE;
    if ((!header.pbSrc && header.cbSrcLength) || (!header.pbDst && header.cbDstLength))
      return MMSYSERR_INVALPARAM;
    header.fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    prepared_ = &header;
    preparedSourceLength_ = header.cbSrcLength;
    return MMSYSERR_NOERROR;
  }

  int unprepareHeader(ACMSTREAMHEADER& header) override {
    if (!lame_) return MMSYSERR_INVALHANDLE;
    if (!isPrepared(header)) return ACMERR_UNPREPARED;
    if (header.cbSrcLength != preparedSourceLength_) return MMSYSERR_INVALPARAM;
    header.fdwStatus &= ~(ACMSTREAMHEADER_STATUSF_PREPARED | ACMSTREAMHEADER_STATUSF_DONE);
    prepared_ = nullptr;
    return MMSYSERR_NOERROR;
  }

  int convert(ACMSTREAMHEADER& header, uint32_t flags) override {
    if (!lame_) return MMSYSERR_INVALHANDLE;
    if (!isPrepared(header)) return ACMERR_UNPREPARED;
    if (header.cbSrcLength > preparedSourceLength_) return MMSYSERR_INVALPARAM;
    header.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    if (!encode(header.pbSrc, header.cbSrcLength)) return MMSYSERR_ERROR;
    if ((flags & ACM_STREAMCONVERTF_END) && !flushEncoder()) return MMSYSERR_ERROR;
    header.cbSrcLengthUsed = header.cbSrcLength;
    // Only whole frames go out; the rest, and what does not fit, waits for the next call.
    size_t n = wholeFrames(header.cbDstLength);
    if (n) std::memcpy(header.pbDst, pending_.data(), n);
    header.cbDstLengthUsed = static_cast<uint32_t>(n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    header.fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
  }

  int close() override {
    if (!lame_) return MMSYSERR_INVALHANDLE;
    lame_.reset();
    return MMSYSERR_NOERROR;
  }

 private:
  bool isPrepared(const ACMSTREAMHEADER& header) const {
    return prepared_ == &header && (header.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
  }

  // The bytes of the whole MP3 frames at the front of pending_, at most `most` of them. LAME
  // hands out its last frame before it is complete (the bit reservoir fills its end with the
  // next frame's data); a stream closed then would leave a broken frame on the air.
  size_t wholeFrames(size_t most) const {
    size_t at = 0;
    while (at + 4 <= pending_.size()) {
      size_t length = static_cast<size_t>(mpegFrameBytes(std::span(pending_).subspan(at, 4)));
      if (length == 0) return std::min(pending_.size(), most);  // no frames to keep whole
      if (at + length > std::min(pending_.size(), most)) break;
      at += length;
    }
    return at;
  }

  // Takes the bytes (with any partial sample frame left from the last call), maps the channels
  // and hands whole frames to LAME; the MP3 output goes to pending_.
  bool encode(const uint8_t* bytes, size_t length) {
    const size_t align = source_.nBlockAlign;
    const int inChannels = source_.nChannels, outChannels = destination_.nChannels;
    size_t offset = 0;
    if (!carry_.empty()) {
      size_t take = std::min(align - carry_.size(), length);
      carry_.insert(carry_.end(), bytes, bytes + take);
      offset = take;
      if (carry_.size() == align) {
        if (!encodeFrames(carry_.data(), 1, inChannels, outChannels)) return false;
        carry_.clear();
      }
    }
    size_t frames = (length - offset) / align;
    const uint8_t* at = bytes + offset;
    while (frames > 0) {
      size_t now = std::min<size_t>(frames, kEncodeFrames);
      if (!encodeFrames(at, now, inChannels, outChannels)) return false;
      at += now * align;
      frames -= now;
    }
    carry_.insert(carry_.end(), at, bytes + length);
    return true;
  }

  // Everything LAME still holds, padded out so that a decoder plays every sample; then a fresh
  // encoder, should more PCM follow.
  bool flushEncoder() {
    carry_.clear();  // an incomplete sample frame is no sound
    size_t start = pending_.size();
    pending_.resize(start + kFlushBytes);
    int n = lame_encode_flush(lame_.get(), pending_.data() + start, static_cast<int>(kFlushBytes));
    pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
    lame_ = configure(source_, destination_);
    return n >= 0 && lame_;
  }

  bool encodeFrames(const uint8_t* bytes, size_t frames, int inChannels, int outChannels) {
    pcm_.resize(frames * static_cast<size_t>(outChannels));
    if (inChannels == outChannels)
      std::memcpy(pcm_.data(), bytes, pcm_.size() * sizeof(int16_t));
    else
      mapChannels(bytes, frames, inChannels, outChannels);
    size_t start = pending_.size();
    pending_.resize(start + mp3Bound(frames));
    int n = outChannels == 1
                ? lame_encode_buffer(lame_.get(), pcm_.data(), pcm_.data(), static_cast<int>(frames),
                                     pending_.data() + start, static_cast<int>(pending_.size() - start))
                : lame_encode_buffer_interleaved(lame_.get(), pcm_.data(), static_cast<int>(frames),
                                                 pending_.data() + start,
                                                 static_cast<int>(pending_.size() - start));
    pending_.resize(start + static_cast<size_t>(std::max(n, 0)));
    return n >= 0;
  }

  // Into pcm_: mixed down to mono, copied to both sides, or even channels to the left and odd
  // ones to the right.
  void mapChannels(const uint8_t* bytes, size_t frames, int inChannels, int outChannels) {
    for (size_t i = 0; i < frames; ++i) {
      int16_t in[kMaxSourceChannels];
      std::memcpy(in, bytes + i * static_cast<size_t>(inChannels) * 2, static_cast<size_t>(inChannels) * 2);
      if (outChannels == 1) {
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
  WAVEFORMATEX source_;
  WAVEFORMATEX destination_;
  const ACMSTREAMHEADER* prepared_ = nullptr;
  uint32_t preparedSourceLength_ = 0;
  std::vector<uint8_t> carry_;    // a sample frame split between two calls
  std::vector<int16_t> pcm_;      // channel-mapped input
  std::vector<uint8_t> pending_;  // MP3 bytes not handed out yet
};

LameHandle LameStream::configure(const WAVEFORMATEX& in, const WAVEFORMATEX& out) {
  int kbps = static_cast<int>(out.nAvgBytesPerSec * 8 / 1000);
  LameHandle lame(lame_init());
  if (!lame) return lame;
  lame_set_errorf(lame.get(), quiet);
  lame_set_debugf(lame.get(), quiet);
  lame_set_msgf(lame.get(), quiet);
  lame_set_in_samplerate(lame.get(), static_cast<int>(in.nSamplesPerSec));
  lame_set_num_channels(lame.get(), out.nChannels);  // the channels are mapped before LAME
  lame_set_out_samplerate(lame.get(), static_cast<int>(out.nSamplesPerSec));
  lame_set_mode(lame.get(), out.nChannels == 1 ? MONO : JOINT_STEREO);
  lame_set_VBR(lame.get(), vbr_off);
  lame_set_brate(lame.get(), kbps);
  lame_set_bWriteVbrTag(lame.get(), 0);  // a stream has no header frame to rewrite
  lame_set_write_id3tag_automatic(lame.get(), 0);
  if (lame_init_params(lame.get()) < 0 ||
      lame_get_out_samplerate(lame.get()) != static_cast<int>(out.nSamplesPerSec) ||
      lame_get_brate(lame.get()) != kbps)
    lame.reset();
  return lame;
}

}  // namespace

const std::vector<WaveFormat>& LameCodec::formats() {
  static const std::vector<WaveFormat> all = [] {
    std::vector<WaveFormat> out;
    for (int version : {kMpeg25, kMpeg2, kMpeg1}) {
      std::vector<int> rates;
      for (int i = 0; i < 4; ++i)
        if (int rate = lame_get_samplerate(version, i); rate > 0) rates.push_back(rate);
      std::sort(rates.begin(), rates.end());
      for (int rate : rates)
        for (int channels = 1; channels <= 2; ++channels)
          for (int i = 1; i < 16; ++i)
            if (int kbps = lame_get_bitrate(version, i); kbps > 0)
              out.push_back(layer3Format(version, rate, channels, kbps));
    }
    return out;
  }();
  return all;
}

std::vector<DriverId> LameCodec::enumDrivers() {
  // The encoder is linked in; it is there when it can be set up at all.
  LameHandle probe(lame_init());
  if (!probe) return {};
  return {kDriverId};
}

int LameCodec::openDriver(DriverId id, std::unique_ptr<CodecDriver>& driver) {
  if (id != kDriverId) return MMSYSERR_INVALHANDLE;
  driver = std::make_unique<LameDriver>();
  return MMSYSERR_NOERROR;
}

int LameCodec::openStream(const WaveFormat& source, const WaveFormat& destination,
                          std::unique_ptr<CodecStream>& stream) {
  const WAVEFORMATEX& in = source.wfx;
  if (in.wFormatTag != WAVE_FORMAT_PCM || in.wBitsPerSample != 16 || in.nChannels < 1 ||
      in.nChannels > kMaxSourceChannels || in.nBlockAlign != in.nChannels * 2 ||
      in.nSamplesPerSec < static_cast<uint32_t>(kMinSourceRate) ||
      in.nSamplesPerSec > static_cast<uint32_t>(kMaxSourceRate))
    return ACMERR_NOTPOSSIBLE;
  const auto& all = formats();
  if (std::none_of(all.begin(), all.end(), [&](const WaveFormat& f) { return sameFormat(f, destination); }))
    return ACMERR_NOTPOSSIBLE;

  LameHandle lame = LameStream::configure(in, destination.wfx);
  if (!lame) return ACMERR_NOTPOSSIBLE;
  stream = std::make_unique<LameStream>(std::move(lame), source, destination);
  return MMSYSERR_NOERROR;
}

}  // namespace brovana
