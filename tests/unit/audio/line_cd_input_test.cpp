#include "audio/line_cd_input.h"

#include <gtest/gtest.h>

#include <condition_variable>

#include "fakes.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

using test::waitFor;

// A sound card whose reads complete only as the test releases them.
class FakeWaveIn : public WaveInDevice {
 public:
  int openStatus = kWaveInOk;
  int startStatus = kWaveInOk;
  int ownRate = 0;  // the rate it records at; 0: any

  WaveInOpened open(int rate, int channels) override {
    std::lock_guard lock(mutex_);
    opens_.push_back(std::to_string(rate) + "/" + std::to_string(channels));
    stopped_ = false;
    channels_ = channels;
    return {openStatus, ownRate ? ownRate : rate};
  }
  int start() override { return startStatus; }
  int read(int16_t* samples, int frames) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return released_ > 0 || stopped_; });
    if (stopped_) return 0;
    --released_;
    frames_.push_back(frames);
    std::fill(samples, samples + frames * channels_, int16_t{1000});
    return frames;
  }
  void stop() override {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  void close() override {
    std::lock_guard lock(mutex_);
    ++closes_;
  }

  void release(int buffers) {
    std::lock_guard lock(mutex_);
    released_ += buffers;
    changed_.notify_all();
  }
  std::vector<std::string> opens() const { return locked(opens_); }
  std::vector<int> frames() const { return locked(frames_); }
  int closes() const { return locked(closes_); }

 private:
  template <class T>
  T locked(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int released_ = 0;
  bool stopped_ = false;
  int channels_ = 0;
  std::vector<std::string> opens_;
  std::vector<int> frames_;
  int closes_ = 0;
};

class FakeReports : public CaptureReports {
 public:
  void dataCounter(std::string_view text) override {
    std::lock_guard lock(mutex_);
    counter_ = text;
  }
  void trackTimes(int, int) override {}
  void onAirTitle() override {}
  void listeners() override {}
  void quality(float, int) override {}
  std::string counter() const {
    std::lock_guard lock(mutex_);
    return counter_;
  }

 private:
  mutable std::mutex mutex_;
  std::string counter_;
};

// The stage reads its formats when it is made.
struct NominalCodec : test::FakeCodec {
  NominalCodec() { drivers.push_back({3, test::nominalFormats()}); }
};

class LineCDInputTest : public ::testing::Test {
 protected:
  // Before the stage is made: it logs.
  static void SetUpTestSuite() { test::logInScratchFolder(); }
  void SetUp() override {
    capture.setReports(&reports);
    capture.setVisual(&visual);
  }
  // The playlist engine's side: a track opens the stage in its format (mono at a mono rate).
  void playTrack(int rate, int channels) {
    TrackFormat track{"track.mp3", rate, channels};
    ASSERT_EQ(stage.InitACM(channels == 1 ? 24000 : 56000, &track), kInitOpened);
  }
  int sideChannelBytes() { return capture.sideChannel()->ring()->unread(); }

  NominalCodec codec;
  test::FakeSink sink;
  test::FakeStatus status;
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeVisual visual;
  FakeReports reports;
  AcmConvert stage{sink, status, codec, prompts, exit};
  std::unique_ptr<FakeWaveIn> owned = std::make_unique<FakeWaveIn>();
  FakeWaveIn* device = owned.get();
  LineCDInput capture{stage, std::move(owned), prompts};
};

TEST_F(LineCDInputTest, DirectLineInIsRecordedAtTheStreamFormatAndEncoded) {
  ASSERT_TRUE(capture.startInput(32000));
  EXPECT_EQ(device->opens(), std::vector<std::string>{"11025/2"});
  EXPECT_EQ(capture.bufferLength(), 25'000);
  device->release(2);
  EXPECT_TRUE(waitFor([&] { return reports.counter() == "(output) 50 kb"; })) << reports.counter();
  EXPECT_EQ(device->frames(), (std::vector<int>{6250, 6250}));

  capture.closeLineIn();
  capture.closeLineIn();
  EXPECT_FALSE(capture.isOpen());
  EXPECT_EQ(device->closes(), 1);
  EXPECT_EQ(stage.pendingBytes(), 50'000) << "both buffers went to the conversion stage";
  ASSERT_FALSE(visual.blocks.empty());
  EXPECT_TRUE(visual.blocks.back().empty()) << "the visualisation hears that no PCM flows";
}

TEST_F(LineCDInputTest, VoiceoverFollowsTheTrackFormatIntoTheSideChannel) {
  playTrack(44100, 2);
  capture.setVoiceover(true);
  ASSERT_TRUE(capture.startInput(56000));
  EXPECT_EQ(stage.getSideChannel(), capture.sideChannel());
  EXPECT_EQ(capture.bufferLength(), 32'768);
  device->release(1);
  EXPECT_TRUE(waitFor([&] { return capture.bytesCaptured() == 32'768; }));

  // Another track of the same shape changes nothing; a new shape reopens the microphone in it,
  // with the side channel primed afresh.
  playTrack(44100, 2);
  capture.trackChanged();
  playTrack(22050, 1);
  capture.trackChanged();
  EXPECT_EQ(device->opens(), (std::vector<std::string>{"44100/2", "22050/1"}));
  EXPECT_EQ(capture.captureFormat()->wfx.nChannels, 1);
  EXPECT_EQ(sideChannelBytes(), AcmConvert::kRingBytes / 4);
  EXPECT_TRUE(capture.isOpen());
  EXPECT_EQ(reports.counter(), "") << "a voiceover shows no data counter";

  // Its end detaches the side channel, and the next capture is a direct one again.
  capture.closeLineIn();
  EXPECT_FALSE(capture.voiceover());
  EXPECT_EQ(stage.getSideChannel(), nullptr);
  ASSERT_TRUE(capture.startInput(32000));
  device->release(1);
  EXPECT_TRUE(waitFor([&] { return reports.counter() == "(output) 57 kb"; })) << reports.counter();
}

TEST_F(LineCDInputTest, FailedStartsTellTheMemberAndLeaveNothingRunning) {
  struct Case {
    bool voiceover;
    bool stageOpen;
    int openStatus, startStatus;
    std::string box;
  } cases[] = {
      {true, false, kWaveInOk, kWaveInOk, kVoiceoverWithoutBroadcastText},
      {false, true, kWaveInBadFormat, kWaveInOk,
       "Unable to access your soundcard. The desired input format is not supported by your soundcard. "
       "err=32"},
      {true, true, kWaveInBusy, kWaveInOk, kSoundcardBusyText},
      {false, true, kWaveInOk, kWaveInFailed, kStartReadingFailedText},
  };
  for (const Case& c : cases) {
    if (c.stageOpen) playTrack(44100, 2);
    device->openStatus = c.openStatus;
    device->startStatus = c.startStatus;
    capture.setVoiceover(c.voiceover);
    EXPECT_FALSE(capture.startInput(32000)) << c.box;
    EXPECT_FALSE(capture.isOpen());
    EXPECT_FALSE(capture.voiceover()) << "a voiceover that did not start is over";
    ASSERT_FALSE(prompts.boxes().empty());
    EXPECT_EQ(prompts.boxes().back().text, c.box);
    stage.closeACM(false);
  }
  EXPECT_EQ(prompts.boxes().back().caption, "error.");
  EXPECT_EQ(device->closes(), 3) << "every device that was opened is closed again";
}

TEST_F(LineCDInputTest, DeviceWithoutTheRateIsConverted) {
  device->ownRate = 44100;
  ASSERT_TRUE(capture.startInput(32000));
  device->release(1);
  EXPECT_TRUE(waitFor([&] { return capture.bytesCaptured() > 0; }));
  EXPECT_EQ(device->frames(), std::vector<int>{25'000}) << "a buffer's time at the device's rate";
  // The filter keeps a few frames back for the next block.
  EXPECT_NEAR(static_cast<double>(capture.bytesCaptured()), 25'000, 200);
}

}  // namespace
}  // namespace brovana
