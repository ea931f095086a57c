#include "app/status_window.h"

#include <QLabel>

#include "app/elided_label.h"
#include "app/gui_thread.h"
#include "app/skin/skin.h"
#include "app/window_places.h"
#include "monitor/status_display.h"

namespace brovana {
namespace {

struct Row {
  int id;
  const char* caption;
  bool heading = false;
  bool pair = false;  // two figures, what went by and what is left
};

constexpr Row kRows[] = {
    {2001, "Program", true},
    {kLabelNowPlaying, "Now playing"},
    {kLabelNextTrack, "Next"},
    {kLabelTrackTimes, "Track time", false, true},
    {kLabelTrackNumber, "Track"},
    {kLabelTrackFormat, "Format"},
    {kLabelPlaylistName, "Playlist"},
    {kLabelPlaylistTimes, "Playlist time", false, true},
    {2002, "Broadcast", true},
    {kLabelConnectionState, "Connection"},
    {kLabelConnectedTime, "Connected for"},
    {kLabelDataCounter, "Data"},
    {kLabelInputSpeed, "Your line"},
    {kLabelOutputSpeed, "Stream"},
    {kLabelAverageMinutes, "Minutes per listener"},
    {kLabelRating, "Rating"},
    {kLabelFailedFiles, "Failed files"},
    {kLabelReconnects, "Reconnects"},
    {kLabelLastError, "Last error"},
};
constexpr int kExtraServersHeading = 2003;

}  // namespace

QtStatusWindow::QtStatusWindow() {
  window_.setObjectName(QStringLiteral("StatusWindow"));
  window_.setWindowTitle(QStringLiteral("Status"));
  rememberPlace(window_, "StatusWindow");
  panel_.setObjectName(QStringLiteral("Panel"));
  layout_.addWidget(&panel_);
  grid_.setColumnStretch(1, 1);
  grid_.setColumnStretch(3, 1);
  for (const Row& row : kRows)
    row.heading ? addHeading(row.id, row.caption) : addRow(row.id, row.caption, row.pair);
  addExtraServerRows();
  window_.setMinimumWidth(window_.fontMetrics().averageCharWidth() * 76);
  applySkin(window_, currentSkin());
}

QtStatusWindow::~QtStatusWindow() = default;

void QtStatusWindow::addHeading(int id, const char* caption) {
  QLabel* heading = labels_.emplace_back(std::make_unique<QLabel>(QString::fromLatin1(caption))).get();
  heading->setObjectName(elementName(id));
  heading->setProperty("heading", true);
  grid_.addWidget(heading, rows_++, 0, 1, 4);
}

void QtStatusWindow::addRow(int id, const char* caption, bool pair) {
  int row = rows_++;
  QLabel* name = labels_.emplace_back(std::make_unique<QLabel>(QString::fromLatin1(caption))).get();
  name->setObjectName(elementName(id + kStatusCaptionOffset));
  name->setProperty("caption", true);
  name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QLabel* value = labels_.emplace_back(std::make_unique<ElidedLabel>()).get();
  value->setObjectName(elementName(id));
  markStatusText(*value);
  grid_.addWidget(name, row, 0);
  values_[id] = value;
  if (!pair) {
    grid_.addWidget(value, row, 1, 1, 3);
    return;
  }
  // What is left, in a column of its own with its caption (element 2000 above the figures').
  QLabel* left = labels_.emplace_back(std::make_unique<QLabel>(QStringLiteral("left"))).get();
  left->setObjectName(elementName(id + 2 * kStatusCaptionOffset));
  left->setProperty("caption", true);
  QLabel* rest = labels_.emplace_back(std::make_unique<QLabel>()).get();
  rest->setObjectName(elementName(id) + QStringLiteral("left"));
  markStatusText(*rest);
  grid_.addWidget(value, row, 1);
  grid_.addWidget(left, row, 2);
  grid_.addWidget(rest, row, 3);
  seconds_[value] = rest;
}

// A row for each extra server, shown with its first report: a studio without any shows none.
void QtStatusWindow::addExtraServerRows() {
  addHeading(kExtraServersHeading, "Extra servers");
  extraHeading_ = labels_.back().get();
  extraHeading_->hide();
  for (int i = 0; i < kExtraServerLabels; ++i) {
    std::string caption = "Server " + std::to_string(i + 1);
    addRow(kLabelExtraServer + i, caption.c_str(), false);
    QLabel* name = labels_[labels_.size() - 2].get();
    name->hide();
    values_.at(kLabelExtraServer + i)->hide();
    hiddenCaptions_[values_.at(kLabelExtraServer + i)] = name;
  }
}

void QtStatusWindow::setLabel(int id, const std::string& text) {
  auto value = values_.find(id);
  if (value == values_.end()) return;
  auto second = seconds_.find(value->second);
  QLabel* rest = second == seconds_.end() ? nullptr : second->second;
  auto hidden = hiddenCaptions_.find(value->second);
  // Such a row shows with its first text, and goes again when emptied (a cleared text comes as a
  // blank).
  if (hidden != hiddenCaptions_.end())
    postTo(value->second, [label = value->second, caption = hidden->second, heading = extraHeading_,
                           show = text.find_first_not_of(' ') != std::string::npos] {
      for (QLabel* row : {label, caption}) row->setVisible(show);
      if (show) heading->show();
    });
  postTo(value->second, [label = value->second, rest, text = QString::fromStdString(text)] {
    // Two figures arrive as one text, spaced apart.
    qsizetype gap = rest ? text.indexOf(QLatin1String("  ")) : -1;
    label->setText(gap < 0 ? text : text.left(gap));
    if (rest) rest->setText(gap < 0 ? QString() : text.mid(gap).trimmed());
  });
}

void QtStatusWindow::setTitle(const std::string& title) {
  postTo(&window_, [this, title = QString::fromStdString(title)] { window_.setWindowTitle(title); });
}

void QtStatusWindow::show() {
  postTo(&window_, [this] { bringToFront(window_); });
}

void QtStatusWindow::setSkin(const std::string& path) {
  postTo(&window_, [this, path] { applySkin(window_, skinFor(path)); });
}

}  // namespace brovana
