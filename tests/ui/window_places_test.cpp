// Where the windows open: beside the main window and clear of the others, then where the member
// left them, from the settings.

#include "app/window_places.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "core/program_values.h"
#include "core/registry.h"

namespace brovana {
namespace {

TEST(WindowPlacesTest, BesideTheMainWindowWhereTheScreenHasRoomAndClearOfOthers) {
  const QRect screen(0, 0, 1000, 800);
  const QSize size(300, 200);
  const std::tuple<QRect, std::vector<QRect>, QPoint> cases[] = {
      // main window, other windows, where the new one goes
      {{0, 0, 400, 300}, {}, {408, 0}},                      // right
      {{600, 0, 400, 300}, {}, {600, 308}},                  // no room on the right: below
      {{300, 500, 400, 300}, {}, {300, 292}},                // nor below or left: above
      {{0, 0, 400, 300}, {{408, 0, 300, 200}}, {408, 216}},  // slid down, clear of another
      {{0, 0, 980, 790}, {}, {699, 0}},                      // no room anywhere: held on the screen
  };
  for (const auto& [main, taken, expected] : cases)
    EXPECT_EQ(placeBeside(main, size, screen, taken).topLeft(), expected) << main.x() << "," << main.y();
}

TEST(WindowPlacesTest, TheMainWindowLeavesRoomOnTheRightForThePlaylist) {
  const QSize main(400, 300), playlist(860, 600);
  for (const QRect& screen : {QRect(0, 0, 1920, 1080), QRect(100, 40, 1400, 900)}) {
    QRect placed = placeMain(main, screen, playlist.width() + 20);
    QRect beside = placeBeside(placed, playlist, screen, {});
    EXPECT_TRUE(screen.contains(placed)) << screen.width();
    EXPECT_GT(beside.left(), placed.right()) << screen.width();
  }
}

TEST(WindowPlacesTest, AWindowOpensWhereItWasLeft) {
  MemoryRegistry settings;
  programValues().setRegistry(&settings);
  QWidget main;
  main.setObjectName(QStringLiteral("MainWindow"));
  main.setGeometry(20, 20, 200, 100);
  main.show();
  {
    QWidget first;
    rememberPlace(first, "Tested");
    first.resize(150, 80);
    first.show();
    EXPECT_FALSE(first.geometry().intersects(main.geometry())) << "never over the main window";
    first.setGeometry(330, 240, 180, 90);  // where the member leaves it
    auto stored = [&] {
      auto key = settings.open("Software\\Zelvora\\Live\\Windows");
      return key ? QString::fromStdString(key->text("Tested")) : QString();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return stored() == "330,240,180,90"; })) << stored().toStdString();
  }
  QWidget again;
  rememberPlace(again, "Tested");
  again.show();
  EXPECT_EQ(again.geometry(), QRect(330, 240, 180, 90));
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
