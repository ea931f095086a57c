// Loading a 2,000-track M3U playlist: every track's file is opened and its tag and first frame
// read, which is what a member waits for after choosing a playlist. Reports tracks per second.

#include <benchmark/benchmark.h>

#include "playlist/playlist.h"
#include "support/fake_list_window.h"
#include "support/fake_prompts.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace {

using namespace brovana;
constexpr int kTracks = 2000;

// 2,000 small MP3 files with tags (about 20 kB each, so a full 100,000-byte scan is not what
// dominates) in a scratch folder, and the M3U listing them by relative path.
struct Library {
  Library() {
    std::string m3u = "#EXTM3U\r\n";
    for (int i = 0; i < kTracks; ++i) {
      std::string name = "track" + std::to_string(i) + ".mp3", title = "Title " + std::to_string(i);
      folder.write(name, test::id3v2Tag(512) + test::frames(test::FrameHeader{}, 417, 48) +
                             test::id3v1Tag(title, "Artist", "Album", "2001", "", 17));
      m3u += "#EXTINF:1," + title + "\r\n" + name + "\r\n";
    }
    folder.write("library.m3u", m3u);
  }
  test::TempFolder folder;
};

void LoadM3U2000(benchmark::State& state) {
  static Library library;
  test::FakePrompts prompts;
  for (auto _ : state) {
    test::FakeListWindow rows;
    Playlist playlist(prompts);
    playlist.attachListWindow(&rows);
    if (!playlist.load(library.folder.file("library.m3u")) || playlist.count() != kTracks) {
      state.SkipWithError("the playlist did not load completely");
      break;
    }
  }
  state.counters["tracks/s"] = benchmark::Counter(kTracks, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LoadM3U2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
