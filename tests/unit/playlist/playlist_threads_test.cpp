// The broadcast engine walks the playlist on its own thread while the window edits it. Run
// under ThreadSanitizer and AddressSanitizer, this shows that no interleaving of the two races
// on the list or touches an item that an edit has dropped.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "fake_list_window.h"
#include "playlist/playlist.h"
#include "support/fake_prompts.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(PlaylistThreads, EngineReadsWhileTheWindowEdits) {
  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeListWindow window;
  Playlist playlist(prompts);
  playlist.attachListWindow(&window);

  std::vector<std::string> tracks;
  std::string m3u = "#EXTM3U\n";
  for (int i = 0; i < 8; ++i) {
    std::string name = "t" + std::to_string(i) + ".mp3";
    folder.write(name, test::vbrFile(10 + i));
    tracks.push_back(folder.file(name));
    m3u += "#EXTINF:1,x\n" + name + "\n";
  }
  folder.write("all.m3u", m3u);
  for (const std::string& t : tracks) playlist.addFile(t, AddMode::Append);

  std::atomic<bool> stop{false};
  std::atomic<int> tracksPlayed{0};
  std::thread engine([&] {
    int index = -1;
    std::string text;
    while (!stop.load()) {
      PlaylistItemRef item = playlist.nextItem(index, true);
      if (!item) {
        index = -1;
        std::this_thread::yield();
        continue;
      }
      // What the engine does per track: find the item's index, mark it, read its facts and
      // flags, and after the track find where the edits have moved it.
      index = playlist.indexOf(item.get());
      playlist.clearNewFlags();
      playlist.setCurrent(index);
      MP3Info facts = item->mp3Info();
      if (facts.duration() < 10 || facts.displayTitle().empty()) ADD_FAILURE() << "damaged facts";
      item->setPlayable(!item->playable());
      playlist.totalTime(true, &text);
      index = playlist.findByPath(index, item->fullpath());
      if (tracksPlayed.fetch_add(1) % 50 == 49) playlist.shuffle(static_cast<unsigned>(index + 7));
    }
    playlist.setCurrent(-1);
  });

  std::mt19937 random(42);
  auto pick = [&](int n) { return n > 0 ? static_cast<int>(random() % n) : 0; };
  for (int round = 0; round < 2000; ++round) {
    const int n = playlist.count();
    switch (round % 8) {
      case 0:
        playlist.addFile(tracks[pick(8)], AddMode::InsertOrAppend);
        break;
      case 1:
        if (n > 4) playlist.removeItem(pick(n));
        break;
      case 2:
        playlist.moveItem(pick(n), random() % 2 == 0);
        break;
      case 3:
        window.dragRow(pick(n), pick(n));
        playlist.syncFromWindow();
        break;
      case 4:
        playlist.shuffle(static_cast<unsigned>(round));
        break;
      case 5:
        if (PlaylistItemRef item = playlist.item(pick(n)))
          item->writeID3v1("Artist", "Title " + std::to_string(round), "Album");
        playlist.refreshRow(pick(n));
        break;
      case 6:
        if (round % 40 == 6) playlist.load(folder.file("all.m3u"));
        break;
      case 7:
        playlist.showCurrentRow();
        break;
    }
  }
  // Let the engine see the final list at least a few times.
  const int seen = tracksPlayed.load();
  while (tracksPlayed.load() < seen + 20) std::this_thread::yield();
  stop.store(true);
  engine.join();

  playlist.syncFromWindow();
  EXPECT_EQ(window.rows(), playlist.items());
  EXPECT_EQ(playlist.currentIndex(), -1);
  for (const PlaylistItemRef& item : playlist.items()) EXPECT_FALSE(item->isCurrent());
  EXPECT_GT(tracksPlayed.load(), 20);
}

}  // namespace
}  // namespace brovana
