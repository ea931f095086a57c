// The playlist engine against a scripted decoder, the real conversion stage on a fake codec, the
// real playlist, connection, status display and title sender on fakes of their own peers.

#include "audio/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>

#include "audio/acm_convert.h"
#include "audio/side_channel.h"
#include "core/interval.h"
#include "core/thread_priority.h"
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

// A 128-byte ID3v1 tag.
std::string id3v1(const std::string& title, const std::string& artist, const std::string& album) {
  std::string tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, title.size(), title);
  tag.replace(33, artist.size(), artist);
  tag.replace(63, album.size(), album);
  tag.replace(93, 4, "2001");
  tag[127] = 17;
  return tag;
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

TEST_F(EncoderTest, PlaysTheListInOrderAnnouncingEachTrackAndEnds) {
  std::string a = track("a.mp3");
  std::string b = track("b.mp3", std::string(500, 'x') + id3v1("Bee Song", "The Band", "First"));
  std::string c = track("c.mp3");
  // Each title update goes out before the next track can replace it.
  for (const std::string& path : {a, b, c}) decoders.onBlock(path, 0, [this] { sender->waitIdle(5s); });
  start();
  ASSERT_TRUE(waitDone());
  ASSERT_TRUE(sender->waitIdle(5s));

  EXPECT_EQ(decoders.opened(), (std::vector<std::string>{a, b, c}));
  EXPECT_TRUE(log.contains("Starting playlist \"<none>\"\n"));
  EXPECT_TRUE(log.contains(">>>> 1 : Now playing : a.mp3 (0:00:00)\n"));
  EXPECT_TRUE(log.contains(">>>> 2 : Now playing : b.mp3 (0:00:00)\n"));
  EXPECT_TRUE(log.contains(">>>> 3 : Now playing : c.mp3 (0:00:00)\n"));
  EXPECT_TRUE(log.contains("listener count : "));
  EXPECT_TRUE(log.contains(", ripped at : -1, channels : 2\n"));
  for (const std::string& path : {a, b, c})
    EXPECT_TRUE(log.contains(" bytes transmitted for " + path + "\n")) << path;
  EXPECT_EQ(log.count("Playlist done\n"), 1);
  EXPECT_EQ(encoder->trackNumber(), 4);
  EXPECT_EQ(supervisor.trackChanges.load(), 3);
  EXPECT_EQ(supervisor.stops.load(), 0);

  // Every block reached the conversion stage; the end of the list closes nothing.
  EXPECT_EQ(decoders.blocksPlayed(), 12);
  EXPECT_TRUE(eventually([&] { return acm->pendingBytes() == 0 && !sink.stream().empty(); }));

  // The last track has nothing after it; when the run is over nothing is marked current.
  EXPECT_EQ(statusWindow.labelHistory(kLabelNextTrack).back(), "end of program");
  EXPECT_EQ(statusWindow.label(kLabelTrackNumber), "3");
  EXPECT_EQ(encoder->currentIndex(), -1);
  EXPECT_EQ(encoder->currentItem(), nullptr);
  EXPECT_EQ(playlist.currentIndex(), -1);
  EXPECT_FALSE(encoder->isPlaying());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(playlist.item(i)->playable());

  // One title per track, the tagged file in the tagged form.
  std::vector<std::string> songs;
  for (const auto& call : http.calls())
    if (call.path.find("add_song") != std::string::npos) songs.push_back(call.path);
  ASSERT_EQ(songs.size(), 3u);
  EXPECT_NE(songs[0].find("&title=a"), std::string::npos) << songs[0];
  EXPECT_EQ(songs[0].find("fileName="), std::string::npos) << songs[0];
  EXPECT_NE(songs[1].find("fileName=b&"), std::string::npos) << songs[1];
  EXPECT_NE(songs[1].find("&artist=The%20Band"), std::string::npos) << songs[1];
  EXPECT_NE(songs[2].find("&title=c"), std::string::npos) << songs[2];
}

TEST_F(EncoderTest, ContinuousLoopStartsOverAndRandomShufflesEveryNewPass) {
  for (bool random : {false, true}) {
    SCOPED_TRACE(random ? "random" : "in order");
    makeEncoder();
    playlist.FreeListArray();
    std::vector<std::string> paths;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}) paths.push_back(track(name));
    encoder->setContinuousLoop(true);
    encoder->setRandom(random);
    std::vector<std::string> orderAtSecondPass;
    size_t opensBefore = decoders.opened().size();
    decoders.onOpen([&](int number, const std::string&, test::DecodeScript& script) {
      if (number - static_cast<int>(opensBefore) != 5) return;
      for (const PlaylistItemRef& item : playlist.items()) orderAtSecondPass.push_back(item->fullpath());
      script.endless = true;
    });
    test::LogTail passLog;
    start();
    ASSERT_TRUE(eventually([&] { return decoders.opened().size() >= opensBefore + 6; }));
    encoder->stopPlaying(false);
    ASSERT_TRUE(passLog.waitFor("Playlist done\n"));
    decoders.onOpen(nullptr);

    std::vector<std::string> opened = decoders.opened();
    opened.erase(opened.begin(), opened.begin() + static_cast<long>(opensBefore));
    ASSERT_EQ(opened.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(opened.begin(), opened.begin() + 5), paths)
        << "the first pass in list order";
    // The second pass begins with the first item of the list as it then stands.
    ASSERT_EQ(orderAtSecondPass.size(), 5u);
    EXPECT_EQ(opened[5], orderAtSecondPass[0]);
    EXPECT_EQ(passLog.count("Shuffling playlist\n"), random ? 1 : 0);
    EXPECT_EQ(passLog.count("Starting playlist"), 1);
    std::vector<std::string> sorted = orderAtSecondPass;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, paths) << "a shuffle keeps every track";
  }
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

TEST_F(EncoderTest, TrackThatDoesNotDecodeIsSkippedAndMarkedWhileTheOthersPlay) {
  struct Case {
    int status;
    bool internal;
  };
  for (Case c : {Case{kNoAudioFrames, false}, Case{kDecoderInternal, true}}) {
    SCOPED_TRACE(c.status);
    makeEncoder();
    playlist.FreeListArray();
    std::string a = track("a.mp3");
    std::string b = track("b.mp3");
    std::string c3 = track("c.mp3");
    decoders.script(b, script([&](test::DecodeScript& s) { s.openStatus = c.status; }));
    test::LogTail runLog;
    int numberBefore = encoder->trackNumber();
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));

    std::string failure =
        "XAudio failed for song b.mp3 ripped at -1 bps with 2 channel(s). Could this be at the wrong "
        "speed?\n";
    EXPECT_EQ(runLog.count(failure), 1);
    EXPECT_EQ(statusWindow.label(kLabelLastError), failure);
    EXPECT_EQ(runLog.count("***** XAUDIO.DLL Internal error\n"), c.internal ? 1 : 0);
    EXPECT_TRUE(playlist.item(0)->playable());
    EXPECT_FALSE(playlist.item(1)->playable());
    EXPECT_TRUE(playlist.item(2)->playable());
    // Only tracks that played are counted and numbered.
    EXPECT_EQ(encoder->trackNumber(), numberBefore + 2);
    EXPECT_EQ(runLog.count(" bytes transmitted for "), 2);
    EXPECT_EQ(supervisor.stops.load(), 0);
    decoders.script(b, {});
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

TEST_F(EncoderTest, StatusShowsTrackNextTrackAndTimesUnlessStatsAreOff) {
  struct Case {
    bool noStats;
    bool voiceover;
  };
  SideChannel side(1000);
  for (Case c : {Case{false, false}, Case{true, true}}) {
    SCOPED_TRACE(c.noStats ? "-nostats, voiceover" : "stats");
    makeEncoder();
    playlist.FreeListArray();
    test::FakeStatusWindow window;
    status.setStatusWindow(&window);
    acm->setSideChannel(c.voiceover ? &side : nullptr);
    encoder->setNoStats(c.noStats);
    track("a.mp3", std::string(500, 'x') + id3v1("Song A", "Artist", "Album"));
    track("b.mp3", std::string(500, 'x') + id3v1("Song B", "", "Album"));
    // Long enough for the once-a-second update.
    decoders.playTime = c.noStats ? 200us : 300ms;
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    status.setStatusWindow(&statusWindow);
    decoders.playTime = 200us;

    std::vector<std::string> nowPlaying = window.labelHistory(kLabelNowPlaying);
    std::string shown = (c.voiceover ? "(+mic) " : "") + std::string("Song A");
    EXPECT_TRUE(std::any_of(nowPlaying.begin(), nowPlaying.end(),
                            [&](const std::string& text) { return text.rfind(shown, 0) == 0; }));
    EXPECT_EQ(window.labelHistory(kLabelNextTrack).front().rfind("Song B", 0), 0u);
    EXPECT_EQ(window.labelHistory(kLabelNextTrack).back(), "end of program");
    EXPECT_EQ(window.label(kLabelPlaylistName), "<none>");
    EXPECT_EQ(window.label(kLabelTrackFormat), "0 Kbps, 22050 hz, (stereo)");
    if (c.noStats) {
      EXPECT_EQ(window.label(kLabelDataCounter), "<unset>");
      EXPECT_EQ(window.label(kLabelTrackTimes), "<unset>");
    } else {
      EXPECT_EQ(window.label(kLabelDataCounter).find(" kb (input) , "), 1u)
          << window.label(kLabelDataCounter);
      EXPECT_NE(window.label(kLabelTrackTimes), "<unset>");
      EXPECT_NE(window.label(kLabelPlaylistTimes), "<unset>");
    }
  }
  acm->setSideChannel(nullptr);
  // The title bar was refreshed with the on-the-air state at the first track.
  EXPECT_FALSE(mainWindow.titles().empty());
}

TEST_F(EncoderTest, OutputDeviceProblemsFailTheTrackWithTheirMessages) {
  struct Case {
    const char* name;
    std::string device;
    int deviceStatus;
    std::string box;      // empty: no box, the clock plays
    std::string logLine;  // besides the box
  };
  std::vector<Case> cases = {
      {"asked-for device busy", "USB", kOutputBusy, "Cannot open XAudio decoder output, Device is busy",
       "Cannot open XAudio decoder output, device is busy, error=-511\n"},
      {"asked-for device missing", "USB", kOutputMissing, "Cannot open XAudio decoder output, error=-512\n",
       "Cannot open XAudio decoder output, error=-512"},
      {"no default device", "", kOutputMissing, "", "the playlist is paced by the clock\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeEncoder();
    playlist.FreeListArray();
    PlaybackSettings settings;
    settings.device = c.device;
    encoder->setPlayback(settings);
    decoders.outputStatus = c.deviceStatus;
    track("a.mp3");
    size_t boxesBefore = prompts.boxTexts().size();
    test::LogTail runLog;
    start();
    ASSERT_TRUE(runLog.waitFor("Playlist done\n"));
    std::vector<std::string> boxes = prompts.boxTexts();
    boxes.erase(boxes.begin(), boxes.begin() + static_cast<long>(boxesBefore));
    EXPECT_TRUE(runLog.contains(c.logLine));
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_TRUE(playlist.item(0)->playable());
    } else {
      EXPECT_EQ(boxes, std::vector<std::string>{c.box});
      EXPECT_FALSE(playlist.item(0)->playable());
    }
    EXPECT_EQ(decoders.devicesAsked().back(), c.device);
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

TEST_F(EncoderTest, PriorityClassesMapToLevels) {
  struct Case {
    int priorityClass;
    int level;
  };
  encoder->setPriority(kPriorityHighest);
  for (Case c : {Case{kPriorityClassNormal, 0}, Case{kPriorityClassHigh, 1}, Case{kPriorityClassRealtime, 2},
                 Case{64, 2}, Case{kPriorityClassNormal, 0}, Case{1, 0}}) {
    SCOPED_TRACE(c.priorityClass);
    EXPECT_TRUE(encoder->setPriorityClass(c.priorityClass)) << "no worker: nothing to refuse";
    EXPECT_EQ(encoder->priority(), c.level);
  }
  EXPECT_FALSE(encoder->setPriority(3));
  EXPECT_EQ(encoder->priority(), 0);
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
