// Prompts from a broadcast thread: a box is handed to the GUI thread and the worker goes on; a
// question waits for the member's answer.

#include "app/qt_prompts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "dialog_driver.h"
#include "support/child_process.h"
#include "support/log_tail.h"

namespace brovana {
namespace {

TEST(QtPromptsTest, WorkerBoxesAreHandedOverAndWorkerQuestionsWaitForTheAnswer) {
  test::LogTail log;
  QtPrompts prompts;
  test::DialogDriver dialogs;
  dialogs.answer("Keep going?", true);
  std::atomic<int> step{0};
  std::atomic<bool> yes{false};
  std::thread worker([&] {
    prompts.warning("Cannot open XAudio decoder output, Device is busy");
    step = 1;
    yes = prompts.ask("Keep going?");
    step = 2;
  });
  // The GUI thread runs no events meanwhile: the box cannot have been answered.
  EXPECT_TRUE(test::waitUntil([&] { return step >= 1; }, std::chrono::seconds(5)))
      << "the box held the worker";
  EXPECT_EQ(step, 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return step == 2; }, 5000));
  worker.join();
  EXPECT_TRUE(yes);
  EXPECT_TRUE(dialogs.saw("Cannot open XAudio decoder output, Device is busy")) << "shown on the GUI thread";
  EXPECT_TRUE(log.contains("Cannot open XAudio decoder output, Device is busy"));
}

// Enter takes the answer that keeps the station on the air; Escape is always No.
TEST(QtPromptsTest, EnterAndEscapeAnswerTheWayThatKeepsTheStationOnTheAir) {
  struct Case {
    bool stopping;
    Qt::Key key;
    bool yes;
  } cases[] = {{false, Qt::Key_Return, true},
               {true, Qt::Key_Return, false},
               {false, Qt::Key_Escape, false},
               {true, Qt::Key_Escape, false}};
  for (const Case& c : cases) {
    Question question = Question::stopping("Stop?");
    question.defaultNo = c.stopping;
    MessageDialog dialog(question);
    dialog.show();
    QTest::keyClick(&dialog, c.key);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.yes) << c.stopping << " key " << c.key;
  }
}

// The shipped help pages and the log show in the studio's viewer; other addresses go to the
// desktop.
TEST(QtPromptsTest, HelpPagesAndTheLogOpenInTheStudiosViewer) {
  QTemporaryDir work;
  QString before = QDir::currentPath();
  ASSERT_TRUE(QDir(work.path()).mkdir(QStringLiteral("help")) && QDir::setCurrent(work.path()));
  for (const char* name : {"help/tips-tricks.html", "live_log3.txt", "song.mp3"}) {
    QFile file(QString::fromLatin1(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><head><title>Tips</title></head><body>Drop a folder</body></html>");
  }
  const std::pair<const char*, QString> cases[] = {
      {"http://www.zelvora.example/broadcast/Brovana-Live/tips-tricks.html",
       work.filePath("help/tips-tricks.html")},
      {"http://www.zelvora.example/broadcast/Brovana-Live/unknown.html", {}},
      {"http://www.zelvora.example/signup", {}},
      {"live_log3.txt", work.filePath("live_log3.txt")},
      {"song.mp3", {}},
  };
  for (const auto& [target, page] : cases) {
    QUrl url =
        target[0] == 'h' ? QUrl(QString::fromLatin1(target)) : QUrl::fromLocalFile(work.filePath(target));
    EXPECT_EQ(PageViewer::ownPage(url), page) << target;
  }
  PageViewer viewer;
  viewer.showFile(work.filePath("help/tips-tricks.html"), false);
  EXPECT_EQ(viewer.windowTitle(), "Tips");
  EXPECT_TRUE(viewer.text().toPlainText().contains("Drop a folder"));
  QDir::setCurrent(before);
}

}  // namespace
}  // namespace brovana
