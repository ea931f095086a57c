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

std::vector<uint8_t> samples(std::initializer_list<int16_t> values) {
  std::vector<uint8_t> out(values.size() * 2);
  std::memcpy(out.data(), values.begin(), out.size());
  return out;
}

std::vector<uint8_t> repeated(int16_t value, size_t count) {
  std::vector<uint8_t> out(count * 2);
  for (size_t i = 0; i < count; ++i) std::memcpy(out.data() + 2 * i, &value, 2);
  return out;
}

int16_t sampleAt(const std::vector<uint8_t>& bytes, size_t i) {
  int16_t s;
  std::memcpy(&s, bytes.data() + 2 * i, 2);
  return s;
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

  // Hands PCM in as a source would, in blocks of `blockBytes`; the bytes handed in are kept.
  void feed(int bytes, int blockBytes = 10'000) {
    for (int done = 0; done < bytes; done += blockBytes) {
      auto block = pcm(std::min(blockBytes, bytes - done), blocks_++);
      ASSERT_TRUE(stage().convertAndSend(block.data(), static_cast<int>(block.size()), blocks_, "test"));
      input.insert(input.end(), block.begin(), block.end());
    }
  }

  uint32_t inputSum(size_t from, size_t length) const { return test::checksum(input.data() + from, length); }

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

TEST_F(AcmConvertTest, ConvertsOnlyChunksOfAtLeast50000Bytes) {
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().startConvertThread();
  feed(40'000);
  EXPECT_EQ(stage().sourceBufferSize(), 50'000) << "the codec's small answer is raised to the floor";
  std::this_thread::sleep_for(100ms);  // ten idle passes of the conversion thread
  EXPECT_TRUE(codec.conversions().empty());
  feed(10'000);
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1 && sink.sends() == 1; }));
  auto conversions = codec.conversions();
  EXPECT_EQ(conversions[0].bytes, 50'000);
  EXPECT_EQ(conversions[0].sum, inputSum(0, 50'000));
  EXPECT_EQ(sink.stream().size(), 500u) << "the codec's output goes to the connection as it is";
  EXPECT_TRUE(sink.allowedReconnect());
  // The count grows just after the send returns.
  int produced = 0;
  EXPECT_TRUE(waitFor([&] { return (produced += stage().takeBytesSent()) >= 500; }));
  EXPECT_EQ(produced, 500);
  EXPECT_EQ(stage().takeBytesSent(), 0) << "taken";
}

TEST_F(AcmConvertTest, LargerSourceBufferTakesLargerChunks) {
  codec.sourceSizeAnswer = 80'000;
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(190'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 2; }));
  std::this_thread::sleep_for(50ms);
  auto conversions = codec.conversions();
  ASSERT_EQ(conversions.size(), 2u) << "30,000 bytes stay for later";
  EXPECT_EQ(conversions[0].bytes, 80'000);
  EXPECT_EQ(conversions[1].sum, inputSum(80'000, 80'000));
}

TEST_F(AcmConvertTest, FlushEmptiesTheRingWhateverItHolds) {
  struct Case {
    int pending;
    std::vector<int> chunks;  // the last one with the end flag
  };
  for (const Case& c : {Case{120'000, {50'000, 50'000, 20'000}}, Case{20'000, {20'000}}, Case{0, {0}},
                        Case{50'000, {50'000}}}) {
    SCOPED_TRACE(c.pending);
    test::FakeCodec codec;
    test::FakeSink sink;
    codec.drivers.push_back({3, test::nominalFormats()});
    AcmConvert stage(sink, status, codec, prompts, exit);
    ASSERT_EQ(stage.InitACM(56000), kInitOpened);
    auto block = pcm(10'000, 1);
    stage.convertAndSend(block.data(), 0, 0, "test");  // prepares the header
    for (int done = 0; done < c.pending; done += 10'000)
      stage.convertAndSend(block.data(), 10'000, 0, "test");
    stage.flush();
    stage.startConvertThread();
    ASSERT_TRUE(waitFor([&] { return !stage.flushing(); }));
    auto conversions = codec.conversions();
    ASSERT_EQ(conversions.size(), c.chunks.size());
    for (size_t i = 0; i < conversions.size(); ++i) {
      EXPECT_EQ(conversions[i].bytes, c.chunks[i]);
      EXPECT_EQ(conversions[i].flags, i + 1 == conversions.size() ? ACM_STREAMCONVERTF_END : 0u);
    }
    EXPECT_EQ(stage.pendingBytes(), 0);
    EXPECT_EQ(sink.flushes(), 1);
    // After the flush the 50,000-byte rule holds again.
    for (int i = 0; i < 3; ++i) stage.convertAndSend(block.data(), 10'000, 0, "test");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(codec.conversions().size(), c.chunks.size());
  }
}

TEST_F(AcmConvertTest, NewStreamDropsAFlushTheOldOneDidNotServe) {
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(20'000);
  stage().flush();
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  EXPECT_FALSE(stage().flushing());
  feed(60'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  std::this_thread::sleep_for(50ms);
  auto conversions = codec.conversions();
  ASSERT_EQ(conversions.size(), 1u);
  EXPECT_EQ(conversions[0].bytes, 50'000);
  EXPECT_EQ(conversions[0].flags, 0u);
}

TEST_F(AcmConvertTest, UnpreparedConversionPutsTheChunkBack) {
  codec.failNextConversions({ACMERR_UNPREPARED});
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().startConvertThread();
  feed(50'000);
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  EXPECT_EQ(stage().pendingBytes(), 50'000) << "the read position is where it was";
  feed(10'000);  // the next block prepares the header again
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 2 && sink.sends() == 1; }));
  auto conversions = codec.conversions();
  EXPECT_EQ(conversions[0].result, ACMERR_UNPREPARED);
  EXPECT_EQ(conversions[1].result, MMSYSERR_NOERROR);
  EXPECT_EQ(conversions[1].sum, inputSum(0, 50'000)) << "the same chunk again";
  EXPECT_EQ(sink.stream().size(), 500u);
}

TEST_F(AcmConvertTest, OtherConversionErrorDropsTheChunk) {
  codec.failNextConversions({MMSYSERR_ERROR});
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(100'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 2 && sink.sends() == 1; }));
  auto conversions = codec.conversions();
  EXPECT_EQ(conversions[1].sum, inputSum(50'000, 50'000));
  int produced = 0;
  EXPECT_TRUE(waitFor([&] { return (produced += stage().takeBytesSent()) >= 500; }));
  EXPECT_EQ(produced, 500) << "only the chunk that converted";
}

TEST_F(AcmConvertTest, PcmOfTheOldStreamGoesOutAsSilenceInTheNext) {
  TrackFormat track{"/music/a.mp3", 22050, 2};
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  int opened = codec.streamsOpened();
  feed(30'000);
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  EXPECT_EQ(codec.openStreams(), 1) << "the previous stream was closed";
  EXPECT_EQ(codec.streamsOpened(), opened + 1);
  feed(20'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  auto chunk = codec.conversions()[0].pcm;
  EXPECT_TRUE(std::all_of(chunk.begin(), chunk.begin() + 30'000, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(test::checksum(chunk.data() + 30'000, 20'000), inputSum(30'000, 20'000));
}

TEST(VoiceoverMixTest, MicrophoneIsAddedToTheScaledMusic) {
  struct Case {
    int16_t music;
    float gain;
    int16_t microphone;
    int16_t expected;
  };
  const Case cases[] = {
      {1000, 0.5f, 200, 700}, {30000, 1.0f, 10000, 32767}, {-30000, 1.0f, -10000, -32767}, {-3, 0.5f, 0, -1},
      {3, 0.5f, 0, 1},        {12345, 0.0f, -17, -17},     {-32768, 1.0f, 0, -32767},
  };
  for (const Case& c : cases) {
    auto music = samples({c.music});
    auto microphone = samples({c.microphone});
    AcmConvert::mixSamples(music.data(), microphone.data(), 2, c.gain);
    EXPECT_EQ(sampleAt(music, 0), c.expected) << c.music << " x " << c.gain << " + " << c.microphone;
  }
}

TEST_F(AcmConvertTest, VoiceoverIsMixedIntoAsMuchOfTheBlockAsTheMicrophoneHas) {
  SideChannel side(1'000'000);
  auto microphone = repeated(200, 50);
  ASSERT_TRUE(side.addData(microphone.data(), 100));
  test::FakeVisual visual;
  stage().setSideChannel(&side);
  stage().setVisual(&visual);
  stage().setMusicGain(0.5f);
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);

  auto music = repeated(1000, 2000);
  ASSERT_TRUE(stage().convertAndSend(music.data(), 4000, 1, "test"));
  ASSERT_EQ(visual.blocks.size(), 1u);
  const auto& mixed = visual.blocks[0];
  EXPECT_EQ(sampleAt(mixed, 0), 700);
  EXPECT_EQ(sampleAt(mixed, 49), 700);
  EXPECT_EQ(sampleAt(mixed, 50), 1000) << "no microphone left: unchanged";
  EXPECT_EQ(sampleAt(mixed, 1999), 1000);
  EXPECT_EQ(sampleAt(music, 0), 1000) << "the caller's block is left alone";
  stage().setSideChannel(nullptr);
  stage().setVisual(nullptr);
}

TEST_F(AcmConvertTest, MicrophoneOfAnotherSampleWidthIsTakenButNotMixed) {
  SideChannel side(1000);
  side.setFormat(1, 2);
  auto microphone = pcm(200, 1);
  side.addData(microphone.data(), 200);
  stage().setSideChannel(&side);
  stage().setMusicGain(1.0f);
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  auto music = pcm(400, 2);
  stage().convertAndSend(music.data(), 400, 1, "test");
  EXPECT_EQ(side.getData(microphone.data(), 200), 0) << "consumed";
  stage().setSideChannel(nullptr);
  stage().flush();
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  EXPECT_EQ(codec.conversions()[0].pcm, music);
}

TEST_F(AcmConvertTest, PlugInWorksOnACopyAndMayChangeTheFrameCountBeforeTheMixAndTheVisualisation) {
  TrackFormat track{"/music/a.mp3", 44100, 2};
  ASSERT_EQ(stage().InitACM(56000, &track), kInitOpened);
  auto block = samples({100, -200, 300, -400});
  for (int framesOut : {1, 4}) {  // fewer, and the block once more after itself
    test::FakeDsp dsp;
    dsp.framesOut = framesOut;
    test::FakeVisual visual;
    stage().setDspHost(&dsp);
    stage().setVisual(&visual);
    ASSERT_TRUE(stage().convertAndSend(block.data(), 8, 1, "test"));
    EXPECT_EQ(dsp.calls.at(0).frames, 2);
    EXPECT_EQ(dsp.calls.at(0).rate, 44100);
    auto negated = samples({-100, 200, -300, 400, -100, 200, -300, 400});
    EXPECT_EQ(visual.blocks.at(0), std::vector<uint8_t>(negated.begin(), negated.begin() + 4 * framesOut));
  }
  EXPECT_EQ(block, samples({100, -200, 300, -400})) << "the source's block stays as it was";
  stage().setDspHost(nullptr);
  stage().setVisual(nullptr);
}

TEST_F(AcmConvertTest, OpenResults) {
  struct Case {
    const char* name;
    std::function<void(test::FakeCodec&)> before;  // before the stage is built
    std::function<void(test::FakeCodec&)> after;   // after
    int lineSpeed;
    int expected;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"no MP3 format at all",
       [](test::FakeCodec& c) { c.drivers[0].formats = {makePcmFormat(22050, 2)}; },
       {},
       56000,
       kInitNoFormats,
       {}},
      {"no format for the line speed",
       [](test::FakeCodec& c) { c.drivers[0].formats.erase(c.drivers[0].formats.begin()); },
       {},
       16000,
       kInitNoFormatForLineSpeed,
       {"Your MP3 driver doesn't support selected format!"}},
      {"invalid line speed",
       {},
       {},
       28800,
       kInitNoFormatForLineSpeed,
       {"Linespeed of 28800 is invalid. Use the Account info page to try a different linespeed.",
        "Your MP3 driver doesn't support selected format!"}},
      {"driver fails to open",
       {},
       [](test::FakeCodec& c) { c.drivers[0].opens = false; },
       56000,
       kInitDriverFailed,
       {"unable to open the driver, mmerr=7, had=0, hadid=3, bitrate=56000",
        "tag=85, channels=2, samp/sec=22050, bytes/sec=7000"}},
      {"line-in stream refused",
       {},
       [](test::FakeCodec& c) {
         c.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return ACMERR_NOTPOSSIBLE; };
       },
       24000,
       kInitStreamFailed,
       {"This MP3 codec failed to open for your line-in conversion stream."}},
      {"line-in opened", {}, {}, 32000, kInitOpened, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeCodec codec;
    codec.drivers.push_back({3, test::nominalFormats()});
    if (c.before) c.before(codec);
    test::FakePrompts prompts;
    test::FakeStatus status;
    AcmConvert stage(sink, status, codec, prompts, exit);
    if (c.after) c.after(codec);
    size_t logBefore = test::logText().size();
    size_t boxesBefore = prompts.boxTexts().size();  // the codec check may have spoken already
    EXPECT_EQ(stage.InitACM(c.lineSpeed), c.expected);
    auto boxes = prompts.boxTexts();
    EXPECT_EQ(std::vector<std::string>(boxes.begin() + static_cast<long>(boxesBefore), boxes.end()), c.boxes);
    EXPECT_EQ(codec.openDrivers(), c.expected == kInitOpened ? 1 : 0)
        << "no driver stays open after a failure";
    if (c.expected == kInitStreamFailed) {
      EXPECT_NE(test::logText().find("This MP3 codec failed to open for your line-in conversion stream.\n",
                                     logBefore),
                std::string::npos);
      EXPECT_EQ(status.refreshes, 1);
    }
    if (c.expected == kInitOpened) {
      auto source = stage.getSourceFormat();
      ASSERT_TRUE(source);
      EXPECT_EQ(source->wfx.nSamplesPerSec, 11025u) << "line-in: the line speed's own PCM format";
      EXPECT_EQ(source->wfx.nChannels, 2);
    }
  }
}

TEST_F(AcmConvertTest, TrackTheCodecCannotConvertIsSkipped) {
  struct Case {
    const char* name;
    int channels;
    bool refuseAll;
    std::string statusLine;
    std::vector<std::string> logLines;
  };
  const Case cases[] = {
      {"mono to stereo",
       1,
       false,
       "Cannot convert mono track to stereo, voice.mp3 skipped",
       {"This MP3 codec cannot convert /music/talk/voice.mp3 to from MONO to STEREO\n",
        "so must skip this track, mmerr=512\n"}},
      {"other refusal",
       2,
       true,
       "Cannot convert track voice.mp3",
       {"This MP3 codec cannot convert /music/talk/voice.mp3 to your chosen line speed,\nwhich happens with "
        "some "
        "bitrate combinations (such as files ripped at 24000 and transmitted at 56000).\nTry a different "
        "connection "
        "rate. mmerr=512\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakeCodec codec;
    codec.drivers.push_back({3, test::nominalFormats()});
    if (c.refuseAll)  // no resampling at all
      codec.streamPolicy = [](const WaveFormat& s, const WaveFormat& d) {
        return s.wfx.nSamplesPerSec == d.wfx.nSamplesPerSec ? MMSYSERR_NOERROR : ACMERR_NOTPOSSIBLE;
      };
    test::FakeStatus status;
    AcmConvert stage(sink, status, codec, prompts, exit);
    size_t logBefore = test::logText().size();
    int failedBefore = Logger::failedFiles();
    TrackFormat track{"/music/talk/voice.mp3", 24000, c.channels};
    EXPECT_EQ(stage.InitACM(56000, &track), kInitStreamFailed);
    EXPECT_EQ(status.errors, std::vector<std::string>{c.statusLine});
    for (const std::string& line : c.logLines)
      EXPECT_NE(test::logText().find(line, logBefore), std::string::npos)
          << test::logText().substr(logBefore);
    EXPECT_EQ(Logger::failedFiles(), failedBefore + 1);
    EXPECT_EQ(status.refreshes, 1);
    EXPECT_EQ(codec.openDrivers(), 0);
    EXPECT_EQ(codec.lastSource().wfx.nSamplesPerSec, 24000u) << "the track's own format";
    EXPECT_EQ(stage.getSourceFormat()->wfx.nChannels, c.channels);
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
  EXPECT_FALSE(stage().hasFormats());
  EXPECT_EQ(stage().InitACM(56000), kInitNoFormats);
}

TEST_F(AcmConvertTest, CloseStopsTheThreadWhenAsked) {
  stage().shutDown();  // no thread yet: nothing to wait for
  stage().startConvertThread();
  EXPECT_TRUE(stage().threadRunning()) << "a shutDown before the start does not stop the new thread";
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().closeACM(false);
  EXPECT_TRUE(stage().threadRunning());
  EXPECT_EQ(codec.openStreams(), 0);
  stage().closeACM(true);
  EXPECT_TRUE(waitFor([&] { return !stage().threadRunning(); }));
  stage().startConvertThread();
  EXPECT_TRUE(stage().threadRunning()) << "a stopped stage can start again";
}

TEST_F(AcmConvertTest, CloseInsideCloseReturnsAtOnce) {
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(1000);  // prepares the header, so that closing unprepares it
  int nested = 0;
  codec.onUnprepare = [&] {
    stage().closeACM(false);
    ++nested;
  };
  stage().closeACM(false);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(codec.openStreams(), 0);
  EXPECT_EQ(codec.openDrivers(), 0);
  codec.onUnprepare = nullptr;
}

TEST_F(AcmConvertTest, HeaderThatFailsToPrepareIsPreparedAgainWithTheNextBlock) {
  codec.prepareResult = MMSYSERR_NOMEM;
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  stage().startConvertThread();
  feed(60'000);
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(codec.conversions().empty()) << "nothing is converted with an unprepared header";
  codec.prepareResult = MMSYSERR_NOERROR;
  feed(10'000);
  ASSERT_TRUE(waitFor([&] { return codec.conversions().size() == 1; }));
  EXPECT_EQ(codec.conversions()[0].sum, inputSum(0, 50'000));
}

TEST_F(AcmConvertTest, DestinationBufferHoldsTheOutputOfAWholeChunk) {
  codec.destinationSizeAnswer = 1000;  // about 100,000 destination bytes: a poor answer
  codec.sourceSizeAnswer = 40'000;     // and an honest one about the source
  codec.outputPer100 = 40;
  ASSERT_EQ(stage().InitACM(56000), kInitOpened);
  feed(50'000);
  stage().startConvertThread();
  ASSERT_TRUE(waitFor([&] { return sink.sends() == 1; }));
  EXPECT_EQ(sink.stream().size(), 20'000u) << "nothing cut off";
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
