// Loading a 2,000-track M3U playlist: every track's file is opened and its tag and first frame
// read, which is what a member waits for after choosing a playlist. Reports tracks per second.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/prompts.h"
#include "playlist/playlist.h"
#include "support/mp3_bytes.h"

namespace {

constexpr int kTracks = 2000;

class QuietPrompts : public brovana::Prompts {
 public:
  bool ask(const brovana::Question&) override { return true; }
  void notice(std::string_view) override {}
  void waitCursor(bool) override {}
  void open(std::string_view) override {}

 protected:
  void showBox(brovana::BoxKind, std::string_view, std::string_view) override {}
};

// A list window that only keeps its rows, as a widget model would.
class Rows : public brovana::PlaylistListWindow {
 public:
  void insertRow(int row, brovana::PlaylistItemRef item) override {
    if (row < 0 || row > static_cast<int>(rows_.size())) row = static_cast<int>(rows_.size());
    rows_.insert(rows_.begin() + row, std::move(item));
  }
  void deleteRow(int row) override { rows_.erase(rows_.begin() + row); }
  void deleteAllRows() override { rows_.clear(); }
  int firstSelectedRow() const override { return -1; }
  void selectRow(int) override {}
  void ensureRowVisible(int) override {}
  int rowCount() const override { return static_cast<int>(rows_.size()); }
  brovana::PlaylistItemRef rowItem(int row) const override { return rows_[row]; }
  void redraw() override {}

 private:
  std::vector<brovana::PlaylistItemRef> rows_;
};

// 2,000 small MP3 files with tags (about 20 kB each, so a full 100,000-byte scan is not what
// dominates) in a scratch folder, and the M3U listing them by relative path.
class Library {
 public:
  Library() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brovana-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    folder_ = pattern;
    std::string m3u = "#EXTM3U\r\n";
    for (int i = 0; i < kTracks; ++i) {
      std::string name = "track" + std::to_string(i) + ".mp3";
      std::ofstream(folder_ + "/" + name, std::ios::binary)
          << brovana::test::id3v2Tag(512) + brovana::test::frames(brovana::test::FrameHeader{}, 417, 48) +
                 brovana::test::id3v1Tag("Title " + std::to_string(i), "Artist", "Album", "2001", "", 17);
      m3u += "#EXTINF:1,Title " + std::to_string(i) + "\r\n" + name + "\r\n";
    }
    std::ofstream(playlist(), std::ios::binary) << m3u;
  }
  ~Library() { std::filesystem::remove_all(folder_); }
  std::string playlist() const { return folder_ + "/library.m3u"; }

 private:
  std::string folder_;
};

void LoadM3U2000(benchmark::State& state) {
  static Library library;
  QuietPrompts prompts;
  for (auto _ : state) {
    Rows rows;
    brovana::Playlist playlist(prompts);
    playlist.attachListWindow(&rows);
    if (!playlist.load(library.playlist()) || playlist.count() != kTracks) {
      state.SkipWithError("the playlist did not load completely");
      break;
    }
    benchmark::DoNotOptimize(playlist.count());
  }
  state.counters["tracks/s"] = benchmark::Counter(kTracks, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(LoadM3U2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
