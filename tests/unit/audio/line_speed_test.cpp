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

TEST(Mp3FormatTableTest, KeepsTheLayer3FormatsOfEveryDriverUpToAFullTable) {
  FakeCodec codec;
  WaveFormat odd = mp3Format(22050, 2, 7000);
  odd.extra.resize(40, 0xab);  // more than the driver's largest format: cut to it
  odd.wfx.cbSize = 40;
  codec.drivers = {{1, {mp3Format(11025, 1, 2000), makePcmFormat(22050, 2), odd}, true, 34},
                   {2, {mp3Format(8000, 1, 1000)}}};
  Mp3FormatTable table(codec);
  ASSERT_EQ(table.count(), 3);
  EXPECT_EQ(std::tuple(table.entry(0).driverId, table.entry(1).driverId, table.entry(2).driverId),
            std::tuple(1, 1, 2));
  EXPECT_EQ(std::tuple(table.entry(1).format.extra.size(), table.entry(1).format.wfx.cbSize),
            std::tuple(16, 16));
  EXPECT_EQ(table.entry(2).format.bytes(), mp3Format(8000, 1, 1000).bytes())
      << "record and extra bytes copied";
  EXPECT_EQ(codec.openDrivers(), 0) << "every driver closed again";

  // A driver that fails to open ends the enumeration; the table holds at most 249 formats.
  codec.drivers = {{1, {mp3Format(11025, 1, 2000)}}, {2, {mp3Format(22050, 1, 3000)}, false}, {3, {odd}}};
  EXPECT_EQ(Mp3FormatTable(codec).count(), 1);
  std::vector<WaveFormat> many;
  for (int i = 0; i < 200; ++i) many.push_back(mp3Format(22050, 2, 1000 + i));
  codec.drivers = {{1, many}, {2, many}};
  Mp3FormatTable full(codec);
  EXPECT_EQ(full.count(), 249);
  EXPECT_EQ(std::tuple(full.entry(248).driverId, full.entry(248).format.wfx.nAvgBytesPerSec),
            std::tuple(2, 1048));
}

TEST(Mp3FormatTableTest, PicksTheHighestByteRateWithinTheLineSpeedsBound) {
  const std::tuple<std::vector<WaveFormat>, int, int> cases[] = {
      // formats, line speed, the index picked (-1: none)
      {{mp3Format(11025, 1, 1000), mp3Format(11025, 1, 2000), mp3Format(11025, 1, 2500)}, 16000, 1},
      {{mp3Format(22050, 2, 7000), mp3Format(22050, 2, 7000)}, 56000, 0},  // a tie goes to the first
      {{mp3Format(11025, 2, 4000)}, 16000, -1},                            // the channels must match
      {{mp3Format(22050, 1, 2000)}, 16000, -1},                            // the rate must match
      {{mp3Format(44100, 2, 7000), mp3Format(44100, 1, 2000)}, 56000, -1},
      {test::nominalFormats(), 24000, 1},
      {test::nominalFormats(), 32000, 2},
      {test::nominalFormats(), 56000, 3},
  };
  test::FakePrompts prompts;
  for (const auto& [formats, lineSpeed, picked] : cases) {
    FakeCodec codec;
    codec.drivers.push_back({7, formats});
    Mp3FormatTable table(codec);
    EXPECT_EQ(table.findFormatForLineSpeed(lineSpeed, prompts), picked < 0 ? nullptr : &table.entry(picked))
        << lineSpeed << " " << picked;
  }
  EXPECT_TRUE(prompts.boxes().empty());
}

TEST(CodecInstallTest, AnEncoderThatDoesNotAnswerIsReportedLoggedAndEndsTheProgram) {
  test::logInScratchFolder();
  size_t logBefore = test::logText().size();
  for (const std::function<void(FakeCodec&)>& setUp : std::vector<std::function<void(FakeCodec&)>>{
           [](FakeCodec&) {},  // no driver
           [](FakeCodec& codec) {
             codec.drivers.push_back({7, {makePcmFormat(22050, 2)}});
           },  // no Layer-3 format
           [](FakeCodec& codec) {
             codec.drivers.push_back({7, {mp3Format(22050, 2, 7000)}, false});
           },
           [](FakeCodec& codec) {
             codec.drivers.push_back({7, {mp3Format(22050, 2, 7000)}});
             codec.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return ACMERR_NOTPOSSIBLE; };
           }}) {
    FakeCodec codec;
    setUp(codec);
    test::FakePrompts prompts;
    EXPECT_FALSE(installCodec(codec, prompts));
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(
        std::tie(prompts.boxes()[0].kind, prompts.boxes()[0].caption, prompts.boxes()[0].text),
        std::tuple(BoxKind::Error, "error",
                   "Unable to register your MP3 \"CODEC\" in the registry, since your system privileges are "
                   "not set correctly. Call your system administrator."));
  }
  for (bool yes : {true, false}) {
    test::FakePrompts prompts;
    prompts.answerNext(yes);
    test::FakeExit exit;
    codecInstallFailed(prompts, exit);
    ASSERT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(
        std::tie(prompts.questions()[0].text, prompts.questions()[0].caption),
        std::tuple(
            "Unable to install your MP3 codec. Would you like to see the log file for more information?",
            " "));
    EXPECT_EQ(prompts.opened(), yes ? std::vector{Logger::getLogPath()} : std::vector<std::string>{});
    EXPECT_EQ(std::pair(exit.ended, exit.exitCode), std::pair(true, 0));
  }
  std::string log = test::logText().substr(logBefore);
  EXPECT_NE(log.find(") Unable to register the codec, l3codeca.acm. You are probably running this on a\n("),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(") administrator install the software.\n"), std::string::npos);
}

}  // namespace
}  // namespace brovana
