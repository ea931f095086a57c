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

class ConversionStageTest : public ::testing::Test, public test::StageRig {
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

TEST_F(ConversionStageTest, EncodesOnlyChunksOf50000BytesAndSendsWhatComesOut) {
  encoders.outputPer100 = 40;
  ASSERT_EQ(stage.openStream(56000), StreamOpen::Opened);
  stage.startConvertThread();
  feed(40'000);
  ASSERT_TRUE(idlesTwiceFromNow(stage));
  EXPECT_TRUE(encoders.calls().empty());
  feed(80'000);
  ASSERT_TRUE(test::eventually([&] { return sink.sent == 40'000; }));
  auto calls = encoders.calls();
  ASSERT_EQ(calls.size(), 2u) << "the last 20,000 bytes wait for more";
  EXPECT_EQ(calls[0].pcm, fed(0, 50'000));
  EXPECT_EQ(calls[1].pcm, fed(50'000, 50'000));
  EXPECT_EQ(stage.pendingBytes(), 20'000);
  int produced = 0;
  EXPECT_TRUE(test::eventually([&] { return (produced += stage.takeBytesSent()) >= 40'000; }));
}

TEST_F(ConversionStageTest, FlushEmptiesTheRingWhateverItHolds) {
  for (auto [pending, chunks] : {std::pair{120'000, std::vector{50'000, 50'000, 20'000}}, {0, {0}}}) {
    SCOPED_TRACE(pending);
    test::StageRig rig;
    ASSERT_EQ(rig.stage.openStream(56000), StreamOpen::Opened);
    auto block = pcm(10'000, 1);
    for (int done = 0; done < pending; done += 10'000)
      rig.stage.convertAndSend(block.data(), 10'000, 0, "test");
    rig.stage.flush();
    rig.stage.startConvertThread();
    ASSERT_TRUE(test::eventually([&] { return !rig.stage.flushing(); }));
    auto calls = rig.encoders.calls();
    ASSERT_EQ(calls.size(), chunks.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(static_cast<int>(calls[i].pcm.size()), chunks[i]);
      EXPECT_EQ(calls[i].flushed, i + 1 == chunks.size()) << "the encoder is flushed with the last chunk";
    }
    EXPECT_EQ(rig.sink.flushes.load(), 1);
    // After the flush the 50,000-byte rule holds again.
    for (int i = 0; i < 3; ++i) rig.stage.convertAndSend(block.data(), 10'000, 0, "test");
    ASSERT_TRUE(idlesTwiceFromNow(rig.stage));
    EXPECT_EQ(rig.encoders.calls().size(), chunks.size());
  }
}

TEST_F(ConversionStageTest, AFailedEncodeDropsItsChunkAndAFailedLastOneStillServesTheFlush) {
  encoders.results = {false, true, false};
  ASSERT_EQ(stage.openStream(56000), StreamOpen::Opened);
  stage.startConvertThread();
  feed(100'000);
  ASSERT_TRUE(test::eventually([&] { return encoders.calls().size() == 2 && sink.sent == 500; }));
  auto calls = encoders.calls();
  EXPECT_EQ(calls[0].pcm, fed(0, 50'000));
  EXPECT_EQ(calls[1].pcm, fed(50'000, 50'000)) << "the next chunk, not the failed one again";
  feed(10'000);
  stage.flush();
  EXPECT_TRUE(test::eventually([&] { return !stage.flushing(); }));
  EXPECT_EQ(sink.sent, 500);
}

TEST(VoiceoverMixTest, MicrophoneIsAddedToTheMusic) {
  const std::tuple<int16_t, int16_t, int16_t> cases[] = {
      {1000, 200, 1200}, {30000, 10000, 32767}, {-30000, -10000, -32767}, {-32768, 0, -32767}, {-3, 2, -1},
  };
  for (auto [music, microphone, expected] : cases) {
    auto block = samples({music});
    ConversionStage::mixSamples(block.data(), samples({microphone}).data(), 2);
    EXPECT_EQ(block, samples({expected})) << music << " + " << microphone;
  }
}

// The music goes down under the voiceover and back up after it across a block, not in one jump.
TEST_F(ConversionStageTest, MusicFadesUnderTheVoiceoverAndBackAfterIt) {
  TrackFormat track{"/music/a.mp3", 44100, 2};
  ASSERT_EQ(stage.openStream(56000, &track), StreamOpen::Opened);
  test::FakeDspAndVisual heard;
  stage.setVisual(&heard);
  SideChannel microphone(4096);  // silent: nothing written to it
  stage.setMusicGain(0.5f);
  const std::vector<uint8_t> music = samples(std::vector<int16_t>(200, 10000));
  const struct {
    bool voiceover;
    int16_t firstAbove, firstBelow, last;
  } steps[] = {{true, 9000, 10000, 5000},
               {true, 4999, 5001, 5000},
               {false, 5000, 6000, 10000},
               {false, 9999, 10001, 10000}};
  for (const auto& step : steps) {
    stage.setSideChannel(step.voiceover ? &microphone : nullptr);
    ASSERT_TRUE(stage.convertAndSend(music.data(), static_cast<int>(music.size()), 1, "test"));
    std::vector<int16_t> out(heard.shown.back().size() / 2);
    std::memcpy(out.data(), heard.shown.back().data(), heard.shown.back().size());
    EXPECT_GT(out.front(), step.firstAbove);
    EXPECT_LT(out.front(), step.firstBelow);
    EXPECT_EQ(out.back(), step.last);
    bool down = step.voiceover;
    EXPECT_TRUE(down ? std::ranges::is_sorted(out, std::greater<>{}) : std::ranges::is_sorted(out))
        << "a steady glide";
  }
  stage.setVisual(nullptr);
}

TEST_F(ConversionStageTest, PlugInWorksOnACopyAndMayChangeTheFrameCountBeforeTheVisualisation) {
  TrackFormat track{"/music/a.mp3", 44100, 2};
  ASSERT_EQ(stage.openStream(56000, &track), StreamOpen::Opened);
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

TEST(ConversionOpenTest, FailuresToOpenTellTheMemberAndLeaveNoEncoderOpen) {
  test::LogTail log;
  struct Case {
    const char* what;
    bool formatless, refusing, without56k;
    int lineSpeed;
    StreamOpen expected;
    size_t boxes;
  };
  // A library without formats is found when the stage is made; an encoder it refuses when it opens.
  const Case cases[] = {
      {"no formats", true, false, false, 56000, StreamOpen::NoFormats, 1},
      {"refused line-in", false, true, false, 24000, StreamOpen::Refused, 1},
      {"invalid line speed", false, false, false, 20000, StreamOpen::NoFormatForLineSpeed, 2},
      {"format not made", false, false, true, 56000, StreamOpen::NoFormatForLineSpeed, 1},
      {"opened", false, false, false, 32000, StreamOpen::Opened, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::FakeEncoders encoders;
    if (c.formatless) encoders.offered.clear();
    if (c.without56k) encoders.offered.pop_back();
    test::FakePrompts prompts;
    test::FakeSink sink;
    test::FakeExit exit;
    test::FakeStatus status;
    ConversionStage stage(sink, status, encoders, prompts, exit);
    if (c.refusing) encoders.refusal = [](auto&, auto&) { return "refused"; };
    EXPECT_EQ(stage.openStream(c.lineSpeed), c.expected);
    EXPECT_EQ(prompts.boxes().size(), c.boxes);
    EXPECT_EQ(exit.ended, c.formatless) << "a library that is not usable ends the program";
    EXPECT_EQ(encoders.openEncoders.load(), c.expected == StreamOpen::Opened ? 1 : 0);
    EXPECT_EQ(status.refreshes, c.refusing ? 1 : 0) << "the refused line-in stream";
  }
}

TEST(ConversionOpenTest, EachLineSpeedStreamsItsOwnMp3FormatFromTheTrackOrItsOwnPcm) {
  for (auto [lineSpeed, rate, channels] : kLineSpeedFormats) {
    SCOPED_TRACE(lineSpeed);
    test::StageRig rig;
    ASSERT_EQ(rig.stage.openStream(lineSpeed), StreamOpen::Opened);
    EXPECT_EQ(rig.stage.getMp3Format(), (EncodedFormat{Codec::Mp3, rate, channels, lineSpeed}));
    EXPECT_EQ(rig.stage.getSourceFormat(), (PcmFormat{rate, channels})) << "line-in";
    TrackFormat track{"/music/a.mp3", 44100, 2};
    ASSERT_EQ(rig.stage.openStream(lineSpeed, &track), StreamOpen::Opened);
    EXPECT_EQ(rig.stage.getSourceFormat(), (PcmFormat{44100, 2}));
    EXPECT_EQ(rig.encoders.openEncoders.load(), 1) << "the previous encoder was closed";
  }
}

}  // namespace
}  // namespace brovana
