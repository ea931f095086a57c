// The adapters over LAME, mpg123, libsoxr and QSettings.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "audio/line_speed.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "platform/settings_registry.h"
#include "platform/soxr_resampler.h"
#include "playlist/mp3_info.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

// Interleaved PCM: a tone of `hz` on every channel.
std::vector<int16_t> sine(double hz, int rate, int channels, double seconds) {
  std::vector<int16_t> samples(static_cast<size_t>(seconds * rate) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(std::lrint(12000 * std::sin(2 * M_PI * hz * (i / channels) / rate)));
  return samples;
}
WaveFormat offered(int rate, int channels, int kbps) {
  for (const WaveFormat& f : LameCodec::formats())
    if (f.wfx.nSamplesPerSec == uint32_t(rate) && f.wfx.nChannels == channels &&
        f.wfx.nAvgBytesPerSec == uint32_t(kbps * 125))
      return f;
  ADD_FAILURE() << "not offered: " << rate << " Hz, " << channels << " ch, " << kbps << " kbit/s";
  return {};
}

// The PCM through a new stream in the stage's pieces of 50,000 bytes; the MP3 bytes that came out.
std::string encode(int rate, int channels, const WaveFormat& destination,
                   const std::vector<int16_t>& samples) {
  const auto* pcm = reinterpret_cast<const uint8_t*>(samples.data());
  const size_t bytes = samples.size() * 2;
  LameCodec codec;
  std::unique_ptr<CodecStream> stream;
  std::vector<uint8_t> src(50'000), dst(200'000);
  ACMSTREAMHEADER header;
  header.cbStruct = kAcmStreamHeaderSize;
  header.pbSrc = src.data(), header.cbSrcLength = uint32_t(src.size());
  header.pbDst = dst.data(), header.cbDstLength = uint32_t(dst.size());
  EXPECT_EQ(codec.openStream(makePcmFormat(rate, channels), destination, stream), MMSYSERR_NOERROR);
  if (!stream || stream->prepareHeader(header) != MMSYSERR_NOERROR) return "";
  std::string out;
  for (size_t at = 0; at < bytes; at += src.size()) {
    header.cbSrcLength = uint32_t(std::min(src.size(), bytes - at));
    std::memcpy(src.data(), pcm + at, header.cbSrcLength);
    EXPECT_EQ(stream->convert(header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(header.cbSrcLengthUsed, header.cbSrcLength);
    out.append(reinterpret_cast<const char*>(dst.data()), header.cbDstLengthUsed);
  }
  return out;
}

// Whole frames only: a stream closed now (the next track) must not end on part of a frame. The
// tone comes back at its pitch, as mpg123 decodes it.
TEST(LameCodecTest, ConvertsRatesAndChannelsIntoWholeFrames) {
  std::vector<double> candidates;
  for (double f = 50; f < 5500; f += 5) candidates.push_back(f);
  for (auto [inRate, inChannels, outRate, outChannels, kbps] : {std::tuple{8000, 1, 22050, 2, 56},
                                                                {22050, 1, 22050, 1, 24},
                                                                {32000, 2, 48000, 2, 320},
                                                                {44100, 2, 11025, 1, 16},
                                                                {44100, 2, 11025, 2, 32}}) {
    SCOPED_TRACE(::testing::Message() << inRate << "/" << inChannels << " -> " << outRate);
    std::string mp3 =
        encode(inRate, inChannels, offered(outRate, outChannels, kbps), sine(1000, inRate, inChannels, 3.0));
    MP3Info facts = MP3Info::fromBytes("x.mp3", {reinterpret_cast<const uint8_t*>(mp3.data()), mp3.size()});
    EXPECT_EQ(std::tuple(facts.firstFrame(), facts.sampleRate(), facts.channels(), facts.bitrate()),
              std::tuple(0, outRate, outChannels, kbps * 1000));
    size_t end = 0;
    for (int n;
         end + 4 <= mp3.size() && (n = mpegFrameBytes({reinterpret_cast<const uint8_t*>(&mp3[end]), 4}));)
      end += static_cast<size_t>(n);
    EXPECT_EQ(end, mp3.size());
    // 3 s of input, less what the encoder still holds (well under half a second).
    double seconds = mp3.size() / (kbps * 125.0);
    EXPECT_TRUE(seconds > 2.5 && seconds <= 3.0) << seconds;
    EXPECT_NEAR(test::dominantTone(test::decodeMp3(mp3), test::kHeard, candidates), 1000, 10);
  }
}

TEST(Mpg123DecoderTest, OneDecoderPlaysEachFileAtItsOwnFormatToTheLastBlockAndRefusesNoMp3) {
  test::TempFolder folder;
  Mpg123Decoder decoder;
  auto open = [&](const std::string& path) {
    int status = decoder.createInput(path);
    return status == kDecoderOk ? decoder.openInput() : status;
  };
  folder.write("empty.mp3", "");
  folder.write("text.mp3", std::string(32000, 't'));
  for (auto [name, status] :
       {std::pair{"missing.mp3", kInputMissing}, {"empty.mp3", kNoAudioFrames}, {"text.mp3", kNoAudioFrames}})
    EXPECT_EQ(std::pair(open(folder.file(name)), decoder.decode()), std::pair(status, DecodeStatus::Error))
        << name;
  for (const test::ToneSpec& spec : {test::ToneSpec{.frequency = 440},
                                     {.frequency = 660, .channels = 1, .kbps = 64},
                                     {.frequency = 880, .sampleRate = 22050, .kbps = 64},
                                     {.frequency = 440, .sampleRate = 22050, .channels = 1, .kbps = 32},
                                     {.frequency = 880}}) {
    SCOPED_TRACE(::testing::Message() << spec.sampleRate << " Hz, " << spec.channels << " ch");
    std::string path = folder.file("tone.mp3");
    ASSERT_TRUE(test::makeTone(path, spec));
    ASSERT_EQ(open(path), kDecoderOk);
    const PcmFormat format = decoder.format();
    EXPECT_EQ(format, (PcmFormat{spec.sampleRate, spec.channels}));
    std::vector<int16_t> samples;
    DecodeStatus status = DecodeStatus::Block;
    for (int blocks = 0; status == DecodeStatus::Block; ++blocks) {
      status = decoder.decode();
      samples.insert(samples.end(), decoder.block().begin(), decoder.block().end());
      EXPECT_TRUE(blocks > 0 || status == DecodeStatus::Block);
    }
    EXPECT_EQ(status, DecodeStatus::LastBlock);
    EXPECT_GT(decoder.block().size(), 0u) << "the last block carries the end of the sound";
    EXPECT_EQ(decoder.decode(), DecodeStatus::Error) << "nothing follows the last block";
    // One second comes back as one second, give or take the encoder's delay and padding.
    EXPECT_NEAR(double(samples.size()) / spec.channels, spec.sampleRate, 2 * 1152);
    EXPECT_EQ(test::dominantTone(samples, format, {440, 660, 880}), spec.frequency);
    EXPECT_EQ(decoder.bytesRead(), static_cast<long long>(std::filesystem::file_size(path)));
    decoder.closeInput();
  }
}

// In blocks of the sizes given, round and round, then drained.
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

TEST(ResamplerTest, TonesKeepPitchLevelAndLengthWhateverTheBlocks) {
  auto rms = [](std::span<const int16_t> s, int channels) {
    double sum = 0;
    for (size_t i = 100 * channels; i < s.size(); i += channels) sum += double(s[i]) * s[i];
    return std::sqrt(sum / (s.size() / channels - 100));
  };
  for (auto [from, to, channels, frequency] : {std::tuple{44100, 22050, 2, 1000.0},
                                               {48000, 22050, 1, 440.0},
                                               {22050, 11025, 2, 3000.0},
                                               {16000, 22050, 1, 2000.0},
                                               {32000, 22050, 2, 5000.0}}) {
    SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to));
    std::vector<int16_t> in = sine(frequency, from, channels, 1.0),
                         out = resample(from, to, channels, in, {1152});
    EXPECT_NEAR(double(out.size()) / channels, to, 40) << "one second stays one second";
    EXPECT_EQ(test::dominantTone(out, {to, channels}, {440, 880, 1000, 2000, 3000, 5000}), frequency);
    EXPECT_NEAR(rms(out, channels) / rms(in, channels), 1.0, 0.03);
    EXPECT_EQ(resample(from, to, channels, in, {1, 7, 1152, 33, 576, 4000}), out);
  }
  // 15 kHz at 44100 Hz would come back as 7050 Hz at 22050 Hz, and 11.5 kHz, just past the new
  // Nyquist frequency, as 10550 Hz: at least 80 dB down.
  for (double tone : {15000.0, 11500.0})
    EXPECT_LT(test::tonePower(resample(44100, 22050, 1, sine(tone, 44100, 1, 1.0), {4096}), {22050, 1},
                              22050 - tone),
              test::tonePower(sine(22050 - tone, 22050, 1, 1.0), {22050, 1}, 22050 - tone) * 1e-8)
        << tone;
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
    EXPECT_TRUE(created->set("message", awkward) && created->set("genre1", " "));
  }
  SettingsRegistry again(path);
  auto stored = again.open(key);
  ASSERT_TRUE(stored);
  EXPECT_EQ(std::tuple(stored->query("message"), stored->query("genre1"), stored->query("pass")),
            std::tuple(awkward, " ", std::nullopt));
  EXPECT_FALSE(again.open("Software\\Zelvora\\Mirobeam\\default"));
  // The password is stored here too: the file is the owner's alone.
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace brovana
