#include "playlist/playlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "broadcast/program_values.h"
#include "diag/logger.h"
#include "fake_list_window.h"
#include "support/fake_prompts.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Paths = std::vector<std::string>;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PlaylistTest : public ::testing::Test {
 protected:
  PlaylistTest() { playlist.attachListWindow(&window); }

  // A tiny MP3 file of the given length in the scratch folder; its path.
  std::string track(const std::string& name, int seconds = 5, const std::string& tag = "") {
    folder.write(name, test::vbrFile(seconds) + tag);
    return folder.file(name);
  }
  std::string list(const std::string& name, const std::string& text) {
    folder.write(name, text);
    return folder.file(name);
  }
  Paths paths() const {
    Paths p;
    for (const PlaylistItemRef& item : playlist.items()) p.push_back(item->fullpath());
    return p;
  }
  Paths names() const {
    Paths p;
    for (const PlaylistItemRef& item : playlist.items()) p.push_back(item->filename());
    return p;
  }
  void expectRowsShowItems() const { EXPECT_EQ(window.rows(), playlist.items()); }
  void fill(const Paths& files) {
    for (const std::string& f : files) ASSERT_TRUE(playlist.addFile(track(f), AddMode::Append)) << f;
  }

  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeListWindow window;
  Playlist playlist{prompts};
};

TEST_F(PlaylistTest, ItemFieldsFromThePath) {
  struct Case {
    std::string path, filename;
    std::optional<std::string> directory;
    std::string fullpath;
  } cases[] = {
      {"/music/a.mp3", "a.mp3", "/music", "/music/a.mp3"},
      {"a.mp3", "a.mp3", std::nullopt, "a.mp3"},
      {"/music/noextension", "noextension", "/music/noextension", "/music/noextension"},
      {"/music.d/", "", std::nullopt, "/music.d/"},
      {"/music/b.mp3\nrest of the line", "b.mp3", "/music", "/music/b.mp3"},
  };
  for (const Case& c : cases) {
    PlaylistItem item(c.path);
    EXPECT_EQ(item.filename(), c.filename) << c.path;
    EXPECT_EQ(item.directory(), c.directory) << c.path;
    EXPECT_EQ(item.fullpath(), c.fullpath) << c.path;
    EXPECT_FALSE(item.time()) << "no file, no time";
  }
  EXPECT_EQ(PlaylistItem(track("real.mp3", 250)).time(), "0:04:10");
  EXPECT_EQ(PlaylistItem(track("long.mp3", 3725)).time(), "1:02:05");
}

TEST_F(PlaylistTest, AddModesPlaceTheNewItem) {
  struct Case {
    AddMode mode;
    int selected;  // -1: no selection
    Paths order;
  } cases[] = {
      {AddMode::Append, -1, {"a", "b", "c", "new"}},
      {AddMode::Append, 0, {"a", "b", "c", "new"}},
      {AddMode::InsertOrAppend, -1, {"a", "b", "c", "new"}},
      {AddMode::InsertOrAppend, 0, {"a", "new", "b", "c"}},
      {AddMode::InsertOrAppend, 2, {"a", "b", "c", "new"}},
      {AddMode::InsertAfterSelection, -1, {"new", "a", "b", "c"}},
      {AddMode::InsertAfterSelection, 1, {"a", "b", "new", "c"}},
      {AddMode::InsertAfterSelection, 7, {"a", "b", "c", "new"}},  // a selection past the rows
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.mode) << " selected " << c.selected);
    test::FakeListWindow rows;
    Playlist list(prompts);
    list.attachListWindow(&rows);
    for (const char* name : {"a", "b", "c"})
      ASSERT_TRUE(list.addFile(track(name + std::string(".mp3")), AddMode::Append));
    rows.selectRow(c.selected);
    EXPECT_EQ(list.addFile(track("new.mp3"), c.mode), "new.mp3");
    Paths order;
    for (const PlaylistItemRef& item : list.items())
      order.push_back(item->filename().substr(0, item->filename().size() - 4));
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(rows.rows(), list.items());
    EXPECT_TRUE(list.modified());
    EXPECT_TRUE(list.item(0)->isNew());
  }
}

TEST_F(PlaylistTest, RefusedFilesAreNamedAndNotAdded) {
  struct Case {
    std::string path;
    std::string message;
  } cases[] = {
      {folder.file("song.wav"), "Not an mp3 file!"},
      {folder.file("song.Mp3"), "Not an mp3 file!"},
      {folder.file("gone.mp3"),
       "Unable to find " + folder.file("gone.mp3") + ". Either the file was deleted or moved."},
      {folder.path() + "/folder.mp3",
       "Unable to find " + folder.file("folder.mp3") + ". Either the file was deleted or moved."},
  };
  std::filesystem::create_directory(folder.file("folder.mp3"));
  for (const Case& c : cases) {
    EXPECT_FALSE(playlist.addFile(c.path, AddMode::Append)) << c.path;
    ASSERT_FALSE(prompts.boxTexts().empty());
    EXPECT_EQ(prompts.boxTexts().back(), c.message);
  }
  EXPECT_EQ(playlist.count(), 0);
  EXPECT_FALSE(playlist.modified());
  EXPECT_TRUE(playlist.addFile(track("LOUD.MP3"), AddMode::Append));
}

TEST_F(PlaylistTest, AddingAboveTheCurrentTrackKeepsItsMark) {
  fill({"a.mp3", "b.mp3"});
  playlist.setCurrent(1);
  window.selectRow(-1);
  playlist.addFile(track("top.mp3"), AddMode::InsertAfterSelection);
  EXPECT_EQ(playlist.currentIndex(), 2);
  EXPECT_TRUE(playlist.item(2)->isCurrent());
  EXPECT_EQ(playlist.item(2)->filename(), "b.mp3");
}

TEST_F(PlaylistTest, SavedListsAreExactAndLoadBackInOrder) {
  std::string plain = track("plain.mp3", 12);
  std::string tagged = track("tagged.mp3", 7, test::id3v1Tag("Night & Day", "Band", "Album", "", "", 0));
  std::string long30 = track("t30.mp3", 3, test::id3v1Tag(std::string(30, 'x'), "", "", "", "", 0));
  const std::string x30(30, 'x');
  const struct {
    int dialogType;
    std::string file, text;
  } cases[] = {
      {1, "mix.m3u",
       "#EXTM3U\r\n#EXTINF:12,plain.mp3\r\n" + plain + "\r\n#EXTINF:7,Night   Day\r\n" + tagged +
           "\r\n#EXTINF:3," + x30 + "\r\n" + long30 + "\r\n"},
      // PLS titles are decorated, and the file ends without a line end.
      {2, "mix.pls",
       "[playlist]\r\nFile1=" + plain + "\r\nTitle1=plain.mp3\r\nLength1=12\r\nFile2=" + tagged +
           "\r\nTitle2=Night   Day\r\nLength2=7\r\nFile3=" + long30 + "\r\nTitle3=" + x30 +
           "...\r\nLength3=3\r\nNumberOfEntries=3\r\nVersion=2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Playlist saved(prompts);
    for (const std::string& p : {plain, tagged, long30}) saved.addFile(p, AddMode::Append);
    test::FakeDialogs dialogs;
    dialogs.answers.push_back(FileDialogChoice{folder.file("mix"), c.dialogType});
    EXPECT_EQ(saved.save(dialogs), folder.file(c.file));
    EXPECT_EQ(readAll(folder.file(c.file)), c.text);
    EXPECT_EQ(saved.name(), c.file);
    EXPECT_FALSE(saved.modified());
    EXPECT_EQ(programValues().mp3path(), folder.path());

    Playlist again(prompts);
    test::FakeListWindow rows;
    again.attachListWindow(&rows);
    ASSERT_TRUE(again.load(folder.file(c.file)));
    Paths loaded;
    for (const PlaylistItemRef& item : again.items()) loaded.push_back(item->fullpath());
    EXPECT_EQ(loaded, (Paths{plain, tagged, long30}));
    EXPECT_EQ(rows.rows(), again.items());
    EXPECT_FALSE(again.modified());
    EXPECT_EQ(programValues().playlist(), folder.file(c.file));
  }
}

TEST_F(PlaylistTest, SaveNamesAndFailures) {
  fill({"a.mp3"});
  std::filesystem::create_directory(folder.file("my.lists"));
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(folder.file(deep));
  struct Case {
    std::string chosen;
    SaveType type;
    std::optional<std::string> written;
  } cases[] = {
      {folder.file("plain"), SaveType::M3U, folder.file("plain.m3u")},
      {folder.file("plain"), SaveType::PLS, folder.file("plain.pls")},
      {folder.file("my.lists/mix"), SaveType::M3U, folder.file("my.lists/mix")},
      {folder.file("odd.name.txt"), SaveType::PLS, folder.file("odd.name.txt")},
      {folder.file(deep + "/show"), SaveType::M3U, folder.file(deep + "/show.m3u")},  // past 256 bytes
      {folder.file("no/such/folder/x.m3u"), SaveType::M3U, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    playlist.addFile(track("b.mp3"), AddMode::Append);  // marks the list modified
    EXPECT_EQ(playlist.saveAs(c.chosen, c.type), c.written);
    EXPECT_EQ(playlist.modified(), !c.written);
    if (c.written) {
      EXPECT_TRUE(std::filesystem::exists(*c.written));
    }
  }

  // A name without a full stop is too long when the extension would take it past the system's limit.
  std::string tooLong = "/" + std::string(PATH_MAX - 4, 'n');
  EXPECT_FALSE(playlist.saveAs(tooLong, SaveType::M3U));
  EXPECT_EQ(prompts.boxTexts().back(), "Filename is too long!");
  EXPECT_TRUE(playlist.modified());

  // Cancelling the dialog counts as a decision: the list is no longer marked unsaved.
  test::FakeDialogs cancel;
  EXPECT_FALSE(playlist.save(cancel));
  EXPECT_FALSE(playlist.modified());
}

TEST_F(PlaylistTest, ListsFromOtherPlayersResolveEachKindOfEntry) {
  std::string a = track("a.mp3"), b = track("sub/b.mp3"), c = track("c.mp3");
  std::string rooted = c;
  std::replace(rooted.begin(), rooted.end(), '/', '\\');  // \tmp\...\c.mp3
  const std::string missingD = "Unable to find D:/Music/d.mp3. Either the file was deleted or moved.";
  const struct {
    const char* name;
    std::string file, text;
    Paths loaded;
    std::vector<std::string> messages;
  } cases[] = {
      {"M3U: relative, Windows separators, a stream (skipped silently), rooted, another drive",
       "other.m3u",
       "#EXTM3U\r\n#EXTINF:5,A\r\na.mp3\r\n#EXTINF:5,B\r\nsub\\b.mp3\r\n#EXTINF:-1,Stream\r\n"
       "http://127.0.0.1:8000/stream.mp3\r\n#EXTINF:5,C\r\n" +
           rooted + "\r\n#EXTINF:5,D\r\nD:\\Music\\d.mp3\r\n#EXTINF:5,A again\r\n" + a + "\n",
       {a, b, c, a},
       {missingD}},
      // Without the header or "#EXTINF" lines every line is still a track.
      {"plain M3U", "bare.m3u", a + "\n" + b + "\n\n" + c + "\n" + a + "\n", {a, b, c, a}, {}},
      {"M3U comments and blank lines",
       "comment.m3u",
       "#EXTM3U\n#EXTINF:1,x\n# a comment\n" + a + "\n\n#EXTINF:1,y\n" + b + "\n",
       {a, b},
       {}},
      {"PLS mixed entries",
       "x.pls",
       "[Playlist]\r\nfile1=" + a +
           "\r\nTitle1=ignored\r\nFILE2=sub\\b.mp3\r\nFile3=http://127.0.0.1/x.mp3\r\n"
           "NumberOfEntries=3\r\nVersion=2",
       {a, b},
       {"Unable to find http://127.0.0.1/x.mp3. Either the file was deleted or moved."}},
      {"PLS count missing", "x.pls", "[playlist]\nFile1=" + a + "\n", {}, {}},
      {"PLS key missing in the middle",
       "x.pls",
       "[playlist]\nFile1=" + a + "\nFile3=" + a + "\nNumberOfEntries=3\n",
       {a, a},
       {"Not an mp3 file!"}},
      {"PLS keys beyond the count",
       "x.pls",
       "[playlist]\nFile1=" + a + "\nFile2=" + a + "\nNumberOfEntries=1\n",
       {a},
       {}},
      {"PLS absurd count",
       "x.pls",
       "[playlist]\nFile1=" + a + "\nNumberOfEntries=2000000000\n",
       {a},
       {"Not an mp3 file!"}},
      {"PLS entry in another section",
       "x.pls",
       "[other]\nFile1=" + a + "\n[playlist]\nNumberOfEntries=1\n",
       {},
       {"Not an mp3 file!"}},
      // The old text list comes out reversed when nothing is selected.
      {"Mirobeam text list",
       "old.txt",
       "Mirobeam 1.0 Playlist\r\nline two\r\nline three\r\n" + a +
           "$$A$$5\r\nno marks here\r\nsub/b.mp3$$B\r\n" + c + "$$\r\n",
       {c, b, a},
       {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    test::FakePrompts quiet;
    test::FakeListWindow rows;
    Playlist loaded(quiet);
    loaded.attachListWindow(&rows);
    ASSERT_TRUE(loaded.load(list(k.file, k.text)));
    Paths got;
    for (const PlaylistItemRef& item : loaded.items()) got.push_back(item->fullpath());
    EXPECT_EQ(got, k.loaded);
    EXPECT_EQ(quiet.boxTexts(), k.messages);
    EXPECT_TRUE(quiet.questions().empty());
    EXPECT_EQ(loaded.name(), k.file);
    EXPECT_FALSE(loaded.modified());
    EXPECT_EQ(rows.rows(), loaded.items());
  }
}

TEST_F(PlaylistTest, ManyMissingFilesBringOneQuestionAtTheFifth) {
  std::string a = track("a.mp3");
  std::string text = "#EXTM3U\n#EXTINF:1,x\n";
  for (int i = 0; i < 6; ++i) text += "missing" + std::to_string(i) + ".mp3\n#EXTINF:1,x\n";
  text += a + "\n";
  std::string m3u = list("holes.m3u", text);

  ASSERT_TRUE(playlist.load(m3u));
  ASSERT_EQ(prompts.questions().size(), 1u);
  EXPECT_EQ(
      prompts.questions()[0].text,
      "There are a lot of missing files in this playlist.(if you're importing a Winamp playlist, the track's "
      "path may not be valid when used from another directory). Continue trying to load?");
  EXPECT_EQ(prompts.boxTexts().size(), 6u);
  EXPECT_EQ(paths(), (Paths{a}));

  // "No" stops reading; what was added stays and the load counts as done.
  test::FakePrompts declining;
  declining.answerNext(false);
  Playlist other(declining);
  ASSERT_TRUE(other.load(m3u));
  EXPECT_EQ(declining.boxTexts().size(), 5u);
  EXPECT_EQ(other.count(), 0);
}

TEST_F(PlaylistTest, LoadsThatFailLeaveTheListAlone) {
  fill({"a.mp3", "b.mp3"});
  const Paths before = paths();

  EXPECT_FALSE(playlist.load(""));
  // Unsaved changes: "No" keeps them.
  prompts.answerNext(false);
  EXPECT_FALSE(playlist.load(list("x.m3u", "#EXTM3U\n")));
  EXPECT_EQ(prompts.questions().back().text,
            "You haven't saved your current playlist. Are you sure you want to load a new one?");
  EXPECT_TRUE(playlist.modified());

  size_t boxes = prompts.boxTexts().size();
  EXPECT_FALSE(playlist.load(folder.file("absent.m3u")));  // silently
  EXPECT_EQ(prompts.boxTexts().size(), boxes);
  EXPECT_FALSE(playlist.load(list("notes.doc", "hello")));
  EXPECT_EQ(prompts.boxTexts().back(), folder.file("notes.doc") + " is not a recognizable file.");

  EXPECT_EQ(paths(), before);
  expectRowsShowItems();
  EXPECT_FALSE(prompts.waitCursorOn());
}

TEST_F(PlaylistTest, FileTypeComesFromTheName) {
  struct Case {
    const char* path;
    PlaylistFormat format;
  } cases[] = {
      {"/a/mix.m3u", PlaylistFormat::M3U},          {"/a/MIX.M3U", PlaylistFormat::M3U},
      {"/a/mix.m3u8", PlaylistFormat::M3U},         {"/a/mix.m3u.bak", PlaylistFormat::M3U},
      {"/a/set.pls", PlaylistFormat::PLS},          {"/a/SET.PLS", PlaylistFormat::PLS},
      {"/a/old.txt", PlaylistFormat::Mirobeam},     {"/a/list.pls.txt", PlaylistFormat::PLS},
      {"/a.m3u/list.doc", PlaylistFormat::Unknown}, {"/a/mp3", PlaylistFormat::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(playlistFormatOf(c.path), c.format) << c.path;
}

TEST_F(PlaylistTest, EntryResolution) {
  struct Case {
    const char *entry, *playlist, *resolved;
  } cases[] = {
      {"song.mp3", "/lists/a.m3u", "/lists/song.mp3"},
      {"sub\\song.mp3", "/lists/a.m3u", "/lists/sub/song.mp3"},
      {"\\music\\song.mp3", "/lists/a.m3u", "/music/song.mp3"},
      {"D:\\x.mp3", "/lists/a.m3u", "D:/x.mp3"},
      {"c:relative.mp3", "/lists/a.m3u", "c:relative.mp3"},
      {"../up.mp3", "/lists/a.m3u", "/lists/../up.mp3"},
      {"song.mp3", "/a.m3u", "/song.mp3"},
      {"song.mp3", "a.m3u", "song.mp3"},
      {"http://host/x.mp3", "/lists/a.m3u", "http://host/x.mp3"},
  };
  for (const Case& c : cases) EXPECT_EQ(resolveEntry(c.entry, c.playlist), c.resolved) << c.entry;
}

TEST_F(PlaylistTest, LoadWithDialog) {
  std::string a = track("a.mp3");
  std::string m3u = list("d.m3u", "#EXTM3U\n#EXTINF:1,a\n" + a + "\n");
  programValues().setMp3path(folder.path());
  test::FakeDialogs dialogs;
  EXPECT_FALSE(playlist.loadWithDialog(dialogs));  // cancelled
  ASSERT_EQ(dialogs.requests.size(), 1u);
  EXPECT_EQ(dialogs.requests[0].folder, folder.path()) << "the dialog opens in the last folder";
  dialogs.answers.push_back(FileDialogChoice{m3u, 1});
  EXPECT_EQ(playlist.loadWithDialog(dialogs), m3u);
  EXPECT_EQ(paths(), (Paths{a}));
}

TEST_F(PlaylistTest, MoveItem) {
  fill({"a.mp3", "b.mp3", "c.mp3"});
  playlist.setCurrent(0);
  struct Case {
    int index;
    bool up;
    bool moved;
    Paths order;
  } cases[] = {
      {0, true, false, {"a.mp3", "b.mp3", "c.mp3"}}, {2, false, false, {"a.mp3", "b.mp3", "c.mp3"}},
      {3, true, false, {"a.mp3", "b.mp3", "c.mp3"}}, {-1, false, false, {"a.mp3", "b.mp3", "c.mp3"}},
      {1, true, true, {"b.mp3", "a.mp3", "c.mp3"}},  {1, false, true, {"b.mp3", "c.mp3", "a.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << (c.up ? " up" : " down"));
    EXPECT_EQ(playlist.moveItem(c.index, c.up), c.moved);
    EXPECT_EQ(names(), c.order);
    expectRowsShowItems();
    if (c.moved) {
      EXPECT_EQ(window.firstSelectedRow(), c.up ? c.index - 1 : c.index + 1);
    }
  }
  // The mark moved with its item.
  EXPECT_EQ(playlist.currentIndex(), 2);
  EXPECT_EQ(playlist.item(2)->filename(), "a.mp3");
}

TEST_F(PlaylistTest, RemoveItem) {
  fill({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
  playlist.setCurrent(2);
  playlist.removeItem(-1);
  playlist.removeItem(4);
  EXPECT_EQ(playlist.count(), 4);

  PlaylistItemRef held = playlist.item(0);
  playlist.removeItem(0);
  EXPECT_EQ(names(), (Paths{"b.mp3", "c.mp3", "d.mp3"}));
  EXPECT_EQ(window.firstSelectedRow(), 0);
  EXPECT_EQ(playlist.currentIndex(), 1);  // c.mp3 moved up
  EXPECT_EQ(held->filename(), "a.mp3");   // whoever still holds the item can still use it
  EXPECT_EQ(playlist.indexOf(held.get()), -1);
  expectRowsShowItems();

  playlist.removeItem(2);  // the last row: the selection goes to the row before
  EXPECT_EQ(window.firstSelectedRow(), 1);
  EXPECT_TRUE(playlist.modified());

  // The second form leaves the rows to the caller.
  playlist.removeItemKeepRows(0);
  EXPECT_EQ(names(), (Paths{"c.mp3"}));
  EXPECT_EQ(window.rowCount(), 2);
  EXPECT_EQ(playlist.currentIndex(), 0);
}

TEST_F(PlaylistTest, CurrentMarkAndNavigation) {
  EXPECT_EQ(playlist.nextItem(-1, true), nullptr);
  fill({"a.mp3", "b.mp3", "c.mp3"});
  playlist.setCurrent(1);
  playlist.setCurrent(2);
  int marked = 0;
  for (const PlaylistItemRef& item : playlist.items()) marked += item->isCurrent();
  EXPECT_EQ(marked, 1);
  EXPECT_TRUE(playlist.item(2)->isCurrent());
  playlist.setCurrent(9);
  EXPECT_EQ(playlist.currentIndex(), -1);
  EXPECT_FALSE(playlist.item(2)->isCurrent());

  struct Case {
    int index;
    bool wrap;
    const char* next;
  } cases[] = {
      {-1, false, "a.mp3"}, {0, false, "b.mp3"}, {2, false, nullptr}, {2, true, "a.mp3"}, {5, true, "a.mp3"}};
  for (const Case& c : cases) {
    PlaylistItemRef next = playlist.nextItem(c.index, c.wrap);
    EXPECT_EQ(next ? next->filename() : "none", c.next ? c.next : "none") << c.index << " " << c.wrap;
  }

  const std::string b = folder.file("b.mp3");
  struct Find {
    int hint;
    std::string path;
    int index;
  } finds[] = {{1, b, 1}, {0, b, 1}, {2, b, 1}, {3, b, -1}, {-1, b, -1}, {0, folder.file("B.mp3"), -1}};
  for (const Find& f : finds)
    EXPECT_EQ(playlist.findByPath(f.hint, f.path), f.index) << f.hint << " " << f.path;

  playlist.setCurrent(1);
  playlist.showCurrentRow();
  EXPECT_EQ(window.visibleRow(), 1);
  playlist.showRow(2, true);
  EXPECT_EQ(window.visibleRow(), 2);
  EXPECT_EQ(window.firstSelectedRow(), 2);
}

TEST_F(PlaylistTest, TotalTimeAndNewMarks) {
  playlist.addFile(track("a.mp3", 3725), AddMode::Append);
  playlist.addFile(track("b.mp3", 75), AddMode::Append);
  std::string text;
  EXPECT_EQ(playlist.totalTime(true, &text), 3800);
  EXPECT_EQ(text, "1:03:20");
  EXPECT_EQ(playlist.totalTime(false, &text), 0);
  EXPECT_EQ(text, "0:00:00");

  EXPECT_TRUE(playlist.item(0)->isNew() && playlist.item(1)->isNew());
  playlist.clearNewFlags();
  EXPECT_FALSE(playlist.item(0)->isNew() || playlist.item(1)->isNew());

  playlist.setCurrent(0);
  playlist.FreeListArray();
  EXPECT_EQ(playlist.count(), 0);
  EXPECT_EQ(playlist.currentIndex(), -1);
  EXPECT_EQ(window.rowCount(), 2);  // rows are the caller's business here
}

struct RecordingListener : PlaylistListener {
  bool enginePlaying() override { return playing; }
  void nextTrackChanged(const std::string& title) override { titles.push_back(title); }
  bool playing = true;
  std::vector<std::string> titles;
};

TEST_F(PlaylistTest, SyncFromWindowTakesTheDraggedOrder) {
  fill({"a.mp3", "b.mp3", "c.mp3", "d.mp3"});
  RecordingListener listener;
  playlist.setListener(&listener);
  playlist.setCurrent(1);  // b

  window.dragRow(3, 0);  // d a b c
  playlist.syncFromWindow();
  EXPECT_EQ(names(), (Paths{"d.mp3", "a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_EQ(playlist.currentIndex(), 2);
  ASSERT_EQ(listener.titles.size(), 1u);
  EXPECT_EQ(listener.titles[0], "c.mp3  ");

  window.dragRow(3, 0);  // c d a b: after the last comes the first again
  playlist.syncFromWindow();
  EXPECT_EQ(listener.titles.back(), "c.mp3  ");
  listener.playing = false;
  window.dragRow(0, 3);
  playlist.syncFromWindow();
  EXPECT_EQ(listener.titles.size(), 2u);

  // Rows that no longer show our items are rebuilt from the list rather than believed.
  std::vector<PlaylistItemRef> rows = window.rows();
  rows[1] = PlaylistItem::make(track("stranger.mp3"));
  window.setRows(rows);
  const Paths before = names();
  playlist.syncFromWindow();
  EXPECT_EQ(names(), before);
  expectRowsShowItems();
  window.setRows({rows[0]});
  playlist.syncFromWindow();
  EXPECT_EQ(names(), before);
  expectRowsShowItems();
}

TEST_F(PlaylistTest, RefreshRowAndSetItem) {
  fill({"a.mp3", "b.mp3"});
  PlaylistItemRef c = PlaylistItem::make(track("c.mp3"));
  EXPECT_FALSE(playlist.setItem(2, c));
  EXPECT_FALSE(playlist.setItem(0, nullptr));
  EXPECT_TRUE(playlist.setItem(1, c));
  playlist.refreshRow(1);
  expectRowsShowItems();
  EXPECT_EQ(playlist.indexOf(c.get()), 1);
  ASSERT_TRUE(playlist.mp3Info(1));
  EXPECT_EQ(playlist.mp3Info(1)->fileName(), "c.mp3");
}

TEST_F(PlaylistTest, ShuffleIsAPermutationAndClearsTheMark) {
  Paths files;
  for (int i = 0; i < 12; ++i) files.push_back("t" + std::to_string(i) + ".mp3");
  fill(files);
  playlist.setCurrent(4);
  const bool modifiedBefore = playlist.modified();
  playlist.shuffle(12345);
  Paths shuffled = names();
  EXPECT_NE(shuffled, files);
  EXPECT_EQ(std::multiset<std::string>(shuffled.begin(), shuffled.end()),
            std::multiset<std::string>(files.begin(), files.end()));
  EXPECT_EQ(playlist.currentIndex(), -1);
  for (const PlaylistItemRef& item : playlist.items()) EXPECT_FALSE(item->isCurrent());
  expectRowsShowItems();
  EXPECT_EQ(playlist.modified(), modifiedBefore);
}

TEST_F(PlaylistTest, ShuffleDrawFavoursTheFrontAndShortsTheLastEntry) {
  // k = (m-1) * r / 32767 * 1.1: each of the first nine of ten entries is drawn first with
  // about 1/9.9, the last one only with what is left, about 1/11.
  fill({"0.mp3", "1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3", "6.mp3", "7.mp3", "8.mp3", "9.mp3"});
  int firstCounts[10] = {};
  const int runs = 6000;
  for (int run = 0; run < runs; ++run) {
    std::vector<PlaylistItemRef> before = playlist.items();
    playlist.shuffle(static_cast<unsigned>(run) * 7919u);
    auto drawn = std::find(before.begin(), before.end(), playlist.item(0));
    ++firstCounts[drawn - before.begin()];
  }
  EXPECT_NEAR(firstCounts[9] / double(runs), 1 / 11.0, 0.015);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(firstCounts[i] / double(runs), 1 / 9.9, 0.02) << i;
}

}  // namespace
}  // namespace brovana
