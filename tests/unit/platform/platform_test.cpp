// The adapters over LAME, mpg123, libsoxr and QSettings.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>
#include <QStringList>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <span>

#include "audio/ogg_pages.h"
#include "platform/lame_encoder.h"
#include "platform/mpg123_decoder.h"
#include "platform/settings_registry.h"
#include "platform/soxr_resampler.h"
#include "platform/stream_encoders.h"
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
EncodedFormat mp3(int rate, int channels, int kbps) {
  return {Codec::Mp3, rate, channels, kbps * 1000};
}

// The bytes of the whole MPEG frames from the start of `bytes` on.
size_t wholeFrames(const std::vector<uint8_t>& bytes) {
  size_t end = 0;
  for (int n; end + 4 <= bytes.size() && (n = mpegFrameBytes({&bytes[end], 4})) > 0;) {
    if (end + size_t(n) > bytes.size()) break;
    end += size_t(n);
  }
  return end;
}

// Whole frames on every call: a stream closed after any call (the next track) must not end on
// part of a frame. The input comes in pieces that split sample frames; the flush hands out the
// rest, the tone comes back at its pitch as mpg123 decodes it, and the encoder goes on.
TEST(LameEncoderTest, EncodesRatesAndChannelsIntoWholeFramesOnEveryCall) {
  std::vector<double> candidates;
  for (double f = 50; f < 5500; f += 5) candidates.push_back(f);
  for (auto [inRate, inChannels, outRate, outChannels, kbps] : {std::tuple{8000, 1, 22050, 2, 56},
                                                                {22050, 1, 22050, 1, 24},
                                                                {32000, 2, 48000, 2, 320},
                                                                {44100, 2, 11025, 1, 16},
                                                                {44100, 2, 11025, 2, 32},
                                                                {48000, 6, 22050, 2, 56}}) {
    SCOPED_TRACE(::testing::Message() << inRate << "/" << inChannels << " -> " << outRate);
    LameEncoderLibrary lame;
    EncoderOpened opened = lame.open({inRate, inChannels}, mp3(outRate, outChannels, kbps));
    ASSERT_TRUE(opened.encoder) << opened.reason;
    EXPECT_EQ(opened.encoder->format(), mp3(outRate, outChannels, kbps));
    std::vector<uint8_t> stream;
    auto take = [&](std::vector<uint8_t> out) {
      EXPECT_EQ(wholeFrames(out), out.size());
      stream.insert(stream.end(), out.begin(), out.end());
    };
    std::vector<int16_t> samples = sine(1000, inRate, inChannels, 3.0);
    std::span<const uint8_t> pcm(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2);
    for (size_t at = 0; at < pcm.size(); at += 50'001) {
      std::vector<uint8_t> out;
      EXPECT_TRUE(opened.encoder->encode(pcm.subspan(at, std::min<size_t>(50'001, pcm.size() - at)), out));
      take(out);
    }
    MP3Info facts = MP3Info::fromBytes("x.mp3", stream);
    EXPECT_EQ(std::tuple(facts.firstFrame(), facts.sampleRate(), facts.channels(), facts.bitrate()),
              std::tuple(0, outRate, outChannels, kbps * 1000));
    // 3 s of input, less what the encoder still holds (well under half a second); then all of it.
    double seconds = stream.size() / (kbps * 125.0);
    EXPECT_TRUE(seconds > 2.5 && seconds <= 3.0) << seconds;
    std::vector<uint8_t> out;
    EXPECT_TRUE(opened.encoder->flush(out));
    take(out);
    seconds = stream.size() / (kbps * 125.0);
    EXPECT_TRUE(seconds >= 3.0 && seconds < 3.5) << seconds;
    EXPECT_NEAR(test::dominantTone(test::decodeMp3({stream.begin(), stream.end()}), test::kHeard, candidates),
                1000, 10);
    out.clear();
    EXPECT_TRUE(opened.encoder->encode(pcm, out));
    EXPECT_GT(out.size(), 0u);
    take(out);
  }
}

TEST(LameEncoderTest, MakesTheFormatsOfEveryMpegVersionAndRefusesWhatItCannot) {
  LameEncoderLibrary lame;
  EXPECT_TRUE(lame.usable());
  const std::vector<EncodedFormat> formats = lame.formats();
  // MPEG-2.5: 3 rates x 2 channel counts x 8 bit rates; MPEG-2 and MPEG-1: 3 x 2 x 14 each.
  EXPECT_EQ(formats.size(), 216u);
  for (EncodedFormat f : {mp3(8000, 1, 8), mp3(11025, 2, 64), mp3(22050, 1, 160), mp3(48000, 2, 320)})
    EXPECT_NE(std::find(formats.begin(), formats.end(), f), formats.end())
        << f.sampleRate << "/" << f.bitrate;
  for (const EncodedFormat& f : formats)
    EXPECT_TRUE(lame.open({44100, 2}, f).encoder) << f.sampleRate << "/" << f.channels << "/" << f.bitrate;

  const std::pair<PcmFormat, EncodedFormat> refused[] = {
      {{44100, 2}, {Codec::Opus, 48000, 2, 64000}},  // not MP3
      {{44100, 2}, mp3(48000, 2, 8)},                // no such MPEG-1 bit rate
      {{44100, 2}, mp3(44100, 2, 100)},              // nor any
      {{44100, 0}, mp3(22050, 2, 56)},
      {{44100, 9}, mp3(22050, 2, 56)},
      {{0, 2}, mp3(22050, 2, 56)},
      {{500'000, 2}, mp3(22050, 2, 56)},
  };
  for (auto [in, out] : refused) {
    EncoderOpened opened = lame.open(in, out);
    EXPECT_FALSE(opened.encoder) << in.sampleRate << "/" << in.channels << " -> " << out.bitrate;
    EXPECT_FALSE(opened.reason.empty());
  }
}

// The extra servers' encoders from the PCM a line speed puts on the air: every call hands out
// whole Ogg pages (MP3: whole frames); a title chains a new logical stream whose comments carry
// it; the flush ends the stream and the encoder goes on; what a codec cannot make is refused
// with a reason.
TEST(StreamEncoderTest, OggEncodersHandOutWholePagesAndChainAStreamPerTitle) {
  StreamEncoderLibrary library;
  const EncodedFormat made[] = {{Codec::Opus, 48000, 2, 96000},
                                {Codec::Opus, 48000, 1, 16000},
                                {Codec::Vorbis, 44100, 2, 128000},
                                {Codec::Vorbis, 48000, 1, 64000}};
  for (const EncodedFormat& format : made) {
    SCOPED_TRACE(::testing::Message()
                 << int(format.codec) << " " << format.channels << " " << format.bitrate);
    EncoderOpened opened = library.open({22050, 2}, format);
    ASSERT_TRUE(opened.encoder) << opened.reason;
    std::vector<uint8_t> stream;
    std::vector<size_t> starts;
    auto take = [&](const std::vector<uint8_t>& out) {
      for (size_t at = 0, n; at < out.size(); at += n) {
        n = oggPageBytes(std::span(out).subspan(at));
        ASSERT_GT(n, 0u) << "part of a page at " << at << " of " << out.size();
        if (out[at + 5] & kOggFirstPage) starts.push_back(stream.size() + at);
      }
      stream.insert(stream.end(), out.begin(), out.end());
    };
    std::vector<int16_t> samples = sine(1000, 22050, 2, 2.0);
    std::span<const uint8_t> pcm(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2);
    // Titles before any audio start the first stream over, with the last of them.
    opened.encoder->setTitle("");
    opened.encoder->setTitle("Test - Tone 500");
    for (int pass = 0; pass < 2; ++pass) {
      for (size_t at = 0; at < pcm.size(); at += 20'001) {
        std::vector<uint8_t> out;
        EXPECT_TRUE(opened.encoder->encode(pcm.subspan(at, std::min<size_t>(20'001, pcm.size() - at)), out));
        take(out);
      }
      if (pass == 0) opened.encoder->setTitle("Test - Tone 1000");
    }
    std::vector<uint8_t> out;
    EXPECT_TRUE(opened.encoder->flush(out));
    take(out);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NE(std::string(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(starts[1]))
                  .find("TITLE=Test - Tone 500"),
              std::string::npos);
    std::string chained(stream.begin() + static_cast<std::ptrdiff_t>(starts[1]), stream.end());
    EXPECT_NE(chained.find("TITLE=Test - Tone 1000"), std::string::npos);
    size_t last = stream.size();
    for (size_t at = starts[1], n; (n = oggPageBytes(std::span(stream).subspan(at))) > 0; at += n) last = at;
    EXPECT_TRUE(stream[last + 5] & kOggLastPage);
    // Four seconds at the bit rate asked for, within what page heads and a short stream add.
    EXPECT_NEAR(stream.size() * 8.0 / 4.0, format.bitrate, format.bitrate * 0.35);
    out.clear();
    EXPECT_TRUE(opened.encoder->encode(pcm, out));
    EXPECT_EQ(oggStreamStart(out), 0u);
  }
  const EncodedFormat refused[] = {{Codec::Opus, 44100, 2, 96000},    {Codec::Opus, 48000, 2, 300000},
                                   {Codec::Opus, 48000, 2, 8000},     {Codec::Vorbis, 22050, 2, 64000},
                                   {Codec::Vorbis, 44100, 1, 400000}, {Codec::Mp3, 44100, 2, 330000}};
  for (const EncodedFormat& format : refused) {
    EncoderOpened opened = library.open({44100, 2}, format);
    EXPECT_FALSE(opened.encoder) << int(format.codec) << " " << format.bitrate;
    EXPECT_FALSE(opened.reason.empty());
  }
  EncoderOpened vbr = library.open({22050, 1}, {Codec::Mp3, 44100, 2, 192000, true});
  ASSERT_TRUE(vbr.encoder) << vbr.reason;
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
  // An unchanged value is not written again: the file is still the same one, not a replacement.
  EXPECT_TRUE(stored->set("message", awkward));
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, info.st_ino);
}

// The files members already have were written by QSettings: each value reads back the same both
// ways, and what this program does not store (a list, bytes) survives its rewrites.
TEST(SettingsRegistry, TheFileIsReadAndWrittenAsQSettingsDoes) {
  const std::pair<std::string, std::string> cases[] = {
      {"message", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
      {"quoted", "say \"hi\", then; go=on"},
      {"spaces", "  both ends  "},
      {"backslashes", "C:\\music\\x41 \\"},
      {"at", "@ByteArray(x)"},
      {"empty", ""},
      {"controls", std::string("tab\there\nline\x01"
                               "0\0"
                               "1",
                               17)},
      {"name with spaces", "v"},
      {"100%", "percent"},
      {"sub/key", "a slash in the name"},
      {"caf\xC3\xA9 \xE6\x97\xA5", "non-ASCII name"},
  };
  test::TempFolder folder;
  const std::string ours = folder.file("ours.ini"), theirs = folder.file("theirs.ini");
  auto qt = [](const std::string& text) { return QString::fromStdString(text); };
  // Key paths as the registry names them, and as QSettings does.
  const std::pair<std::string, std::string> groups[] = {
      {"Software\\Zelvora\\Live\\my station 1%", "Software/Zelvora/Live/my station 1%"},
      {"General", "General"}};
  {
    SettingsRegistry registry(ours);
    QSettings settings(qt(theirs), QSettings::IniFormat);
    for (const auto& [group, slashed] : groups) {
      auto key = registry.create(group);
      settings.setValue(qt(slashed + "/.key"), QString());
      for (const auto& [name, value] : cases) {
        ASSERT_TRUE(key->set(name, value)) << name;
        settings.setValue(qt(slashed + "/" + name), qt(value));
      }
    }
    settings.setValue("Software/list", QStringList{"a", "b"});
    settings.setValue("Software/bytes", QByteArray("\0\xff", 2));
  }
  SettingsRegistry registry(theirs);
  ASSERT_TRUE(registry.create("Software\\Zelvora\\Mirobeam"));
  QSettings settings(qt(ours), QSettings::IniFormat), rewritten(qt(theirs), QSettings::IniFormat);
  for (const auto& [group, slashed] : groups) {
    auto key = registry.open(group);
    ASSERT_TRUE(key) << group;
    EXPECT_TRUE(settings.contains(qt(slashed + "/.key")));
    for (const auto& [name, value] : cases) {
      EXPECT_EQ(settings.value(qt(slashed + "/" + name)).toString().toStdString(), value) << name;
      EXPECT_EQ(key->query(name), value) << name;
    }
  }
  EXPECT_EQ(rewritten.value("Software/list").toStringList(), (QStringList{"a", "b"}));
  EXPECT_EQ(rewritten.value("Software/bytes").toByteArray(), QByteArray("\0\xff", 2));
  EXPECT_TRUE(rewritten.contains("Software/Zelvora/Mirobeam/.key"));
}

}  // namespace
}  // namespace brovana
