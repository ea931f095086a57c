#include "audio/line_speed.h"

#include <gtest/gtest.h>

#include "audio/codec_install.h"
#include "diag/logger.h"
#include "fakes.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

using test::FakeCodec;
using test::mp3Format;

// One driver offering these formats.
void offer(FakeCodec& codec, std::vector<WaveFormat> formats) {
  codec.drivers.push_back({7, std::move(formats)});
}

TEST(Mp3FormatTableTest, KeepsTheLayer3FormatsOfEveryDriverInOrder) {
  FakeCodec codec;
  WaveFormat pcm = makePcmFormat(22050, 2);
  codec.drivers.push_back({1, {mp3Format(11025, 1, 2000), pcm, mp3Format(22050, 2, 7000)}});
  codec.drivers.push_back({2, {mp3Format(8000, 1, 1000)}});
  Mp3FormatTable table(codec);
  ASSERT_EQ(table.count(), 3);
  EXPECT_EQ(table.entry(0).driverId, 1u);
  EXPECT_EQ(table.entry(1).format.wfx.nAvgBytesPerSec, 7000u);
  EXPECT_EQ(table.entry(2).driverId, 2u);
  EXPECT_EQ(table.entry(2).format.bytes(), mp3Format(8000, 1, 1000).bytes())
      << "record and extra bytes copied";
  EXPECT_EQ(codec.openDrivers(), 0) << "every driver closed again";
}

TEST(Mp3FormatTableTest, DriverThatFailsToOpenEndsTheEnumeration) {
  FakeCodec codec;
  codec.drivers.push_back({1, {mp3Format(11025, 1, 2000)}});
  codec.drivers.push_back({2, {mp3Format(22050, 1, 3000)}, false});
  codec.drivers.push_back({3, {mp3Format(22050, 2, 7000)}});
  Mp3FormatTable table(codec);
  EXPECT_EQ(table.count(), 1);
}

TEST(Mp3FormatTableTest, KeepsAtMost249Formats) {
  FakeCodec codec;
  std::vector<WaveFormat> many;
  for (int i = 0; i < 200; ++i) many.push_back(mp3Format(22050, 2, 1000 + i));
  codec.drivers.push_back({1, many});
  codec.drivers.push_back({2, many});
  Mp3FormatTable table(codec);
  EXPECT_EQ(table.count(), 249);
  EXPECT_EQ(table.entry(248).driverId, 2u);
  EXPECT_EQ(table.entry(248).format.wfx.nAvgBytesPerSec, 1048u);
}

TEST(Mp3FormatTableTest, ExtraBytesBeyondTheDriversLargestFormatAreNotCopied) {
  WaveFormat odd = mp3Format(22050, 2, 7000);
  odd.extra.resize(40, 0xab);
  odd.wfx.cbSize = 40;
  FakeCodec codec;
  offer(codec, {odd});
  codec.drivers[0].maxFormatSize = 34;
  Mp3FormatTable table(codec);
  ASSERT_EQ(table.count(), 1);
  EXPECT_EQ(table.entry(0).format.extra.size(), 16u);
  EXPECT_EQ(table.entry(0).format.wfx.cbSize, 16);
}

TEST(Mp3FormatTableTest, PicksTheHighestByteRateWithinTheLineSpeedsBound) {
  struct Case {
    const char* name;
    std::vector<WaveFormat> formats;
    int lineSpeed;
    int expected;  // index into formats, -1 none
  };
  const Case cases[] = {
      {"best within the bound",
       {mp3Format(11025, 1, 1000), mp3Format(11025, 1, 2000), mp3Format(11025, 1, 2500)},
       16000,
       1},
      {"tie goes to the first", {mp3Format(22050, 2, 7000), mp3Format(22050, 2, 7000)}, 56000, 0},
      {"channel count must match", {mp3Format(11025, 2, 4000)}, 16000, -1},
      {"rate must match", {mp3Format(22050, 1, 2000)}, 16000, -1},
      {"only 44100 on offer", {mp3Format(44100, 2, 7000), mp3Format(44100, 1, 2000)}, 56000, -1},
      {"each nominal format", test::nominalFormats(), 24000, 1},
      {"each nominal format", test::nominalFormats(), 32000, 2},
      {"each nominal format", test::nominalFormats(), 56000, 3},
  };
  test::FakePrompts prompts;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCodec codec;
    offer(codec, c.formats);
    Mp3FormatTable table(codec);
    const Mp3FormatEntry* found = table.findFormatForLineSpeed(c.lineSpeed, prompts);
    if (c.expected < 0) {
      EXPECT_EQ(found, nullptr);
    } else {
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found, &table.entry(c.expected));
    }
  }
  EXPECT_TRUE(prompts.boxes().empty());
}

TEST(CodecInstallTest, EncoderThatDoesNotAnswerIsReported) {
  struct Case {
    const char* name;
    std::function<void(FakeCodec&)> setUp;
  };
  const Case cases[] = {
      {"no driver", [](FakeCodec&) {}},
      {"no Layer-3 format", [](FakeCodec& codec) { offer(codec, {makePcmFormat(22050, 2)}); }},
      {"driver does not open",
       [](FakeCodec& codec) {
         offer(codec, {mp3Format(22050, 2, 7000)});
         codec.drivers[0].opens = false;
       }},
      {"stream does not open",
       [](FakeCodec& codec) {
         offer(codec, {mp3Format(22050, 2, 7000)});
         codec.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return ACMERR_NOTPOSSIBLE; };
       }},
  };
  test::logInScratchFolder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCodec codec;
    c.setUp(codec);
    test::FakePrompts prompts;
    EXPECT_FALSE(installCodec(codec, prompts));
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(prompts.boxes()[0].caption, "error");
    EXPECT_EQ(
        prompts.boxes()[0].text,
        "Unable to register your MP3 \"CODEC\" in the registry, since your system privileges are not set "
        "correctly. Call your system administrator.");
  }
}

TEST(CodecInstallTest, FailureLogsAsksAndEndsTheProgram) {
  test::logInScratchFolder();
  size_t before = test::logText().size();
  for (bool yes : {true, false}) {
    test::FakePrompts prompts;
    prompts.answerNext(yes);
    test::FakeExit exit;
    codecInstallFailed(prompts, exit);
    ASSERT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(prompts.questions()[0].text,
              "Unable to install your MP3 codec. Would you like to see the log file for more information?");
    EXPECT_EQ(prompts.questions()[0].caption, " ");
    EXPECT_EQ(prompts.opened(),
              yes ? std::vector<std::string>{Logger::getLogPath()} : std::vector<std::string>{});
    EXPECT_TRUE(exit.ended);
    EXPECT_EQ(exit.exitCode, 0);
  }
  std::string log = test::logText().substr(before);
  EXPECT_NE(log.find(") Unable to register the codec, l3codeca.acm. You are probably running this on a\n("),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(") administrator install the software.\n"), std::string::npos);
}

}  // namespace
}  // namespace brovana
