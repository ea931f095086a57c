// The playlist window's logic without a screen: the editor on the real Playlist and rows, with a
// view and a broadcast that record what they are asked; Find and the tag editor as tables.

#include "playlist/playlist_editor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/program_values.h"
#include "playlist/list_rows.h"
#include "playlist/track_tags.h"
#include "support/fake_list_window.h"
#include "support/fake_prompts.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Texts = std::vector<std::string>;

// Records the calls; the state is the test's to set.
struct Broadcast final : PlaylistBroadcast {
  bool playlistSource() const override { return playlist; }
  bool onAir() const override { return onAirNow; }
  int engineIndex() const override { return index; }
  void stop() override { calls.push_back("stop"); }
  void start() override { calls.push_back("start"); }
  void switchToPlaylist() override { calls.push_back("switch"); }
  void jumpTo(int i) override { calls.push_back("jump " + std::to_string(i)); }
  bool continuousLoop() const override { return true; }
  void showNextTrack(const std::string& text) override { calls.push_back("next " + text); }
  void showTrackNumber(int number) override { calls.push_back("number " + std::to_string(number)); }

  bool playlist = true;
  bool onAirNow = false;
  int index = -1;
  Texts calls;
};

struct View final : PlaylistEditorView {
  void showLabels(const std::string& name, int count, const std::string& length) override {
    labels = name + " " + std::to_string(count) + " " + length;
  }
  void showTitle(const std::string& text) override { title = text; }
  void showRecent(const std::vector<std::string>& paths) override { recent = paths; }
  std::vector<std::string> chooseMp3Files(const std::string&) override { return {}; }
  bool showTrackInfo(const MP3Info&) override { return false; }
  bool editTag(PlaylistItem&) override { return false; }

  std::string labels, title;
  Texts recent;
};

class EditorTest : public ::testing::Test {
 protected:
  std::string track(const std::string& name, const std::string& tag = "") {
    folder.write(name, test::vbrFile(5) + tag);
    return folder.file(name);
  }
  Texts names() const {
    Texts shown;
    for (const PlaylistItemRef& item : editor.playlist()->items()) shown.push_back(item->filename());
    return shown;
  }

  test::TempFolder folder;
  test::FakePrompts prompts;
  test::FakeDialogs dialogs;  // the editor's own dialogs are not opened here
  ListRows rows{nullptr};
  View view;
  Broadcast broadcast;
  PlaylistEditor editor{prompts, view, dialogs, rows, broadcast, nullptr};
};

TEST_F(EditorTest, FindLooksAtTagsOnlyWithoutCaseAndWraps) {
  editor.addFiles({track("rock.mp3"),
                   track("a.mp3", test::id3v1Tag("Night Drive", "Rock Band", "", "", "", 0)),
                   track("b.mp3", test::id3v1Tag("Caf\xE9 Rock", "Someone", "", "", "", 0))});  // Latin-1
  TrackFinder finder;
  const std::tuple<const char*, int, std::string> cases[] = {
      // text, the row selected afterwards, the message
      {"rock", 1, ""},  // rock.mp3 has no tag: its name never counts
      {"ROCK", 2, ""},  // on after the last match
      {"rock", 1, ""},  // and round from the top
      {"café", 2, ""}, {"jazz", 2, "Unable to find JAZZ"}, {"", 2, "You need to supply some search text!"},
  };
  for (const auto& [text, selected, message] : cases) {
    size_t boxes = prompts.boxTexts().size();
    EXPECT_EQ(finder.findNext(editor.playlist(), text, prompts), message.empty() ? selected : -1) << text;
    EXPECT_EQ(rows.firstSelectedRow(), selected) << text;
    EXPECT_EQ(prompts.boxTexts().size() > boxes ? prompts.boxTexts().back() : "", message) << text;
  }
}

TEST_F(EditorTest, TagEditorRefusesOrWritesLatin1) {
  PlaylistItemRef plain = PlaylistItem::make(track("plain.mp3"));
  PlaylistItemRef gone = PlaylistItem::make(track("gone.mp3"));
  std::filesystem::remove(gone->fullpath());
  // A file no one can write, root included.
  std::filesystem::create_symlink("/proc/version", folder.file("locked.mp3"));
  PlaylistItemRef locked = PlaylistItem::make(folder.file("locked.mp3"));
  const std::string e30(30, 'e');
  const TagTexts whole = {"Title", "Artist", "Album"};
  const std::tuple<PlaylistItemRef, TagTexts, std::string> cases[] = {
      {plain, {"", "Artist", "Album"}, "You must supply a track name!"},
      {plain, {"Title", " ", "Album"}, "You must supply artist name!"},
      {plain, {"Title", "Artist", ""}, "You must supply an album name!"},
      {gone, whole, "Unable to find " + gone->fullpath() + ". Either the file was deleted or moved."},
      {locked, whole, "Unable to modify the file. Make sure it is not set to 'read only'"},
      {plain, {"Café Lumière", "Élodie", "é" + e30}, ""},  // 31 characters: the last does not fit
  };
  for (const auto& [item, texts, refusal] : cases) {
    size_t boxes = prompts.boxTexts().size();
    EXPECT_EQ(writeTrackTag(*item, texts, prompts), refusal.empty()) << refusal;
    EXPECT_EQ(prompts.boxTexts().size() > boxes ? prompts.boxTexts().back() : "", refusal);
  }
  EXPECT_FALSE(gone->playable());
  // One byte per character in the file, never half a character; UTF-8 again when read.
  std::string file = folder.read("plain.mp3");
  EXPECT_EQ(file.substr(file.size() - 128, 33), "TAGCaf\xE9 Lumi\xE8re" + std::string(18, '\0'));
  EXPECT_EQ(file.substr(file.size() - 65, 30), "\xE9" + std::string(29, 'e'));
  EXPECT_EQ(plain->mp3Info().title(), "Café Lumière");  // as a reading of the file gives it
}

TEST_F(EditorTest, DeleteAndStartFollowTheEngine) {
  editor.addFiles({track("a.mp3"), track("b.mp3"), track("c.mp3")});
  // No selection and an idle engine are both -1: nothing happens, nothing is said.
  editor.deleteSelected();
  EXPECT_EQ(names(), (Texts{"a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_TRUE(prompts.boxTexts().empty());

  broadcast.onAirNow = true, broadcast.index = 1;
  editor.playlist()->setCurrent(1);
  rows.selectRow(1);
  editor.deleteSelected();
  EXPECT_EQ(prompts.boxTexts().back(), "You cannot delete the current playing track");
  rows.selectRow(2);
  editor.deleteSelected();
  EXPECT_EQ(names(), (Texts{"a.mp3", "b.mp3"}));
  EXPECT_EQ(view.labels, "<none> 2 0:00:10");

  editor.startPlayingAt(1);  // already on the air
  editor.startPlayingAt(0);
  // The removal told the status display what now follows the track on the air.
  EXPECT_EQ(broadcast.calls, (Texts{"next a.mp3  ", "number 2", "jump 0"}));
  broadcast.calls = {"jump 0"};
  broadcast.index = 0,
  broadcast.playlist = false;  // another source on the air: asked, then switched (which restarts)
  editor.startPlayingAt(1);
  broadcast.onAirNow = false, broadcast.index = -1,
  broadcast.playlist = false;  // idle: the playlist becomes the source, then starts
  editor.startPlayingAt(0);
  EXPECT_EQ(broadcast.calls, (Texts{"jump 0", "switch", "switch", "start"}));
  EXPECT_EQ(prompts.questions().back().text,
            "You are currently broadcasting from another source, do you want to switch?");
}

// While "c" is on the air: the selection as a set of rows, a command, and then the order, the
// rows selected, and the row of the track on the air (which the status display shows too).
TEST_F(EditorTest, SelectedRowsMoveAndGoTogetherAndTheTrackOnTheAirFollows) {
  const std::vector<std::string> files = {track("a.mp3"), track("b.mp3"), track("c.mp3"), track("d.mp3"),
                                          track("e.mp3")};
  const std::tuple<std::vector<int>, char, std::string, std::vector<int>, int> cases[] = {
      // u, d: Up, Down; x: Delete; 0 to 5: dragged before that row
      {{0, 1}, 'u', "abcde", {0, 1}, 2}, {{3, 4}, 'd', "abcde", {3, 4}, 2},  // at an end: nothing
      {{}, 'd', "abcde", {}, 2},         {{1, 3}, 'u', "badce", {0, 2}, 3}, {{0, 2}, 'd', "badce", {1, 3}, 3},
      {{1, 2}, 'd', "adbce", {2, 3}, 3}, {{0, 4}, '2', "baecd", {1, 2}, 3}, {{1, 2}, '5', "adebc", {3, 4}, 4},
      {{1, 2}, '2', "abcde", {1, 2}, 2}, {{3}, '0', "dabce", {0}, 3},       {{0, 4}, 'x', "bcd", {0}, 1},
      {{1, 2, 3}, 'x', "ace", {1}, 1},  // the one on the air stays
  };
  for (const auto& [selection, command, order, selected, playing] : cases) {
    SCOPED_TRACE(testing::Message() << command << " " << testing::PrintToString(selection));
    const size_t boxes = prompts.boxTexts().size();
    editor.addFiles(files);
    editor.playlist()->setCurrent(2);
    broadcast.onAirNow = true, broadcast.index = 2, broadcast.calls.clear();
    rows.selectRows(selection);
    if (command == 'x')
      editor.deleteSelected();
    else if (command == 'u' || command == 'd')
      editor.moveSelected(command == 'u');
    else
      editor.moveSelectedTo(command - '0');
    std::string letters;
    for (const std::string& name : names()) letters += name[0];
    EXPECT_EQ(std::tuple(letters, rows.selectedRows(), editor.playlist()->currentIndex()),
              std::tuple(order, selected, playing));
    const bool moved = letters != "abcde";
    EXPECT_EQ(
        std::count(broadcast.calls.begin(), broadcast.calls.end(), "number " + std::to_string(playing + 1)),
        moved ? 1 : 0);
    EXPECT_EQ(prompts.boxTexts().size() - boxes, command == 'x' && selection.size() == 3 ? 1u : 0u);
    editor.playlist()->clear();
  }
}

// The wizard's first tracks are no unsaved list of the member's; tracks added by hand are.
TEST_F(EditorTest, OnlyTracksAddedByHandMakeAnUnsavedList) {
  editor.addFirstTracks({track("a.mp3")});
  EXPECT_FALSE(editor.unsavedNewPlaylist());
  editor.addFiles({track("b.mp3")});
  editor.addFirstTracks({track("c.mp3")});
  EXPECT_TRUE(editor.unsavedNewPlaylist());
}

// In place: the engine still holds the list (emptying it under the engine's reads is the
// playlist's own test).
TEST_F(EditorTest, NewPlaylistEmptiesTheListTheEngineHolds) {
  editor.addFiles({track("a.mp3"), track("b.mp3"), track("c.mp3")});
  Playlist* held = editor.playlist();
  broadcast.onAirNow = true, broadcast.index = 0;
  editor.newPlaylist();  // both questions answered Yes: the broadcast stops, the list empties
  EXPECT_EQ(editor.playlist(), held);
  EXPECT_EQ(held->count(), 0);
  EXPECT_EQ(rows.rowCount(), 0);
  EXPECT_EQ(broadcast.calls, (Texts{"stop"}));
  EXPECT_EQ(view.labels, "<none> 0 0:00:00");
  editor.newPlaylist();  // an empty list: nothing to ask
  EXPECT_EQ(prompts.questions().size(), 2u);
}

TEST_F(EditorTest, DroppedFoldersAndPlaylists) {
  track("show/one.mp3");
  track("show/deeper/two.mp3");
  folder.write("show/notes.txt", "not a track");
  std::filesystem::create_directory_symlink(folder.file("show"), folder.file("show/deeper/loop"));
  editor.dropFiles({folder.file("show"), track("three.mp3")});
  // In their order, the folder's by name ("deeper" before "one.mp3"); the link back up was not
  // followed round.
  EXPECT_EQ(names(), (Texts{"two.mp3", "one.mp3", "three.mp3"}));

  // Dropped while the playlist is on the air: a file that is no playlist, and a playlist whose
  // unsaved-list question is declined, leave the station on the air and are not remembered; a
  // playlist that loads is stopped for, loaded, started again and remembered.
  folder.write("list.m3u", "#EXTM3U\r\n#EXTINF:5,One\r\nshow/one.mp3\r\n");
  folder.write("photo.jpg", "not a list");
  broadcast.onAirNow = true;
  programValues().setPlaylist(std::nullopt);
  const std::tuple<const char*, std::optional<bool>, Texts, size_t> drops[] = {
      // file, the unsaved-list answer, the broadcast's calls, tracks afterwards
      {"photo.jpg", std::nullopt, {}, 3},
      {"list.m3u", false, {}, 3},
      {"list.m3u", true, {"stop", "start"}, 1},
  };
  for (const auto& [file, unsaved, calls, tracks] : drops) {
    if (unsaved) prompts.answerNext(*unsaved);
    editor.dropFiles({folder.file(file)});
    bool loaded = !calls.empty();
    EXPECT_EQ(broadcast.calls, calls) << file;
    EXPECT_EQ(names().size(), tracks) << file;
    EXPECT_EQ(view.recent, loaded ? Texts{folder.file(file)} : Texts{}) << file;
    EXPECT_EQ(programValues().playlist().value_or(""), loaded ? folder.file(file) : "") << file;
    broadcast.calls.clear();
  }
  EXPECT_EQ(view.title, folder.file("list.m3u"));
  EXPECT_EQ(prompts.questions().back().text,
            "You are currently broadcasting. Do you want to stop it and start a new one?");
}

}  // namespace
}  // namespace brovana
