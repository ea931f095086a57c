#include "audio/capture.h"

#include <gtest/gtest.h>

#include <condition_variable>

#include "fakes.h"
#include "support/fake_views.h"

namespace brovana {
namespace {

using test::eventually;

// The sound card and the status display of the test: reads complete only as the test releases
// them, and what the capture asked and reported is noted in order, under one lock.
class FakeCard : public CaptureDevice, public test::FakeEngineReports {
 public:
  CaptureOpened open(int rate, int channels) override {
    note("open " + std::to_string(rate) + "/" + std::to_string(channels));
    std::lock_guard lock(mutex_);
    stopped_ = false;
    int status = refusals_ > 0 ? (--refusals_, kCaptureBusy) : openStatus;
    return {status, ownRate ? ownRate : rate};
  }
  int start() override { return startStatus; }
  int read(int16_t* samples, int frames) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return released_ > 0 || stopped_ || failed_; });
    if (stopped_) return 0;
    if (std::exchange(failed_, false)) return -1;
    --released_;
    log_ += "read " + std::to_string(frames) + ";";
    std::fill(samples, samples + frames, int16_t{1000});
    return frames;
  }
  void stop() override { release(0, true); }
  void close() override { note("close"); }
  void dataCounter(std::string_view text) override { note(std::string(text)); }
  void inputLost() override { note("lost"); }
  void inputRestored() override { note("back"); }
  // The card fails under the read in progress, and refuses the next `refusals` opens.
  void fail(int refusals) {
    std::lock_guard lock(mutex_);
    failed_ = true;
    refusals_ = refusals;
    changed_.notify_all();
  }

  void release(int buffers, bool stop = false) {
    std::lock_guard lock(mutex_);
    released_ += buffers;
    stopped_ = stopped_ || stop;
    changed_.notify_all();
  }
  void note(const std::string& what) {
    std::lock_guard lock(mutex_);
    log_ += what + ";";
  }
  // What was noted since the last call.
  std::string said() {
    std::lock_guard lock(mutex_);
    return std::exchange(log_, "");
  }
  bool saidSoFar(const std::string& what) {
    std::lock_guard lock(mutex_);
    return log_.find(what) != std::string::npos;
  }

  int openStatus = kCaptureOk, startStatus = kCaptureOk, ownRate = 0;  // set before a start

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string log_;
  int released_ = 0, refusals_ = 0;
  bool stopped_ = false, failed_ = false;
};

class CaptureTest : public ::testing::Test, public test::StageRig {
 protected:
  void SetUp() override {
    capture.setReports(&device);
    capture.setVisual(&visual);
  }
  // The playlist engine's side: a track opens the stage in its format (mono at a mono rate).
  void playTrack(int rate, int channels) {
    TrackFormat track{"track.mp3", rate, channels};
    ASSERT_EQ(stage.openStream(channels == 1 ? 24000 : 56000, &track), StreamOpen::Opened);
  }

  test::FakeDspAndVisual visual;
  std::unique_ptr<FakeCard> owned = std::make_unique<FakeCard>();
  FakeCard& device = *owned;
  Capture capture{stage, std::move(owned), prompts, test::nearestResampler, std::chrono::milliseconds(1)};
};

TEST_F(CaptureTest, DirectLineInIsRecordedInTheStreamFormatAndEncoded) {
  ASSERT_TRUE(capture.startInput(32000));
  EXPECT_EQ(capture.bufferLength(), 25'000);
  device.release(2);
  EXPECT_TRUE(eventually([&] { return device.saidSoFar("(output) 50 kb"); }));
  capture.closeLineIn();
  capture.closeLineIn();
  EXPECT_EQ(device.said(), "open 11025/2;read 6250;(output) 25 kb;read 6250;(output) 50 kb;close;");
  EXPECT_EQ(stage.pendingBytes(), 50'000) << "both buffers went to the conversion stage";
  ASSERT_FALSE(visual.shown.empty());
  EXPECT_TRUE(visual.shown.back().empty()) << "the visualisation hears that no PCM flows";

  // A device without the rate records a buffer's time at its own, which is converted.
  device.ownRate = 44100;
  ASSERT_TRUE(capture.startInput(32000));
  device.release(1);
  EXPECT_TRUE(eventually([&] { return capture.bytesCaptured() > 50'000; }));
  EXPECT_TRUE(device.saidSoFar("open 11025/2;read 25000;"));
  EXPECT_EQ(capture.bytesCaptured(), 75'000);
}

// A card that fails under a running capture is reported lost and opened again until it records;
// then the recording goes on where it was.
TEST_F(CaptureTest, ALostCardIsTriedAgainUntilItRecords) {
  ASSERT_TRUE(capture.startInput(32000));
  device.release(1);
  ASSERT_TRUE(eventually([&] { return device.saidSoFar("(output) 25 kb"); }));
  device.fail(2);
  ASSERT_TRUE(eventually([&] { return device.saidSoFar("back"); }));
  EXPECT_TRUE(capture.isOpen());
  device.release(1);
  EXPECT_TRUE(eventually([&] { return device.saidSoFar("(output) 50 kb"); }));
  capture.closeLineIn();
  EXPECT_EQ(device.said(),
            "open 11025/2;read 6250;(output) 25 kb;lost;close;open 11025/2;close;open 11025/2;close;"
            "open 11025/2;back;read 6250;(output) 50 kb;close;");

  // A close ends the tries of a card that does not come back.
  ASSERT_TRUE(capture.startInput(32000));
  device.fail(1'000'000);
  ASSERT_TRUE(eventually([&] { return device.saidSoFar("lost"); }));
  capture.closeLineIn();
  EXPECT_FALSE(capture.isOpen());
}

TEST_F(CaptureTest, VoiceoverFollowsTheTrackFormatUntilItEnds) {
  playTrack(44100, 2);
  capture.setVoiceover(true);
  ASSERT_TRUE(capture.startInput(56000));
  EXPECT_EQ(stage.getSideChannel(), capture.sideChannel());
  EXPECT_EQ(capture.bufferLength(), 32'768);
  device.release(1);
  EXPECT_TRUE(eventually([&] { return capture.bytesCaptured() == 32'768; }));

  // A track of the same shape changes nothing; a new shape reopens the microphone in it, with
  // the side channel primed with silence afresh.
  playTrack(44100, 2);
  capture.trackChanged();
  playTrack(22050, 1);
  capture.trackChanged();
  EXPECT_EQ(device.said(), "open 44100/2;read 8192;close;open 22050/1;") << "no data counter";
  EXPECT_EQ(capture.sideChannel()->ring()->unread(), ConversionStage::kRingBytes / 4);

  // Its end detaches the side channel, and the next capture is a direct one again.
  capture.closeLineIn();
  EXPECT_FALSE(stage.getSideChannel() || capture.voiceover());
}

TEST_F(CaptureTest, FailedStartsTellTheMemberAndLeaveNothingOpen) {
  const std::tuple<bool, bool, int, int, std::string, std::string> cases[] = {
      // voiceover, a track opened the stage, the device's answers; the box, what the device saw
      {true, false, kCaptureOk, kCaptureOk, kVoiceoverWithoutBroadcastText, ""},
      {false, true, kCaptureBadFormat, kCaptureOk,
       "Unable to access your soundcard. The desired input format is not supported by your soundcard. err=32",
       "open 11025/2;close;"},
      {true, true, kCaptureBusy, kCaptureOk, kSoundcardBusyText, "open 44100/2;close;"},
      {false, true, kCaptureOk, kCaptureFailed, kStartReadingFailedText, "open 11025/2;close;"},
  };
  for (const auto& [voiceover, stageOpen, openStatus, startStatus, box, said] : cases) {
    if (stageOpen) playTrack(44100, 2);
    device.openStatus = openStatus, device.startStatus = startStatus;
    capture.setVoiceover(voiceover);
    EXPECT_EQ((std::tuple{capture.startInput(32000), capture.isOpen() || capture.voiceover(),
                          prompts.boxes().back().text, device.said()}),
              std::tuple(false, false, box, said));
  }
  EXPECT_EQ(prompts.boxes().back().caption, "error.");
}

}  // namespace
}  // namespace brovana
