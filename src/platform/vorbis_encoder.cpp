#include <vorbis/vorbisenc.h>

#include <random>

#include "core/text.h"
#include "platform/ogg_encoders.h"
#include "platform/pcm_shaper.h"

namespace brovana {
namespace {

// One logical Vorbis stream in Ogg: the libvorbis and libogg states, set up together and
// cleared together.
class VorbisStream {
 public:
  // valid() false when libvorbisenc refuses the format.
  VorbisStream(const EncodedFormat& format, const std::string& title, int serial) {
    vorbis_info_init(&info_);
    // A constant bit rate: a listener's line needs what the server announces, whatever plays.
    if (vorbis_encode_init(&info_, format.channels, format.sampleRate, format.bitrate, format.bitrate,
                           format.bitrate) != 0)
      return;
    vorbis_comment_init(&comment_);
    if (!title.empty()) vorbis_comment_add_tag(&comment_, "TITLE", title.c_str());
    vorbis_analysis_init(&dsp_, &info_);
    vorbis_block_init(&dsp_, &block_);
    ogg_stream_init(&ogg_, serial);
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&dsp_, &comment_, &header, &comments, &codebooks);
    for (ogg_packet* packet : {&header, &comments, &codebooks}) ogg_stream_packetin(&ogg_, packet);
    valid_ = true;
  }
  ~VorbisStream() {
    if (valid_) {
      ogg_stream_clear(&ogg_);
      vorbis_block_clear(&block_);
      vorbis_dsp_clear(&dsp_);
      vorbis_comment_clear(&comment_);
    }
    vorbis_info_clear(&info_);
  }
  VorbisStream(const VorbisStream&) = delete;
  VorbisStream& operator=(const VorbisStream&) = delete;

  bool valid() const { return valid_; }
  bool started() const { return headersOut_; }

  // Interleaved samples in; whole pages out. The headers go out on pages of their own, so that
  // the first audio page starts where a decoder expects it.
  void write(std::span<const int16_t> samples, int channels, std::vector<uint8_t>& out) {
    const int frames = static_cast<int>(samples.size() / static_cast<size_t>(channels));
    if (!headersOut_) {
      pages(out, true);
      headersOut_ = true;
    }
    if (frames == 0) return;
    float** buffer = vorbis_analysis_buffer(&dsp_, frames);
    for (int i = 0; i < frames; ++i)
      for (int c = 0; c < channels; ++c)
        buffer[c][i] = static_cast<float>(samples[static_cast<size_t>(i * channels + c)]) / 32768.0f;
    vorbis_analysis_wrote(&dsp_, frames);
    analyse(out);
  }
  // The end of the stream: what libvorbis holds, and the last page.
  void finish(std::vector<uint8_t>& out) {
    if (!headersOut_) pages(out, true);
    headersOut_ = true;
    vorbis_analysis_wrote(&dsp_, 0);
    analyse(out);
    pages(out, true);
  }

 private:
  void analyse(std::vector<uint8_t>& out) {
    ogg_packet packet;
    while (vorbis_analysis_blockout(&dsp_, &block_) == 1) {
      vorbis_analysis(&block_, nullptr);
      vorbis_bitrate_addblock(&block_);
      while (vorbis_bitrate_flushpacket(&dsp_, &packet) == 1) ogg_stream_packetin(&ogg_, &packet);
    }
    pages(out, false);
  }
  void pages(std::vector<uint8_t>& out, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&ogg_, &page) : ogg_stream_pageout(&ogg_, &page)) {
      out.insert(out.end(), page.header, page.header + page.header_len);
      out.insert(out.end(), page.body, page.body + page.body_len);
    }
  }

  vorbis_info info_;
  vorbis_comment comment_;
  vorbis_dsp_state dsp_;
  vorbis_block block_;
  ogg_stream_state ogg_;
  bool valid_ = false;
  bool headersOut_ = false;
};

class VorbisStreamEncoder final : public AudioEncoder {
 public:
  VorbisStreamEncoder(const PcmFormat& in, const EncodedFormat& out)
      : out_(out), shaper_(in, {out.sampleRate, out.channels}), serials_(std::random_device{}()) {}

  bool start() {
    stream_ = std::make_unique<VorbisStream>(out_, title_, static_cast<int>(serials_() & 0x7fffffff));
    return stream_->valid() && shaper_.valid();
  }

  bool encode(std::span<const uint8_t> pcm, std::vector<uint8_t>& out) override {
    takeHeld(out);
    samples_.clear();
    shaper_.shape(pcm, samples_);
    stream_->write(samples_, out_.channels, out);
    return true;
  }

  bool flush(std::vector<uint8_t>& out) override {
    takeHeld(out);
    samples_.clear();
    shaper_.drain(samples_);
    stream_->write(samples_, out_.channels, out);
    stream_->finish(out);
    return start();
  }

  // The stream so far ends at once and the next PCM starts the chained one; a stream that has
  // not begun yet is only replaced.
  void setTitle(const std::string& title) override {
    title_ = title;
    if (!stream_->started()) {
      start();
      return;
    }
    std::vector<uint8_t> ending;
    stream_->finish(ending);
    held_.insert(held_.end(), ending.begin(), ending.end());
    start();
  }

  EncodedFormat format() const override { return out_; }

 private:
  void takeHeld(std::vector<uint8_t>& out) {
    out.insert(out.end(), held_.begin(), held_.end());
    held_.clear();
  }

  const EncodedFormat out_;
  PcmShaper shaper_;
  std::mt19937 serials_;
  std::string title_;
  std::unique_ptr<VorbisStream> stream_;
  std::vector<int16_t> samples_;
  std::vector<uint8_t> held_;  // the end of a stream a title closed, not handed out yet
};

}  // namespace

EncoderOpened openVorbisEncoder(const PcmFormat& in, const EncodedFormat& out) {
  if ((out.sampleRate != 44100 && out.sampleRate != 48000) || out.channels < 1 || out.channels > 2 ||
      !in.valid())
    return {nullptr,
            formatText("Vorbis streams at 44100 or 48000 Hz, mono or stereo, not %d Hz, %d channel(s)",
                       out.sampleRate, out.channels)};
  auto encoder = std::make_unique<VorbisStreamEncoder>(in, out);
  if (!encoder->start())
    return {nullptr, formatText("libvorbisenc makes no %d Hz, %d channel(s) stream at %d bit/s",
                                out.sampleRate, out.channels, out.bitrate)};
  return {std::move(encoder), {}};
}

}  // namespace brovana
