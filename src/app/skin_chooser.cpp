#include "app/skin_chooser.h"

#include <QDir>
#include <QFileDialog>

#include "app/main_window.h"
#include "app/skin/skin.h"

namespace brovana {

SkinChooser::SkinChooser(const QString& folder, const QString& current, QWidget* parent)
    : QDialog(parent), folder_(folder) {
  setObjectName(QStringLiteral("SkinChooser"));
  setWindowTitle(QStringLiteral("Change Skins"));
  list_.setObjectName(QStringLiteral("SkinList"));
  sample_.setObjectName(QStringLiteral("SkinPreview"));
  for (const QString& file : QDir(folder).entryList({QStringLiteral("*.skn")}, QDir::Files, QDir::Name)) {
    QString path = QDir(folder).filePath(file);
    Skin skin = loadSkin(path.toStdString());
    if (skin.path != path.toStdString()) continue;  // not a usable skin: it is not offered
    QString name = QString::fromStdString(skin.file.name);
    auto* item = new QListWidgetItem(name.isEmpty() ? file : name, &list_);
    item->setData(Qt::UserRole, path);
    item->setData(Qt::UserRole + 1, QString::fromStdString(skin.file.author));
    if (QFileInfo(path) == QFileInfo(current)) list_.setCurrentItem(item);
  }
  if (!list_.currentItem() && list_.count() > 0) list_.setCurrentRow(0);

  // The preview borrows the main window's element ids, so each skin colours it as it would.
  panel_.setObjectName(QStringLiteral("Panel"));
  nowPlaying_.setObjectName(elementName(kIdMainNowPlaying));
  connection_.setObjectName(elementName(kIdMainConnectionState));
  nowPlaying_.setText(QStringLiteral("Lena Morrow - Harbour Lights"));
  nowPlaying_.setProperty("headline", true);
  connection_.setText(QStringLiteral("Connected!!"));
  markStatusText(nowPlaying_);
  markStatusText(connection_);
  panelLayout_.addWidget(&nowPlaying_);
  panelLayout_.addWidget(&connection_);
  button_.setObjectName(elementName(kIdBroadcastButton));
  button_.setText(QStringLiteral("Broadcast"));
  button_.setProperty("skinCaption", false);
  author_.setWordWrap(true);
  sampleLayout_.addWidget(&panel_);
  sampleLayout_.addWidget(&button_, 0, Qt::AlignLeft);
  sampleLayout_.addWidget(&author_);
  sampleLayout_.addStretch(1);
  sample_.setAttribute(Qt::WA_StyledBackground);
  QFontMetrics metrics = fontMetrics();
  list_.setMinimumWidth(metrics.averageCharWidth() * 24);
  sample_.setMinimumSize(metrics.averageCharWidth() * 44, metrics.height() * 9);
  body_.addWidget(&list_);
  body_.addWidget(&sample_, 1);

  otherButton_.setText(QStringLiteral("Other file..."));
  ok_.setText(QStringLiteral("OK"));
  cancel_.setText(QStringLiteral("Cancel"));
  ok_.setDefault(true);
  buttons_.addWidget(&otherButton_);
  buttons_.addStretch(1);
  buttons_.addWidget(&ok_);
  buttons_.addWidget(&cancel_);
  layout_.addLayout(&body_, 1);
  layout_.addLayout(&buttons_);
  connect(&list_, &QListWidget::currentRowChanged, this, [this] { preview(); });
  connect(&list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  connect(&ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(&otherButton_, &QPushButton::clicked, this, [this] { otherFile(); });
  applySkin(*this, currentSkin());
  preview();
}

QString SkinChooser::picked() const {
  QListWidgetItem* item = list_.currentItem();
  return item ? item->data(Qt::UserRole).toString() : QString();
}

void SkinChooser::preview() {
  QString path = picked();
  if (path.isEmpty()) return;
  applySkin(sample_, skinFor(path.toStdString()));
  QString author = list_.currentItem()->data(Qt::UserRole + 1).toString();
  author_.setText(author.isEmpty() ? QString() : QStringLiteral("by %1").arg(author));
}

void SkinChooser::otherFile() {
  other_ = QFileDialog::getOpenFileName(this, QStringLiteral("Load a new skin"), folder_,
                                        QStringLiteral("ActiveSkin files (*.skn)"));
  if (!other_.isEmpty()) accept();
}

QString SkinChooser::choose() {
  other_.clear();
  if (exec() != QDialog::Accepted) return {};
  return other_.isEmpty() ? picked() : other_;
}

}  // namespace brovana
