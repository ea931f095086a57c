#include "platform/mpg123_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

struct Decoded {
  int openStatus = -1;
  PcmFormat format;
  std::vector<int16_t> samples;
  std::vector<DecodeStatus> statuses;
  long long bytesRead = 0;
  size_t lastBlockSamples = 0;
  DecodeStatus afterEnd = DecodeStatus::Block;  // a decode step after the last block
};

Decoded decodeAll(Mpg123Decoder& decoder, const std::string& path) {
  Decoded out;
  out.openStatus = decoder.createInput(path);
  if (out.openStatus == kDecoderOk) out.openStatus = decoder.openInput();
  if (out.openStatus != kDecoderOk) return out;
  out.format = decoder.format();
  for (int guard = 0; guard < 100000; ++guard) {
    DecodeStatus status = decoder.decode();
    out.statuses.push_back(status);
    std::span<const int16_t> block = decoder.block();
    out.samples.insert(out.samples.end(), block.begin(), block.end());
    if (status != DecodeStatus::Block) break;
  }
  out.lastBlockSamples = decoder.block().size();
  out.afterEnd = decoder.decode();
  out.bytesRead = decoder.bytesRead();
  decoder.closeInput();
  return out;
}

Decoded decodeAll(const std::string& path) {
  Mpg123Decoder decoder;
  return decodeAll(decoder, path);
}

long long fileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<long long>(in.tellg()) : -1;
}

std::span<const int16_t> seconds(const Decoded& d, double from, double to) {
  size_t perSecond = static_cast<size_t>(d.format.sampleRate) * d.format.channels;
  size_t begin = std::min(d.samples.size(),
                          static_cast<size_t>(from * perSecond) / d.format.channels * d.format.channels);
  size_t end =
      std::min(d.samples.size(), static_cast<size_t>(to * perSecond) / d.format.channels * d.format.channels);
  return std::span<const int16_t>(d.samples).subspan(begin, end - begin);
}

class Mpg123DecoderTest : public ::testing::Test {
 protected:
  test::TempFolder folder;
};

TEST_F(Mpg123DecoderTest, DecodesAtTheFilesOwnFormatToTheLastBlock) {
  struct Case {
    const char* name;
    test::ToneSpec spec;
  };
  auto tone = [](double frequency, int rate, int channels, int kbps) {
    test::ToneSpec spec;
    spec.frequency = frequency;
    spec.sampleRate = rate;
    spec.channels = channels;
    spec.kbps = kbps;
    return spec;
  };
  std::vector<Case> cases = {
      {"stereo 44100", tone(440, 44100, 2, 128)},
      {"mono 44100", tone(660, 44100, 1, 64)},
      {"stereo 22050", tone(880, 22050, 2, 64)},
      {"mono 22050", tone(440, 22050, 1, 32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = folder.file(std::string(c.name) + ".mp3");
    ASSERT_TRUE(test::makeTone(path, c.spec));
    Decoded d = decodeAll(path);
    ASSERT_EQ(d.openStatus, kDecoderOk);
    EXPECT_EQ(d.format, (PcmFormat{c.spec.sampleRate, c.spec.channels}));
    ASSERT_GE(d.statuses.size(), 2u);
    EXPECT_EQ(d.statuses.back(), DecodeStatus::LastBlock);
    EXPECT_GT(d.lastBlockSamples, 0u) << "the last block carries the end of the sound";
    EXPECT_EQ(d.afterEnd, DecodeStatus::Error) << "nothing follows the last block";
    for (size_t i = 0; i + 1 < d.statuses.size(); ++i) EXPECT_EQ(d.statuses[i], DecodeStatus::Block) << i;
    // One second comes back as one second, give or take the encoder's delay and padding.
    long long frames = static_cast<long long>(d.samples.size()) / c.spec.channels;
    EXPECT_NEAR(frames, c.spec.sampleRate, 2 * 1152);
    EXPECT_EQ(test::dominantTone(d.samples, d.format, {440, 660, 880}), c.spec.frequency);
    EXPECT_EQ(d.bytesRead, fileSize(path));
  }
}

TEST_F(Mpg123DecoderTest, FormatChangeInsideAFileKeepsTheFirstFormat) {
  // A 44100 Hz stereo file followed by a 22050 Hz mono one, joined as one file; and the reverse.
  struct Case {
    const char* name;
    test::ToneSpec first;
    test::ToneSpec second;
  };
  test::ToneSpec cd;
  cd.frequency = 440;
  cd.infoFrame = false;
  test::ToneSpec low;
  low.frequency = 660;
  low.sampleRate = 22050;
  low.channels = 1;
  low.kbps = 32;
  low.infoFrame = false;
  std::vector<Case> cases = {{"stereo then mono", cd, low}, {"mono then stereo", low, cd}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string a = folder.file("a.mp3");
    std::string b = folder.file("b.mp3");
    std::string joined = folder.file("joined.mp3");
    ASSERT_TRUE(test::makeTone(a, c.first));
    ASSERT_TRUE(test::makeTone(b, c.second));
    ASSERT_EQ(std::system(("cat '" + a + "' '" + b + "' > '" + joined + "'").c_str()), 0);
    Decoded d = decodeAll(joined);
    ASSERT_EQ(d.openStatus, kDecoderOk);
    EXPECT_EQ(d.format, (PcmFormat{c.first.sampleRate, c.first.channels}));
    EXPECT_EQ(d.statuses.back(), DecodeStatus::LastBlock);
    // Two seconds at the first file's rate, and each part keeps its pitch.
    long long frames = static_cast<long long>(d.samples.size()) / d.format.channels;
    EXPECT_NEAR(frames, 2 * c.first.sampleRate, 0.2 * c.first.sampleRate);
    EXPECT_EQ(test::dominantTone(seconds(d, 0.2, 0.8), d.format, {440, 660, 880}), c.first.frequency);
    EXPECT_EQ(test::dominantTone(seconds(d, 1.3, 1.8), d.format, {440, 660, 880}), c.second.frequency);
  }
}

TEST_F(Mpg123DecoderTest, FilesThatAreNotMp3AreRefused) {
  struct Case {
    const char* name;
    std::string content;  // empty: the file is not made at all
    int createStatus;
    int openStatus;
  };
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "not an mp3 file ";
  std::vector<Case> cases = {
      {"missing file", "", kInputMissing, kInputMissing},
      {"empty file", std::string(), kDecoderOk, kNoAudioFrames},
      {"text", text, kDecoderOk, kNoAudioFrames},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = folder.file(std::string(c.name) + ".mp3");
    if (std::string(c.name) != "missing file") folder.write(std::string(c.name) + ".mp3", c.content);
    Mpg123Decoder decoder;
    EXPECT_EQ(decoder.createInput(path), c.createStatus);
    EXPECT_EQ(decoder.openInput(), c.openStatus);
    EXPECT_EQ(decoder.decode(), DecodeStatus::Error);
    EXPECT_TRUE(decoder.block().empty());
  }
}

TEST_F(Mpg123DecoderTest, OneDecoderPlaysTrackAfterTrackOfAnotherFormat) {
  test::ToneSpec first;
  first.frequency = 880;
  test::ToneSpec second;
  second.frequency = 440;
  second.sampleRate = 22050;
  second.channels = 1;
  second.kbps = 32;
  ASSERT_TRUE(test::makeTone(folder.file("1.mp3"), first));
  ASSERT_TRUE(test::makeTone(folder.file("2.mp3"), second));
  folder.write("broken.mp3", "garbage");
  Mpg123Decoder decoder;
  EXPECT_EQ(decodeAll(decoder, folder.file("broken.mp3")).openStatus, kNoAudioFrames);
  for (const test::ToneSpec* spec : {&first, &second, &first}) {
    Decoded d = decodeAll(decoder, folder.file(spec == &first ? "1.mp3" : "2.mp3"));
    ASSERT_EQ(d.openStatus, kDecoderOk);
    EXPECT_EQ(d.format, (PcmFormat{spec->sampleRate, spec->channels}));
    EXPECT_EQ(test::dominantTone(d.samples, d.format, {440, 660, 880}), spec->frequency);
  }
}

}  // namespace
}  // namespace brovana
