#include "app/qt_prompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QUrl>

#include "app/gui_thread.h"
#include "diag/logger.h"

namespace brovana {
namespace {

// Web pages and mail links arrive encoded; anything else is a file.
QUrl targetUrl(std::string_view target) {
  QByteArray bytes(target.data(), static_cast<qsizetype>(target.size()));
  for (const char* scheme : {"http://", "https://", "mailto:"})
    if (bytes.startsWith(scheme)) return QUrl::fromEncoded(bytes, QUrl::TolerantMode);
  return QUrl::fromLocalFile(QDir::current().absoluteFilePath(QString::fromUtf8(bytes)));
}

}  // namespace

QtPrompts::QtPrompts() = default;
QtPrompts::~QtPrompts() = default;

Answer QtPrompts::choose(const Question& question) {
  if (!stopped_ && onGuiThread()) {
    MessageDialog dialog(question);
    Answer answer = dialog.answer(dialog.exec());
    if (!stopped_) return answer;
  }
  if (stopped_) return HeadlessPrompts::answerFor(question.text) ? Answer::Yes : Answer::No;
  Answer answer = Answer::No;
  QMetaObject::invokeMethod(
      &gui_, [&] { answer = choose(question); }, Qt::BlockingQueuedConnection);
  return answer;
}

void QtPrompts::showBox(BoxKind kind, std::string_view text, std::string_view caption) {
  if (stopped_) return;
  if (onGuiThread()) {
    MessageDialog dialog(kind, std::string(text), std::string(caption));
    dialog.exec();
    return;
  }
  postTo(&gui_, [this, kind, text = std::string(text), caption = std::string(caption)] {
    showModeless(kind, text, caption);
  });
}

void QtPrompts::showModeless(BoxKind kind, const std::string& text, const std::string& caption) {
  auto& dialog = modeless_.emplace_back(std::make_unique<MessageDialog>(kind, text, caption));
  MessageDialog* shown = dialog.get();
  shown->setModal(false);
  QObject::connect(shown, &QDialog::finished, &gui_, [this, shown] {
    // Not from inside the dialog's own signal.
    postTo(&gui_,
           [this, shown] { modeless_.remove_if([shown](const auto& box) { return box.get() == shown; }); });
  });
  shown->show();
}

void QtPrompts::notice(std::string_view text) {
  if (!onGuiThread()) {
    postTo(&gui_, [this, text = std::string(text)] { notice(text); });
    return;
  }
  if (text.empty()) {
    if (notice_) notice_->hide();
    return;
  }
  if (!notice_) notice_ = std::make_unique<NoticeWindow>();
  notice_->showText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtPrompts::waitCursor(bool on) {
  if (!onGuiThread()) {
    postTo(&gui_, [this, on] { waitCursor(on); });
    return;
  }
  if (on && cursorDepth_++ == 0) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  if (!on && cursorDepth_ > 0 && --cursorDepth_ == 0) QGuiApplication::restoreOverrideCursor();
}

void QtPrompts::open(std::string_view target) {
  QUrl url = targetUrl(target);
  auto openIt = [this, url] {
    if (QString page = PageViewer::ownPage(url); !page.isEmpty()) {
      if (!viewer_) viewer_ = std::make_unique<PageViewer>();
      // One window, reused; modal when no event loop follows (the log offered at the very end).
      viewer_->showFile(page, QThread::currentThread()->loopLevel() == 0);
      return;
    }
    if (!QDesktopServices::openUrl(url))
      Logger::log("The desktop could not open %s\n", url.toString().toUtf8().constData());
  };
  // At once on the GUI thread: the log is offered at the very end, when no event loop follows.
  if (onGuiThread())
    openIt();
  else
    postTo(&gui_, openIt);
}

void QtProgramExit::endProgram(int code) {
  HeadlessExit::endProgram(code);
  // During the start-up no event loop runs yet; the caller sees ended() instead.
  if (!onGuiThread() || QThread::currentThread()->loopLevel() > 0)
    postTo(QCoreApplication::instance(), [code] { QCoreApplication::exit(code); });
}

}  // namespace brovana
