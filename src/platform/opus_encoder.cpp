#include <opus/opusenc.h>

#include <utility>

#include "core/text.h"
#include "platform/ogg_encoders.h"
#include "platform/pcm_shaper.h"

namespace brovana {
namespace {

// How much audio libopusenc may hold before it closes a page: a listener joining a chained
// stream waits no longer than this for sound, and the pages stay few.
constexpr int kMuxingDelay = kOpusRate / 4;

struct EncDeleter {
  void operator()(OggOpusEnc* enc) const { ope_encoder_destroy(enc); }
};
struct CommentsDeleter {
  void operator()(OggOpusComments* comments) const { ope_comments_destroy(comments); }
};
using Comments = std::unique_ptr<OggOpusComments, CommentsDeleter>;

Comments commentsWith(const std::string& title) {
  Comments comments(ope_comments_create());
  if (comments && !title.empty()) ope_comments_add(comments.get(), "TITLE", title.c_str());
  return comments;
}

class OpusStreamEncoder final : public AudioEncoder {
 public:
  OpusStreamEncoder(const PcmFormat& in, const EncodedFormat& out)
      : out_(out), shaper_(in, {out.sampleRate, out.channels}) {}

  // Empty when the encoder runs, else why not.
  std::string start(const std::string& title) {
    if (!shaper_.valid()) return "libsoxr cannot resample to 48000 Hz";
    OpusEncCallbacks callbacks{&OpusStreamEncoder::write, &OpusStreamEncoder::close};
    Comments comments = commentsWith(title);
    int error = OPE_OK;
    written_ = false;
    enc_.reset(comments ? ope_encoder_create_callbacks(&callbacks, this, comments.get(), out_.sampleRate,
                                                       out_.channels, 0, &error)
                        : nullptr);
    if (enc_ && ope_encoder_ctl(enc_.get(), OPUS_SET_BITRATE(out_.bitrate)) != OPE_OK) error = OPE_BAD_ARG;
    if (enc_ && error == OPE_OK) error = ope_encoder_ctl(enc_.get(), OPE_SET_MUXING_DELAY(kMuxingDelay));
    if (!enc_ || error != OPE_OK) {
      enc_.reset();
      return formatText("libopusenc refused %d channel(s) at %d bit/s: %s", out_.channels, out_.bitrate,
                        ope_strerror(error));
    }
    return {};
  }

  bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
    if (!enc_ || !chainIfDue()) return false;
    samples_.clear();
    shaper_.shape(pcm, samples_);
    bool ok = writeSamples();
    handOut(out);
    return ok;
  }

  bool flush(std::vector<uint8_t>& out) override {
    if (!enc_) return false;
    samples_.clear();
    shaper_.drain(samples_);
    bool ok = writeSamples() && ope_encoder_drain(enc_.get()) == OPE_OK;
    handOut(out);
    return start(title_).empty() && ok;
  }

  // The chain waits for audio: libopusenc 0.2 loses every later chain after one made before the
  // stream had any.
  void setTitle(const std::string& title) override {
    title_ = title;
    chainDue_ = true;
  }

  EncodedFormat format() const override { return out_; }

 private:
  bool writeSamples() {
    int frames = static_cast<int>(samples_.size() / static_cast<size_t>(out_.channels));
    written_ = written_ || frames > 0;
    return frames == 0 || ope_encoder_write(enc_.get(), samples_.data(), frames) == OPE_OK;
  }
  // A stream that has no audio yet starts over with the title instead.
  bool chainIfDue() {
    if (!std::exchange(chainDue_, false)) return true;
    if (!written_) return start(title_).empty();
    Comments comments = commentsWith(title_);
    return comments && ope_encoder_chain_current(enc_.get(), comments.get()) == OPE_OK;
  }
  void handOut(std::vector<uint8_t>& out) {
    out.insert(out.end(), pages_.begin(), pages_.end());
    pages_.clear();
  }
  // libopusenc hands over one whole page per call.
  static int write(void* self, const unsigned char* page, opus_int32 length) {
    auto& pages = static_cast<OpusStreamEncoder*>(self)->pages_;
    pages.insert(pages.end(), page, page + length);
    return 0;
  }
  static int close(void*) { return 0; }

  const EncodedFormat out_;
  PcmShaper shaper_;
  std::unique_ptr<OggOpusEnc, EncDeleter> enc_;
  std::string title_;
  bool chainDue_ = false;  // a title came since the last chain
  bool written_ = false;   // the stream has audio
  std::vector<int16_t> samples_;
  std::vector<uint8_t> pages_;  // written by libopusenc, not handed out yet
};

}  // namespace

EncoderOpened openOpusEncoder(const PcmFormat& in, const EncodedFormat& out) {
  if (out.sampleRate != kOpusRate)
    return {nullptr, formatText("Opus streams at 48000 Hz, not %d Hz", out.sampleRate)};
  if (out.bitrate < kOpusMinBitrate || out.bitrate > kOpusMaxBitrate || out.channels < 1 ||
      out.channels > 2 || !in.valid())
    return {nullptr,
            formatText("Opus takes 16000 to 256000 bit/s, mono or stereo, not %d bit/s, %d channel(s)",
                       out.bitrate, out.channels)};
  auto encoder = std::make_unique<OpusStreamEncoder>(in, out);
  if (std::string reason = encoder->start({}); !reason.empty()) return {nullptr, reason};
  return {std::move(encoder), {}};
}

}  // namespace brovana
