#include "platform/mpg123_decoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

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

}  // namespace
}  // namespace brovana
