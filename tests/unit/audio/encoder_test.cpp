// The playlist engine against a scripted decoder, the real conversion stage on a fake codec, the
// real playlist, and a recording of its reports.

#include "audio/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "audio/acm_convert.h"
#include "decoder_fakes.h"
#include "fakes.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/log_tail.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using test::DecodeScript;

// The first frame header of an MPEG-1 Layer III file, 128 kbit/s at 44100 Hz, in the given mode.
std::string frameHeader(bool mono) {
  return std::string{'\xff', '\xfb', '\x90', mono ? '\xc4' : '\x04'} + std::string(413, '\0');
}

class EncoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    codec.drivers = {{1, test::nominalFormats()}};
    acm = std::make_unique<AcmConvert>(sink, conversionStatus, codec, prompts, exit);
    acm->startConvertThread();
    reports.quiet = true;
    reports.onListFailed = [this] { encoder->stopPlaying(false); };
    makeEncoder();
  }
  void TearDown() override { encoder.reset(); }

  void makeEncoder(EncoderTimings timings = {}) {
    encoder = std::make_unique<Encoder>(*acm, decoders, prompts, timings);
    encoder->setReports(&reports);
    encoder->setContinuousLoop(false);
  }
  // A list of the files named; their contents make their MP3 facts.
  std::vector<std::string> list(std::vector<std::string> names, const std::string& contents = "no frames") {
    playlist.FreeListArray();
    std::vector<std::string> paths;
    for (const std::string& name : names) {
      folder.write(name, contents);
      paths.push_back(folder.file(name));
      EXPECT_TRUE(playlist.addFile(paths.back(), AddMode::Append).has_value());
    }
    return paths;
  }
  // Runs the list from `index` until the run is over (after `during`, on the test thread).
  void run(int index = 0, const std::function<void()>& during = {}) {
    test::LogTail runLog;
    encoder->start(playlist, 56000, index);
    if (during) during();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    ASSERT_TRUE(test::waitFor([&] { return !encoder->isRunning(); }));
  }

  test::LogTail log;
  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeCodec codec;
  test::FakeSink sink;
  test::FakeStatus conversionStatus;
  std::unique_ptr<AcmConvert> acm;
  test::Journal journal;
  test::FakeEngineReports reports{journal};
  Playlist playlist{prompts};
  test::FakeDecoderLibrary decoders;
  std::unique_ptr<Encoder> encoder;
};

TEST_F(EncoderTest, PlaysTheListInOrderReportsEachTrackAndLeavesNothingCurrent) {
  auto paths = list({"a.mp3", "b.mp3"});
  run();
  EXPECT_EQ(decoders.opened(), paths);
  EXPECT_EQ(decoders.blocksPlayed.load(), 8);
  std::string a = playlist.item(0)->mp3Info().displayTitle(), b = playlist.item(1)->mp3Info().displayTitle();
  EXPECT_EQ(journal.lines(),
            (std::vector<std::string>{"playlistName <none>", "nowPlaying " + a, "nextTrack " + b,
                                      "announce " + paths[0], "trackChanged", "trackNumber 1",
                                      "nowPlaying " + b, "nextTrack end of program", "announce " + paths[1],
                                      "trackChanged", "trackNumber 2"}));
  EXPECT_TRUE(test::waitFor([&] { return acm->pendingBytes() == 0 && !sink.stream().empty(); }));
  EXPECT_EQ(encoder->currentIndex(), -1);
  EXPECT_EQ(encoder->currentItem(), nullptr);
  EXPECT_EQ(playlist.currentIndex(), -1);
}

TEST_F(EncoderTest, RandomLoopShufflesEveryNewPass) {
  auto paths = list({"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"});
  encoder->setContinuousLoop(true);
  encoder->setRandom(true);
  std::vector<std::string> secondPass;
  decoders.onOpen([&](int number, DecodeScript& script) {
    if (number != 5) return;
    for (const PlaylistItemRef& item : playlist.items()) secondPass.push_back(item->fullpath());
    script.endless = true;
  });
  run(0, [&] {
    ASSERT_TRUE(test::waitFor([&] { return decoders.opened().size() >= 6; }));
    encoder->stopPlaying(false);
  });
  auto opened = decoders.opened();
  EXPECT_EQ(std::vector<std::string>(opened.begin(), opened.begin() + 5), paths) << "the first pass in order";
  ASSERT_EQ(secondPass.size(), 5u);
  EXPECT_EQ(opened[5], secondPass[0]) << "the second pass follows the list as it then stands";
  EXPECT_EQ(log.count("Shuffling playlist\n"), 1);
  std::sort(secondPass.begin(), secondPass.end());
  EXPECT_EQ(secondPass, paths) << "a shuffle keeps every track";
}

TEST_F(EncoderTest, ListWhoseEveryTrackFailsStopsAfterOneFailureMoreThanItsLength) {
  const std::tuple<const char*, std::function<void(const std::string&)>, std::string, int> cases[] = {
      {"input cannot be made", [&](auto& p) { decoders.script(p, {.createStatus = kInputMissing}); },
       "Cannot open XAudio decoder output, error=-101\n", 4},
      {"file does not decode", [&](auto& p) { decoders.script(p, {.openStatus = kNoAudioFrames}); },
       "Could this be at the wrong speed?\n", 4},
      {"no decoder", [&](auto&) { decoders.makesDecoders = false; }, "cannot create decoder\n", 0},
      {"stream refused for mono tracks", nullptr, "****InitACM failed for song ", 0},
  };
  for (const auto& [name, arrange, logLine, opens] : cases) {
    SCOPED_TRACE(name);
    decoders.makesDecoders = true;
    auto paths = list({"a.mp3", "b.mp3", "c.mp3"}, frameHeader(arrange == nullptr));
    for (const auto& path : paths)
      if (arrange) arrange(path);
    encoder->setContinuousLoop(true);  // the failures run on into the next pass
    size_t opensBefore = decoders.opened().size();
    journal.clear();
    test::LogTail runLog;
    run();
    EXPECT_EQ(runLog.count(logLine), 4);
    EXPECT_EQ(decoders.opened().size() - opensBefore, static_cast<size_t>(opens));
    EXPECT_EQ(journal.count("listFailed"), 1u);
    EXPECT_EQ(prompts.boxTexts().back(), kPlaylistFailedText);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(playlist.item(i)->playable()) << i;
    EXPECT_EQ(codec.openStreams(), 0) << "the stage is closed";
  }
  EXPECT_TRUE(log.contains("ripped at 128000 bps, 1 channel(s), with a sample rate of 44100."));
}

TEST_F(EncoderTest, DecoderStatusesKeepTheTrackGoingOrEndIt) {
  using S = DecodeStatus;
  const std::tuple<std::vector<S>, int, int, int> cases[] = {
      {{S::Timeout, S::InvalidFrame, S::Timeout, S::Block, S::LastBlock}, 2, 2, 1},
      {{S::Block, S::LastBlock, S::Block}, 2, 0, 0},
      {{S::Block, S::Error, S::Block}, 1, 0, 0},
  };
  for (const auto& [statuses, blocks, timeouts, invalidFrames] : cases) {
    auto paths = list({"a.mp3"});
    decoders.script(paths[0], {.statuses = statuses});
    int playedBefore = decoders.blocksPlayed.load();
    int numberBefore = encoder->trackNumber();
    test::LogTail runLog;
    run();
    EXPECT_EQ(decoders.blocksPlayed.load() - playedBefore, blocks);
    EXPECT_EQ(runLog.count(") XA_ERROR_TIMEOUT\n"), timeouts);
    EXPECT_EQ(runLog.count(") XA_ERROR_INVALID_FRAME\n"), invalidFrames);
    EXPECT_EQ(encoder->trackNumber(), numberBefore + 1) << "however it ended, the track played";
  }
}

TEST_F(EncoderTest, StopDuringATrackEndsTheRunAndANewStartPlaysAgain) {
  auto paths = list({"a.mp3", "b.mp3"});
  decoders.script(paths[0], {.endless = true});
  run(0, [&] {
    ASSERT_TRUE(decoders.waitForBlock(paths[0], 3));
    EXPECT_EQ(encoder->currentItem()->fullpath(), paths[0]);
    encoder->stopPlaying(false);
  });
  EXPECT_EQ(decoders.opened(), std::vector<std::string>{paths[0]});
  EXPECT_TRUE(log.contains(" bytes transmitted for " + paths[0] + "\n"));
  EXPECT_EQ(decoders.decodersAlive.load() + decoders.outputsAlive.load(), 0) << "a stop closes the decoder";
  EXPECT_EQ(codec.openStreams(), 0) << "and the conversion stream";
  EXPECT_EQ(journal.count("trackCleared"), 1u);

  decoders.script(paths[0], {});
  run(1);
  EXPECT_EQ(decoders.opened().back(), paths[1]);
  EXPECT_EQ(decoders.decodersMade.load(), 2);
  EXPECT_EQ(decoders.useAfterRelease.load(), 0);
}

TEST_F(EncoderTest, StartRightAfterAStopTakesOverFromTheEndingRun) {
  auto paths = list({"a.mp3", "b.mp3"});
  decoders.script(paths[0], {.endless = true});
  encoder->start(playlist, 56000, 0);
  ASSERT_TRUE(decoders.waitForBlock(paths[0], 2));
  encoder->stopPlaying(false);
  encoder->start(playlist, 56000, 1);
  ASSERT_TRUE(test::waitFor([&] { return log.count("Playlist done\n") == 2 && !encoder->isRunning(); }));
  EXPECT_EQ(decoders.opened(), paths);
  EXPECT_EQ(decoders.useAfterRelease.load(), 0);
}

TEST_F(EncoderTest, JumpsAndEditsDuringATrackKeepTheOrder) {
  const std::pair<std::function<void(Encoder&, Playlist&)>, std::string> cases[] = {
      {[](Encoder& e, Playlist&) { e.setCurrentIndex(3); }, "abd"},
      {[](Encoder&, Playlist& p) { p.removeItem(1); }, "abacd"},  // removed: the list starts over
      {[](Encoder&, Playlist& p) { p.moveItem(1, true); }, "abacd"},
      {[](Encoder&, Playlist& p) { p.moveItem(1, false); }, "abd"},
  };
  for (const auto& [edit, expected] : cases) {
    auto paths = list({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
    decoders.onBlock(paths[1], 1, [&] { edit(*encoder, playlist); });
    size_t before = decoders.opened().size();
    run();
    decoders.onBlock(paths[1], 1, nullptr);
    std::string names;
    for (const std::string& path : decoders.opened())
      if (before-- == 0 || names.size() > 0) names += path.substr(path.rfind('/') + 1, 1);
    EXPECT_EQ(names, expected);
  }
}

TEST_F(EncoderTest, SecondListRunIsRefusedWhileOneRuns) {
  encoder.reset();
  makeEncoder({.loopWait = 100ms});
  auto paths = list({"a.mp3"});
  decoders.script(paths[0], {.endless = true});
  run(0, [&] {
    ASSERT_TRUE(decoders.waitForBlock(paths[0], 1));
    EXPECT_FALSE(encoder->broadcast(playlist, 56000, 0));
    EXPECT_TRUE(encoder->isPlaying()) << "the first run plays on";
    encoder->stopPlaying(false);
  });
  EXPECT_EQ(log.count("Starting playlist"), 1);
}

TEST_F(EncoderTest, StopThatCannotWaitForTheTrackLeavesTheDecoderToTheWorker) {
  encoder.reset();
  makeEncoder({.loopWait = 100ms, .trackWait = 100ms, .runningWaitSeconds = 1});
  auto paths = list({"a.mp3"});
  decoders.script(paths[0], {.endless = true});
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  decoders.onBlock(paths[0], 2, [released] { released.wait(); });  // the worker hangs in a decode step
  run(0, [&] {
    ASSERT_TRUE(decoders.waitForBlock(paths[0], 2));
    encoder->stopPlaying(false);
    EXPECT_EQ(decoders.decodersAlive.load(), 1) << "not released under the worker";
    release.set_value();
  });
  EXPECT_TRUE(test::waitFor([&] { return decoders.decodersAlive.load() == 0 && codec.openStreams() == 0; }))
      << "released by the worker after its track";
  EXPECT_EQ(decoders.useAfterRelease.load(), 0);
}

TEST_F(EncoderTest, DestroyingTheEngineDuringATrackEndsItCleanly) {
  auto paths = list({"a.mp3"});
  decoders.script(paths[0], {.endless = true});
  encoder->start(playlist, 56000, 0);
  ASSERT_TRUE(decoders.waitForBlock(paths[0], 2));
  encoder.reset();
  EXPECT_EQ(decoders.decodersAlive.load() + decoders.outputsAlive.load(), 0);
  EXPECT_TRUE(log.contains(" bytes transmitted for " + paths[0] + "\n"));
  EXPECT_TRUE(log.contains(") Playlist done\n"));
}

TEST_F(EncoderTest, ABusyOutputDeviceFailsTheTrackWithItsMessages) {
  PlaybackSettings settings;
  settings.device = "USB";
  encoder->setPlayback(settings);
  decoders.outputStatus = kOutputBusy;
  list({"a.mp3"});
  run();
  decoders.outputStatus = kDecoderOk;
  EXPECT_EQ(prompts.boxTexts(),
            std::vector<std::string>{"Cannot open XAudio decoder output, Device is busy"});
  EXPECT_TRUE(log.contains("Cannot open XAudio decoder output, device is busy, error=-511\n"));
  EXPECT_FALSE(playlist.item(0)->playable());
  EXPECT_EQ(decoders.devicesAsked().back(), "USB");
}

TEST_F(EncoderTest, StageGetsTheStreamRateAndTheChannelsTheDecoderDelivers) {
  codec.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return MMSYSERR_NOERROR; };
  for (bool headerSaysMono : {false, true}) {  // the decoder delivers stereo either way
    test::FakeVisual visual;                   // sees every block the stage takes in
    acm->setVisual(&visual);
    auto paths = list({"a.mp3"}, frameHeader(headerSaysMono));
    decoders.script(paths[0], {.format = {44100, 2}, .blocks = 40, .blockBytes = 4608});
    int opened = codec.streamsOpened();
    test::LogTail runLog;
    run();
    acm->setVisual(nullptr);
    EXPECT_EQ(codec.lastSource().wfx.nSamplesPerSec, 22050u) << "the line speed's rate, not the file's";
    EXPECT_EQ(codec.lastSource().wfx.nChannels, 2u);
    EXPECT_EQ(codec.streamsOpened() - opened, headerSaysMono ? 2 : 1);
    EXPECT_EQ(runLog.contains("decodes at 44100 Hz, 2 channel(s); its header said 44100 Hz, 1 channel(s)\n"),
              headerSaysMono);
    size_t bytes = 0;
    for (const auto& block : visual.blocks) bytes += block.size();
    EXPECT_NEAR(double(bytes), 40 * 4608 / 2.0, 200) << "half as many samples at half the rate";
  }
}

TEST(EncoderWithoutCodecTest, ListRunNeedsMp3Formats) {
  test::LogTail log;
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeCodec codec;  // no drivers, no formats
  test::FakeSink sink;
  test::FakeStatus status;
  AcmConvert acm(sink, status, codec, prompts, exit);
  test::FakeDecoderLibrary decoders;
  Playlist playlist(prompts);
  Encoder encoder(acm, decoders, prompts);
  EXPECT_FALSE(encoder.broadcast(playlist, 56000, 0));
  EXPECT_EQ(prompts.boxTexts().back(), kNoCodecText);
}

}  // namespace
}  // namespace brovana
