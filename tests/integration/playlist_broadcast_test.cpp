// A whole playlist broadcast with real peers: Icecast 2 takes the source on its shoutcast port,
// the service emulator holds the account (pointing at that Icecast) and records the titles, and
// a listener reads the mount. The engine plays three generated tones at four times real time,
// decoding with mpg123 and encoding with LAME at 56 kbit/s.

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "audio/acm_convert.h"
#include "audio/encoder.h"
#include "monitor/status_display.h"
#include "net/live_connect.h"
#include "net/song_update_sender.h"
#include "net/web_account_service.h"
#include "net/web_service.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
#include "playlist/mp3_info.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/fake_views.h"
#include "support/icecast_server.h"
#include "support/log_tail.h"
#include "support/service_emulator.h"
#include "support/temp_folder.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kPace = 4.0;
constexpr double kToneSeconds = 4.0;

// The stage's stream goes to the connection, its reports to the status display.
class ConnectionSink final : public StreamSink {
 public:
  explicit ConnectionSink(LiveConnect& connection) : connection_(connection) {}
  int sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) override {
    return connection_.sendStream(bytes, static_cast<size_t>(length), reconnectAllowed);
  }
  void flush() override { connection_.flush(); }

 private:
  LiveConnect& connection_;
};

class StatusReports final : public ConversionStatus {
 public:
  explicit StatusReports(StatusDisplay& status) : status_(status) {}
  void showLastError(std::string_view text) override { status_.setLastError(text); }
  void refreshCounters() override { status_.refreshCounters(); }

 private:
  StatusDisplay& status_;
};

// The tone of each quarter second of the stream, with repeats and silence taken out: what a
// listener hears, in order.
std::vector<double> toneSequence(const std::string& mp3Path) {
  Mpg123Decoder decoder;
  std::vector<double> sequence;
  if (decoder.createInput(mp3Path) != kDecoderOk || decoder.openInput() != kDecoderOk) return sequence;
  PcmFormat format = decoder.format();
  std::vector<int16_t> pcm;
  while (true) {
    DecodeStatus status = decoder.decode();
    pcm.insert(pcm.end(), decoder.block().begin(), decoder.block().end());
    if (status != DecodeStatus::Block) break;
  }
  size_t window = static_cast<size_t>(format.sampleRate / 4) * format.channels;
  double last = -2;
  int run = 0;
  for (size_t at = 0; at + window <= pcm.size(); at += window) {
    double tone =
        test::dominantTone(std::span<const int16_t>(pcm).subspan(at, window), format, {440, 660, 880});
    run = tone == last ? run + 1 : 1;
    last = tone;
    // A tone counts once it held for two windows; the boundaries between tracks are mixed.
    if (run == 2 && tone > 0 && (sequence.empty() || sequence.back() != tone)) sequence.push_back(tone);
  }
  return sequence;
}

class PlaylistBroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();

    for (double frequency : {440.0, 660.0, 880.0}) {
      test::ToneSpec spec;
      spec.frequency = frequency;
      spec.seconds = kToneSeconds;
      if (frequency == 660) {
        spec.title = "Six Sixty";
        spec.artist = "Tone Maker";
        spec.album = "Test Tones";
      }
      std::string name = "tone" + std::to_string(static_cast<int>(frequency)) + ".mp3";
      ASSERT_TRUE(test::makeTone(folder.file(name), spec));
      ASSERT_TRUE(playlist.addFile(folder.file(name), AddMode::Append));
    }

    live = std::make_unique<LiveConnect>(emulator.webHost(), &status, accounts, prompts,
                                         LiveConnectTimings{2s, 5s, 120s});
    live->setMemberName("alice");
    live->setPassword(icecast.sourcePassword());
    live->setOutputBitrate(56000);
    ASSERT_TRUE(live->refreshServerInfo());
    ASSERT_EQ(live->port(), icecast.sourcePort());

    sink = std::make_unique<ConnectionSink>(*live);
    acm = std::make_unique<AcmConvert>(*sink, reports, codec, prompts, exit);
    acm->startConvertThread();
    encoder = std::make_unique<Encoder>(*acm, decoders, prompts);
    encoder->setStatusDisplay(&status);
    encoder->setMainWindow(&mainWindow);
    encoder->setWebService(&web);
    PlaybackSettings playback;
    playback.pace = kPace;
    encoder->setPlayback(playback);

    live->connect();
    ASSERT_TRUE(live->login()) << icecast.errorLog();
  }

  void TearDown() override {
    encoder.reset();
    acm.reset();
    Logger::setStatsSource(nullptr);
  }

  std::unique_ptr<test::StreamListener> listen() { return test::listenWhenServed(icecast); }

  std::string saveStream(const test::StreamListener& listener) {
    folder.write("heard.mp3", listener.body());
    return folder.file("heard.mp3");
  }

  test::TempFolder folder;
  // A listener that comes a moment after the start still gets the stream from its beginning.
  test::IcecastServer icecast{{"source-secret", "/live", 256 * 1024}};
  test::ServiceEmulator emulator{[this] {
    test::EmulatorOptions options;
    options.accountsFile = "alice source-secret mode=LI listeners=3 rating=8.0 minutes=12\n";
    options.broadcastPort = icecast.sourcePort();
    return options;
  }()};
  CurlHttpClient http;
  SongUpdateSender sender{http};
  WebService web{http, emulator.webHost(), &sender};
  WebAccountService accounts{web};
  test::FakePrompts prompts;
  test::FakeExit exit;
  test::FakeStatusWindow window;
  test::FakeMainWindow mainWindow;
  StatusDisplay status{&window, &mainWindow};
  StatusReports reports{status};
  LameCodec codec;
  PlatformDecoderLibrary decoders;
  Playlist playlist{prompts};
  test::LogTail log;
  std::unique_ptr<LiveConnect> live;
  std::unique_ptr<ConnectionSink> sink;
  std::unique_ptr<AcmConvert> acm;
  std::unique_ptr<Encoder> encoder;
};

TEST_F(PlaylistBroadcastTest, ListenerHearsTheTracksInOrderAndTheServiceGetsEachTitle) {
  encoder->setContinuousLoop(false);
  encoder->start(playlist, *live, 56000, 0);
  auto listener = listen();
  ASSERT_TRUE(listener) << icecast.errorLog();
  ASSERT_TRUE(log.waitFor("Playlist done\n", 60s));
  // The last track's tail leaves the stage with the flush; give Icecast a moment to pass it on.
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(sender.waitIdle(5s));

  // What the listener got is the stream's format, and the tones come in the playlist's order.
  std::string heard = saveStream(*listener);
  MP3Info facts(heard);
  ASSERT_TRUE(facts.valid()) << listener->body().size() << " bytes";
  EXPECT_EQ(facts.sampleRate(), 22050);
  EXPECT_EQ(facts.channels(), 2);
  EXPECT_EQ(facts.bitrate(), 56000);
  EXPECT_EQ(toneSequence(heard), (std::vector<double>{440, 660, 880}));
  // About the three tracks' length at the stream's rate.
  EXPECT_NEAR(static_cast<double>(listener->body().size()), 3 * kToneSeconds * 7000,
              0.25 * 3 * kToneSeconds * 7000);

  // One title per track: the tagged file in the tagged form, the others by their titles.
  std::vector<test::AnnouncedSong> songs = emulator.songs();
  ASSERT_EQ(songs.size(), 3u);
  EXPECT_FALSE(songs[0].has("fileName"));
  EXPECT_EQ(songs[0].field("title").rfind("tone440.mp3", 0), 0u) << songs[0].field("title");
  EXPECT_EQ(songs[0].field("seconds"), "4");
  EXPECT_EQ(songs[1].field("fileName"), "tone660");
  EXPECT_EQ(songs[1].field("title"), "Six Sixty");
  EXPECT_EQ(songs[1].field("artist"), "Tone Maker");
  EXPECT_EQ(songs[1].field("album"), "Test Tones");
  EXPECT_EQ(songs[2].field("title").rfind("tone880.mp3", 0), 0u);
  for (const auto& song : songs) EXPECT_EQ(song.field("handle"), "alice");

  EXPECT_TRUE(log.contains("Starting playlist \"<none>\"\n"));
  EXPECT_TRUE(log.contains(">>>> 1 : Now playing : tone440.mp3 (0:00:04)\n"));
  EXPECT_TRUE(log.contains(">>>> 2 : Now playing : tone660.mp3 (0:00:04)\n"));
  EXPECT_TRUE(log.contains(">>>> 3 : Now playing : tone880.mp3 (0:00:04)\n"));
  EXPECT_TRUE(log.contains("listener count : "));
  for (const char* name : {"tone440.mp3", "tone660.mp3", "tone880.mp3"})
    EXPECT_TRUE(log.contains(" bytes transmitted for " + folder.file(name) + "\n")) << name;
  EXPECT_TRUE(prompts.boxTexts().empty());

  // The end of the list is not the end of the broadcast: the link stays up.
  EXPECT_TRUE(live->loggedOn());
  auto another = listen();
  EXPECT_TRUE(another) << "Icecast still has the source";
}

TEST_F(PlaylistBroadcastTest, ContinuousLoopStartsTheListOver) {
  encoder->setContinuousLoop(true);
  encoder->start(playlist, *live, 56000, 0);
  auto listener = listen();
  ASSERT_TRUE(listener) << icecast.errorLog();
  ASSERT_TRUE(log.waitFor(">>>> 5 : Now playing : tone660.mp3", 60s));
  encoder->stopPlaying(false);
  ASSERT_TRUE(log.waitFor("Playlist done\n", 20s));
  std::this_thread::sleep_for(500ms);

  EXPECT_TRUE(log.contains(">>>> 4 : Now playing : tone440.mp3"));
  std::vector<double> heard = toneSequence(saveStream(*listener));
  ASSERT_GE(heard.size(), 4u);
  EXPECT_EQ(std::vector<double>(heard.begin(), heard.begin() + 4), (std::vector<double>{440, 660, 880, 440}));
  EXPECT_TRUE(live->loggedOn());
}

TEST_F(PlaylistBroadcastTest, CorruptFileIsSkippedAndMarkedWhileTheOthersPlay) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "not an mp3 file ";
  folder.write("corrupt.mp3", text);
  playlist.removeItem(1);
  ASSERT_TRUE(playlist.addFile(folder.file("corrupt.mp3"), AddMode::InsertOrAppend));
  playlist.moveItem(2, true);  // 440, corrupt, 880
  ASSERT_EQ(playlist.item(1)->filename(), "corrupt.mp3");
  encoder->setContinuousLoop(false);
  encoder->start(playlist, *live, 56000, 0);
  auto listener = listen();
  ASSERT_TRUE(listener) << icecast.errorLog();
  ASSERT_TRUE(log.waitFor("Playlist done\n", 60s));
  std::this_thread::sleep_for(1s);

  EXPECT_EQ(toneSequence(saveStream(*listener)), (std::vector<double>{440, 880}));
  EXPECT_TRUE(playlist.item(0)->playable());
  EXPECT_FALSE(playlist.item(1)->playable());
  EXPECT_TRUE(playlist.item(2)->playable());
  EXPECT_TRUE(log.contains("XAudio failed for song corrupt.mp3 ripped at -1 bps with 2 channel(s)."));
  EXPECT_TRUE(log.contains(">>>> 2 : Now playing : tone880.mp3"));
  EXPECT_EQ(window.label(kLabelLastError).rfind("XAudio failed for song corrupt.mp3", 0), 0u);
}

}  // namespace
}  // namespace brovana
