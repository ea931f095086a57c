#include "audio/silence_detector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace brovana {
namespace {

using C = SilenceDetector::Change;
constexpr C kBegan = C::SilenceBegan, kBack = C::SoundReturned;
constexpr double kOff = -200;  // digital silence

// The stream in stretches at one peak level (dBFS) for a number of seconds, fed in blocks (odd
// sizes split samples between blocks); each change and the second of the stream it came at. A
// sound of 3 s ends the silence in "lasting", the first block with sound in the other cases.
struct Case {
  const char* name;
  SilenceRule rule;
  PcmFormat format;
  int blockBytes;
  std::vector<std::pair<double, double>> stream;
  std::vector<std::pair<C, double>> changes;
};

std::vector<uint8_t> streamOf(const Case& c) {
  std::vector<uint8_t> bytes;
  for (auto [db, seconds] : c.stream) {
    int peak = db <= kOff ? 0 : static_cast<int>(32767 * std::pow(10.0, db / 20));
    for (long i = 0; i < std::lround(seconds * c.format.sampleRate) * c.format.channels; ++i) {
      int16_t value = static_cast<int16_t>(i % 2 ? peak : -peak / 2);
      bytes.insert(bytes.end(), {static_cast<uint8_t>(value & 0xff), static_cast<uint8_t>(value >> 8)});
    }
  }
  return bytes;
}

TEST(SilenceDetectorTest, SilenceCountsOnlyWhenItLastsAndSoundEndsItAsTheRuleSays) {
  const Case cases[] = {
      {"digital silence", {-50, 2, 0}, {44100, 2}, 4410, {{kOff, 5}}, {{kBegan, 2}}},
      {"hiss below the level", {-50, 2, 0}, {22050, 1}, 1001, {{-60, 3}}, {{kBegan, 2}}},
      {"a short pause", {-50, 2, 0}, {44100, 2}, 4410, {{-20, 1}, {kOff, 1.5}, {-20, 1}}, {}},
      {"a click", {-50, 2, 0}, {44100, 2}, 4410, {{kOff, 1.5}, {-10, .05}, {kOff, 3}}, {{kBegan, 3.55}}},
      {"sound ends it", {-50, 1, 0}, {44100, 1}, 882, {{kOff, 2}, {-40, 1}}, {{kBegan, 1}, {kBack, 2.01}}},
      {"lasting",
       {-50, 1, 3},
       {8000, 2},
       801,
       {{kOff, 2}, {-30, 2}, {kOff, .5}, {-30, 4}},
       {{kBegan, 1}, {kBack, 7.5}}},
      {"the level divides", {-6, 1, 0}, {8000, 1}, 800, {{-7, 1.5}, {-5, 0.5}}, {{kBegan, 1}, {kBack, 1.55}}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SilenceDetector detector(c.rule);
    std::vector<uint8_t> stream = streamOf(c);
    std::vector<std::pair<C, double>> seen;
    for (size_t at = 0; at < stream.size(); at += c.blockBytes) {
      int length = static_cast<int>(std::min<size_t>(c.blockBytes, stream.size() - at));
      if (C change = detector.feed(stream.data() + at, length, c.format); change != C::None)
        seen.push_back({change, static_cast<double>(at + length) / c.format.bytesPerSecond()});
    }
    ASSERT_EQ(seen.size(), c.changes.size());
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].first, c.changes[i].first) << i;
      // Within one block of where the rule puts it.
      EXPECT_NEAR(seen[i].second, c.changes[i].second, 1.01 * c.blockBytes / c.format.bytesPerSecond()) << i;
    }
  }
}

}  // namespace
}  // namespace brovana
