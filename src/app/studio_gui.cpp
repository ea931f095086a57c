#include "app/studio_gui.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QStyleFactory>
#include <optional>

#include "app/main_window.h"
#include "app/program.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "app/skin/skin.h"
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

int runWindowed(int argc, char** argv, const CommandLine& options, const StudioSetup& setup) {
  // A test that drives the windows has made the application already.
  std::optional<QApplication> application;
  if (!QCoreApplication::instance()) application.emplace(argc, argv);
  return runStudio(options, setup);
}

}  // namespace

int runProgram(int argc, char** argv) {
  return runCommandLine(argc, argv, runWindowed);
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
  std::optional<std::string> skin = skinName(prompts, exit);
  if (!skin) return exit.code();
  setCurrentSkin(loadSkin(*skin));

  QtStudioParts parts(prompts, setup.codec, setup.makeEngine);
  SongUpdateSender songs(setup.http);
  int code = 0;
  {
    MainWindow window(MainWindowContext{setup.webHost, setup.registry, setup.http, prompts, exit, parts,
                                        &songs, options.outFile});
    if (!window.initialise()) {
      songs.stop();
      return exit.code();
    }
    window.show();
    code = QApplication::exec();
    // The exit command has run the exit sequence; a program ended by the studio itself skips
    // its first half, as every refusal does.
    window.shutDown(!exit.ended());
  }
  songs.stop();
  return exit.ended() ? exit.code() : code;
}

}  // namespace brovana
