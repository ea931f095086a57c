// The playlist engine against a scripted decoder, the real conversion stage on a fake codec, the
// real playlist, connection, status display and title sender on fakes of their own peers.

#include "audio/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>

#include "audio/acm_convert.h"
#include "decoder_fakes.h"
#include "fakes.h"
#include "monitor/status_display.h"
#include "net/live_connect.h"
#include "net/song_update_sender.h"
#include "net/web_service.h"
#include "playlist/playlist.h"
#include "support/fake_account_service.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/log_tail.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// The first frame header of an MPEG-1 Layer III file, 128 kbit/s at 44100 Hz, in the given mode.
std::string frameHeader(bool mono) {
  std::string bytes = {'\xff', '\xfb', '\x90', mono ? '\xc4' : '\x04'};
  return bytes + std::string(413, '\0');
}

test::DecodeScript script(const std::function<void(test::DecodeScript&)>& change) {
  test::DecodeScript result;
  change(result);
  return result;
}
test::DecodeScript endless() {
  return script([](test::DecodeScript& s) { s.endless = true; });
}

class FakeSupervisor : public EncoderSupervisor {
 public:
  std::function<void()> onStop;
  std::atomic<int> stops{0};
  std::atomic<int> trackChanges{0};
  void stop() override {
    ++stops;
    if (onStop) onStop();
  }
  void trackChanged() override { ++trackChanges; }
};

class EncoderTest : public ::testing::Test {
 protected:
  EncoderTest() {
    codec.drivers = {{1, test::nominalFormats()}};
    accounts.setAnswer(0, "127.0.0.1", 8001, 7);
  }

  void SetUp() override {
    acm = std::make_unique<AcmConvert>(sink, conversionStatus, codec, prompts, exit);
    acm->startConvertThread();
    connection = std::make_unique<LiveConnect>("127.0.0.1:1", &status, accounts, prompts);
    connection->setMemberName("dj");
    connection->setOutputBitrate(56000);
    sender = std::make_unique<SongUpdateSender>(http);
    web = std::make_unique<WebService>(http, "127.0.0.1:1", sender.get());
    makeEncoder();
  }

  void TearDown() override { encoder.reset(); }

  void makeEncoder(EncoderTimings timings = {}) {
    encoder.reset();
    encoder = std::make_unique<Encoder>(*acm, decoders, prompts, timings);
    encoder->setStatusDisplay(&status);
    encoder->setSupervisor(&supervisor);
    encoder->setMainWindow(&mainWindow);
    encoder->setWebService(web.get());
    encoder->setContinuousLoop(false);
    supervisor.onStop = [this] { encoder->stopPlaying(false); };
  }

  // Adds a file to the list; its contents make its MP3 facts.
  std::string track(const std::string& name, const std::string& contents = "no frames here") {
    folder.write(name, contents);
    std::string path = folder.file(name);
    EXPECT_TRUE(playlist.addFile(path, AddMode::Append).has_value());
    return path;
  }

  void start(int index = 0) { encoder->start(playlist, *connection, 56000, index); }
  bool waitDone() {
    return log.waitFor("Playlist done\n") && eventually([&] { return !encoder->isRunning(); });
  }

  test::LogTail log;
  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeCodec codec;
  test::FakeSink sink;
  test::FakeStatus conversionStatus;
  std::unique_ptr<AcmConvert> acm;
  test::FakeAccountService accounts;
  test::FakeStatusWindow statusWindow;
  test::FakeMainWindow mainWindow;
  StatusDisplay status{&statusWindow, &mainWindow};
  std::unique_ptr<LiveConnect> connection;
  test::FakeHttpClient http;
  std::unique_ptr<SongUpdateSender> sender;
  std::unique_ptr<WebService> web;
  Playlist playlist{prompts};
  test::FakeDecoderLibrary decoders;
  FakeSupervisor supervisor;
  std::unique_ptr<Encoder> encoder;
};

// Order, log lines and titles of a plain run are checked end to end by the playlist broadcast
// test; here what it cannot see: the counts and the state the run leaves behind.
TEST_F(EncoderTest, PlaysTheListInOrderAndLeavesNothingCurrent) {
  std::string a = track("a.mp3");
  std::string b = track("b.mp3");
  std::string c = track("c.mp3");
  start();
  ASSERT_TRUE(waitDone());
  EXPECT_EQ(decoders.opened(), (std::vector<std::string>{a, b, c}));
  EXPECT_EQ(encoder->trackNumber(), 4);
  EXPECT_EQ(supervisor.trackChanges.load(), 3);
  EXPECT_EQ(supervisor.stops.load(), 0);
  EXPECT_EQ(decoders.blocksPlayed(), 12);
  EXPECT_TRUE(eventually([&] { return acm->pendingBytes() == 0 && !sink.stream().empty(); }));
  EXPECT_EQ(statusWindow.labelHistory(kLabelNextTrack).back(), "end of program");
  EXPECT_EQ(encoder->currentIndex(), -1);
  EXPECT_EQ(encoder->currentItem(), nullptr);
  EXPECT_EQ(playlist.currentIndex(), -1);
  EXPECT_FALSE(encoder->isPlaying());
}

// The plain loop is checked end to end; the shuffle of every new pass only here.
TEST_F(EncoderTest, RandomLoopShufflesEveryNewPass) {
  std::vector<std::string> paths;
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}) paths.push_back(track(name));
  encoder->setContinuousLoop(true);
  encoder->setRandom(true);
  std::vector<std::string> orderAtSecondPass;
  decoders.onOpen([&](int number, const std::string&, test::DecodeScript& script) {
    if (number != 5) return;
    for (const PlaylistItemRef& item : playlist.items()) orderAtSecondPass.push_back(item->fullpath());
    script.endless = true;
  });
  start();
  ASSERT_TRUE(eventually([&] { return decoders.opened().size() >= 6; }));
  encoder->stopPlaying(false);
  ASSERT_TRUE(waitDone());
  decoders.onOpen(nullptr);

  std::vector<std::string> opened = decoders.opened();
  ASSERT_EQ(opened.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(opened.begin(), opened.begin() + 5), paths)
      << "the first pass in list order";
  ASSERT_EQ(orderAtSecondPass.size(), 5u);
  EXPECT_EQ(opened[5], orderAtSecondPass[0]) << "the second pass follows the list as it then stands";
  EXPECT_EQ(log.count("Shuffling playlist\n"), 1);
  std::sort(orderAtSecondPass.begin(), orderAtSecondPass.end());
  EXPECT_EQ(orderAtSecondPass, paths) << "a shuffle keeps every track";
}

TEST_F(EncoderTest, ListWhoseEveryTrackFailsStopsAfterOneFailureMoreThanItsLength) {
  struct Case {
    const char* name;
    std::function<void(test::FakeDecoderLibrary&, const std::vector<std::string>&)> arrange;
    const char* logLine;  // written once per failure
    int opens;            // files the decoder was asked to open
  };
  std::vector<Case> cases = {
      {"input cannot be made",
       [](test::FakeDecoderLibrary& d, const std::vector<std::string>& paths) {
         for (const auto& p : paths)
           d.script(p, script([](test::DecodeScript& s) { s.createStatus = kInputMissing; }));
       },
       "Cannot open XAudio decoder output, error=-101\n", 4},
      {"file does not decode",
       [](test::FakeDecoderLibrary& d, const std::vector<std::string>& paths) {
         for (const auto& p : paths)
           d.script(p, script([](test::DecodeScript& s) { s.openStatus = kNoAudioFrames; }));
       },
       "Could this be at the wrong speed?\n", 4},
      {"no decoder",
       [](test::FakeDecoderLibrary& d, const std::vector<std::string>&) { d.makesDecoders = false; },
       "cannot create decoder\n", 0},
      {"stream refused for mono tracks", nullptr, "****InitACM failed for song ", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeEncoder();
    playlist.FreeListArray();
    decoders.makesDecoders = true;
    std::vector<std::string> paths;
    bool mono = c.arrange == nullptr;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) paths.push_back(track(name, frameHeader(mono)));
    if (c.arrange) c.arrange(decoders, paths);
    encoder->setContinuousLoop(true);  // the failures run on into the next pass
    size_t opensBefore = decoders.opened().size();
    size_t boxesBefore = prompts.boxTexts().size();
    int stopsBefore = supervisor.stops.load();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));

    EXPECT_EQ(runLog.count(c.logLine), 4);
    EXPECT_EQ(decoders.opened().size() - opensBefore, static_cast<size_t>(c.opens));
    EXPECT_EQ(supervisor.stops.load() - stopsBefore, 1);
    std::vector<std::string> boxes = prompts.boxTexts();
    ASSERT_GT(boxes.size(), boxesBefore);
    EXPECT_EQ(boxes.back(), kPlaylistFailedText);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(playlist.item(i)->playable()) << i;
    EXPECT_EQ(runLog.count("Now playing"), mono ? 0 : 4);
    if (mono) {
      EXPECT_TRUE(runLog.contains("ripped at 128000 bps, 1 channel(s), with a sample rate of 44100."));
    }
    EXPECT_EQ(codec.openStreams(), 0) << "the stage is closed";
  }
}

TEST_F(EncoderTest, DecoderStatusesKeepTheTrackGoingOrEndIt) {
  using S = DecodeStatus;
  struct Case {
    const char* name;
    std::vector<S> statuses;
    int blocks;  // blocks that reach the output
    int timeouts;
    int invalidFrames;
  };
  std::vector<Case> cases = {
      {"timeouts and bad frames are passed over",
       {S::Timeout, S::InvalidFrame, S::Timeout, S::Block, S::LastBlock},
       2,
       2,
       1},
      {"the last block ends the track", {S::Block, S::LastBlock, S::Block}, 2, 0, 0},
      {"an error ends the track at once", {S::Block, S::Error, S::Block}, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeEncoder();
    playlist.FreeListArray();
    std::string a = track("a.mp3");
    decoders.script(a, script([&](test::DecodeScript& s) { s.statuses = c.statuses; }));
    int playedBefore = decoders.blocksPlayed();
    int numberBefore = encoder->trackNumber();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    EXPECT_EQ(decoders.blocksPlayed() - playedBefore, c.blocks);
    EXPECT_EQ(runLog.count("XA_ERROR_TIMEOUT\n"), c.timeouts);
    EXPECT_EQ(runLog.count("XA_ERROR_INVALID_FRAME\n"), c.invalidFrames);
    // However it ended, the track played.
    EXPECT_EQ(encoder->trackNumber(), numberBefore + 1);
    EXPECT_TRUE(playlist.item(0)->playable());
  }
}

TEST_F(EncoderTest, StopDuringATrackEndsTheRunWithoutAnotherTrack) {
  std::string a = track("a.mp3");
  track("b.mp3");
  decoders.script(a, endless());
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 3));
  EXPECT_TRUE(encoder->isPlaying());
  EXPECT_EQ(encoder->currentIndex(), 0);
  EXPECT_EQ(encoder->currentItem()->fullpath(), a);
  encoder->stopPlaying(false);
  ASSERT_TRUE(waitDone());

  EXPECT_EQ(decoders.opened(), std::vector<std::string>{a});
  EXPECT_TRUE(log.contains(" bytes transmitted for " + a + "\n"));
  EXPECT_EQ(decoders.decodersAlive(), 0) << "a stop closes the decoder";
  EXPECT_EQ(decoders.outputsAlive(), 0);
  EXPECT_EQ(decoders.useAfterRelease(), 0);
  EXPECT_EQ(codec.openStreams(), 0) << "and the conversion stream";
  EXPECT_FALSE(encoder->isPlaying());
  EXPECT_EQ(statusWindow.label(kLabelNowPlaying), " ");
  EXPECT_TRUE(playlist.item(0)->playable());
  EXPECT_EQ(playlist.currentIndex(), -1);

  // The next start plays again, with a new decoder.
  decoders.script(a, {});
  test::LogTail again;
  start(1);
  ASSERT_TRUE(again.waitFor("Playlist done\n"));
  EXPECT_EQ(decoders.opened().back(), folder.file("b.mp3"));
  EXPECT_EQ(decoders.decodersMade(), 2);
}

TEST_F(EncoderTest, StartRightAfterAStopTakesOverFromTheEndingRun) {
  std::string a = track("a.mp3");
  std::string b = track("b.mp3");
  decoders.script(a, endless());
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 2));
  encoder->stopPlaying(false);
  start(1);
  ASSERT_TRUE(eventually([&] { return log.count("Playlist done\n") == 2; }));
  EXPECT_EQ(decoders.opened(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(log.count("Starting playlist"), 2);
  EXPECT_EQ(decoders.useAfterRelease(), 0);
  EXPECT_TRUE(eventually([&] { return !encoder->isRunning(); }));
}

TEST_F(EncoderTest, JumpToATrackPlaysItNext) {
  std::string a = track("a.mp3");
  std::string b = track("b.mp3");
  std::string c = track("c.mp3");
  decoders.script(a, endless());
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 2));
  encoder->setCurrentIndex(2);
  ASSERT_TRUE(waitDone());
  EXPECT_EQ(decoders.opened(), (std::vector<std::string>{a, c}));
  EXPECT_EQ(log.count("Now playing"), 2);
}

TEST_F(EncoderTest, EditsOfTheListDuringATrackKeepTheOrder) {
  struct Case {
    const char* name;
    std::function<void(Playlist&)> edit;  // on the playing track, index 1
    std::vector<std::string> expected;    // names of the files opened
  };
  std::vector<Case> cases = {
      {"removed: the list starts over", [](Playlist& p) { p.removeItem(1); }, {"a", "b", "a", "c", "d"}},
      {"moved up: what follows its new place",
       [](Playlist& p) { p.moveItem(1, true); },
       {"a", "b", "a", "c", "d"}},
      {"moved down: what follows its new place", [](Playlist& p) { p.moveItem(1, false); }, {"a", "b", "d"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeEncoder();
    playlist.FreeListArray();
    std::vector<std::string> paths;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) paths.push_back(track(name));
    decoders.onBlock(paths[1], 1, [&] { c.edit(playlist); });
    size_t before = decoders.opened().size();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    decoders.onBlock(paths[1], 1, nullptr);
    std::vector<std::string> names;
    for (size_t i = before; i < decoders.opened().size(); ++i) {
      std::string path = decoders.opened()[i];
      names.push_back(path.substr(path.rfind('/') + 1, 1));
    }
    EXPECT_EQ(names, c.expected);
  }
}

TEST_F(EncoderTest, SecondListRunIsRefusedWhileOneRuns) {
  makeEncoder({.loopWait = 100ms});
  std::string a = track("a.mp3");
  decoders.script(a, endless());
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 1));
  EXPECT_FALSE(encoder->broadcast(playlist, *connection, 56000, 0));
  EXPECT_TRUE(encoder->isPlaying()) << "the first run plays on";
  encoder->stopPlaying(false);
  ASSERT_TRUE(waitDone());
  EXPECT_EQ(log.count("Starting playlist"), 1);
}

TEST_F(EncoderTest, StopThatCannotWaitForTheTrackLeavesTheDecoderToTheWorker) {
  makeEncoder({.loopWait = 100ms, .trackWait = 100ms, .runningWaitSeconds = 1});
  std::string a = track("a.mp3");
  decoders.script(a, endless());
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  decoders.onBlock(a, 2, [released] { released.wait(); });  // the worker hangs inside a decode step
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 2));
  encoder->stopPlaying(false);
  EXPECT_EQ(decoders.decodersAlive(), 1) << "not released under the worker";
  release.set_value();
  ASSERT_TRUE(waitDone());
  EXPECT_TRUE(eventually([&] { return decoders.decodersAlive() == 0; }))
      << "released by the worker after its track";
  EXPECT_EQ(decoders.useAfterRelease(), 0);
  EXPECT_TRUE(eventually([&] { return codec.openStreams() == 0; }));
  EXPECT_EQ(decoders.opened().size(), 1u);
}

TEST_F(EncoderTest, DestroyingTheEngineDuringATrackEndsItCleanly) {
  std::string a = track("a.mp3");
  decoders.script(a, endless());
  start();
  ASSERT_TRUE(decoders.waitForBlock(a, 2));
  encoder.reset();
  EXPECT_EQ(decoders.decodersAlive(), 0);
  EXPECT_EQ(decoders.outputsAlive(), 0);
  EXPECT_TRUE(log.contains(" bytes transmitted for " + a + "\n"));
  EXPECT_TRUE(log.contains("Playlist done\n"));
  EXPECT_EQ(Encoder::instance(), nullptr);
}

// A device asked for by name that cannot be had fails the track; without a name the clock
// plays instead (the choice itself is checked with openPlayback).
TEST_F(EncoderTest, OutputDeviceProblemsFailTheTrackWithTheirMessages) {
  struct Case {
    int deviceStatus;
    std::string box;
    std::string logLine;
  };
  for (const Case& c : {Case{kOutputBusy, "Cannot open XAudio decoder output, Device is busy",
                             "Cannot open XAudio decoder output, device is busy, error=-511\n"},
                        Case{kOutputMissing, "Cannot open XAudio decoder output, error=-512\n",
                             "Cannot open XAudio decoder output, error=-512"}}) {
    SCOPED_TRACE(c.deviceStatus);
    makeEncoder();
    playlist.FreeListArray();
    PlaybackSettings settings;
    settings.device = "USB";
    encoder->setPlayback(settings);
    decoders.outputStatus = c.deviceStatus;
    track("a.mp3");
    size_t boxesBefore = prompts.boxTexts().size();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    std::vector<std::string> boxes = prompts.boxTexts();
    EXPECT_EQ(std::vector<std::string>(boxes.begin() + static_cast<long>(boxesBefore), boxes.end()),
              std::vector<std::string>{c.box});
    EXPECT_TRUE(runLog.contains(c.logLine));
    EXPECT_FALSE(playlist.item(0)->playable());
    EXPECT_EQ(decoders.devicesAsked().back(), "USB");
  }
  decoders.outputStatus = kDecoderOk;
}

TEST_F(EncoderTest, StageGetsTheStreamRateAndTheChannelsTheDecoderDelivers) {
  struct Case {
    const char* name;
    bool monoHeader;  // the file's first frame says mono; the decoder delivers stereo
  };
  // A codec that takes mono into a stereo stream, as LAME does.
  codec.streamPolicy = [](const WaveFormat&, const WaveFormat&) { return MMSYSERR_NOERROR; };
  for (Case c : {Case{"header right", false}, Case{"header wrong about the channels", true}}) {
    SCOPED_TRACE(c.name);
    makeEncoder();
    playlist.FreeListArray();
    test::FakeVisual visual;  // sees every block the stage takes in
    acm->setVisual(&visual);
    std::string a = track("a.mp3", frameHeader(c.monoHeader));
    decoders.script(a, script([](test::DecodeScript& s) {
                      s.format = {44100, 2};
                      s.blocks = 40;
                      s.blockBytes = 4608;
                    }));
    int opened = codec.streamsOpened();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    acm->setVisual(nullptr);

    ASSERT_TRUE(playlist.item(0)->playable());
    EXPECT_EQ(codec.lastSource().wfx.nSamplesPerSec, 22050u) << "the line speed's rate, not the file's";
    EXPECT_EQ(codec.lastSource().wfx.nChannels, 2u);
    EXPECT_EQ(codec.streamsOpened() - opened, c.monoHeader ? 2 : 1);
    EXPECT_EQ(runLog.contains("decodes at 44100 Hz, 2 channel(s); its header said 44100 Hz, 1 channel(s)\n"),
              c.monoHeader);
    size_t bytes = 0;
    for (const auto& block : visual.blocks) bytes += block.size();
    EXPECT_NEAR(double(bytes), 40 * 4608 / 2.0, 200) << "half as many samples at half the rate";
    EXPECT_EQ(decoders.blocksPlayed() % 40, 0) << "the sound card gets the file's own blocks";
  }
}

TEST(EncoderWithoutCodecTest, ListRunNeedsMp3Formats) {
  test::LogTail log;
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeCodec codec;  // no drivers, no formats
  test::FakeSink sink;
  test::FakeStatus conversionStatus;
  AcmConvert acm(sink, conversionStatus, codec, prompts, exit);
  test::FakeDecoderLibrary decoders;
  test::FakeAccountService accounts;
  LiveConnect connection("127.0.0.1:1", nullptr, accounts, prompts);
  Playlist playlist(prompts);
  Encoder encoder(acm, decoders, prompts);
  EXPECT_EQ(Encoder::instance(), &encoder);
  EXPECT_FALSE(encoder.broadcast(playlist, connection, 56000, 0));
  EXPECT_EQ(prompts.boxTexts().back(), kNoCodecText);
  EXPECT_FALSE(encoder.isRunning());
}

}  // namespace
}  // namespace brovana
