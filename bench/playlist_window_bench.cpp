// Opening a long playlist in the playlist window, as a member does from the recent list: every
// track's file read, every row handed to the view, the window painted with the last track in
// view. Goal: 10,000 tracks open in under a second.
//
//   bench_playlist_window [tracks, default 10000]     (on Qt's offscreen platform)

#include <QApplication>
#include <chrono>
#include <cstdio>

#include "app/playlist_window.h"
#include "core/registry.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"
#include "ui/studio_peers.h"

using namespace brovana;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Small tagged MP3 files of a few seconds each (a Xing header, then the bytes those seconds take at
// the lowest bit rate) and their M3U: opening one reads only its head and its tail.
std::string makeLibrary(const test::TempFolder& folder, int tracks) {
  std::string m3u = "#EXTM3U\r\n";
  for (int i = 0; i < tracks; ++i) {
    std::string name = "track" + std::to_string(i) + ".mp3", title = "Title " + std::to_string(i);
    folder.write(name, test::vbrFile(1 + i % 3) + test::id3v1Tag(title, "Artist", "Album", "2001", "", 17));
    m3u += "#EXTINF:1," + title + "\r\n" + name + "\r\n";
  }
  folder.write("library.m3u", m3u);
  return folder.file("library.m3u");
}

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  const int tracks = argc > 1 ? std::atoi(argv[1]) : 10000;
  test::TempFolder folder;
  const std::string playlist = makeLibrary(folder, tracks);

  // The studio around the window, never started: the window only asks it what is on the air.
  MemoryRegistry registry;
  test::WindowedStudio studio("localhost", registry);
  Studio desk(nullptr, "localhost",
              StudioContext{studio.prompts, studio.exit, registry, studio.http, studio.parts});
  PlaylistWindow window(desk, studio.prompts);
  window.show();
  QApplication::processEvents();

  auto start = Clock::now();
  bool loaded = window.loadPlaylist(playlist);
  const double readMs = msSince(start);
  QTreeView& list = window.list();
  while (loaded && list.model()->rowCount() < tracks) QApplication::processEvents();
  list.scrollToBottom();
  list.viewport()->repaint();
  const double openMs = msSince(start);

  std::printf(
      "%d tracks opened in the playlist window in %.0f ms (goal < 1000 ms): %.0f ms reading the "
      "files, %.0f ms for the view\n",
      list.model()->rowCount(), openMs, readMs, openMs - readMs);

  // Every track but the last selected and moved down one, until the view shows the new order.
  list.selectAll();
  list.selectionModel()->select(list.model()->index(tracks - 1, 0),
                                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  PlaylistItemRef last = window.playlist()->item(tracks - 1);
  start = Clock::now();
  window.editor().moveSelected(false);
  const bool moved = window.playlist()->item(0) == last;
  while (moved && list.model()->index(0, 5).data().toString() != QString::fromStdString(last->fullpath()))
    QApplication::processEvents();
  list.viewport()->repaint();
  std::printf("%d selected tracks moved down one in %.0f ms (goal < 1000 ms)\n", tracks - 1, msSince(start));
  return loaded && moved && list.model()->rowCount() == tracks ? 0 : 1;
}
