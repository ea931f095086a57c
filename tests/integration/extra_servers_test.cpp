// The headless studio streaming to extra servers besides the member's: a real Icecast with
// several mounts (one over its own TLS listener), a second Icecast that dies mid-stream, and
// servers that refuse; listeners, ffprobe and Icecast's status page check what arrives.

#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "support/demo_station.h"
#include "support/scripted_peer.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class ExtraServersTest : public ::testing::Test, protected test::DemoStation {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    std::filesystem::create_directories(scratch.file("music"));
    for (int hz : {440, 15000})
      ASSERT_TRUE(test::makeTone(
          scratch.file("music/tone" + std::to_string(hz) + ".mp3"),
          {.frequency = double(hz), .seconds = 20, .title = "Tone " + std::to_string(hz), .artist = "Test"}));
    scratch.write("music/tones.m3u", "tone440.mp3\ntone15000.mp3\n");
    scratch.write("password", "demo-secret\n");
    ASSERT_TRUE(configure()) << scratch.read("run.log");
  }

  // The studio on the tones, at twice real time, with these extra arguments.
  std::unique_ptr<test::ChildProcess> onAir(std::vector<std::string> args, const std::string& log) {
    args.insert(args.begin(), {"--headless", "--playlist", scratch.file("music/tones.m3u")});
    return studio(args, log, {"BROVANA_PLAYBACK=off", "BROVANA_PACE=2"});
  }
  std::string url(const std::string& scheme, int port, const std::string& mountAndQuery) const {
    return scheme + "://@" + scratch.file("password") + "@127.0.0.1:" + std::to_string(port) + mountAndQuery;
  }
  // Every line the studio's runs logged so far.
  std::string runLogs() const {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(work()))
      if (entry.path().filename().string().starts_with("live_log"))
        all += scratch.read("work/" + entry.path().filename().string());
    return all;
  }
  size_t count(const std::string& text, const std::string& part) const {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  // The mount's entry on Icecast's status page, empty while it has none.
  std::string mountStatus(const test::IcecastServer& server, const std::string& mount) const {
    std::string page = test::httpGetLoopback(server.port(), "/status-json.xsl").value_or("");
    size_t at = page.find("\"listenurl\":\"http://127.0.0.1:" + std::to_string(server.port()) + mount + "\"");
    if (at == std::string::npos) return {};
    size_t begin = page.rfind('{', at), end = page.find('}', at);
    return page.substr(begin, end - begin);
  }
  bool titled(const std::vector<std::string>& mounts, const std::string& title,
              const test::IcecastServer* server = nullptr) const {
    return std::all_of(mounts.begin(), mounts.end(), [&](auto& m) {
      return mountStatus(server ? *server : icecast, m).find("\"title\":\"" + title + "\"") !=
             std::string::npos;
    });
  }
  // What a mount carries above 12 kHz: the RMS of two seconds of it, decoded and high-passed.
  double highBand(int port, const std::string& mount) const {
    std::string pcm =
        test::commandOutput("timeout 20 ffmpeg -v quiet -i 'http://127.0.0.1:" + std::to_string(port) +
                            mount + "' -t 2 -af highpass=f=12000,highpass=f=12000 -ac 1 -f s16le -");
    double sum = 0;
    const size_t n = pcm.size() / 2;
    for (size_t i = 0; i < n; ++i) {
      int16_t v;
      std::memcpy(&v, pcm.data() + 2 * i, 2);
      sum += double(v) * v;
    }
    return n ? std::sqrt(sum / double(n)) : 0;
  }
  std::string probe(const std::string& target) const {
    std::string facts = test::commandOutput(
        "timeout 30 ffprobe -v error -show_entries stream=codec_name,"
        "sample_rate,channels,bit_rate:stream_tags=title -of csv=p=0 '" +
        target + "'");
    return facts.substr(0, facts.find_last_not_of('\n') + 1);
  }
};

// Three formats at once to one Icecast, one of them over TLS, and a recording: each mount
// carries its codec, rate and bit rate, each track's title shows within 5 s of its start; a
// second server killed mid-stream costs the others nothing and is back when its server is.
TEST_F(ExtraServersTest, FormatsTitlesTlsAndAServerThatDiesWhileTheOthersPlayOn) {
  test::IcecastServer spare{{.sourcePassword = "demo-secret", .tls = false}};
  test::IcecastServer secure{{.sourcePassword = "demo-secret", .tls = true}};
  ASSERT_TRUE(spare.start() && secure.start()) << spare.errorLog() << secure.errorLog();
  const int port = icecast.port();
  auto run = onAir({"--also", url("icecast", port, "/high.mp3?bitrate=320&rate=44100&name=High"), "--also",
                    url("icecast", port, "/talk.opus?codec=opus&bitrate=96"), "--also",
                    url("icecast", port, "/music.ogg?codec=vorbis&bitrate=128&rate=48000&channels=1"),
                    "--also", url("icecasts", secure.tlsPort(), "/secure.mp3?bitrate=128&tls=insecure"),
                    "--also", url("icecast", spare.port(), "/spare.mp3?bitrate=64&vbr=1"), "--record",
                    scratch.file("recorded.opus") + "?codec=opus&bitrate=64"},
                   "run.log");
  // Icecast 2.4 reads no Opus comments for its status page; a listener's player does (below).
  // "/live" is the member's own link, which takes its titles as a SHOUTcast server does.
  const std::vector<std::string> mounts = {"/high.mp3", "/music.ogg", "/live"};
  ASSERT_TRUE(test::waitUntil([&] { return titled(mounts, "Test - Tone 440"); }, 40s))
      << mountStatus(icecast, "/high.mp3") << "\n"
      << mountStatus(icecast, "/talk.opus") << "\n"
      << mountStatus(icecast, "/music.ogg") << "\n"
      << runLogs();
  EXPECT_NE(mountStatus(icecast, "/high.mp3").find("\"server_name\":\"High\""), std::string::npos);
  EXPECT_TRUE(test::waitUntil([&] { return !mountStatus(secure, "/secure.mp3").empty(); }, 10s)) << runLogs();

  EXPECT_EQ(probe("http://127.0.0.1:" + std::to_string(port) + "/high.mp3"), "mp3,44100,2,320000");
  EXPECT_EQ(probe("http://127.0.0.1:" + std::to_string(port) + "/talk.opus"),
            "opus,48000,2,N/A,Test - Tone 440");
  EXPECT_EQ(probe("http://127.0.0.1:" + std::to_string(port) + "/music.ogg"),
            "vorbis,48000,1,128000,Test - Tone 440");
  EXPECT_NE(mountStatus(icecast, "/talk.opus").find("\"bitrate\":96"), std::string::npos)
      << mountStatus(icecast, "/talk.opus");

  // The next track: its title within 5 s of its start; on the Opus mount, in the comments of
  // the chained stream that a listener's player reads.
  test::StreamListener opus(port, "/talk.opus");
  ASSERT_TRUE(test::waitUntil([&] { return count(runLogs(), "Now playing : tone15000.mp3") > 0; }, 30s));
  // The extra servers get the full band: the 15 kHz tone the member's 22,050 Hz stream cannot carry.
  auto highBandOfHigh = std::async(std::launch::async, [&] { return highBand(port, "/high.mp3"); });
  auto highBandOfOwn = std::async(std::launch::async, [&] { return highBand(port, "/live"); });
  EXPECT_TRUE(test::waitUntil(
      [&] {
        return titled(mounts, "Test - Tone 15000") && titled({"/secure.mp3"}, "Test - Tone 15000", &secure);
      },
      5s))
      << mountStatus(icecast, "/high.mp3") << mountStatus(icecast, "/music.ogg")
      << mountStatus(secure, "/secure.mp3") << runLogs();
  EXPECT_TRUE(
      test::waitUntil([&] { return opus.body().find("TITLE=Test - Tone 15000") != std::string::npos; }, 5s));
  EXPECT_GT(highBandOfHigh.get(), 2000);
  EXPECT_LT(highBandOfOwn.get(), 200);

  // The spare dies: the listeners of the others and of the member's mount go on hearing.
  test::StreamListener high(port, "/high.mp3"), member(port, "/live");
  ASSERT_TRUE(high.waitForBody(40000) && member.waitForBody(4000)) << high.head() << member.head();
  spare.kill();
  const size_t highBefore = high.body().size(), memberBefore = member.body().size();
  EXPECT_TRUE(high.waitForBody(highBefore + 200000, 20s)) << icecast.errorLog();
  EXPECT_TRUE(member.waitForBody(memberBefore + 20000, 20s));
  const std::string spareName =
      "Extra server icecast://127.0.0.1:" + std::to_string(spare.port()) + "/spare.mp3";
  EXPECT_TRUE(
      test::waitUntil([&] { return count(runLogs(), spareName + ": the connection dropped") == 1; }, 20s))
      << runLogs();
  ASSERT_TRUE(spare.start());
  EXPECT_TRUE(test::waitUntil([&] { return !mountStatus(spare, "/spare.mp3").empty(); }, 20s)) << runLogs();
  EXPECT_EQ(count(runLogs(), spareName + ": on the air"), 2u);

  EXPECT_EQ(run->stop(SIGTERM, 30s), 0);
  // The recording decodes across its chained streams (ffmpeg complains about each chain, and
  // goes on); at least the two tracks it saw.
  EXPECT_EQ(probe(scratch.file("recorded.opus")), "opus,48000,2,N/A,Test - Tone 440");
  std::string decoded = test::commandOutput("ffmpeg -v quiet -i '" + scratch.file("recorded.opus") +
                                            "' -ac 1 -ar 8000 -f s16le - 2>/dev/null");
  EXPECT_GT(decoded.size(), 8000u * 2 * 20);
}

// Each refusal (a wrong password, a peer that is no Icecast, an unknown mount, a certificate that
// does not verify, a bit rate the codec cannot make), and a server that never answers, is one
// message naming its server however often it is tried again; the good server beside them plays,
// and it and the member's own server take the song file's title.
TEST_F(ExtraServersTest, EachRefusingServerIsOneMessageAndTheRestStaysOnTheAir) {
  test::IcecastServer secure{{.sourcePassword = "demo-secret", .tls = true, .onlyMounts = {"/strict.mp3"}}};
  test::ScriptedPeer silent{{.neverRead = true}};
  ASSERT_TRUE(secure.start()) << secure.errorLog();
  const std::string port = std::to_string(icecast.port()), host = "127.0.0.1:";
  const std::string service = emulator.webHost().substr(emulator.webHost().find(':') + 1);
  const std::pair<std::string, std::string> refusals[] = {
      {"icecast://" + host + port + "/wrong.mp3", "the server refused the log-in"},
      {"icecast://" + host + service + "/service.mp3", "the server refused the log-in"},
      {"icecasts://" + host + std::to_string(secure.tlsPort()) + "/strict.mp3",
       "the server's TLS certificate does not verify (add tls=insecure"},
      {"icecast://" + host + port + "/big.opus stays off", "Opus takes 16000 to 256000 bit/s"},
      {"icecast://" + host + std::to_string(secure.port()) + "/unknown.mp3", "the server refused the log-in"},
      {"icecast://" + host + std::to_string(silent.port()) + "/silent.mp3", "no answer within 10 seconds"},
  };
  auto run = onAir(
      {"--also", "icecast://wrong@" + host + port + "/wrong.mp3", "--also",
       "icecast://demo-secret@" + host + service + "/service.mp3", "--also",
       url("icecasts", secure.tlsPort(), "/strict.mp3"), "--also",
       url("icecast", icecast.port(), "/big.opus?codec=opus&bitrate=300"), "--also",
       url("icecast", silent.port(), "/silent.mp3"), "--also", url("icecast", secure.port(), "/unknown.mp3"),
       "--also", url("icecast", icecast.port(), "/good.mp3"), "--song-file", scratch.file("song.txt")},
      "run.log");
  ASSERT_TRUE(test::waitUntil([&] { return !mountStatus(icecast, "/good.mp3").empty(); }, 40s)) << runLogs();
  test::StreamListener listener(icecast.port(), "/good.mp3");
  EXPECT_TRUE(listener.waitForBody(100000, 20s)) << listener.head();
  // What DJ software writes into the song file is the title within 5 s.
  scratch.write("song.txt", "Live - Guest DJ\n");
  EXPECT_TRUE(test::waitUntil([&] { return titled({"/good.mp3", "/live"}, "Live - Guest DJ"); }, 5s));
  auto told = [&](const auto& refusal) {
    return runLogs().find("Extra server " + refusal.first + ": " + refusal.second) != std::string::npos;
  };
  EXPECT_TRUE(
      test::waitUntil([&] { return std::all_of(std::begin(refusals), std::end(refusals), told); }, 30s))
      << runLogs();
  // Long enough for several tries of each.
  EXPECT_TRUE(test::waitUntil([&] { return count(runLogs(), "Now playing : tone15000.mp3") > 0; }, 40s));
  for (const auto& [server, reason] : refusals)
    EXPECT_EQ(count(runLogs(), "Extra server " + server), 1u) << server << "\n" << runLogs();
  EXPECT_TRUE(listener.waitForBody(listener.body().size() + 100000, 20s));
  EXPECT_EQ(run->stop(SIGTERM, 30s), 0);
}

}  // namespace
}  // namespace brovana
