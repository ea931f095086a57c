// The playlist engine against a scripted decoder, the real conversion stage on fake encoders, the
// real playlist, and a journal of its reports. A whole broadcast is the studio's integration test.

#include "audio/playlist_engine.h"

#include <gtest/gtest.h>

#include <future>

#include "fakes.h"
#include "playlist/playlist.h"
#include "support/fake_views.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class PlaylistEngineTest : public ::testing::Test, public test::StageRig {
 protected:
  void SetUp() override {
    stage.startConvertThread();
    reports.quiet = true;
    reports.onListFailed = [this] { encoder->stopPlaying(false); };
    makeEngine();
  }
  void makeEngine(EngineTimings timings = {}) {
    encoder = std::make_unique<PlaylistEngine>(stage, decoders, prompts, timings);
    encoder->setReports(&reports);
    encoder->setContinuousLoop(false);
  }
  // A list of the files named; their contents make their MP3 facts.
  std::vector<std::string> list(std::vector<std::string> names, const std::string& contents = "no frames") {
    playlist.dropItems();
    for (std::string& name : names) {
      folder.write(name, contents);
      playlist.addFile(name = folder.file(name), AddMode::Append);
    }
    return names;
  }
  // Runs the list from `index` until the run is over, with `during` on the test thread meanwhile.
  void run(int index = 0, const std::function<void()>& during = {}) {
    test::LogTail runLog;
    encoder->start(playlist, 56000, index);
    if (during) during();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    ASSERT_TRUE(test::eventually([&] { return !encoder->isRunning(); }));
  }
  test::TempFolder folder;
  test::Journal journal;
  test::FakeEngineReports reports{journal};
  Playlist playlist{prompts};
  test::FakeDecoderLibrary decoders;
  std::unique_ptr<PlaylistEngine> encoder;
};

TEST_F(PlaylistEngineTest, ListWhoseEveryTrackFailsStopsAfterOneFailureMoreThanItsLength) {
  const std::tuple<std::function<void(const std::string&)>, std::string, int> cases[] = {
      {[&](auto& p) { decoders.scripts[p].createStatus = kInputMissing; },
       "Cannot open XAudio decoder output, error=-101\n", 4},
      {[&](auto& p) { decoders.scripts[p].openStatus = kNoAudioFrames; },
       "Could this be at the wrong speed?\n", 4},
      {nullptr, "****InitACM failed for song ", 0},  // the first frame says mono: the stream is refused
  };
  for (const auto& [arrange, logLine, opens] : cases) {
    SCOPED_TRACE(logLine);
    decoders.scripts.clear();
    auto paths =
        list({"a.mp3", "b.mp3", "c.mp3"},
             std::string{'\xff', '\xfb', '\x90', arrange ? '\x04' : '\xc4'} + std::string(413, '\0'));
    for (const auto& path : paths)
      if (arrange) arrange(path);
    encoder->setContinuousLoop(true);  // the failures run on into the next pass
    size_t opensBefore = decoders.opened().size();
    int failedBefore = Logger::failedFiles();
    journal.clear();
    test::LogTail runLog;
    run();
    EXPECT_EQ(runLog.count(logLine), 4);
    EXPECT_EQ(decoders.opened().size() - opensBefore, static_cast<size_t>(opens));
    EXPECT_TRUE(journal.follows({"listFailed"}));
    EXPECT_TRUE(journal.lacks("announce")) << "a track that could not be played is not announced";
    EXPECT_EQ(Logger::failedFiles() - failedBefore, 4) << "and each counts, whatever failed";
    EXPECT_EQ(prompts.boxTexts().back(), kPlaylistFailedText);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(playlist.item(i)->playable());
    EXPECT_EQ(encoders.openEncoders.load(), 0) << "the stage is closed";
  }
}

TEST_F(PlaylistEngineTest, StopDuringATrackClosesItAndAStartRightAfterTakesOverFromTheEndingRun) {
  auto paths = list({"a.mp3", "b.mp3"});
  decoders.scripts[paths[0]].endless = decoders.scripts[paths[1]].endless = true;
  encoder->start(playlist, 56000, 0);
  ASSERT_TRUE(decoders.waitForBlock(paths[0], 2));
  EXPECT_EQ(encoder->currentItem()->fullpath(), paths[0]);
  encoder->stopPlaying(false);
  encoder->start(playlist, 56000, 1);
  ASSERT_TRUE(decoders.waitForBlock(paths[1], 2));
  encoder->stopPlaying(false);
  ASSERT_TRUE(test::eventually([&] { return log.count("Playlist done\n") == 2 && !encoder->isRunning(); }));
  EXPECT_EQ(decoders.opened(), paths);
  EXPECT_TRUE(log.contains(" bytes transmitted for " + paths[0] + "\n"));
  EXPECT_TRUE(journal.follows({"trackCleared"}));
  EXPECT_EQ(journal.all("trackNumber"), (std::vector<std::string>{"1", "2"}))
      << "each track's place, as it starts";
  EXPECT_EQ(decoders.decodersAlive.load() + decoders.outputsAlive.load() + encoders.openEncoders.load(), 0)
      << "a stop closes the decoder, the output and the conversion stream";
}

TEST_F(PlaylistEngineTest, StopThatCannotWaitForTheTrackLeavesTheDecoderToTheWorker) {
  makeEngine({.loopWait = 100ms, .trackWait = 100ms, .runningWaitSeconds = 1});
  auto paths = list({"a.mp3"});
  decoders.scripts[paths[0]].endless = true;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  decoders.onBlock[{paths[0], 2}] = [released] { released.wait(); };  // the worker hangs in a decode step
  run(0, [&] {
    ASSERT_TRUE(decoders.waitForBlock(paths[0], 2));
    encoder->stopPlaying(false);
    EXPECT_EQ(decoders.decodersAlive.load(), 1) << "not released under the worker";
    release.set_value();
  });
  EXPECT_TRUE(test::eventually([&] {
    return decoders.decodersAlive.load() == 0 && encoders.openEncoders.load() == 0;
  })) << "released by the worker after its track";
}

// With a crossfade the end of a track lies under the start of the next, the title changes once the
// new track leads, and the list's last track is heard to its end.
TEST_F(PlaylistEngineTest, CrossfadeOverlapsTracksChangesTheTitleMidwayAndPlaysTheLastTrackOut) {
  auto paths = list({"a.mp3", "b.mp3"});
  decoders.scripts[paths[0]].level = 4000;
  decoders.scripts[paths[1]].level = 8000;
  constexpr size_t kTrackFrames = 4 * 576, kBlock = 576, kOverlap = 1102;  // 0.05 s at 22,050 Hz
  encoder->setLoudness(nullptr, {.mode = NormalizeMode::Off}, 0.05);
  std::vector<size_t> titledAt;  // frames played when each title was shown
  reports.onNowPlaying = [&] { titledAt.push_back(decoders.framesPlayed.load()); };
  run();
  size_t streamed = 0;
  for (const auto& call : encoders.calls()) streamed += call.pcm.size() / 4;
  EXPECT_EQ(streamed, 2 * kTrackFrames - kOverlap) << "one overlap, and the last track whole";
  ASSERT_EQ(titledAt.size(), 2u);
  EXPECT_EQ(titledAt[0], 0u);
  EXPECT_GE(titledAt[1], kTrackFrames - kOverlap / 2) << "not before the middle of the overlap";
  EXPECT_LE(titledAt[1], kTrackFrames + kBlock) << "nor a block after its end";
}

}  // namespace
}  // namespace brovana
