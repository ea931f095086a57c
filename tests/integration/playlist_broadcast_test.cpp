// A whole playlist broadcast with real peers: Icecast 2 takes the source on its shoutcast port,
// the service emulator holds the account (pointing at that Icecast) and records the titles, and
// a listener reads the mount. The engine plays generated tones at four times real time, decoding
// with mpg123 and encoding with LAME at 56 kbit/s, and reports through the studio's adapters.

#include <gtest/gtest.h>

#include <thread>

#include "audio/encoder.h"
#include "broadcast/audio_parts.h"
#include "broadcast/report_adapters.h"
#include "monitor/status_display.h"
#include "net/live_connect.h"
#include "net/song_update_sender.h"
#include "net/web_account_service.h"
#include "platform/curl_http_client.h"
#include "platform/decoder_library.h"
#include "platform/lame_codec.h"
#include "platform/mpg123_decoder.h"
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

// The tone of each quarter second of the stream, repeats and silence taken out: what a listener
// hears, in order.
std::vector<double> toneSequence(const std::string& mp3Path) {
  Mpg123Decoder decoder;
  std::vector<double> sequence;
  if (decoder.createInput(mp3Path) != kDecoderOk || decoder.openInput() != kDecoderOk) return sequence;
  PcmFormat format = decoder.format();
  std::vector<int16_t> pcm;
  for (DecodeStatus status = DecodeStatus::Block; status == DecodeStatus::Block;) {
    status = decoder.decode();
    pcm.insert(pcm.end(), decoder.block().begin(), decoder.block().end());
  }
  size_t window = static_cast<size_t>(format.sampleRate / 4) * format.channels;
  double last = -2;
  for (size_t at = 0, run = 0; at + window <= pcm.size(); at += window) {
    double tone =
        test::dominantTone(std::span<const int16_t>(pcm).subspan(at, window), format, {440, 660, 880});
    run = tone == last ? run + 1 : 1;
    last = tone;
    // A tone counts once it held for two windows; the boundaries between tracks are mixed.
    if (run == 2 && tone > 0 && (sequence.empty() || sequence.back() != tone)) sequence.push_back(tone);
  }
  return sequence;
}

TEST(PlaylistBroadcastTest, ListenerHearsTheTracksInOrderTheServiceGetsEachTitleAndABadFileIsSkipped) {
  test::TempFolder folder;
  // A listener that comes a moment after the start still gets the stream from its beginning.
  test::IcecastServer icecast{{"source-secret", "/live", 256 * 1024}};
  ASSERT_TRUE(icecast.start()) << icecast.errorLog();
  test::EmulatorOptions options;
  options.accountsFile = "alice source-secret mode=LI listeners=3 rating=8.0 minutes=12\n";
  options.broadcastPort = icecast.sourcePort();
  test::ServiceEmulator emulator{options};
  ASSERT_TRUE(emulator.ready()) << emulator.logFile();

  test::FakePrompts prompts;
  Playlist playlist{prompts};
  for (double frequency : {440.0, 0.0, 660.0, 880.0}) {
    test::ToneSpec spec;
    spec.frequency = frequency;
    spec.seconds = 4;
    if (frequency == 660) {
      spec.title = "Six Sixty";
      spec.artist = "Tone Maker";
    }
    std::string name = "tone" + std::to_string(static_cast<int>(frequency)) + ".mp3";
    if (frequency == 0)
      folder.write(name, std::string(48000, 'x'));  // not an MP3 file at all
    else
      ASSERT_TRUE(test::makeTone(folder.file(name), spec));
    ASSERT_TRUE(playlist.addFile(folder.file(name), AddMode::Append));
  }

  CurlHttpClient http;
  SongUpdateSender sender{http};
  WebService web{http, emulator.webHost(), &sender};
  WebAccountService accounts{web};
  test::FakeExit exit;
  test::Journal journal;
  test::FakeStatusWindow window{journal};
  test::FakeMainWindow mainWindow{journal};
  StatusDisplay status{&window, &mainWindow};
  LinkReportsAdapter linkReports{status};
  LiveConnect live{emulator.webHost(), &linkReports, accounts, prompts, LiveConnectTimings{2s, 5s, 120s}};
  live.setMemberName("alice");
  live.setPassword(icecast.sourcePassword());
  live.setOutputBitrate(56000);
  ASSERT_TRUE(live.refreshServerInfo());
  EngineReportsAdapter reports{status, &mainWindow, live, web, {}};
  LameCodec codec;
  PlatformDecoderLibrary decoders;
  AcmStage stage{live, status, codec, prompts, exit};
  stage.startConvertThread();
  Encoder encoder{stage.acm(), decoders, prompts};
  encoder.setReports(&reports);
  PlaybackSettings playback;
  playback.pace = 4;
  encoder.setPlayback(playback);
  live.connect();
  ASSERT_TRUE(live.login()) << icecast.errorLog();

  test::LogTail log;
  encoder.start(playlist, 56000, 0);
  auto listener = test::listenWhenServed(icecast);
  ASSERT_TRUE(listener) << icecast.errorLog();
  ASSERT_TRUE(log.waitFor(">>>> 5 : Now playing : tone660.mp3", 60s)) << "into the second pass";

  encoder.stopPlaying(false);
  ASSERT_TRUE(log.waitFor("Playlist done\n", 20s));
  std::this_thread::sleep_for(1s);  // the tail leaves the stage with the flush
  ASSERT_TRUE(sender.waitIdle(5s));

  folder.write("heard.mp3", listener->body());
  MP3Info heard(folder.file("heard.mp3"));
  EXPECT_EQ(heard.sampleRate() * 10 + heard.channels(), 220502) << "22050 Hz stereo";
  EXPECT_EQ(heard.bitrate(), 56000);
  auto tones = toneSequence(folder.file("heard.mp3"));
  ASSERT_GE(tones.size(), 4u);
  EXPECT_EQ(std::vector<double>(tones.begin(), tones.begin() + 4), (std::vector<double>{440, 660, 880, 440}));

  auto songs = emulator.songs();
  ASSERT_GE(songs.size(), 4u) << "the bad file is announced before it fails";
  EXPECT_EQ(songs[0].field("title").rfind("tone440.mp3", 0), 0u) << songs[0].field("title");
  EXPECT_EQ(songs[0].field("seconds"), "4");
  EXPECT_EQ(songs[2].field("title") + "/" + songs[2].field("artist") + "/" + songs[2].field("fileName"),
            "Six Sixty/Tone Maker/tone660");
  EXPECT_EQ(songs[3].field("handle"), "alice");

  EXPECT_FALSE(playlist.item(1)->playable());
  EXPECT_TRUE(log.contains("XAudio failed for song tone0.mp3 ripped at -1 bps with 2 channel(s)."));
  EXPECT_EQ(window.label(kLabelLastError).rfind("XAudio failed for song tone0.mp3", 0), 0u);

  EXPECT_TRUE(live.loggedOn()) << "a stopped list leaves the link up";
}

}  // namespace
}  // namespace brovana
