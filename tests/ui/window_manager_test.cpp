// The studio's windows under a real window manager (openbox on a display of the test's own, see
// with-openbox), which frames them and has the last word on where they go: where they open, and
// that each comes back exactly where it was left.

#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <map>

#include "app/main_window.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"
#include "support/child_process.h"

inline void PrintTo(const QRect& r, std::ostream* out) {
  *out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace brovana {
namespace {

using namespace std::chrono_literals;

using Places = std::map<std::string, std::pair<QRect, QRect>>;  // frame and inside, by settings name

class StudioUnderAWindowManager : public test::StudioPeers {
 protected:
  // The window's frame as the window manager tells it (Qt may keep a frame it worked out before the
  // window was framed); none before.
  static std::optional<QRect> frameOf(QWidget* window) {
    if (!window || !window->windowHandle()->isExposed()) return std::nullopt;
    std::string extents =
        test::commandOutput("xprop -id " + std::to_string(window->winId()) + " _NET_FRAME_EXTENTS");
    int left, right, top, bottom;
    if (std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left, &right, &top,
                    &bottom) != 4)
      return std::nullopt;
    return window->geometry().adjusted(-left, -top, right, bottom);
  }

  // One run of the studio: once the main window is framed, the member opens the playlist window
  // and Stream Quality; once all three are framed and `ready` holds for their places (or the
  // deadline passed), Exit. Their places then; the main window's menu bar in `menuBar`.
  Places run(const std::function<bool(const Places&)>& ready) {
    Places places;
    bool opened = false, exited = false;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    test::DialogDriver dialogs([&] {
      auto* main = dynamic_cast<MainWindow*>(shownWindow("MainWindow"));
      bool late = std::chrono::steady_clock::now() > deadline;
      if (exited || !main || (!frameOf(main) && !late)) return;
      if (!std::exchange(opened, true)) {
        QTest::mouseClick(element<QPushButton>(*main, kIdPlaylistButton), Qt::LeftButton);
        element<QAction>(*main, 32807)->trigger();  // Stream Quality...
      }
      places.clear();
      for (const char* name : {"MainWindow", "PlaylistWindow", "Stream Quality"})
        if (QWidget* window = shownWindow(name); std::optional<QRect> frame = frameOf(window))
          places[QString(name).remove(' ').toStdString()] = {*frame, window->geometry()};
      if ((places.size() < 3 || !ready(places)) && !late) return;
      menuBar = QRect(main->menuBar()->mapToGlobal(QPoint()), main->menuBar()->size());
      exited = true;
      QTimer::singleShot(0, main, [main] { element<QAction>(*main, 32790)->trigger(); });  // Exit
    });
    dialogs.answer("are you sure you want to exit?", true);
    EXPECT_EQ(runWindowed(), 0);
    return places;
  }

  QRect menuBar;
};

TEST_F(StudioUnderAWindowManager, WindowsOpenBesideTheMainWindowAndComeBackWhereTheyWereLeft) {
  // Kept open for the whole test: the program reads and writes the same settings.
  SettingsRegistry settings(settingsPath());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  Places first = run([](const Places&) { return true; });
  ASSERT_EQ(first.size(), 3u);
  const QRect main = first["MainWindow"].first;
  EXPECT_TRUE(screen.contains(menuBar)) << testing::PrintToString(menuBar);
  for (const auto& [name, place] : first) {
    const QRect& frame = place.first;
    EXPECT_TRUE(screen.contains(frame)) << name << " " << testing::PrintToString(place);
    if (name == "MainWindow") continue;
    EXPECT_FALSE(frame.intersects(main)) << name << " over the main window";
    // Just off one of its sides, by the gap between neighbours.
    const int gaps[] = {frame.left() - main.right(), frame.top() - main.bottom(), main.left() - frame.right(),
                        main.top() - frame.bottom()};
    EXPECT_TRUE(std::ranges::any_of(gaps, [](int gap) { return gap > 0 && gap <= 16; }))
        << name << " " << testing::PrintToString(first);
  }

  Places second = run([&](const Places& places) { return places == first; });
  EXPECT_EQ(second, first) << "every window back where it was left";

  settings.create("Software\\Zelvora\\Live\\Windows")->set("StreamQuality", "1300,760,500,150");
  Places third = run(
      [](const Places& places) { return places.at("StreamQuality").second.topLeft() == QPoint(1300, 760); });
  EXPECT_EQ(third["StreamQuality"].second, QRect(1300, 760, 500, 150));
  EXPECT_EQ(third["MainWindow"], first["MainWindow"]);
}

}  // namespace
}  // namespace brovana
