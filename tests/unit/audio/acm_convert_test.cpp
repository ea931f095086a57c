#include "audio/acm_convert.h"

#include <gtest/gtest.h>

#include <thread>

#include "fakes.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using test::waitFor;

// PCM bytes that differ from block to block.
std::vector<uint8_t> pcm(int bytes, int seed) {
  std::vector<uint8_t> out(static_cast<size_t>(bytes));
  for (int i = 0; i < bytes; ++i)
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(seed * 37 + i * 13 + (i >> 9));
  return out;
}

std::vector<uint8_t> samples(std::vector<int16_t> values) {
  std::vector<uint8_t> out(values.size() * 2);
  std::memcpy(out.data(), values.data(), out.size());
  return out;
}

class AcmConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::logInScratchFolder();
    codec.drivers.push_back({3, test::nominalFormats()});
  }
  AcmConvert& stage() {
    if (!stage_) stage_ = std::make_unique<AcmConvert>(sink, status, codec, prompts, exit);
    return *stage_;
  }
  // Hands PCM in as a source would, in blocks of 10,000 bytes; what was handed in is kept.
  void feed(int bytes) {
    for (int done = 0; done < bytes; done += 10'000) {
      auto block = pcm(std::min(10'000, bytes - done), blocks_++);
      ASSERT_TRUE(stage().convertAndSend(block.data(), static_cast<int>(block.size()), blocks_, "test"));
      input.insert(input.end(), block.begin(), block.end());
    }
  }
  std::vector<uint8_t> fed(size_t from, size_t length) const {
    return {input.begin() + static_cast<long>(from), input.begin() + static_cast<long>(from + length)};
  }

  test::FakeCodec codec;
  test::FakeSink sink;
  test::FakeStatus status;
  test::FakePrompts prompts;
  test::FakeExit exit;
  std::vector<uint8_t> input;

 private:
  int blocks_ = 0;
  std::unique_ptr<AcmConvert> stage_;  // last: goes first, before what it refers to
};

TEST_F(AcmConvertTest, ConvertsOnlyChunksOfAtLeast50000BytesAndSendsWhatComesOut) {
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().startConvertThread();
  feed(40'000);
  EXPECT_EQ(stage().sourceBufferSize(), 50'000) << "the codec's small answer is raised to the floor";
  std::this_thread::sleep_for(100ms);  // ten idle passes of the conversion thread
  EXPECT_TRUE(codec.conversions().empty());
  feed(10'000);
  ASSERT_TRUE(waitFor([&] { return sink.sends() == 1; }));
  EXPECT_EQ(codec.conversions()[0].pcm, fed(0, 50'000));
  EXPECT_EQ(sink.stream().size(), 500u);
  int produced = 0;
  EXPECT_TRUE(waitFor([&] { return (produced += stage().takeBytesSent()) >= 500; }));
  EXPECT_EQ(stage().takeBytesSent(), 0) << "taken";
}

TEST_F(AcmConvertTest, FlushEmptiesTheRingWhateverItHolds) {
  for (auto [pending, chunks] : {std::pair{120'000, std::vector{50'000, 50'000, 20'000}},
                                 {20'000, {20'000}},
                                 {0, {0}},
                                 {50'000, {50'000}}}) {
    SCOPED_TRACE(pending);
    test::FakeCodec codec;
    test::FakeSink sink;
    codec.drivers.push_back({3, test::nominalFormats()});
    AcmConvert stage(sink, status, codec, prompts, exit);
    ASSERT_EQ(stage.InitACM(56000), kInitOpened);
    auto block = pcm(10'000, 1);
    stage.convertAndSend(block.data(), 0, 0, "test");  // prepares the header
    for (int done = 0; done < pending; done += 10'000) stage.convertAndSend(block.data(), 10'000, 0, "test");
    stage.flush();
    stage.startConvertThread();
    ASSERT_TRUE(waitFor([&] { return !stage.flushing(); }));
    auto conversions = codec.conversions();
    ASSERT_EQ(conversions.size(), chunks.size());
    for (size_t i = 0; i < conversions.size(); ++i) {
      EXPECT_EQ(static_cast<int>(conversions[i].pcm.size()), chunks[i]);
      EXPECT_EQ(conversions[i].flags, i + 1 == conversions.size() ? ACM_STREAMCONVERTF_END : 0u);
    }
    EXPECT_EQ(sink.flushes(), 1);
    // After the flush the 50,000-byte rule holds again.
    for (int i = 0; i < 3; ++i) stage.convertAndSend(block.data(), 10'000, 0, "test");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(codec.conversions().size(), chunks.size());
  }
}

TEST_F(AcmConvertTest, UnpreparedPutsTheChunkBackAndOtherErrorsDropIt) {
  codec.failNextConversions({ACMERR_UNPREPARED, MMSYSERR_ERROR});
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().startConvertThread();
  feed(50'000);
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  EXPECT_EQ(stage().pendingBytes(), 50'000) << "the read position is where it was";
  feed(60'000);  // the first block prepares the header again
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 3 && sink.sends() == 1; }));
  auto conversions = codec.conversions();
  EXPECT_EQ(conversions[1].pcm, fed(0, 50'000)) << "the same chunk again, failing otherwise: dropped";
  EXPECT_EQ(conversions[2].pcm, fed(50'000, 50'000));
  EXPECT_EQ(sink.stream().size(), 500u) << "only the chunk that converted";
}

TEST_F(AcmConvertTest, PcmOfTheOldStreamGoesOutAsSilenceInTheNextAndItsFlushIsDropped) {
  TrackFormat track{"/music/a.mp3", 22050, 2};
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  feed(30'000);
  stage().flush();
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  EXPECT_FALSE(stage().flushing());
  EXPECT_EQ(codec.openStreams(), 1) << "the previous stream was closed";
  feed(20'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  auto chunk = codec.conversions()[0];
  EXPECT_TRUE(std::all_of(chunk.pcm.begin(), chunk.pcm.begin() + 30'000, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(std::vector<uint8_t>(chunk.pcm.begin() + 30'000, chunk.pcm.end()), fed(30'000, 20'000));
  EXPECT_EQ(chunk.flags, 0u);
}

TEST_F(AcmConvertTest, DestinationBufferHoldsTheOutputOfAWholeChunk) {
  codec.destinationSizeAnswer = 1000;  // a poor answer about the destination
  codec.sourceSizeAnswer = 40'000;
  codec.outputPer100 = 40;
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(50'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return sink.sends() == 1; }));
  EXPECT_EQ(sink.stream().size(), 20'000u) << "nothing cut off";
}

TEST(VoiceoverMixTest, MicrophoneIsAddedToTheScaledMusic) {
  const std::tuple<int16_t, float, int16_t, int16_t> cases[] = {
      {1000, 0.5f, 200, 700}, {30000, 1.0f, 10000, 32767}, {-30000, 1.0f, -10000, -32767},
      {-3, 0.5f, 0, -1},      {12345, 0.0f, -17, -17},     {-32768, 1.0f, 0, -32767},
  };
  for (auto [music, gain, microphone, expected] : cases) {
    auto block = samples({music});
    AcmConvert::mixSamples(block.data(), samples({microphone}).data(), 2, gain);
    EXPECT_EQ(block, samples({expected})) << music << " x " << gain << " + " << microphone;
  }
}

TEST_F(AcmConvertTest, PlugInThenMicrophoneThenVisualisationWorkOnTheRingCopy) {
  SideChannel side(1'000'000);
  auto microphone = samples({200, 200});
  ASSERT_TRUE(side.addData(microphone.data(), 4));
  test::FakeDsp dsp;
  test::FakeVisual visual;
  stage().setSideChannel(&side);
  stage().setDspHost(&dsp);
  stage().setVisual(&visual);
  stage().setMusicGain(0.5f);
  TrackFormat track{"/music/a.mp3", 44100, 2};
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  auto block = samples({1000, -1000, 300, -400});
  ASSERT_TRUE(stage().convertAndSend(block.data(), 8, 1, "test"));
  EXPECT_EQ(dsp.lastFrames, 2);
  EXPECT_EQ(dsp.lastRate, 44100);
  EXPECT_EQ(visual.blocks.at(0), samples({-300, 700, -300, 400})) << "negated, then half plus the microphone";
  EXPECT_EQ(block, samples({1000, -1000, 300, -400})) << "the caller's block is left alone";
  stage().setSideChannel(nullptr);
  stage().setDspHost(nullptr);
  stage().setVisual(nullptr);
}

TEST_F(AcmConvertTest, OpenResults) {
  // Changes to the formats apply before the stage builds its format table, the others after.
  const std::tuple<const char*, std::function<void(test::FakeCodec&)>, int, int, std::vector<std::string>>
      cases[] = {
          {"no MP3 format at all",
           [](test::FakeCodec& c) { c.drivers[0].formats = {makePcmFormat(22050, 2)}; },
           56000,
           kInitNoFormats,
           {}},
          {"no format for the line speed",
           [](test::FakeCodec& c) { c.drivers[0].formats.erase(c.drivers[0].formats.begin()); },
           16000,
           kInitNoFormatForLineSpeed,
           {"Your MP3 driver doesn't support selected format!"}},
          {"invalid line speed",
           [](test::FakeCodec&) {},
           28800,
           kInitNoFormatForLineSpeed,
           {"Linespeed of 28800 is invalid. Use the Account info page to try a different linespeed.",
            "Your MP3 driver doesn't support selected format!"}},
          {"driver fails to open",
           [](test::FakeCodec& c) { c.drivers[0].opens = false; },
           56000,
           kInitDriverFailed,
           {"unable to open the driver, mmerr=7, had=0, hadid=3, bitrate=56000",
            "tag=85, channels=2, samp/sec=22050, bytes/sec=7000"}},
          {"line-in stream refused",
           [](test::FakeCodec& c) {
             c.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return ACMERR_NOTPOSSIBLE; };
           },
           24000,
           kInitStreamFailed,
           {"This MP3 codec failed to open for your line-in conversion stream."}},
          {"line-in opened at the line speed's own format", [](test::FakeCodec&) {}, 32000, kInitOpened, {}},
      };
  for (const auto& [name, change, lineSpeed, expected, boxes] : cases) {
    SCOPED_TRACE(name);
    test::FakeCodec codec;
    codec.drivers.push_back({3, test::nominalFormats()});
    bool formats = expected == kInitNoFormats || expected == kInitNoFormatForLineSpeed;
    if (formats) change(codec);
    test::FakePrompts prompts;
    AcmConvert stage(sink, status, codec, prompts, exit);
    if (!formats) change(codec);

    size_t before = prompts.boxTexts().size();  // the codec check may have spoken already
    EXPECT_EQ(stage.InitACM(lineSpeed), expected);
    auto shown = prompts.boxTexts();
    EXPECT_EQ(std::vector<std::string>(shown.begin() + static_cast<long>(before), shown.end()), boxes);
    EXPECT_EQ(codec.openDrivers(), expected == kInitOpened ? 1 : 0) << "no driver stays open after a failure";
    if (expected == kInitOpened) {
      EXPECT_EQ(stage.getSourceFormat()->wfx.nSamplesPerSec, 11025u);
    }
  }
}

TEST_F(AcmConvertTest, TrackTheCodecCannotConvertIsSkipped) {
  const std::tuple<int, bool, std::string, std::string> cases[] = {
      {1, false, "Cannot convert mono track to stereo, voice.mp3 skipped",
       "This MP3 codec cannot convert /music/talk/voice.mp3 to from MONO to STEREO\n"},
      {2, true, "Cannot convert track voice.mp3",
       "This MP3 codec cannot convert /music/talk/voice.mp3 to your chosen line speed,\nwhich happens with "
       "some "
       "bitrate combinations (such as files ripped at 24000 and transmitted at 56000).\nTry a different "
       "connection rate. mmerr=512\n"},
  };
  for (const auto& [channels, refuseAll, statusLine, logLine] : cases) {
    test::FakeCodec codec;
    codec.drivers.push_back({3, test::nominalFormats()});
    if (refuseAll)
      codec.streamPolicy = [](const WaveFormat& s, const WaveFormat& d) {
        return s.wfx.nSamplesPerSec == d.wfx.nSamplesPerSec ? MMSYSERR_NOERROR : ACMERR_NOTPOSSIBLE;
      };
    test::FakeStatus status;
    AcmConvert stage(sink, status, codec, prompts, exit);
    size_t logBefore = test::logText().size();
    int failedBefore = Logger::failedFiles();
    TrackFormat track{"/music/talk/voice.mp3", 24000, channels};
    EXPECT_EQ(stage.InitACM(56000, &track), kInitStreamFailed);
    EXPECT_EQ(status.errors, std::vector<std::string>{statusLine});
    std::string log = test::logText().substr(logBefore);
    EXPECT_NE(log.find(logLine), std::string::npos) << log;
    EXPECT_EQ(channels == 1, log.find("so must skip this track, mmerr=512\n") != std::string::npos);
    EXPECT_EQ(Logger::failedFiles(), failedBefore + 1);
    EXPECT_EQ(status.refreshes, 1);
    EXPECT_EQ(codec.openDrivers(), 0);
  }
  EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(AcmConvertTest, CodecThatDoesNotAnswerEndsTheProgram) {
  codec.drivers.clear();
  prompts.answerNext(false);
  stage();
  EXPECT_TRUE(exit.ended);
  EXPECT_EQ(exit.exitCode, 0);
  EXPECT_EQ(prompts.questions().size(), 1u);
  EXPECT_EQ(stage().InitACM(56000), kInitNoFormats);
}

TEST_F(AcmConvertTest, ThreadLifeAndCloseInsideClose) {
  stage().shutDown();  // no thread yet: nothing to wait for
  stage().startConvertThread();
  EXPECT_TRUE(stage().threadRunning()) << "a shutDown before the start does not stop the new thread";
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(1000);  // prepares the header, so that closing unprepares it
  int nested = 0;
  codec.onUnprepare = [&] {
    stage().closeACM(false);
    ++nested;
  };
  stage().closeACM(false);
  codec.onUnprepare = nullptr;
  EXPECT_EQ(nested, 1) << "the close inside returned at once";
  EXPECT_EQ(codec.openStreams() + codec.openDrivers(), 0);
  EXPECT_TRUE(stage().threadRunning());
  stage().closeACM(true);
  EXPECT_TRUE(waitFor([&] { return !stage().threadRunning(); }));
  stage().startConvertThread();
  EXPECT_TRUE(stage().threadRunning()) << "a stopped stage can start again";
}

TEST(ConversionStatsTest, WindowsCloseAfterMoreThanFiveSeconds) {
  ConversionStats stats;
  stats.start(1000);
  stats.input(10'000, 1000);
  stats.input(10'000, 6000);
  EXPECT_EQ(stats.recentInputRate(), 0) << "5,000 ms exactly do not close the window";
  stats.input(10'000, 6001);
  int closed = stats.recentInputRate();
  EXPECT_GT(closed, 0);
  stats.input(0, 11'002);
  EXPECT_EQ(stats.recentInputRate(), closed) << "a window without bytes changes nothing";
  stats.conversion(5000, 3, 2000, 88200);
  stats.conversion(100'000, 3, 7001, 88200);
  EXPECT_FLOAT_EQ(stats.throughputRatio(), 1.0f) << "capped";
}

}  // namespace
}  // namespace brovana
