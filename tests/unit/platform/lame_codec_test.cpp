#include "platform/lame_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/codec_install.h"
#include "audio/line_speed.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

// Interleaved 16-bit PCM: a tone of `hz` on every channel, a little louder on each further one.
std::vector<uint8_t> tone(int rate, int channels, double seconds, double hz = 1000) {
  size_t frames = static_cast<size_t>(rate * seconds);
  std::vector<uint8_t> out(frames * static_cast<size_t>(channels) * 2);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) {
      auto s =
          static_cast<int16_t>((8000 + 1000 * c) * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate));
      std::memcpy(out.data() + (i * static_cast<size_t>(channels) + static_cast<size_t>(c)) * 2, &s, 2);
    }
  return out;
}

WaveFormat offered(int rate, int channels, int kbps) {
  for (const WaveFormat& f : LameCodec::formats())
    if (f.wfx.nSamplesPerSec == static_cast<uint32_t>(rate) && f.wfx.nChannels == channels &&
        f.wfx.nAvgBytesPerSec == static_cast<uint32_t>(kbps * 125))
      return f;
  ADD_FAILURE() << "not offered: " << rate << " Hz, " << channels << " ch, " << kbps << " kbit/s";
  return {};
}

// An open stream with a prepared header over its own buffers.
struct Converter {
  Converter(const WaveFormat& source, const WaveFormat& destination, uint32_t sourceBytes = 50'000,
            uint32_t destinationBytes = 200'000) {
    result = codec.openStream(source, destination, stream);
    if (result != MMSYSERR_NOERROR) return;
    src.resize(sourceBytes);
    dst.resize(destinationBytes);
    header.cbStruct = kAcmStreamHeaderSize;
    header.pbSrc = src.data();
    header.cbSrcLength = sourceBytes;
    header.pbDst = dst.data();
    header.cbDstLength = destinationBytes;
    result = stream->prepareHeader(header);
  }

  // Converts `pcm` in pieces of `piece` bytes, the last one with the end flag when asked; the
  // MP3 bytes that came out.
  std::vector<uint8_t> convert(const std::vector<uint8_t>& pcm, size_t piece, bool end = false) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at < pcm.size(); at += piece) {
      size_t n = std::min(piece, pcm.size() - at);
      std::memcpy(src.data(), pcm.data() + at, n);
      header.cbSrcLength = static_cast<uint32_t>(n);
      uint32_t flags = end && at + n == pcm.size() ? ACM_STREAMCONVERTF_END : 0;
      EXPECT_EQ(stream->convert(header, flags), MMSYSERR_NOERROR);
      EXPECT_EQ(header.cbSrcLengthUsed, n);
      out.insert(out.end(), dst.begin(), dst.begin() + header.cbDstLengthUsed);
    }
    header.cbSrcLength = static_cast<uint32_t>(src.size());
    return out;
  }

  LameCodec codec;
  std::unique_ptr<CodecStream> stream;
  ACMSTREAMHEADER header;
  std::vector<uint8_t> src, dst;
  int result = -1;
};

struct FrameFacts {
  int rate = 0, channels = 0, kbps = 0, frames = 0;
  bool consistent = true;
};

// Walks the MPEG audio frame headers of a stream that starts with a frame; counts the frames.
// Consistent: one format throughout, and whole frames only (a stream closed after the last
// call must not end on part of a frame).
FrameFacts frames(const std::vector<uint8_t>& mp3) {
  static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  static const int kKbps[2][15] = {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
                                   {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
  FrameFacts facts;
  size_t at = 0;
  while (at + 4 <= mp3.size()) {
    const uint8_t* h = mp3.data() + at;
    if (h[0] != 0xff || (h[1] & 0xe0) != 0xe0 || ((h[1] >> 1) & 3) != 1) {
      facts.consistent = false;
      break;
    }
    int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int v = version == 3 ? 0 : version == 2 ? 1 : 2;
    int rate = kRates[v][(h[2] >> 2) & 3];
    int kbps = kKbps[v == 0 ? 0 : 1][h[2] >> 4];
    int channels = (h[3] >> 6) == 3 ? 1 : 2;
    if (facts.frames == 0) {
      facts.rate = rate, facts.kbps = kbps, facts.channels = channels;
    } else if (rate != facts.rate || kbps != facts.kbps || channels != facts.channels) {
      facts.consistent = false;
    }
    int padding = (h[2] >> 1) & 1;
    at += static_cast<size_t>((v == 0 ? 144 : 72) * kbps * 1000 / rate + padding);
    ++facts.frames;
  }
  if (at != mp3.size()) facts.consistent = false;
  return facts;
}

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
  struct Case {
    int inRate, inChannels, outRate, outChannels, kbps;
  };
  const Case cases[] = {
      {8000, 1, 22050, 2, 56},
      {48000, 6, 11025, 2, 32},
      {22050, 1, 22050, 1, 24},
      {32000, 2, 48000, 2, 320},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.inRate << "/" << c.inChannels << " -> " << c.outRate << "/"
                                      << c.outChannels << " @" << c.kbps);
    Converter converter(makePcmFormat(c.inRate, c.inChannels), offered(c.outRate, c.outChannels, c.kbps));
    ASSERT_EQ(converter.result, MMSYSERR_NOERROR);
    std::vector<uint8_t> pcm = tone(c.inRate, c.inChannels, 3.0);
    std::vector<uint8_t> mp3 = converter.convert(pcm, 50'000);
    FrameFacts facts = frames(mp3);
    EXPECT_TRUE(facts.consistent);
    EXPECT_EQ(facts.rate, c.outRate);
    EXPECT_EQ(facts.channels, c.outChannels);
    EXPECT_EQ(facts.kbps, c.kbps);
    // 3 s of input, less what the encoder still holds (well under half a second).
    const double frameSamples = c.outRate >= 32000 ? 1152.0 : 576.0;
    double seconds = facts.frames * frameSamples / c.outRate;
    EXPECT_GT(seconds, 2.5);
    EXPECT_LE(seconds, 3.0);

    // The same again, told the end: every sample goes out, with the encoder's delay in front.
    Converter ended(makePcmFormat(c.inRate, c.inChannels), offered(c.outRate, c.outChannels, c.kbps));
    FrameFacts all = frames(ended.convert(pcm, 50'000, true));
    EXPECT_TRUE(all.consistent);
    double samples = all.frames * frameSamples;
    EXPECT_GE(samples, 3.0 * c.outRate + 576);
    EXPECT_LE(samples, 3.0 * c.outRate + 576 + 2 * frameSamples);
  }
}

TEST(LameCodecTest, PiecesOfAnySizeGiveTheSameStream) {
  WaveFormat source = makePcmFormat(44100, 2);
  WaveFormat destination = offered(22050, 2, 56);
  std::vector<uint8_t> pcm = tone(44100, 2, 2.0, 440);
  Converter whole(source, destination, static_cast<uint32_t>(pcm.size()), 400'000);
  Converter pieces(source, destination);
  ASSERT_EQ(whole.result, MMSYSERR_NOERROR);
  ASSERT_EQ(pieces.result, MMSYSERR_NOERROR);
  std::vector<uint8_t> expected = whole.convert(pcm, pcm.size());
  // Odd pieces split sample frames; a partial frame waits inside the stream.
  std::vector<uint8_t> got = pieces.convert(pcm, 1001);
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(expected.empty());
}

TEST(LameCodecTest, OutputThatDoesNotFitWaitsForTheNextCall) {
  WaveFormat source = makePcmFormat(44100, 2);
  WaveFormat destination = offered(44100, 2, 320);
  std::vector<uint8_t> pcm = tone(44100, 2, 1.0);
  Converter roomy(source, destination, 50'000, 400'000);
  Converter tight(source, destination, 50'000, 1'500);  // room for one 1,045-byte frame
  std::vector<uint8_t> expected = roomy.convert(pcm, 50'000);
  std::vector<uint8_t> got = tight.convert(pcm, 50'000);
  ASSERT_LT(got.size(), expected.size()) << "each call hands out one frame";
  std::vector<uint8_t> silence(4);
  while (got.size() < expected.size()) {
    size_t before = got.size();
    std::vector<uint8_t> more = tight.convert(silence, 4);
    got.insert(got.end(), more.begin(), more.end());
    if (got.size() == before) break;
  }
  ASSERT_GE(got.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
}

TEST(LameCodecTest, HeaderContracts) {
  WaveFormat source = makePcmFormat(22050, 2);
  WaveFormat destination = offered(22050, 2, 56);
  Converter converter(source, destination);
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

  Converter other(source, destination);
  EXPECT_EQ(other.stream->convert(header, 0), ACMERR_UNPREPARED) << "prepared for another stream only";
  EXPECT_EQ(stream.prepareHeader(header), MMSYSERR_NOERROR);
  EXPECT_EQ(stream.convert(header, 0), MMSYSERR_NOERROR);
  EXPECT_TRUE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);

  uint32_t size = 0;
  EXPECT_EQ(stream.size(100'000, StreamSize::Source, size), MMSYSERR_NOERROR);
  EXPECT_GT(size, 100'000u / 88'200 * 7000) << "room for the MP3 of 100,000 bytes of PCM";
  EXPECT_LT(size, 50'000u);
  EXPECT_EQ(stream.size(100'000, StreamSize::Destination, size), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 1'260'000u) << "14.29 s of 22050 Hz stereo";

  EXPECT_EQ(stream.close(), MMSYSERR_NOERROR);
  EXPECT_EQ(stream.close(), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(stream.convert(header, 0), MMSYSERR_INVALHANDLE);
}

TEST(LameCodecTest, RefusesWhatItCannotConvert) {
  LameCodec codec;
  WaveFormat eightBit = makePcmFormat(22050, 2);
  eightBit.wfx.wBitsPerSample = 8;
  WaveFormat notPcm = offered(22050, 2, 56);
  WaveFormat notOffered = offered(44100, 2, 32);
  notOffered.wfx.nAvgBytesPerSec = 1000;  // 8 kbit/s: no MPEG-1 rate
  struct Case {
    const char* name;
    WaveFormat source, destination;
  };
  const Case cases[] = {
      {"8-bit PCM", eightBit, offered(22050, 2, 56)},
      {"MP3 in", notPcm, offered(22050, 2, 56)},
      {"no channels", makePcmFormat(22050, 0), offered(22050, 2, 56)},
      {"no rate", makePcmFormat(0, 2), offered(22050, 2, 56)},
      {"a format the driver does not offer", makePcmFormat(22050, 2), notOffered},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CodecStream> stream;
    EXPECT_EQ(codec.openStream(c.source, c.destination, stream), ACMERR_NOTPOSSIBLE) << c.name;
    EXPECT_EQ(stream, nullptr);
  }
  std::unique_ptr<CodecDriver> driver;
  EXPECT_EQ(codec.openDriver(LameCodec::kDriverId + 1, driver), MMSYSERR_INVALHANDLE);
}

}  // namespace
}  // namespace brovana
