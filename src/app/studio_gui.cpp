#include "app/studio_gui.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QIcon>
#include <QStyleFactory>
#include <cctype>
#include <optional>

#include "app/main_window.h"
#include "app/message_dialogs.h"
#include "app/program.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "app/skin/skin.h"
#include "app/stop_signals.h"
#include "diag/logger.h"
#include "net/song_update_sender.h"

namespace brovana {

namespace {

// From the working folder while the program runs from its build, from the desktop's icon theme
// once it is installed.
QIcon programIcon() {
  const QString file = QStringLiteral("brovana-live.svg");
  QIcon icon = QFileInfo::exists(file) ? QIcon(file) : QIcon::fromTheme(QStringLiteral("brovana-live"));
  if (icon.isNull()) Logger::log("The program icon brovana-live.svg is missing; the windows go without it\n");
  return icon;
}

// A test that drives the windows has made the application already.
template <typename Work>
auto withApplication(int argc, char** argv, Work work) {
  std::optional<QApplication> application;
  if (!QCoreApplication::instance()) application.emplace(argc, argv);
  return work();
}

int runWindowed(int argc, char** argv, const CommandLine& options, const StudioSetup& setup) {
  return withApplication(argc, argv, [&] { return runStudio(options, setup); });
}

void refuseWindowed(int argc, char** argv, const std::string& text) {
  withApplication(argc, argv, [&] {
    // A box's sentence begins with a capital; the command line's messages do not.
    std::string sentence = text;
    if (!sentence.empty())
      sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    MessageDialog(BoxKind::Error, sentence + ".", kProgramName).exec();
  });
}

constexpr WindowedStudio kWindows{runWindowed, refuseWindowed};

// A stop signal's exit: the open boxes and questions close (their callers go on with the answers
// of the studio without windows), and the event loop ends when it runs; the start-up, which runs
// before it, gives up by itself.
void closeForStop(bool loopRuns) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible() && dialog->isModal())
      dialog->reject();
  if (loopRuns) QCoreApplication::exit(0);
}

}  // namespace

int runProgram(int argc, char** argv) {
  return runCommandLine(argc, argv, &kWindows);
}

void prepareApplication() {
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setApplicationName(QStringLiteral("brovana-live"));
  QApplication::setApplicationDisplayName(QString::fromLatin1(kProgramName));
  // The program ends with its main window's exit sequence, not when some window closes.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(programIcon());
}

int runStudio(const CommandLine& options, const StudioSetup& setup) {
  prepareApplication();
  QtPrompts prompts;
  QtProgramExit exit;
  // A stop signal is the exit command without its questions. What it posts is dropped after the run.
  bool loopRuns = false;
  QObject stopTarget;
  StopSignals stops([&](int signal) {
    tellStopHeard(signal);
    prompts.stopAsking();
    postTo(&stopTarget, [&loopRuns] { closeForStop(loopRuns); });
  });
  std::optional<std::string> skin = skinName(prompts, exit);
  if (!skin) return exit.code();
  setCurrentSkin(loadSkin(*skin));

  QtStudioParts parts(prompts, setup.codec, setup.makeEngine);
  SongUpdateSender songs(setup.http);
  int code = 0;
  {
    MainWindow window(MainWindowContext{setup.webHost, setup.registry, setup.http, prompts, exit, parts,
                                        &songs, options.outFile, &stops,
                                        options.recordSplitMinutes.value_or(0), options.onAirAtStart});
    if (!window.initialise()) {
      songs.stop();
      return exit.code();
    }
    if (!stops.signal()) {
      window.show();
      loopRuns = true;
      code = QApplication::exec();
      loopRuns = false;
    }
    // The exit command has run the exit sequence, a stop signal leaves it to this; a program
    // ended by the studio itself skips its first half, as every refusal does.
    window.shutDown(!exit.ended());
  }
  songs.stop();
  return exit.ended() ? exit.code() : code;
}

}  // namespace brovana
