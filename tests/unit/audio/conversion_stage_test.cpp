#include "audio/conversion_stage.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// PCM bytes that differ from block to block.
std::vector<uint8_t> pcm(int bytes, int seed) {
  std::vector<uint8_t> out(static_cast<size_t>(bytes));
  for (int i = 0; i < bytes; ++i) out[size_t(i)] = static_cast<uint8_t>(seed * 37 + i * 13 + (i >> 9));
  return out;
}

std::vector<uint8_t> samples(std::vector<int16_t> values) {
  std::vector<uint8_t> out(values.size() * 2);
  std::memcpy(out.data(), values.data(), out.size());
  return out;
}

// The conversion thread has looked at the ring and gone back to waiting twice from now (each time at the
// latest after its idle time-out): the second look began after what was handed in by now.
bool idlesTwiceFromNow(const ConversionStage& stage) {
  int before = stage.idlePasses();
  return test::eventually([&] { return stage.idlePasses() >= before + 2; });
}

class AcmConvertTest : public ::testing::Test, public test::StageRig {
 protected:
  // Hands PCM in as a source would, in blocks of 10,000 bytes; what was handed in is kept.
  void feed(int bytes) {
    for (int done = 0; done < bytes; done += 10'000) {
      auto block = pcm(std::min(10'000, bytes - done), blocks_++);
      ASSERT_TRUE(stage.convertAndSend(block.data(), static_cast<int>(block.size()), blocks_, "test"));
      input.insert(input.end(), block.begin(), block.end());
    }
  }
  std::vector<uint8_t> fed(long from, long length) const {
    return {input.begin() + from, input.begin() + from + length};
  }

  std::vector<uint8_t> input;
  int blocks_ = 0;
};

TEST_F(AcmConvertTest, ConvertsOnlyChunksOfAtLeast50000BytesAndSendsWhatComesOut) {
  codec.destinationSizeAnswer = 1000;  // a poor answer about the destination does not cut the output
  codec.sourceSizeAnswer = 40'000, codec.outputPer100 = 40;
  ASSERT_EQ(stage.openStream(56000), kInitOpened);
  stage.startConvertThread();
  feed(40'000);
  EXPECT_EQ(stage.sourceBufferSize(), 50'000) << "the codec's small answer is raised to the floor";
  ASSERT_TRUE(idlesTwiceFromNow(stage));
  EXPECT_TRUE(codec.conversions().empty());
  feed(10'000);
  ASSERT_TRUE(test::eventually([&] { return sink.sent == 20'000; }));
  EXPECT_EQ(codec.conversions()[0].pcm, fed(0, 50'000));
  int produced = 0;
  EXPECT_TRUE(test::eventually([&] { return (produced += stage.takeBytesSent()) >= 20'000; }));
}

TEST_F(AcmConvertTest, FlushEmptiesTheRingWhateverItHolds) {
  for (auto [pending, chunks] : {std::pair{120'000, std::vector{50'000, 50'000, 20'000}}, {0, {0}}}) {
    SCOPED_TRACE(pending);
    test::FakeCodec codec;
    test::FakeSink sink;
    ConversionStage stage(sink, status, codec, prompts, exit);
    ASSERT_EQ(stage.openStream(56000), kInitOpened);
    auto block = pcm(10'000, 1);
    stage.convertAndSend(block.data(), 0, 0, "test");  // prepares the header
    for (int done = 0; done < pending; done += 10'000) stage.convertAndSend(block.data(), 10'000, 0, "test");
    stage.flush();
    stage.startConvertThread();
    ASSERT_TRUE(test::eventually([&] { return !stage.flushing(); }));
    auto conversions = codec.conversions();
    ASSERT_EQ(conversions.size(), chunks.size());
    for (size_t i = 0; i < conversions.size(); ++i) {
      EXPECT_EQ(static_cast<int>(conversions[i].pcm.size()), chunks[i]);
      EXPECT_EQ(conversions[i].flags, i + 1 == chunks.size() ? ACM_STREAMCONVERTF_END : 0u);
    }
    EXPECT_EQ(sink.flushes.load(), 1);
    // After the flush the 50,000-byte rule holds again.
    for (int i = 0; i < 3; ++i) stage.convertAndSend(block.data(), 10'000, 0, "test");
    ASSERT_TRUE(idlesTwiceFromNow(stage));
    EXPECT_EQ(codec.conversions().size(), chunks.size());
  }
}

TEST_F(AcmConvertTest, UnpreparedPutsTheChunkBackAndOtherErrorsDropIt) {
  codec.results = {ACMERR_UNPREPARED, MMSYSERR_ERROR};
  ASSERT_EQ(stage.openStream(56000), kInitOpened);
  stage.startConvertThread();
  feed(50'000);
  ASSERT_TRUE(test::eventually([&] { return codec.conversions().size() == 1; }));
  EXPECT_EQ(stage.pendingBytes(), 50'000) << "the read position is where it was";
  feed(60'000);  // the first block prepares the header again
  ASSERT_TRUE(test::eventually([&] { return codec.conversions().size() == 3 && sink.sent == 500; }));
  auto conversions = codec.conversions();
  EXPECT_EQ(conversions[1].pcm, fed(0, 50'000)) << "the same chunk again, failing otherwise: dropped";
  EXPECT_EQ(conversions[2].pcm, fed(50'000, 50'000));
}

TEST(VoiceoverMixTest, MicrophoneIsAddedToTheScaledMusic) {
  const std::tuple<int16_t, float, int16_t, int16_t> cases[] = {
      {1000, 0.5f, 200, 700}, {30000, 1.0f, 10000, 32767}, {-30000, 1.0f, -10000, -32767},
      {-3, 0.5f, 0, -1},      {12345, 0.0f, -17, -17},     {-32768, 1.0f, 0, -32767},
  };
  for (auto [music, gain, microphone, expected] : cases) {
    auto block = samples({music});
    ConversionStage::mixSamples(block.data(), samples({microphone}).data(), 2, gain);
    EXPECT_EQ(block, samples({expected})) << music << " x " << gain << " + " << microphone;
  }
}

TEST_F(AcmConvertTest, PlugInWorksOnACopyAndMayChangeTheFrameCountBeforeTheVisualisation) {
  TrackFormat track{"/music/a.mp3", 44100, 2};
  ASSERT_EQ(stage.openStream(56000, &track), kInitOpened);
  auto block = samples({100, -200, 300, -400});
  for (int framesOut : {1, 4}) {  // fewer, and the block once more after itself
    test::FakeDspAndVisual dsp;
    dsp.framesOut = framesOut;
    stage.setDspHost(&dsp);
    stage.setVisual(&dsp);
    ASSERT_TRUE(stage.convertAndSend(block.data(), 8, 1, "test"));
    EXPECT_EQ(dsp.calls.at(0), std::pair(2, 44100));
    auto negated = samples({-100, 200, -300, 400, -100, 200, -300, 400});
    EXPECT_EQ(dsp.shown.at(0), std::vector<uint8_t>(negated.begin(), negated.begin() + 4 * framesOut));
    stage.setDspHost(nullptr);
    stage.setVisual(nullptr);
  }
  EXPECT_EQ(block, samples({100, -200, 300, -400})) << "the source's block stays as it was";
}

TEST(AcmOpenTest, FailuresToOpenTellTheMemberAndLeaveNoDriverOpen) {
  test::LogTail log;
  // A codec without formats is found when the stage is made; a stream it refuses when it opens.
  for (auto [formatless, lineSpeed, expected, boxes] : {std::tuple{true, 56000, kInitNoFormats, 1u},
                                                        {false, 24000, kInitStreamFailed, 1u},
                                                        {false, 32000, kInitOpened, 0u}}) {
    test::FakeCodec codec;
    if (formatless) codec.formats = {makePcmFormat(22050, 2)};
    test::FakePrompts prompts;
    test::FakeSink sink;
    test::FakeExit exit;
    test::FakeStatus status;
    ConversionStage stage(sink, status, codec, prompts, exit);
    if (expected == kInitStreamFailed) codec.streamPolicy = [](auto&, auto&) { return ACMERR_NOTPOSSIBLE; };
    EXPECT_EQ(stage.openStream(lineSpeed), expected);
    EXPECT_EQ(prompts.boxes().size(), boxes) << lineSpeed;
    EXPECT_EQ(exit.ended, formatless) << "a codec that does not answer ends the program";
    EXPECT_EQ(codec.openDrivers.load(), expected == kInitOpened ? 1 : 0)
        << "no driver stays open after a failure";
    EXPECT_EQ(status.refreshes, expected == kInitStreamFailed ? 1 : 0) << "the refused line-in stream";
  }
}

}  // namespace
}  // namespace brovana
