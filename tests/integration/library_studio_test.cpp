// A music library of every format at three loudness levels, broadcast by the headless studio at
// one loudness: the recording of the stream measured by ffmpeg's ebur128 filter.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <span>
#include <sstream>

#include "support/demo_station.h"
#include "support/journal.h"
#include "support/tone_files.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

struct Track {
  std::string name;
  double hz;
  double lufs;
  double heard = -16;  // LUFS on the air
  std::string album{};
};

// Momentary loudness (400 ms) every 100 ms of a recording: (seconds, LUFS).
std::vector<std::pair<double, double>> momentaryLoudness(const std::string& path) {
  std::istringstream log(test::commandOutput("ffmpeg -nostats -v verbose -i " + test::shellQuoted(path) +
                                             " -af ebur128 -f null - 2>&1"));
  std::vector<std::pair<double, double>> points;
  for (std::string line; std::getline(log, line);) {
    double t = 0;
    double m = 0;
    size_t at = line.find(" t: ");
    size_t mAt = line.find(" M:");
    if (at == std::string::npos || mAt == std::string::npos) continue;
    if (std::sscanf(line.c_str() + at + 4, "%lf", &t) == 1 &&
        std::sscanf(line.c_str() + mAt + 3, "%lf", &m) == 1)
      points.emplace_back(t, m);
  }
  return points;
}

// In the recording, each track's stretch, told by its tone, in the list's order; its loudness the
// median of its momentary figures, away from its ends; no silence over 200 ms.
void expectEachTrackAtTheTarget(std::span<const Track> tracks, const std::string& recording,
                                bool crossfaded) {
  std::vector<int16_t> heard = test::decodeMp3(test::readFile(recording));
  std::vector<double> candidates;
  for (const Track& t : tracks) candidates.push_back(t.hz);
  const size_t window = test::kHeard.sampleRate / 10 * 2;  // 100 ms
  std::vector<double> toneAt;
  int overlapping = 0;  // windows in which two tracks sound
  for (size_t at = 0; at + window <= heard.size(); at += window) {
    std::span part(heard.data() + at, window);
    toneAt.push_back(test::dominantTone(part, test::kHeard, candidates));
    overlapping += std::ranges::count_if(candidates, [&](double hz) {
                     return test::tonePower(part, test::kHeard, hz) > 1.0;
                   }) >= 2;
  }
  // Five changes of about 3 s each overlap, or none at all.
  EXPECT_EQ(overlapping > 100, crossfaded) << overlapping;
  std::vector<std::pair<double, double>> loudness = momentaryLoudness(recording);
  size_t next = 0;
  for (const Track& t : tracks) {
    SCOPED_TRACE(t.name);
    auto first = std::find(toneAt.begin() + next, toneAt.end(), t.hz);
    ASSERT_NE(first, toneAt.end()) << "not heard in order";
    auto last = std::find_if(first, toneAt.end(), [&](double hz) { return hz != t.hz; });
    next = last - toneAt.begin();
    const double from = (first - toneAt.begin()) / 10.0 + 1.0, to = next / 10.0 - 0.3;
    std::vector<double> inside;
    for (auto [time, lufs] : loudness)
      if (time >= from && time <= to) inside.push_back(lufs);
    ASSERT_GE(inside.size(), 5u);
    std::nth_element(inside.begin(), inside.begin() + inside.size() / 2, inside.end());
    EXPECT_NEAR(inside[inside.size() / 2], t.heard, 1.0);
  }
  auto sounding = [&](size_t at) { return test::peak(std::span(heard.data() + at, window / 2)) > 33; };
  size_t gap = 0, longest = 0;
  for (size_t at = 0; at + window / 2 <= heard.size(); at += window / 2) {
    gap = sounding(at) ? 0 : gap + 1;
    if (at > 0) longest = std::max(longest, gap);
  }
  EXPECT_LE(longest * 50, 200u) << "ms of silence";
}

class LibraryOnTheAir : public ::testing::Test, protected test::DemoStation {
 protected:
  void SetUp() override {
    ASSERT_TRUE(icecast.start()) << icecast.errorLog();
    ASSERT_TRUE(emulator.ready()) << emulator.logFile();
    ASSERT_TRUE(configure({"--line-speed", "100000", "--output-bitrate", "56000"}))
        << scratch.read("run.log");
    std::filesystem::create_directories(scratch.file("music"));
  }
  bool makeTrack(const Track& t, double seconds = 8, double silentEnds = 0) {
    return test::makeLibraryTone(scratch.file("music/" + t.name), {.frequency = t.hz,
                                                                   .seconds = seconds,
                                                                   .title = t.name,
                                                                   .artist = "Test",
                                                                   .album = t.album,
                                                                   .volume = std::pow(10, t.lufs / 20),
                                                                   .silentEnds = silentEnds});
  }
  // The headless studio plays music/list.m3u into recorded.mp3 until its log says `done`; the log's
  // text (the file is removed, so that the next run's log is the newest).
  std::string playList(std::vector<std::string> options,
                       const std::function<bool(const std::string&)>& done) {
    options.insert(options.begin(), {"--headless", "--playlist", scratch.file("music/list.m3u"), "-outfile",
                                     scratch.file("recorded.mp3")});
    auto run = studio(options, "run.log", {"BROVANA_PLAYBACK=off", "BROVANA_PACE=4"});
    auto newestLog = [&] {
      int newest = 0;
      for (int n = 0; n < 20; ++n)
        if (std::filesystem::exists(scratch.file("work/live_log" + std::to_string(n) + ".txt"))) newest = n;
      return "work/live_log" + std::to_string(newest) + ".txt";
    };
    EXPECT_TRUE(test::waitUntil([&] { return done(scratch.read(newestLog())); }, 60s))
        << scratch.read(newestLog());
    EXPECT_EQ(run->stop(SIGTERM, 30s), 0) << scratch.read("run.log");
    std::string log = scratch.read(newestLog());
    std::filesystem::remove(scratch.file(newestLog()));
    return log;
  }
  // Until the track after `last` has begun.
  static auto after(const std::string& last) {
    return [last](const std::string& log) {
      size_t at = log.find("Now playing : " + last);
      return at != std::string::npos && log.find("Now playing", at + 1) != std::string::npos;
    };
  }
  // Measuring runs at idle priority, after everything else on a busy machine: a first run plays until
  // every track has its final gain, and its end writes them to the cache the measured runs read.
  void measureAll(std::span<const Track> tracks, const std::string& mode) {
    playList({"--normalize", mode}, [tracks](const std::string& log) {
      return std::ranges::all_of(tracks, [&](const Track& t) {
        for (size_t at = log.find(t.name + " plays at"); at != std::string::npos;
             at = log.find(t.name + " plays at", at + 1))
          if (log.compare(log.find(" loudness ", at), 19, " loudness measured,") == 0) return true;
        return false;
      });
    });
  }
};

// Tracks of five formats made at -30, -20 and -10 LUFS play in order, each within 1 LU of the
// -16 LUFS target, without a silence over 200 ms between them (one track has 1.5 s at each end
// to trim), one after the other and with a 3 s crossfade; a file with no audio is skipped with
// its reason, a truncated one plays what it holds, and a damaged loudness cache is built anew.
TEST_F(LibraryOnTheAir, EveryFormatPlaysInOrderAtTheTargetLoudness) {
  const Track tracks[] = {{"a.flac", 300, -30}, {"b.ogg", 500, -10},     {"c.opus", 700, -20},
                          {"d.wav", 1100, -30}, {"cut.flac", 1300, -20}, {"e.mp3", 1700, -10}};
  std::string m3u;
  for (const Track& t : tracks) {
    ASSERT_TRUE(makeTrack(t, t.name == "cut.flac" ? 12.0 : 8.0, t.name == "d.wav" ? 1.5 : 0.0));
    m3u += t.name + "\n" + (t.name == "c.opus" ? "notes.flac\n" : "");
  }
  std::filesystem::resize_file(scratch.file("music/cut.flac"),
                               std::filesystem::file_size(scratch.file("music/cut.flac")) / 2);
  scratch.write("music/notes.flac", std::string(3000, 'n'));
  scratch.write("music/list.m3u", m3u);
  scratch.write("cache/brovana-live/loudness.cache", "brovana-live loudness 1\n1 2 x\n");
  measureAll(tracks, "track");
  EXPECT_TRUE(test::inOrder(scratch.read("cache/brovana-live/loudness.cache"),
                            {"brovana-live loudness 1\n", "\t" + scratch.file("music/a.flac") + "\n"}))
      << "the damaged cache is built anew";
  for (const std::string crossfade : {"0", "3"}) {
    SCOPED_TRACE("crossfade " + crossfade);
    std::string log = playList({"--normalize", "track", "--crossfade", crossfade}, after("e.mp3"));
    EXPECT_TRUE(test::inOrder(log, {"notes.flac skipped: ", "Now playing : d.wav"}));
    expectEachTrackAtTheTarget(tracks, scratch.file("recorded.mp3"), crossfade == "3");
  }
}

// In album mode an album keeps the balance of its tracks: a quiet album's tracks are raised by one
// gain, 6 LU apart as they were, around the target; a loud album's single track is lowered to it.
TEST_F(LibraryOnTheAir, AlbumModeKeepsTheBalanceWithinEachAlbum) {
  // Two equal-length tracks 6 LU apart sum to 3.96 LU above the quieter one.
  const Track tracks[] = {{"q1.flac", 500, -30, -19.96, "Quiet"},
                          {"q2.ogg", 700, -24, -13.96, "Quiet"},
                          {"loud.mp3", 1100, -10, -16, "Loud"}};
  std::string m3u;
  for (const Track& t : tracks) {
    ASSERT_TRUE(makeTrack(t));
    m3u += t.name + "\n";
  }
  scratch.write("music/list.m3u", m3u);
  measureAll(tracks, "album");
  playList({"--normalize", "album"}, after("loud.mp3"));
  expectEachTrackAtTheTarget(tracks, scratch.file("recorded.mp3"), false);
}

}  // namespace
}  // namespace brovana
