#include "playlist/playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>
#include <random>
#include <thread>

#include "core/program_values.h"
#include "support/fake_list_window.h"
#include "support/fake_prompts.h"
#include "support/journal.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Paths = std::vector<std::string>;

// A playlist shown in a list window of its own.
struct Shown {
  explicit Shown(Prompts& prompts) : list(prompts) { list.attachListWindow(&rows); }
  test::FakeListWindow rows;
  Playlist list;
};

class PlaylistTest : public ::testing::Test {
 protected:
  PlaylistTest() { playlist.attachListWindow(&window); }

  // A tiny MP3 file of the given length in the scratch folder; its path.
  std::string track(const std::string& name, int seconds = 5, const std::string& tag = "") {
    folder.write(name, test::vbrFile(seconds) + tag);
    return folder.file(name);
  }
  // The items' paths, or the first letters of their names ("abc"), once it is clear that the
  // rows show exactly the items.
  static Paths paths(const Playlist& list, const test::FakeListWindow& rows) {
    EXPECT_EQ(rows.rows(), list.items());
    Paths out;
    for (const PlaylistItemRef& item : list.items()) out.push_back(item->fullpath());
    return out;
  }
  static std::string order(const Playlist& list, const test::FakeListWindow& rows) {
    std::string letters;
    for (const std::string& path : paths(list, rows)) letters += path[path.rfind('/') + 1];
    return letters;
  }
  void fill(Playlist& list, const std::string& letters) {
    for (char c : letters) ASSERT_TRUE(list.addFile(track(c + std::string(".mp3")), AddMode::Append));
  }

  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeListWindow window;
  Playlist playlist{prompts};
};

// Two files added at once keep their order wherever they go.
TEST_F(PlaylistTest, AddModesPlaceTheNewItemsAndTheMarkStaysWithItsTrack) {
  using enum AddMode;
  const std::tuple<AddMode, int, std::string> cases[] = {
      // mode, selected row (-1: none, 7: past the rows), order after
      {Append, -1, "abcnm"},
      {InsertOrAppend, 0, "anmbc"},
      {InsertOrAppend, 2, "abcnm"},
      {InsertAfterSelection, -1, "nmabc"},
      {InsertAfterSelection, 1, "abnmc"},
      {InsertAfterSelection, 7, "abcnm"},
  };
  for (const auto& [mode, selected, after] : cases) {
    auto [rows, list] = Shown(prompts);
    fill(list, "abc");
    list.setCurrent(1);
    rows.selectRow(selected);
    EXPECT_EQ(list.addFiles({track("n.mp3"), track("m.mp3")}, mode), 2);
    EXPECT_EQ(order(list, rows) + " " + list.item(list.currentIndex())->filename(), after + " b.mp3");
    EXPECT_TRUE(list.modified() && list.item(0)->isNew());
  }
}

TEST_F(PlaylistTest, RefusedFilesAreNamedAndNotAdded) {
  const std::string gone = ". Either the file was deleted or moved.";
  std::filesystem::create_directory(folder.file("folder.mp3"));
  const std::pair<std::string, std::string> cases[] = {
      {folder.file("song.txt"), "Not an mp3 file! " + folder.file("song.txt")},
      {folder.file("song.flac.bak"), "Not an mp3 file! " + folder.file("song.flac.bak")},
      {folder.file("gone.Opus"), "Unable to find " + folder.file("gone.Opus") + gone},
      {folder.file("gone.mp3"), "Unable to find " + folder.file("gone.mp3") + gone},
      {folder.path() + "/folder.mp3", "Unable to find " + folder.file("folder.mp3") + gone}};
  for (const auto& [path, message] : cases) {
    EXPECT_FALSE(playlist.addFile(path, AddMode::Append)) << path;
    EXPECT_EQ(prompts.boxTexts().back(), message);
  }
  EXPECT_EQ(std::pair(playlist.count(), playlist.modified()), std::pair(0, false));
  EXPECT_TRUE(playlist.addFile(track("LOUD.MP3"), AddMode::Append));
}

TEST_F(PlaylistTest, SavedListsAreExactAndLoadBackInOrder) {
  const std::string x30(30, 'x');
  const Paths files = {track("plain.mp3", 12),
                       track("tagged.mp3", 7, test::id3v1Tag("Night & Day", "Band", "Album", "", "", 0)),
                       track("t30.mp3", 3, test::id3v1Tag(x30, "", "", "", "", 0))};
  const std::tuple<int, std::string, std::string> cases[] = {
      {1, "mix.m3u",
       "#EXTM3U\r\n#EXTINF:12,plain.mp3\r\n" + files[0] + "\r\n#EXTINF:7,Night   Day\r\n" + files[1] +
           "\r\n#EXTINF:3," + x30 + "\r\n" + files[2] + "\r\n"},
      // PLS titles are decorated, and the file ends without a line end.
      {2, "mix.pls",
       "[playlist]\r\nFile1=" + files[0] + "\r\nTitle1=plain.mp3\r\nLength1=12\r\nFile2=" + files[1] +
           "\r\nTitle2=Night   Day\r\nLength2=7\r\nFile3=" + files[2] + "\r\nTitle3=" + x30 +
           "...\r\nLength3=3\r\nNumberOfEntries=3\r\nVersion=2"},
  };
  for (const auto& [dialogType, file, text] : cases) {
    Playlist saved(prompts);
    for (const std::string& p : files) saved.addFile(p, AddMode::Append);
    test::FakeDialogs dialogs(FileDialogChoice{folder.file("mix"), dialogType});
    EXPECT_EQ(saved.save(dialogs), folder.file(file));
    EXPECT_EQ(std::tuple(folder.read(file), saved.name(), saved.modified(), programValues().mp3path()),
              std::tuple(text, file, false, folder.path()));
    auto [rows, again] = Shown(prompts);
    ASSERT_TRUE(again.load(folder.file(file)));
    EXPECT_EQ(std::tuple(paths(again, rows), again.modified(), programValues().playlist()),
              std::tuple(files, false, folder.file(file)));
    // Saved again, the dialog suggests the file it came from.
    again.save(dialogs);
    EXPECT_EQ(dialogs.suggested, folder.file(file));
  }
}

TEST_F(PlaylistTest, SaveNamesAndFailures) {
  fill(playlist, "a");
  std::filesystem::create_directory(folder.file("my.lists"));
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(folder.file(deep));
  const std::tuple<std::string, SaveType, std::optional<std::string>> cases[] = {
      {folder.file("my.lists/mix"), SaveType::M3U, folder.file("my.lists/mix")},
      {folder.file(deep + "/show"), SaveType::M3U, folder.file(deep + "/show.m3u")},  // past 256 bytes
      {folder.file("no/such/folder/x.m3u"), SaveType::M3U, std::nullopt},
      // A name without a full stop is too long when the extension would take it past the system's limit.
      {"/" + std::string(PATH_MAX - 4, 'n'), SaveType::M3U, std::nullopt},
  };
  for (const auto& [chosen, type, written] : cases) {
    playlist.addFile(track("b.mp3"), AddMode::Append);  // marks the list modified
    EXPECT_EQ((std::pair{playlist.saveAs(chosen, type), playlist.modified()}), std::pair(written, !written));
    EXPECT_TRUE(!written || std::filesystem::exists(*written));
  }
  EXPECT_EQ(prompts.boxTexts().back(), "Filename is too long!");
  // Cancelling the dialog counts as a decision: the list is no longer marked unsaved.
  test::FakeDialogs cancel;
  EXPECT_FALSE(playlist.save(cancel));
  EXPECT_FALSE(playlist.modified());
}

TEST_F(PlaylistTest, ListsFromOtherPlayersResolveEachKindOfEntry) {
  std::string rooted = track("c.mp3");
  std::replace(rooted.begin(), rooted.end(), '/', '\\');  // \tmp\...\c.mp3
  const std::vector<std::pair<std::string, std::string>> names = {
      {"{a}", track("a.mp3")},
      {"{b}", track("sub/b.mp3")},
      {"{c}", folder.file("c.mp3")},
      {"{rooted}", rooted},
      {"{gone}", ". Either the file was deleted or moved."},
      {"{x.pls}", folder.file("x.pls")},
      {"{bin.m3u}", folder.file("bin.m3u")}};
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      // file, text, entries loaded, the one message
      {"other.m3u",  // relative, Windows separators, a stream (skipped silently), rooted, another drive
       "#EXTM3U\r\n#EXTINF:5,A\r\na.mp3\r\n#EXTINF:5,B\r\nsub\\b.mp3\r\n#EXTINF:-1,Stream\r\nhttp://"
       "127.0.0.1:8000/s\r\n"
       "#EXTINF:5,C\r\n{rooted}\r\n#EXTINF:5,D\r\nD:\\Music\\d.mp3\r\n#EXTINF:5,A again\r\n{a}\n",
       "abca", "Unable to find D:/Music/d.mp3{gone}"},
      // Without the header or "#EXTINF" lines every line is still a track.
      {"bare.m3u", "{a}\n{b}\n\n{c}\n{a}\n", "abca", ""},
      {"x.pls",
       "[Playlist]\r\nfile1={a}\r\nTitle1=x\r\nFILE2=sub\\b.mp3\r\nFile3=http://127.0.0.1/x.mp3\r\n"
       "NumberOfEntries=3",
       "ab", "Unable to find http://127.0.0.1/x.mp3{gone}"},
      {"x.pls", "[playlist]\nFile2={b}\nFile1={a}\n", "ab", ""},  // no count: every entry there is
      // Keys before any section and odd lines are skipped, quotes come off, the first of a key wins,
      // sections match without case, and lines end three ways.
      {"x.pls", "File1={b}\r[playlist]\r\nno equals sign\nFile1=\"{a}\"\nFile1={b}\n[PlayList]\nFile2={b}\n",
       "ab", ""},
      {"x.pls", "[playlist]\nFile1={a}\nFile3={a}\nNumberOfEntries=3\n", "aa",
       "Not an mp3 file! 1 entry of {x.pls}"},
      {"x.pls", "[playlist]\nFile1={a}\nNumberOfEntries=99999999999999\n", "a",
       "Not an mp3 file! 1 entry of {x.pls}"},
      // A binary file is told once, with its name.
      {"bin.m3u",
       "\x7F"
       "ELF\x02\x01\n\x89PNG\r\n\x1A\ngarbage\n",
       "", "Not an mp3 file! 4 entries of {bin.m3u}"},
      // The old text list keeps its order too.
      {"old.txt", "Mirobeam 1.0 Playlist\r\n2\r\n3\r\n{a}$$A$$5\r\nno marks\r\nsub/b.mp3$$B\r\n{c}$$\r\n",
       "abc", ""},
  };
  for (const auto& [file, text, entries, message] : cases) {
    SCOPED_TRACE(text);
    test::FakePrompts quiet;
    Shown shown(quiet);
    folder.write(file, test::fillIn(text, names));
    ASSERT_TRUE(shown.list.load(folder.file(file)));
    EXPECT_EQ(std::tuple(order(shown.list, shown.rows), shown.list.name(), shown.list.modified()),
              std::tuple(entries, file, false));
    EXPECT_EQ(quiet.boxTexts(), message.empty() ? Paths{} : Paths{test::fillIn(message, names)});
    EXPECT_TRUE(quiet.questions().empty());
  }
}

TEST_F(PlaylistTest, LoadsThatFailLeaveTheListAlone) {
  fill(playlist, "ab");
  const Paths before = paths(playlist, window);
  EXPECT_FALSE(playlist.load(""));
  prompts.answerNext(false);  // unsaved changes: "No" keeps them
  folder.write("x.m3u", "#EXTM3U\n");
  EXPECT_FALSE(playlist.load(folder.file("x.m3u")));
  EXPECT_EQ(prompts.questions().back().text,
            "You haven't saved your current playlist. Are you sure you want to load a new one?");
  EXPECT_TRUE(playlist.modified());
  size_t boxes = prompts.boxTexts().size();
  EXPECT_FALSE(playlist.load(folder.file("absent.m3u")));  // silently
  EXPECT_EQ(prompts.boxTexts().size(), boxes);
  folder.write("notes.doc", "hello");
  EXPECT_FALSE(playlist.load(folder.file("notes.doc")));
  EXPECT_EQ(prompts.boxTexts().back(), folder.file("notes.doc") + " is not a recognizable file.");
  EXPECT_EQ(paths(playlist, window), before);
  EXPECT_FALSE(prompts.waitCursorOn());
}

TEST_F(PlaylistTest, EditsKeepTheRowsTheSelectionAndTheMark) {
  const std::tuple<char, int, bool, std::string, int, int> cases[] = {
      // u, d: move up, down; r: remove; s: replace the item; c: mark. Index, done, order after,
      // the mark after, the selected row after (-2: not checked).
      {'u', 0, false, "abcd", 2, -2}, {'d', 3, false, "abcd", 2, -2}, {'d', -1, false, "abcd", 2, -2},
      {'u', 4, false, "abcd", 2, -2}, {'u', 2, true, "acbd", 1, 1},   {'d', 1, true, "acbd", 1, 2},
      {'r', 0, true, "bcd", 1, 0},    {'r', 3, true, "abc", 2, 2},    {'r', 2, true, "abd", -1, 2},
      {'r', -1, true, "abcd", 2, -2}, {'r', 4, true, "abcd", 2, -2},  {'s', 3, true, "abce", 2, -2},
      {'s', 4, false, "abcd", 2, -2}, {'c', 0, true, "abcd", 0, -2},  {'c', 9, true, "abcd", -1, -2},
  };
  for (const auto& [edit, index, done, after, current, selected] : cases) {
    SCOPED_TRACE(testing::Message() << edit << index);
    auto [rows, list] = Shown(prompts);
    fill(list, "abcd");
    list.setCurrent(2);
    PlaylistItemRef held = list.item(0);
    bool did = true;
    if (edit == 'u' || edit == 'd') did = list.moveItems({index}, edit == 'u');
    if (edit == 'r') list.removeItems({index});
    if (edit == 's') did = list.setItem(index, PlaylistItem::make("/m/e.mp3")), list.refreshRow(index);
    if (edit == 'c') list.setCurrent(index);
    EXPECT_EQ(std::tuple(did, order(list, rows), list.currentIndex()), std::tuple(done, after, current));
    EXPECT_EQ(std::count_if(after.begin(), after.end(),
                            [&, &list = list](char c) { return list.item(int(after.find(c)))->isCurrent(); }),
              current >= 0);
    EXPECT_TRUE(selected == -2 || rows.firstSelectedRow() == selected) << rows.firstSelectedRow();
    EXPECT_EQ(held->filename(), "a.mp3") << "whoever still holds an item can still use it";
  }
  EXPECT_FALSE(playlist.setItem(0, nullptr));
}

TEST_F(PlaylistTest, NavigationSearchAndShuffle) {
  fill(playlist, "abcdefghijkl");
  for (auto [index, wrap, next] :
       {std::tuple{-1, false, "a"}, {11, false, ""}, {11, true, "a"}, {15, true, "a"}}) {
    PlaylistItemRef item = playlist.nextItem(index, wrap);
    EXPECT_EQ(item ? item->filename() : ".mp3", next + std::string(".mp3")) << index << " " << wrap;
  }
  // The engine finds where its track went, starting at the row it had.
  const std::string b = folder.file("b.mp3");
  for (auto [hint, path, index] :
       {std::tuple{5, b, 1}, {12, b, -1}, {-1, b, -1}, {0, folder.file("B.mp3"), -1}})
    EXPECT_EQ(playlist.findByPath(hint, path), index) << hint << " " << path;
  playlist.setCurrent(4);
  playlist.shuffle(12345);
  std::string shuffled = order(playlist, window);
  EXPECT_NE(shuffled, "abcdefghijkl");
  std::sort(shuffled.begin(), shuffled.end());
  EXPECT_EQ(std::tuple(shuffled, playlist.currentIndex()), std::tuple("abcdefghijkl", -1));
}

TEST_F(PlaylistTest, SyncFromWindowTakesTheDraggedOrderButNotStrangeRows) {
  struct : PlaylistListener {
    bool enginePlaying() override { return true; }
    void nextTrackChanged(const std::string& title) override { titles.push_back(title); }
    Paths titles;
  } listener;
  fill(playlist, "abcd");
  playlist.setListener(&listener);
  playlist.setCurrent(1);  // b
  window.dragRow(3, 0);
  playlist.syncFromWindow();
  EXPECT_EQ(std::tuple(order(playlist, window), playlist.currentIndex(), listener.titles),
            std::tuple("dabc", 2, Paths{"c.mp3  "}));
  std::vector<PlaylistItemRef> rows = window.rows();
  rows[1] = PlaylistItem::make(track("stranger.mp3"));
  for (const auto& odd : {rows, std::vector{rows[0]}}) {
    window.setRows(odd);
    playlist.syncFromWindow();
    EXPECT_EQ(order(playlist, window), "dabc");
  }
}

// The broadcast engine walks the playlist on its own thread while the window edits it. Under
// ThreadSanitizer and AddressSanitizer this shows that no interleaving of the two races on the
// list or touches an item that an edit has dropped.
TEST_F(PlaylistTest, EngineReadsWhileTheWindowEdits) {
  std::string m3u = "#EXTM3U\n";
  for (int i = 0; i < 8; ++i) {
    playlist.addFile(track("t" + std::to_string(i) + ".mp3", 10 + i), AddMode::Append);
    m3u += "#EXTINF:1,x\nt" + std::to_string(i) + ".mp3\n";
  }
  folder.write("all.m3u", m3u);
  std::atomic<bool> stop{false};
  std::atomic<int> played{0};
  std::thread engine([&] {
    // What the engine does per track: find the item's index, mark it, read its facts and
    // flags, and after the track find where the edits have moved it.
    for (int index = -1; !stop;) {
      PlaylistItemRef item = playlist.nextItem(index, true);
      index = item ? playlist.indexOf(item.get()) : -1;
      if (!item) continue;
      playlist.clearNewFlags();
      playlist.setCurrent(index);
      MP3Info facts = item->mp3Info();
      if (facts.duration() < 10 || facts.displayTitle().empty()) ADD_FAILURE() << "damaged facts";
      item->setPlayable(!item->playable());
      playlist.totalTime(true);
      index = playlist.findByPath(index, item->fullpath());
      if (played.fetch_add(1) % 50 == 49) playlist.shuffle(static_cast<unsigned>(index + 7));
    }
    playlist.setCurrent(-1);
  });
  const std::function<void(int, int)> edits[] = {
      // (round, a row)
      [&](int r, int) {
        playlist.addFile(folder.file("t" + std::to_string(r % 7) + ".mp3"), AddMode::InsertOrAppend);
      },
      [&](int, int i) {
        playlist.count() > 4 ? playlist.removeItems({i, i + 2}) : void();
      },
      [&](int r, int i) {
        r % 2 ? playlist.moveItems({i, i + 1}, r % 3 == 0) : playlist.moveItemsTo({i, 0}, r % 9);
      },
      [&](int, int i) { window.dragRow(i, playlist.count() - 1 - i), playlist.syncFromWindow(); },
      [&](int r, int i) {
        PlaylistItemRef item = playlist.item(i);
        item && item->writeTag("A", std::to_string(r), "B");
      },
      [&](int r, int) {
        r % 40 == 5 ? void(playlist.load(folder.file("all.m3u"))) : r % 40 == 25 ? playlist.clear() : void();
      },
  };
  std::mt19937 random(42);
  for (int round = 0; round < 2000; ++round) edits[round % 6](round, static_cast<int>(random() % 12));
  const int seen = played;
  EXPECT_TRUE(test::eventually([&] { return played >= seen + 20; })) << "the engine reads the final list too";
  stop = true;
  engine.join();
  playlist.syncFromWindow();
  EXPECT_EQ(window.rows(), playlist.items());
  EXPECT_EQ(playlist.currentIndex(), -1);
}

}  // namespace
}  // namespace brovana
