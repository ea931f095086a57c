// The studio with windows as a member runs it, end to end: the program that brovana-live runs,
// started with its command line, its dialogs answered by clicking their buttons, its exit
// command given with Ctrl+E.

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <csignal>
#include <thread>

#include "app/control_socket.h"
#include "app/program.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "diag/logger.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"
#include "support/journal.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class StudioWithWindows : public test::StudioPeers {};

// A server added in the Servers dialog on the air goes on the air at once; the stored one's
// listener hears on, its connection undisturbed.
TEST_F(StudioWithWindows, PreviousPlaylistGoesOnTheAirAServerAddedOnTheAirPlaysAndCtrlEEndsTheRun) {
  // The playlist of an earlier run, and an extra server kept in the Servers dialog.
  SettingsRegistry settings(settingsPath());
  auto stored = settings.create(profileKeyPath());
  stored->set("playlist", playlist());
  const std::string extra = "icecast://127.0.0.1:" + std::to_string(icecast.port()) + "/extra.mp3";
  stored->set("extra_server1", "icecast://source:demo-secret@" + extra.substr(10) + "?bitrate=128");
  stored.reset();

  // The member's mount and the stored server's heard, a server added, it heard; then Exit.
  std::atomic<bool> heard{false}, addNow{false};
  std::string body, added;
  size_t extraHeardBefore = 0, extraHeardAfter = 0;
  std::thread listening([&] {
    auto own = test::listenWhenServed(icecast, 60s);
    auto first = test::listenWhenServed(icecast, 30s, "/extra.mp3");
    if (!own || !own->waitForBody(40000, 30s) || !first || !first->waitForBody(20000, 20s)) return;
    body = own->body();
    addNow = true;
    auto second = test::listenWhenServed(icecast, 30s, "/extra2.mp3");
    if (!second || !second->waitForBody(40000, 30s)) return;
    added = second->body();
    extraHeardBefore = first->body().size();
    first->waitForBody(extraHeardBefore + 20000, 20s);
    extraHeardAfter = first->body().size();
    heard = true;
  });
  bool exitGiven = false, addGiven = false;
  auto giveUp = std::chrono::steady_clock::now() + 150s;
  test::DialogDriver dialogs([&] {
    if (std::chrono::steady_clock::now() > giveUp) QCoreApplication::exit(99);  // fails below
    QWidget* window = shownWindow("MainWindow");
    if (!window || (heard ? exitGiven : addGiven)) return;
    if (addNow && !heard) {
      for (QAction* action : window->findChildren<QAction*>())
        if (action->text().contains(QStringLiteral("Servers"))) action->trigger();
      QWidget* servers = shownWindow("ServersDialog");
      if (!servers) return;
      for (auto [field, text] : {std::pair{"Host", QStringLiteral("127.0.0.1")},
                                 {"Port", QString::number(icecast.port())},
                                 {"Mount", QStringLiteral("/extra2.mp3")},
                                 {"Password", QStringLiteral("demo-secret")}})
        servers->findChild<QLineEdit*>(QString::fromLatin1(field))->setText(text);
      QTest::mouseClick(servers->findChild<QPushButton*>(QStringLiteral("Add")), Qt::LeftButton);
      addGiven = true;
    }
    if (!heard) return;
    // The accelerator works in the active window, as a member's key press would.
    if (QApplication::activeWindow() != window) return window->activateWindow();
    // Posted: the exit asks a question, which the driver answers while it waits.
    QTimer::singleShot(0, window, [window] { QTest::keyClick(window, Qt::Key_E, Qt::ControlModifier); });
    exitGiven = true;
  });
  dialogs.answer("Do you want to start broadcasting your previous playlist", true);
  dialogs.answer("You are currently broadcasting, are you sure you want to exit?", true);

  int code = runWindowed();
  listening.join();

  EXPECT_EQ(code, 0);
  EXPECT_TRUE(exitGiven) << "the station was heard";
  EXPECT_TRUE(dialogs.saw("Do you want to start broadcasting your previous playlist, " + playlist() + "?"));
  EXPECT_TRUE(dialogs.saw("You are currently broadcasting, are you sure you want to exit?"));
  for (const std::string* heardMp3 : {&body, &added}) {
    std::vector<int16_t> heardPcm = test::decodeMp3(*heardMp3);
    EXPECT_GT(heardPcm.size(), 44100u) << "at least a second of stereo";
    EXPECT_GT(test::peak(heardPcm), 3000) << "the tones, not silence";
  }
  EXPECT_GE(extraHeardAfter, extraHeardBefore + 20000) << "the stored server's listener hears on";

  EXPECT_TRUE(test::inOrder(test::readFile(work() + "/live_log1.txt"),
                            {"Now playing : tone440.mp3", "Exiting Brovana-Live", ": tracks played"}));
  // The stored server went on the air with the broadcast, once; the added one while on the air.
  const std::string log = test::readFile(work() + "/live_log1.txt");
  const std::string storedOnAir = "Extra server " + extra + ": on the air";
  EXPECT_NE(log.find(storedOnAir), std::string::npos) << log;
  EXPECT_EQ(log.find(storedOnAir, log.find(storedOnAir) + 1), std::string::npos) << "no new connection";
  EXPECT_NE(log.find("Extra server " + extra.substr(0, extra.size() - 4) + "2.mp3: on the air"),
            std::string::npos)
      << log;
}

// A stop signal is the exit command without its questions: the exit sequence, which turns off the
// server the run turned on, and the log's summary. During the start-up, which waits on a slow
// service, the start-up gives up at once.
TEST_F(StudioWithWindows, AStopSignalRunsTheExitSequenceWithoutQuestions) {
  SettingsRegistry(settingsPath()).create(profileKeyPath())->set("playlist", playlist());
  const struct {
    const char* delay;  // of the service's answers about the account, in ms
    bool onAir;         // the signal comes once the server is on, else at the run's first request
  } cases[] = {{"4000", false}, {"0", true}};
  for (const auto& c : cases) {
    ASSERT_TRUE(emulator.control({{"delay", c.delay}}));
    size_t requestsBefore = emulator.records("requests").size();
    std::atomic<bool> sent{false};
    std::thread stopper([&] {
      sent = test::waitUntil(
                 [&] { return c.onAir ? serverOn() : emulator.records("requests").size() > requestsBefore; },
                 60s) &&
             kill(getpid(), SIGTERM) == 0;
    });
    auto giveUp = std::chrono::steady_clock::now() + 90s;
    test::DialogDriver dialogs([&] {
      if (std::chrono::steady_clock::now() > giveUp) QCoreApplication::exit(99);  // fails below
    });
    dialogs.answer("Do you want to start broadcasting your previous playlist", true);
    auto start = std::chrono::steady_clock::now();
    int code = runWindowed();
    stopper.join();

    EXPECT_TRUE(sent);
    EXPECT_EQ(code, 0) << c.delay;
    EXPECT_FALSE(dialogs.saw("are you sure you want to exit?"));
    EXPECT_FALSE(serverOn()) << "the run turned the server on, so it turned it off";
    EXPECT_TRUE(
        test::inOrder(test::readFile(Logger::getLogPath()), {"Exiting Brovana-Live", ": tracks played"}));
    if (!c.onAir) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "the start-up gave up";
      EXPECT_FALSE(dialogs.saw("Do you want to start broadcasting")) << "nothing was started";
    }
  }
}

// The title the desktop's media controls show, as the studio's MPRIS player gives it.
std::string mediaTitle(const QDBusConnection& bus) {
  QDBusMessage get =
      QDBusMessage::createMethodCall(QString("org.mpris.MediaPlayer2.brovana_live.instance%1").arg(getpid()),
                                     "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get");
  get << "org.mpris.MediaPlayer2.Player"
      << "Metadata";
  QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
  QVariant metadata = reply.arguments().value(0).value<QDBusVariant>().variant();
  return qdbus_cast<QVariantMap>(metadata.value<QDBusArgument>())
      .value("xesam:title")
      .toString()
      .toStdString();
}

// --on-air puts the previous playlist on the air without asking. The control socket's commands
// reach the windowed studio: status says what is on the air, next goes to the next track. On a
// session bus (ctest runs this under dbus-run-session too) the desktop's media controls show the
// title and their Next skips the 12 s track at once; without one the studio goes on, saying so.
TEST_F(StudioWithWindows, OnAirStartsUnaskedAndTheSocketAndMediaControlsReachTheWindows) {
  SettingsRegistry(settingsPath()).create(profileKeyPath())->set("playlist", playlist());
  setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
  setenv("BROVANA_PACE", "1", 1);
  const bool bus = std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr;
  std::string status, onAir, next, error, shown, skipped;
  std::thread remote([&] {
    const std::string socket = controlSocketPath(work(), false);
    auto title = [&](const char* text) {
      return test::waitUntil(
          [&] {
            status = callControlSocket(socket, R"({"command":"status"})", 10s, error).value_or(error);
            return status.find(std::string(R"("title":")") + text + "\"") != std::string::npos;
          },
          60s);
    };
    bool started = title("Tone 440");
    onAir = status;
    if (started && bus) {
      QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "media-controls");
      shown = mediaTitle(client);
      client.call(QDBusMessage::createMethodCall(
          QString("org.mpris.MediaPlayer2.brovana_live.instance%1").arg(getpid()), "/org/mpris/MediaPlayer2",
          "org.mpris.MediaPlayer2.Player", "Next"));
      test::waitUntil([&] { return (skipped = mediaTitle(client)) == "Tone 880"; }, 3s);
      QDBusConnection::disconnectFromBus("media-controls");
    }
    next = callControlSocket(socket, R"({"command":"next"})", 10s, error).value_or(error);
    title(bus ? "Tone 440" : "Tone 880");
    kill(getpid(), SIGTERM);
  });
  auto giveUp = std::chrono::steady_clock::now() + 90s;
  test::DialogDriver dialogs([&] {
    if (std::chrono::steady_clock::now() > giveUp) QCoreApplication::exit(99);  // fails below
  });
  int code = runWindowed({"--on-air"});
  remote.join();
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(dialogs.saw("Do you want to start broadcasting")) << "--on-air asks nothing";
  std::string log = test::readFile(work() + "/live_log1.txt");
  EXPECT_NE(onAir.find(R"("onAir":"playlist")"), std::string::npos) << onAir << log;
  EXPECT_EQ(next, R"({"ok":true})");
  if (bus) {
    EXPECT_EQ(shown, "Tone 440");
    EXPECT_EQ(skipped, "Tone 880");
  } else {
    EXPECT_TRUE(test::inOrder(log, {"No session bus: the desktop's media controls are off"})) << log;
  }
  EXPECT_TRUE(
      test::inOrder(log, {"Now playing : tone440.mp3", "Now playing : tone880.mp3", "Exiting Brovana-Live"}));
}

}  // namespace
}  // namespace brovana
