#include "app/page_viewer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QUrl>

#include "app/skin/skin.h"

namespace brovana {
namespace {

// The log grows while the studio runs; the viewer shows at most its last part.
constexpr qint64 kMostLogBytes = 4 << 20;

}  // namespace

PageViewer::PageViewer() {
  setObjectName(QStringLiteral("PageViewer"));
  text_.setObjectName(QStringLiteral("PageText"));
  text_.setOpenExternalLinks(false);
  text_.setOpenLinks(true);
  close_.setText(QStringLiteral("Close"));
  close_.setDefault(true);
  buttons_.addStretch(1);
  buttons_.addWidget(&close_);
  layout_.addWidget(&text_, 1);
  layout_.addLayout(&buttons_);
  connect(&close_, &QPushButton::clicked, this, &QDialog::accept);
  QFontMetrics metrics = fontMetrics();
  resize(metrics.averageCharWidth() * 90, metrics.height() * 32);
}

QString PageViewer::ownPage(const QUrl& url) {
  if (url.isLocalFile()) {
    QFileInfo file(url.toLocalFile());
    bool text = file.suffix() == QLatin1String("log") || file.suffix() == QLatin1String("txt");
    return text && file.isFile() ? file.absoluteFilePath() : QString();
  }
  QString name = QFileInfo(url.path()).fileName();
  if (!name.endsWith(QLatin1String(".html"))) return {};
  QString page = QDir::current().absoluteFilePath(QStringLiteral("help/") + name);
  return QFileInfo(page).isFile() ? page : QString();
}

void PageViewer::showFile(const QString& path, bool wait) {
  applySkin(*this, currentSkin());
  QFileInfo file(path);
  if (file.suffix() == QLatin1String("html")) {
    text_.setFont(font());
    text_.setSearchPaths({file.absolutePath()});
    text_.setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    setWindowTitle(text_.documentTitle().isEmpty() ? file.fileName() : text_.documentTitle());
  } else {
    QFile log(path);
    QByteArray bytes;
    if (log.open(QIODevice::ReadOnly)) {
      if (log.size() > kMostLogBytes) log.seek(log.size() - kMostLogBytes);
      bytes = log.readAll();
    }
    text_.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_.setPlainText(QString::fromUtf8(bytes));
    text_.moveCursor(QTextCursor::End);
    setWindowTitle(file.fileName());
  }
  if (wait) {
    exec();
    return;
  }
  show();
  raise();
  activateWindow();
}

}  // namespace brovana
