#pragma once
// The studio's own viewer of its help pages (shipped in help/ of the working folder) and of the
// run's log, so that both can be read on a desktop without a browser.

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace brovana {

class PageViewer final : public QDialog {
 public:
  PageViewer();

  // The shipped page for a help address of the service ("http://.../tips-tricks.html"), or a log
  // or text file; empty when the studio has no page of its own for it.
  static QString ownPage(const QUrl& url);
  // Shows the file: an HTML page with its links, anything else as plain text (the end of it).
  // With `wait`, modal until closed.
  void showFile(const QString& path, bool wait);
  QTextBrowser& text() { return text_; }

 private:
  QVBoxLayout layout_{this};
  QTextBrowser text_;
  QHBoxLayout buttons_;
  QPushButton close_;
};

}  // namespace brovana
