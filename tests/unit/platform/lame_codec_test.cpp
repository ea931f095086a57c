#include "platform/lame_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/codec_install.h"
#include "audio/line_speed.h"
#include "playlist/mp3_info.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

// Interleaved 16-bit PCM: a tone of `hz` on every channel, a little louder on each further one.
std::vector<uint8_t> tone(int rate, int channels, double seconds, double hz = 1000) {
  std::vector<int16_t> samples(static_cast<size_t>(rate * seconds) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>((8000 + 1000 * (i % channels)) *
                                      std::sin(2 * M_PI * hz * (i / channels) / rate));
  std::vector<uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

WaveFormat offered(int rate, int channels, int kbps) {
  for (const WaveFormat& f : LameCodec::formats())
    if (f.wfx.nSamplesPerSec == uint32_t(rate) && f.wfx.nChannels == channels &&
        f.wfx.nAvgBytesPerSec == uint32_t(kbps * 125))
      return f;
  ADD_FAILURE() << "not offered: " << rate << " Hz, " << channels << " ch, " << kbps << " kbit/s";
  return {};
}

// An open stream with a prepared header over its own buffers.
struct Converter {
  Converter(int rate, int channels, const WaveFormat& destination, uint32_t sourceBytes = 50'000,
            uint32_t destinationBytes = 200'000)
      : src(sourceBytes), dst(destinationBytes) {
    result = codec.openStream(makePcmFormat(rate, channels), destination, stream);
    header.cbStruct = kAcmStreamHeaderSize;
    header.pbSrc = src.data();
    header.cbSrcLength = sourceBytes;
    header.pbDst = dst.data();
    header.cbDstLength = destinationBytes;
    if (result == MMSYSERR_NOERROR) result = stream->prepareHeader(header);
  }

  // Converts `pcm` in pieces of `piece` bytes, the last one with the end flag when asked; the
  // MP3 bytes that came out.
  std::string convert(const std::vector<uint8_t>& pcm, size_t piece, bool end = false) {
    std::string out;
    for (size_t at = 0; at < pcm.size(); at += piece) {
      size_t n = std::min(piece, pcm.size() - at);
      std::memcpy(src.data(), pcm.data() + at, n);
      header.cbSrcLength = static_cast<uint32_t>(n);
      EXPECT_EQ(stream->convert(header, end && at + n == pcm.size() ? ACM_STREAMCONVERTF_END : 0),
                MMSYSERR_NOERROR);
      EXPECT_EQ(header.cbSrcLengthUsed, n);
      out.append(reinterpret_cast<const char*>(dst.data()), header.cbDstLengthUsed);
    }
    header.cbSrcLength = static_cast<uint32_t>(src.size());
    return out;
  }

  LameCodec codec;
  std::unique_ptr<CodecStream> stream;
  std::vector<uint8_t> src, dst;
  ACMSTREAMHEADER header;
  int result = -1;
};

// The line speeds' own formats, each converted end to end, are checked by the round-trip test.
TEST(LameCodecTest, EveryOfferedFormatOpensFromCommonPcm) {
  LameCodec codec;
  test::FakePrompts prompts;
  EXPECT_TRUE(installCodec(codec, prompts));
  EXPECT_TRUE(prompts.boxes().empty());
  for (const WaveFormat& f : LameCodec::formats())
    for (auto [rate, channels] : {std::pair{44100, 2}, std::pair{8000, 1}}) {
      std::unique_ptr<CodecStream> stream;
      EXPECT_EQ(codec.openStream(makePcmFormat(rate, channels), f, stream), MMSYSERR_NOERROR)
          << f.wfx.nSamplesPerSec << " Hz " << f.wfx.nChannels << " ch " << f.wfx.nAvgBytesPerSec;
    }
}

TEST(LameCodecTest, ConvertsRatesAndChannels) {
  for (auto [inRate, inChannels, outRate, outChannels, kbps] : {std::tuple{8000, 1, 22050, 2, 56},
                                                                {48000, 6, 11025, 2, 32},
                                                                {22050, 1, 22050, 1, 24},
                                                                {32000, 2, 48000, 2, 320}}) {
    SCOPED_TRACE(::testing::Message()
                 << inRate << "/" << inChannels << " -> " << outRate << "/" << outChannels);
    std::vector<uint8_t> pcm = tone(inRate, inChannels, 3.0);
    Converter converter(inRate, inChannels, offered(outRate, outChannels, kbps));
    ASSERT_EQ(converter.result, MMSYSERR_NOERROR);
    std::string mp3 = converter.convert(pcm, 50'000);
    MP3Info facts = MP3Info::fromBytes("x.mp3", {reinterpret_cast<const uint8_t*>(mp3.data()), mp3.size()});
    EXPECT_EQ(std::tuple(facts.firstFrame(), facts.sampleRate(), facts.channels(), facts.bitrate()),
              std::tuple(0, outRate, outChannels, kbps * 1000));
    // 3 s of input, less what the encoder still holds (well under half a second).
    double seconds = mp3.size() / (kbps * 125.0);
    EXPECT_TRUE(seconds > 2.5 && seconds <= 3.0) << seconds;
    // The same again, told the end: every sample goes out, with the encoder's delay in front.
    Converter ended(inRate, inChannels, offered(outRate, outChannels, kbps));
    double samples = ended.convert(pcm, 50'000, true).size() / (kbps * 125.0) * outRate;
    double frame = outRate >= 32000 ? 1152 : 576;
    EXPECT_TRUE(samples >= 3.0 * outRate + 576 - 1 && samples <= 3.0 * outRate + 576 + 2 * frame) << samples;
  }
}

TEST(LameCodecTest, PiecesOfAnySizeAndAFullOutputGiveTheSameStream) {
  std::vector<uint8_t> pcm = tone(44100, 2, 2.0, 440);
  Converter whole(44100, 2, offered(22050, 2, 56), static_cast<uint32_t>(pcm.size()), 400'000);
  Converter pieces(44100, 2, offered(22050, 2, 56));
  ASSERT_EQ(whole.result + pieces.result, MMSYSERR_NOERROR);
  std::string expected = whole.convert(pcm, pcm.size());
  EXPECT_FALSE(expected.empty());
  EXPECT_EQ(pieces.convert(pcm, 1001), expected) << "odd pieces split sample frames: a part waits inside";

  // Output that does not fit waits for the next call.
  pcm = tone(44100, 2, 1.0);
  Converter roomy(44100, 2, offered(44100, 2, 320), 50'000, 400'000),
      tight(44100, 2, offered(44100, 2, 320), 50'000, 500);
  expected = roomy.convert(pcm, 50'000);
  std::string got = tight.convert(pcm, 50'000);
  ASSERT_LT(got.size(), expected.size()) << "each call hands out at most 500 bytes";
  for (size_t before = 0; got.size() < expected.size() && got.size() != before;) {
    before = got.size();
    got += tight.convert(std::vector<uint8_t>(4), 4);
  }
  EXPECT_EQ(got.substr(0, expected.size()), expected);
}

TEST(LameCodecTest, HeaderContracts) {
  Converter converter(22050, 2, offered(22050, 2, 56));
  ASSERT_EQ(converter.result, MMSYSERR_NOERROR);
  CodecStream& stream = *converter.stream;
  ACMSTREAMHEADER& header = converter.header;
  header.cbSrcLength = 50'001;
  EXPECT_EQ(stream.convert(header, 0), MMSYSERR_INVALPARAM) << "more than prepared for";
  EXPECT_EQ(stream.unprepareHeader(header), MMSYSERR_INVALPARAM) << "unprepare wants the prepared length";
  header.cbSrcLength = 50'000;
  EXPECT_EQ(stream.unprepareHeader(header), MMSYSERR_NOERROR);
  EXPECT_EQ(stream.convert(header, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(stream.unprepareHeader(header), ACMERR_UNPREPARED);
  Converter other(22050, 2, offered(22050, 2, 56));
  EXPECT_EQ(other.stream->convert(header, 0), ACMERR_UNPREPARED) << "prepared for another stream only";
  EXPECT_EQ(stream.prepareHeader(header), MMSYSERR_NOERROR);
  EXPECT_EQ(stream.convert(header, 0), MMSYSERR_NOERROR);
  EXPECT_TRUE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);

  uint32_t size = 0;
  EXPECT_EQ(stream.size(100'000, StreamSize::Source, size), MMSYSERR_NOERROR);
  EXPECT_TRUE(size > 100'000u / 88'200 * 7000 && size < 50'000u)
      << "room for the MP3 of 100,000 bytes of PCM";
  EXPECT_EQ(stream.size(100'000, StreamSize::Destination, size), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 1'260'000u) << "14.29 s of 22050 Hz stereo";
  EXPECT_EQ(stream.close(), MMSYSERR_NOERROR);
  EXPECT_EQ(stream.close(), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(stream.convert(header, 0), MMSYSERR_INVALHANDLE);
}

TEST(LameCodecTest, RefusesWhatItCannotConvert) {
  LameCodec codec;
  WaveFormat eightBit = makePcmFormat(22050, 2), mp3 = offered(22050, 2, 56),
             notOffered = offered(44100, 2, 32);
  eightBit.wfx.wBitsPerSample = 8;
  notOffered.wfx.nAvgBytesPerSec = 1000;  // 8 kbit/s: no MPEG-1 rate
  for (auto [source, destination] : {std::pair{eightBit, mp3},
                                     {mp3, mp3},
                                     {makePcmFormat(22050, 0), mp3},
                                     {makePcmFormat(0, 2), mp3},
                                     {makePcmFormat(22050, 2), notOffered}}) {
    std::unique_ptr<CodecStream> stream;
    EXPECT_EQ(codec.openStream(source, destination, stream), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);
  }
  std::unique_ptr<CodecDriver> driver;
  EXPECT_EQ(codec.openDriver(LameCodec::kDriverId + 1, driver), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace brovana
