#include "app/playlist_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/dropped_files.h"
#include "app/gui_thread.h"
#include "app/skin/skin.h"
#include "app/window_places.h"
#include "broadcast/studio.h"
#include "core/program_values.h"
#include "monitor/status_display.h"
#include "playlist/track_reader.h"

namespace brovana {
namespace {

// A journal longer than this (a playlist loaded, a shuffle) reaches the view in one reset rather
// than row by row.
constexpr size_t kBulkChanges = 64;

constexpr const char* kRowsMimeType = "application/x-brovana-live-playlist-rows";

struct Column {
  const char* header;
  int width;
};
constexpr Column kColumnLayout[PlaylistModel::kColumns] = {
    {"     Title", 200}, {"Duration", 65}, {"Mode", 150}, {"Artist", 100}, {"Album", 100}, {"Filename", 200}};

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The measured loudness after the format, once it is known.
std::string loudnessText(std::optional<double> lufs) {
  if (!lufs || !std::isfinite(*lufs)) return {};
  char text[32];
  std::snprintf(text, sizeof text, ", %.1f LUFS", *lufs);
  return text;
}

QString menuText(const std::string& text) {
  return fromUtf8(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// The small filled triangle in front of the title on the air; the other titles get a blank of
// its size, so that all titles line up.
QIcon titleMark(bool playing) {
  auto make = [](bool filled) {
    QPixmap pixmap(24, 24);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    if (filled) {
      QPainter painter(&pixmap);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0xe5, 0x48, 0x4d));
      painter.drawPolygon(QPolygonF({QPointF(2, 1), QPointF(11, 6), QPointF(2, 11)}));
    }
    return QIcon(pixmap);
  };
  static const QIcon marks[] = {make(false), make(true)};
  return marks[playing];
}

// A Qt file dialog filter of a playlist file type: "Playlist (*.m3u *.pls)".
QString filterOf(const FileType& type) {
  QString description = fromUtf8(type.description);
  int open = description.lastIndexOf(QLatin1String(" ("));
  if (open > 0 && description.endsWith(QLatin1Char(')'))) description.truncate(open);
  QString patterns = fromUtf8(type.pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
  if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
  return QStringLiteral("%1 (%2)").arg(description, patterns);
}

}  // namespace

// ---- the model ----

int PlaylistModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PlaylistModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

PlaylistItemRef PlaylistModel::item(int row) const {
  return row >= 0 && row < rowCount() ? rows_[row] : nullptr;
}

QVariant PlaylistModel::data(const QModelIndex& index, int role) const {
  PlaylistItemRef track = item(index.row());
  if (!track) return {};
  switch (role) {
    case Qt::DisplayRole: {
      MP3Info info = track->mp3Info();
      switch (index.column()) {
        case 0:
          return fromUtf8(info.title());
        case 1:
          return fromUtf8(minutesSeconds(info.duration()));
        case 2:
          return fromUtf8(info.formatInfo() + loudnessText(track->loudness()));
        case 3:
          return fromUtf8(info.artist());
        case 4:
          return fromUtf8(info.album());
        default:
          return fromUtf8(track->fullpath());
      }
    }
    case Qt::FontRole: {
      // Only what differs from the list's own font is set; the view keeps the rest.
      if (!track->isNew() && track->playable()) return {};
      QFont font;
      if (track->isNew()) font.setBold(true);
      if (!track->playable()) font.setStrikeOut(true);
      return font;
    }
    case Qt::ToolTipRole:
      return track->playable() ? QVariant() : QVariant(fromUtf8(track->problem()));
    case Qt::DecorationRole:
      return index.column() == 0 ? QVariant(titleMark(track->isCurrent())) : QVariant();
    case Qt::TextAlignmentRole:
      return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
      return {};
  }
}

Qt::ItemFlags PlaylistModel::flags(const QModelIndex& index) const {
  // Drops land between rows (the list's own space takes them), never on a row.
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList PlaylistModel::mimeTypes() const {
  return {QString::fromLatin1(kRowsMimeType)};
}

QMimeData* PlaylistModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  auto* data = new QMimeData;  // the drag takes it
  data->setData(QString::fromLatin1(kRowsMimeType), QByteArray::number(reinterpret_cast<quintptr>(this)));
  return data;
}

bool PlaylistModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                 const QModelIndex&) {
  // Rows of another window, or of another studio running beside this one, are not ours to move.
  if (action != Qt::MoveAction || !data ||
      data->data(QString::fromLatin1(kRowsMimeType)) != QByteArray::number(reinterpret_cast<quintptr>(this)))
    return false;
  if (dropped_) dropped_(row < 0 || row > rowCount() ? rowCount() : row);
  return true;
}

QVariant PlaylistModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
    return {};
  return QString::fromLatin1(kColumnLayout[section].header);
}

int PlaylistModel::apply(const std::vector<ListRows::Change>& changes) {
  using Kind = ListRows::Change::Kind;
  const bool bulk = changes.size() > kBulkChanges;
  if (bulk) beginResetModel();
  int show = -1;
  bool redraw = false;
  for (const ListRows::Change& change : changes) {
    const int n = rowCount();
    switch (change.kind) {
      case Kind::Insert: {
        const int row = change.row < 0 || change.row > n ? n : change.row;
        if (!bulk) beginInsertRows({}, row, row);
        rows_.insert(rows_.begin() + row, change.item);
        if (!bulk) endInsertRows();
        break;
      }
      case Kind::Delete:
        if (change.row < 0 || change.row >= n) break;
        if (!bulk) beginRemoveRows({}, change.row, change.row);
        rows_.erase(rows_.begin() + change.row);
        if (!bulk) endRemoveRows();
        break;
      case Kind::Clear:
        if (!bulk) beginResetModel();
        rows_.clear();
        if (!bulk) endResetModel();
        break;
      case Kind::Show:
        show = change.row;
        break;
      case Kind::Redraw:
        redraw = true;
        break;
      case Kind::Select:
        break;
    }
  }
  if (bulk)
    endResetModel();
  else if (redraw && !rows_.empty())
    dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
  return show < rowCount() ? show : -1;
}

// ---- what the editor reaches through the window ----

// Playlist files are chosen in Qt's file dialogs.
class PlaylistWindow::Dialogs final : public PlaylistDialogs {
 public:
  explicit Dialogs(QWidget& parent) : parent_(parent) {}

  std::optional<FileDialogChoice> openFile(const FileDialogRequest& request) override {
    QString chosenFilter;
    QString path = QFileDialog::getOpenFileName(&parent_, fromUtf8(request.title), fromUtf8(request.folder),
                                                filters(request), &chosenFilter);
    return choice(request, path, chosenFilter);
  }
  std::optional<FileDialogChoice> saveFile(const FileDialogRequest& request) override {
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(&parent_, fromUtf8(request.title), fromUtf8(request.folder),
                                                filters(request), &chosenFilter);
    return choice(request, path, chosenFilter);
  }

 private:
  static QString filters(const FileDialogRequest& request) {
    QStringList list;
    for (const FileType& type : request.types) list << filterOf(type);
    return list.join(QStringLiteral(";;"));
  }
  static std::optional<FileDialogChoice> choice(const FileDialogRequest& request, const QString& path,
                                                const QString& chosenFilter) {
    if (path.isEmpty()) return std::nullopt;
    int type = 1;
    for (size_t i = 0; i < request.types.size(); ++i)
      if (filterOf(request.types[i]) == chosenFilter) type = static_cast<int>(i) + 1;
    return FileDialogChoice{path.toStdString(), type};
  }

  QWidget& parent_;
};

// The broadcast is the studio's.
class PlaylistWindow::Broadcast final : public PlaylistBroadcast {
 public:
  explicit Broadcast(Studio& studio) : studio_(studio) {}

  // The window exists before the studio's start-up has made the session and the sources.
  bool playlistSource() const override { return studio_.source() == Source::Playlist; }
  bool onAir() const override {
    return studio_.onAir() != OnAir::Off || (studio_.ready() && studio_.starting());
  }
  int engineIndex() const override {
    EngineControl* engine = studio_.engine();
    return engine ? engine->currentIndex() : -1;
  }
  void stop() override {
    if (studio_.ready()) studio_.stopBroadcast();
  }
  void start() override {
    if (studio_.ready()) studio_.startBroadcast();
  }
  void switchToPlaylist() override {
    if (studio_.ready()) studio_.selectSource(Source::Playlist);
  }
  void jumpTo(int index) override {
    if (EngineControl* engine = studio_.engine()) engine->setCurrentIndex(index);
  }
  bool continuousLoop() const override { return studio_.engine() && studio_.engine()->continuousLoop(); }
  void showNextTrack(const std::string& text) override {
    if (StatusDisplay* status = studio_.statusDisplay()) status->setNextTrack(text);
  }
  void showTrackNumber(int number) override {
    if (StatusDisplay* status = studio_.statusDisplay()) status->showTrackNumber(number);
  }

 private:
  Studio& studio_;
};

// ---- the window ----

PlaylistWindow::PlaylistWindow(Studio& studio, Prompts& prompts)
    : prompts_(prompts),
      dialogs_(std::make_unique<Dialogs>(*this)),
      broadcast_(std::make_unique<Broadcast>(studio)),
      rows_([this] { postTo(this, [this] { takeRows(); }); }),
      find_(this, prompts, [this] { return editor_->playlist(); }) {
  setObjectName(QStringLiteral("PlaylistWindow"));
  rememberPlace(*this, "PlaylistWindow");
  setAcceptDrops(true);
  buildFace();
  buildMenu();
  PlaylistEditorView& view = *this;
  editor_ = std::make_unique<PlaylistEditor>(prompts_, view, *dialogs_, rows_, *broadcast_,
                                             programValues().registry());
  applySkin(*this, currentSkin());
}

PlaylistWindow::~PlaylistWindow() = default;

void PlaylistWindow::buildFace() {
  form_.setObjectName(elementName(kIdPlaylistForm));
  setCentralWidget(&form_);
  buildPanel();
  const int columnsWidth = buildList();
  buildButtons();
  formLayout_.addWidget(&panel_);
  formLayout_.addWidget(&list_, 1);
  formLayout_.addLayout(&buttons_);
  // Every column in view, and a screenful of tracks.
  resize(columnsWidth + list_.verticalScrollBar()->sizeHint().width() + 32, fontMetrics().height() * 32);
}

// The playlist's name, size and length on the display panel.
void PlaylistWindow::buildPanel() {
  panel_.setObjectName(QStringLiteral("Panel"));
  struct Label {
    QLabel& caption;
    int captionId;
    const char* text;
    QLabel& value;
    int id;
  };
  for (Label label : {Label{nameCaption_, kIdNameCaption, "Playlist", name_, kIdPlaylistName},
                      Label{countCaption_, kIdCountCaption, "Tracks", count_, kIdTrackCount},
                      Label{lengthCaption_, kIdLengthCaption, "Length", length_, kIdPlaylistLength}}) {
    label.caption.setObjectName(elementName(label.captionId));
    label.caption.setText(QString::fromLatin1(label.text));
    label.caption.setProperty("caption", true);
    label.value.setObjectName(elementName(label.id));
    markStatusText(label.value);
    panelLayout_.addWidget(&label.caption);
    panelLayout_.addWidget(&label.value, label.id == kIdPlaylistName ? 1 : 0);
    panelLayout_.addSpacing(fontMetrics().averageCharWidth() * 2);
  }
  name_.setProperty("headline", true);
  name_.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

// The track list; returns the width of its columns.
int PlaylistWindow::buildList() {
  list_.setObjectName(QStringLiteral("List"));
  list_.setModel(&model_);
  list_.setRootIsDecorated(false);
  list_.setUniformRowHeights(true);
  list_.setAlternatingRowColors(true);
  list_.setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_.setDragDropMode(QAbstractItemView::InternalMove);
  list_.setDefaultDropAction(Qt::MoveAction);
  list_.setDropIndicatorShown(true);
  model_.onRowsDropped([this](int before) { rowsDropped(before); });
  list_.setSelectionBehavior(QAbstractItemView::SelectRows);
  list_.setAllColumnsShowFocus(true);
  list_.setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_.setIconSize(QSize(12, 12));
  list_.header()->setSectionsMovable(false);
  list_.header()->setStretchLastSection(true);
  // The widths are those of a small 8-point font; the list's own font widens them alike, so that
  // the longest format text fits its column, also in bold.
  QFont bold = list_.font();
  bold.setBold(true);
  const int formatWidth =
      QFontMetrics(bold).horizontalAdvance(QStringLiteral("128 Kbps, 44100 hz, (stereo)"));
  const double scale = std::max(1.0, (formatWidth + 16) / 150.0);
  int width = 0;
  for (int column = 0; column < PlaylistModel::kColumns; ++column) {
    list_.header()->resizeSection(column, static_cast<int>(kColumnLayout[column].width * scale));
    width += list_.header()->sectionSize(column);
  }
  connect(list_.selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!applying_) takeSelection();
  });
  connect(&list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    rows_.userSelected({model_.item(index.row()).get()});
    editor_->trackInfo();
  });
  return width;
}

// The command buttons below the list.
void PlaylistWindow::buildButtons() {
  struct Button {
    QPushButton& button;
    int id;
    const char* caption;
    const char* tooltip;
    void (PlaylistEditor::*command)();
  };
  for (Button b :
       {Button{add_, kIdAddTracks, "Add...", "Add a new track to the playlist", &PlaylistEditor::addTracks},
        Button{delete_, kIdDeleteTrack, "Delete", "Deletes a selected track",
               &PlaylistEditor::deleteSelected},
        Button{up_, kIdMoveUp, "Up", "Move the selected song up by one", nullptr},
        Button{down_, kIdMoveDown, "Down", "Move the selected song down by one", nullptr},
        Button{randomize_, kIdRandomize, "Randomize", "Randomizes the playlist", &PlaylistEditor::randomize},
        Button{playing_, kIdShowPlaying, "Show Playing", "Moves the currently playing track into view",
               &PlaylistEditor::showCurrent}}) {
    b.button.setObjectName(elementName(b.id));
    b.button.setText(QString::fromLatin1(b.caption));
    b.button.setToolTip(QString::fromLatin1(b.tooltip));
    b.button.setFocusPolicy(Qt::NoFocus);  // the keys stay with the list
    if (b.command)
      connect(&b.button, &QPushButton::clicked, this,
              [this, command = b.command] { ((*editor_).*command)(); });
    buttons_.addWidget(&b.button);
    if (b.id == kIdMoveDown) buttons_.addStretch(1);
  }
  connect(&up_, &QPushButton::clicked, this, [this] { editor_->moveSelected(true); });
  connect(&down_, &QPushButton::clicked, this, [this] { editor_->moveSelected(false); });
}

void PlaylistWindow::buildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  struct Command {
    const char* name;
    const char* text;
    const char* shortcut;
    std::function<void()> run;
  };
  const Command commands[] = {
      {"Find", "Find...", "Ctrl+F", [this] { find_.showSearch(); }},
      {"ID3Scan", "ID3 Scan...", "", [this] { editor_->id3Scan(); }},
      {nullptr, nullptr, nullptr, nullptr},
      {"NewPlaylist", "New Playlist", "Ctrl+N", [this] { editor_->newPlaylist(); }},
      {"OpenPlaylist", "Open Playlist", "Ctrl+O", [this] { editor_->openPlaylist(); }},
      {"SavePlaylist", "Save Playlist", "Ctrl+S", [this] { editor_->savePlaylist(); }},
      {nullptr, nullptr, nullptr, nullptr},
      // Exit only hides the window: the playlist goes on.
      {"Exit", "Exit", "Ctrl+E", [this] { hide(); }},
  };
  for (const Command& command : commands) {
    if (!command.name) {
      file->addSeparator();
      continue;
    }
    QAction* action = file->addAction(QString::fromLatin1(command.text));
    action->setObjectName(QString::fromLatin1(command.name));
    action->setShortcut(QKeySequence(QString::fromLatin1(command.shortcut)));
    connect(action, &QAction::triggered, this, command.run);
  }
  recentMenu_ = menuBar()->addMenu(QStringLiteral("Recent Playlists"));

  // The Delete key deletes the selected track as the button does.
  QAction* deleteKey = list_.addAction(QStringLiteral("Delete"));
  deleteKey->setShortcut(QKeySequence::Delete);
  deleteKey->setShortcutContext(Qt::WidgetShortcut);
  connect(deleteKey, &QAction::triggered, this, [this] { editor_->deleteSelected(); });
}

void PlaylistWindow::takeRows() {
  applying_ = true;
  const int show = model_.apply(rows_.takeChanges());
  showSelection();
  if (show >= 0) list_.scrollTo(model_.index(show, 0));
  applying_ = false;
}

// The selection is the rows' own (the Playlist inserts after it and selects what it moved).
void PlaylistWindow::showSelection() {
  const std::vector<int> rows = rows_.selectedRows();
  QItemSelection shown;
  // One range per run of adjacent rows: a whole list selected is one range, not thousands.
  for (size_t first = 0, last = 0; first < rows.size() && rows[first] < model_.rowCount(); first = ++last) {
    while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1 && rows[last + 1] < model_.rowCount())
      ++last;
    shown.select(model_.index(rows[first], 0), model_.index(rows[last], PlaylistModel::kColumns - 1));
  }
  QItemSelectionModel* selection = list_.selectionModel();
  selection->select(shown, QItemSelectionModel::ClearAndSelect);
  if (!shown.isEmpty()) selection->setCurrentIndex(shown.first().topLeft(), QItemSelectionModel::NoUpdate);
}

void PlaylistWindow::takeSelection() {
  std::vector<const PlaylistItem*> items;
  for (const QModelIndex& index : list_.selectionModel()->selectedRows())
    items.push_back(model_.item(index.row()).get());
  rows_.userSelected(items);
}

void PlaylistWindow::rowsDropped(int before) {
  // The screen may be a few changes behind the rows: the place goes by the item shown there.
  PlaylistItemRef target = model_.item(before);
  const int row = target ? rows_.rowOf(target.get()) : -1;
  editor_->moveSelectedTo(row >= 0 ? row : rows_.rowCount());
}

void PlaylistWindow::show() {
  bringToFront(*this);
}

void PlaylistWindow::setSkin(const std::string& path) {
  Skin skin = skinFor(path);
  applySkin(*this, skin);
  applySkin(find_, skin);
}

void PlaylistWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlaylistWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files = droppedFiles(*event->mimeData());
  if (files.empty()) return;
  event->acceptProposedAction();
  // After the drop has ended: adding may ask questions, which must not hold up the desktop's drag.
  postTo(this, [this, files] { editor_->dropFiles(files); });
}

// ---- PlaylistEditorView ----

void PlaylistWindow::showLabels(const std::string& name, int count, const std::string& length) {
  name_.setText(fromUtf8(name));
  count_.setNum(count);
  length_.setText(fromUtf8(length));
}

void PlaylistWindow::showTitle(const std::string& title) {
  setWindowTitle(QStringLiteral("Playlist - %1").arg(fromUtf8(title)));
}

void PlaylistWindow::showRecent(const std::vector<std::string>& paths) {
  recentMenu_->clear();
  for (size_t k = 0; k < paths.size(); ++k) {
    QAction* action = recentMenu_->addAction(menuText(paths[k]));
    action->setObjectName(elementName(kFirstRecentCommand + static_cast<int>(k)));
    connect(action, &QAction::triggered, this, [this, k] { editor_->openRecent(static_cast<int>(k)); });
  }
  recentMenu_->setEnabled(!paths.empty());
}

std::vector<std::string> PlaylistWindow::chooseMp3Files(const std::string& folder) {
  QStringList chosen =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Load .mp3 file"), fromUtf8(folder),
                                    QStringLiteral("Music (%1);;Mpeg-layer 3 (*.mp3);;(all files) *.* (*)")
                                        .arg(QLatin1String(kTrackFilePatterns)));
  std::vector<std::string> paths;
  for (const QString& path : chosen) paths.push_back(path.toStdString());
  return paths;
}

bool PlaylistWindow::showTrackInfo(const MP3Info& info) {
  TrackInfoDialog dialog(this, info);
  return dialog.exec() == TrackInfoDialog::kPlay;
}

bool PlaylistWindow::editTag(PlaylistItem& item) {
  TagDialog dialog(this, item, prompts_);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace brovana
