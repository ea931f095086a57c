#pragma once
// PlaylistWindow: the skinned "Playlist" window in which the member builds and edits the show.
// A six-column list of the tracks (the one on the air marked, unplayable ones struck through,
// new ones bold), the buttons Add 1034, Randomize 1033, Delete 1035, Show playing 1036, Up 1102
// and Down 1103, the labels of the playlist's name 1044, track count 1046 and length 1048 (with
// their captions 1043, 1045, 1047), a File menu and the "Recent Playlists" menu (38100 ...), and
// files, folders and playlists dropped on it. What the commands do is the PlaylistEditor's; this
// is its face.
//
// The list is a model over the rows the Playlist keeps (ListRows): the rows change on whatever
// thread changes the list, the model follows on the GUI thread, so long lists load and scroll
// without one widget per row and the broadcast engine never waits for the screen.

#include <QAbstractTableModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "app/track_dialogs.h"
#include "broadcast/studio_parts.h"
#include "playlist/list_rows.h"
#include "playlist/playlist_editor.h"

namespace brovana {

class Prompts;
class Studio;

enum PlaylistWindowElement : int {
  kIdPlaylistForm = 1019,  // the skin form, as in every window
  kIdRandomize = 1033,
  kIdAddTracks = 1034,
  kIdDeleteTrack = 1035,
  kIdShowPlaying = 1036,
  kIdNameCaption = 1043,
  kIdPlaylistName = 1044,
  kIdCountCaption = 1045,
  kIdTrackCount = 1046,
  kIdLengthCaption = 1047,
  kIdPlaylistLength = 1048,
  kIdMoveUp = 1102,
  kIdMoveDown = 1103,
};

// The list's columns over the rows the model has taken so far.
class PlaylistModel final : public QAbstractTableModel {
 public:
  static constexpr int kColumns = 6;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Rows are dragged inside this list only: the drag carries the model's mark, not the rows,
  // and a drop moves the rows selected.
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
  // Where dragged rows go: before this row of the model, rowCount() for the end.
  void onRowsDropped(std::function<void(int before)> dropped) { dropped_ = std::move(dropped); }

  PlaylistItemRef item(int row) const;
  // Takes the changes the rows journaled, in order; the row the last of them asked to show, -1
  // for none. Selections are left to the caller.
  int apply(const std::vector<ListRows::Change>& changes);

 private:
  std::vector<PlaylistItemRef> rows_;
  std::function<void(int)> dropped_;
};

class PlaylistWindow final : public QMainWindow, public PlaylistWindowControl, private PlaylistEditorView {
 public:
  // Hidden until shown. The studio must outlive the window.
  PlaylistWindow(Studio& studio, Prompts& prompts);
  ~PlaylistWindow() override;

  Playlist* playlist() override { return editor_->playlist(); }
  int currentIndex() const override { return editor_->startIndex(); }
  bool loadPlaylist(const std::string& path) override { return editor_->loadPlaylistFile(path); }
  void addDroppedFiles(const std::vector<std::string>& files) override { editor_->dropFiles(files); }
  void addFiles(const std::vector<std::string>& paths) override { editor_->addFirstTracks(paths); }
  bool unsavedNewPlaylist() const override { return editor_->unsavedNewPlaylist(); }
  bool savePlaylist() override { return editor_->savePlaylist(); }
  void show() override;
  void setSkin(const std::string& path) override;

  PlaylistEditor& editor() { return *editor_; }
  QTreeView& list() { return list_; }
  FindWindow& findWindow() { return find_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class Dialogs;
  class Broadcast;

  void buildFace();
  void buildPanel();
  int buildList();
  void buildButtons();
  void buildMenu();
  // Brings the model up to the rows (GUI thread).
  void takeRows();
  // The rows' selection on screen, and the screen's in the rows.
  void showSelection();
  void takeSelection();
  // Rows dragged before the model's row `before`.
  void rowsDropped(int before);

  // PlaylistEditorView
  void showLabels(const std::string& name, int count, const std::string& length) override;
  void showTitle(const std::string& title) override;
  void showRecent(const std::vector<std::string>& paths) override;
  std::vector<std::string> chooseMp3Files(const std::string& folder) override;
  bool showTrackInfo(const MP3Info& info) override;
  bool editTag(PlaylistItem& item) override;

  Prompts& prompts_;
  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<Broadcast> broadcast_;
  ListRows rows_;
  PlaylistModel model_;
  bool applying_ = false;  // the model is taking the rows' changes: selection signals are its own

  QWidget form_;
  QVBoxLayout formLayout_{&form_};
  QFrame panel_;
  QHBoxLayout panelLayout_{&panel_};
  QLabel nameCaption_, name_, countCaption_, count_, lengthCaption_, length_;
  QTreeView list_;
  QHBoxLayout buttons_;
  QPushButton add_, delete_, up_, down_, randomize_, playing_;
  QMenu* recentMenu_ = nullptr;
  FindWindow find_;

  std::unique_ptr<PlaylistEditor> editor_;  // last: it makes the playlist on the rows above
};

}  // namespace brovana
