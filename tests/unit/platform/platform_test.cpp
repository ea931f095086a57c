// The adapters over LAME, mpg123, libsoxr and QSettings.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "audio/codec_install.h"
#include "audio/line_speed.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "platform/settings_registry.h"
#include "platform/soxr_resampler.h"
#include "playlist/mp3_info.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

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
  for (auto [inRate, inChannels, outRate, outChannels, kbps] :
       {std::tuple{8000, 1, 22050, 2, 56}, {22050, 1, 22050, 1, 24}, {32000, 2, 48000, 2, 320}}) {
    SCOPED_TRACE(::testing::Message()
                 << inRate << "/" << inChannels << " -> " << outRate << "/" << outChannels);
    std::vector<uint8_t> pcm = tone(inRate, inChannels, 3.0);
    Converter converter(inRate, inChannels, offered(outRate, outChannels, kbps));
    ASSERT_EQ(converter.result, MMSYSERR_NOERROR);
    std::string mp3 = converter.convert(pcm, 50'000);
    MP3Info facts = MP3Info::fromBytes("x.mp3", {reinterpret_cast<const uint8_t*>(mp3.data()), mp3.size()});
    EXPECT_EQ(std::tuple(facts.firstFrame(), facts.sampleRate(), facts.channels(), facts.bitrate()),
              std::tuple(0, outRate, outChannels, kbps * 1000));
    // Whole frames only: a stream closed now (the next track) must not end on part of a frame.
    size_t end = 0;
    for (int n;
         end + 4 <= mp3.size() && (n = mpegFrameBytes({reinterpret_cast<const uint8_t*>(&mp3[end]), 4}));)
      end += static_cast<size_t>(n);
    EXPECT_EQ(end, mp3.size());
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
      tight(44100, 2, offered(44100, 2, 320), 50'000, 1'500);  // room for one 1,045-byte frame
  expected = roomy.convert(pcm, 50'000);
  std::string got = tight.convert(pcm, 50'000);
  ASSERT_LT(got.size(), expected.size()) << "each call hands out one frame";
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

  // The conversion stage sizes its buffers by these.
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

struct Decoded {
  int openStatus = -1;
  PcmFormat format;
  std::vector<int16_t> samples;
  std::vector<DecodeStatus> statuses;
  size_t lastBlock = 0;                         // samples in the last block
  DecodeStatus afterEnd = DecodeStatus::Block;  // a decode step after the last block
  long long bytesRead = 0;

  // The dominant tone of the stretch from `from` to `to` seconds.
  double tone(double from = 0, double to = 1e9) const {
    auto at = [&](double s) {
      return std::min(samples.size(), size_t(s * format.sampleRate) * format.channels);
    };
    return test::dominantTone(std::span(samples).subspan(at(from), at(to) - at(from)), format,
                              {440, 660, 880});
  }
};

Decoded decodeAll(Mpg123Decoder& decoder, const std::string& path) {
  Decoded out;
  out.openStatus = decoder.createInput(path);
  if (out.openStatus == kDecoderOk) out.openStatus = decoder.openInput();
  if (out.openStatus != kDecoderOk) return out;
  out.format = decoder.format();
  for (int guard = 0; guard < 100000 && (out.statuses.empty() || out.statuses.back() == DecodeStatus::Block);
       ++guard) {
    out.statuses.push_back(decoder.decode());
    out.samples.insert(out.samples.end(), decoder.block().begin(), decoder.block().end());
  }
  out.lastBlock = decoder.block().size();
  out.afterEnd = decoder.decode();
  out.bytesRead = decoder.bytesRead();
  decoder.closeInput();
  return out;
}

std::vector<int16_t> sine(double frequency, int rate, int channels, double seconds) {
  std::vector<int16_t> samples(static_cast<size_t>(seconds * rate) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(
        std::lrint(12000 * std::sin(2 * std::numbers::pi * frequency * (i / channels) / rate)));
  return samples;
}

// In blocks of `blockFrames` (or of the sizes given, round and round), then drained.
std::vector<int16_t> resample(int from, int to, int channels, std::span<const int16_t> in,
                              std::vector<size_t> blockFrames) {
  SoxrResampler r(from, to, channels);
  EXPECT_TRUE(r.valid());
  std::vector<int16_t> out;
  const size_t step = static_cast<size_t>(channels);
  for (size_t at = 0, i = 0; at < in.size(); at += blockFrames[i++ % blockFrames.size()] * step)
    r.process(in.subspan(at, std::min(blockFrames[i % blockFrames.size()] * step, in.size() - at)), out);
  r.drain(out);
  return out;
}

TEST(ResamplerTest, TonesKeepPitchLevelAndLength) {
  auto rms = [](std::span<const int16_t> s, int channels) {
    double sum = 0;
    for (size_t i = 100 * channels; i < s.size(); i += channels) sum += double(s[i]) * s[i];
    return std::sqrt(sum / (s.size() / channels - 100));
  };
  for (auto [from, to, channels, frequency] : {std::tuple{44100, 22050, 2, 1000.0},
                                               {48000, 22050, 1, 440.0},
                                               {22050, 11025, 2, 3000.0},
                                               {16000, 22050, 1, 2000.0},
                                               {44100, 11025, 2, 880.0},
                                               {32000, 22050, 2, 5000.0}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    std::vector<int16_t> in = sine(frequency, from, channels, 1.0),
                         out = resample(from, to, channels, in, {1152});
    EXPECT_NEAR(double(out.size()) / channels, to, 40) << "one second stays one second";
    EXPECT_EQ(test::dominantTone(out, {to, channels}, {440, 880, 1000, 2000, 3000, 5000}), frequency);
    EXPECT_NEAR(rms(out, channels) / rms(in, channels), 1.0, 0.03);
  }
  // 15 kHz at 44100 Hz would come back as 7050 Hz at 22050 Hz, and 11.5 kHz, just past the new
  // Nyquist frequency, as 10550 Hz: at least 80 dB down.
  for (double tone : {15000.0, 11500.0})
    EXPECT_LT(test::tonePower(resample(44100, 22050, 1, sine(tone, 44100, 1, 1.0), {4096}), {22050, 1},
                              22050 - tone),
              test::tonePower(sine(22050 - tone, 22050, 1, 1.0), {22050, 1}, 22050 - tone) * 1e-8)
        << tone;
}

TEST(ResamplerTest, BlockSizesDoNotChangeTheResult) {
  std::vector<int16_t> in = sine(1234, 44100, 2, 0.5);
  EXPECT_EQ(resample(44100, 22050, 2, in, {in.size() / 2}),
            resample(44100, 22050, 2, in, {1, 7, 1152, 33, 576, 4000}));
}

TEST(Mpg123DecoderTest, OneDecoderPlaysEachFileAtItsOwnFormatToTheLastBlock) {
  test::TempFolder folder;
  folder.write("broken.mp3", "garbage");
  Mpg123Decoder decoder;
  EXPECT_EQ(decodeAll(decoder, folder.file("broken.mp3")).openStatus, kNoAudioFrames);
  for (const test::ToneSpec& spec : {test::ToneSpec{.frequency = 440},
                                     {.frequency = 660, .channels = 1, .kbps = 64},
                                     {.frequency = 880, .sampleRate = 22050, .kbps = 64},
                                     {.frequency = 440, .sampleRate = 22050, .channels = 1, .kbps = 32},
                                     {.frequency = 880}}) {
    SCOPED_TRACE(::testing::Message() << spec.sampleRate << " Hz, " << spec.channels << " ch");
    std::string path = folder.file("tone.mp3");
    ASSERT_TRUE(test::makeTone(path, spec));
    Decoded d = decodeAll(decoder, path);
    ASSERT_EQ(d.openStatus, kDecoderOk);
    EXPECT_EQ(d.format, (PcmFormat{spec.sampleRate, spec.channels}));
    ASSERT_GE(d.statuses.size(), 2u);
    EXPECT_EQ(std::count(d.statuses.begin(), d.statuses.end(), DecodeStatus::Block), d.statuses.size() - 1);
    EXPECT_EQ(d.statuses.back(), DecodeStatus::LastBlock);
    EXPECT_GT(d.lastBlock, 0u) << "the last block carries the end of the sound";
    EXPECT_EQ(d.afterEnd, DecodeStatus::Error) << "nothing follows the last block";
    // One second comes back as one second, give or take the encoder's delay and padding.
    EXPECT_NEAR(double(d.samples.size()) / spec.channels, spec.sampleRate, 2 * 1152);
    EXPECT_EQ(d.tone(), spec.frequency);
    EXPECT_EQ(d.bytesRead, static_cast<long long>(std::filesystem::file_size(path)));
  }
}

TEST(Mpg123DecoderTest, FormatChangeInsideAFileKeepsTheFirstFormat) {
  // A 44100 Hz stereo file followed by a 22050 Hz mono one, joined as one file; and the reverse.
  test::TempFolder folder;
  const test::ToneSpec cd{.frequency = 440, .infoFrame = false},
      low{.frequency = 660, .sampleRate = 22050, .channels = 1, .kbps = 32, .infoFrame = false};
  for (auto [first, second] : {std::pair{cd, low}, {low, cd}}) {
    ASSERT_TRUE(test::makeTone(folder.file("a.mp3"), first) && test::makeTone(folder.file("b.mp3"), second));
    folder.write("joined.mp3", folder.read("a.mp3") + folder.read("b.mp3"));
    Mpg123Decoder decoder;
    Decoded d = decodeAll(decoder, folder.file("joined.mp3"));
    ASSERT_EQ(d.openStatus, kDecoderOk);
    EXPECT_EQ(d.format, (PcmFormat{first.sampleRate, first.channels}));
    EXPECT_EQ(d.statuses.back(), DecodeStatus::LastBlock);
    // Two seconds at the first file's rate, and each part keeps its pitch.
    EXPECT_NEAR(double(d.samples.size()) / d.format.channels, 2 * first.sampleRate, 0.2 * first.sampleRate);
    EXPECT_EQ(std::pair(d.tone(0.2, 0.8), d.tone(1.3, 1.8)), std::pair(first.frequency, second.frequency));
  }
}

TEST(Mpg123DecoderTest, FilesThatAreNotMp3AreRefused) {
  test::TempFolder folder;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "not an mp3 file ";
  folder.write("empty.mp3", "");
  folder.write("text.mp3", text);
  for (auto [name, create, open] : {std::tuple{"missing.mp3", kInputMissing, kInputMissing},
                                    {"empty.mp3", kDecoderOk, kNoAudioFrames},
                                    {"text.mp3", kDecoderOk, kNoAudioFrames}}) {
    Mpg123Decoder decoder;
    EXPECT_EQ(decoder.createInput(folder.file(name)), create) << name;
    EXPECT_EQ(decoder.openInput(), open) << name;
    EXPECT_EQ(decoder.decode(), DecodeStatus::Error);
    EXPECT_TRUE(decoder.block().empty());
  }
}

TEST(SettingsRegistry, ValuesSurviveARestartOfTheStoreInAFileOnlyItsOwnerReads) {
  test::TempFolder folder;
  const std::string path = folder.file("config/brovana-live/settings.ini"),
                    key = "Software\\Zelvora\\Live\\default";
  const std::string awkward = "Late night: jazz & more, \"live\"; 100% vinyl";
  {
    SettingsRegistry registry(path);
    EXPECT_EQ(registry.open(key), nullptr);
    auto created = registry.create(key);
    ASSERT_TRUE(created);
    EXPECT_TRUE(created->set("username", "djtest") && created->set("message", awkward) &&
                created->set("genre1", " "));
    registry.create("Software\\Zelvora\\Live\\empty");
    EXPECT_TRUE(SettingsRegistry(path).open("Software\\Zelvora\\Live\\empty"))
        << "a created key is stored at once";
  }
  SettingsRegistry again(path);
  auto stored = again.open(key);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->query("username"), "djtest");
  EXPECT_EQ(stored->query("message"), awkward);
  EXPECT_EQ(stored->query("genre1"), " ");
  EXPECT_EQ(stored->query("pass"), std::nullopt);
  EXPECT_TRUE(again.open("Software\\Zelvora\\Live")) << "the parent of a key exists";
  EXPECT_FALSE(again.open("Software\\Zelvora\\Mirobeam\\default"));
  // The password is stored here too: the file is the owner's alone.
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace brovana
