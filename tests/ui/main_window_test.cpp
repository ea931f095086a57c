// The broadcast button against the real Supervisor, the service emulator and Icecast.

#include <QTest>

#include "core/program_values.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class MainWindowTest : public test::StudioPeers {};

TEST_F(MainWindowTest, BroadcastButtonStartsAndStopsTheStation) {
  test::ScopedChdir here(work());
  SettingsRegistry registry(settingsPath());
  programValues().setRegistry(&registry);
  test::DialogDriver dialogs;
  {
    test::WindowedStudio studio(emulator.webHost(), registry);
    MiniWindow& window = studio.window;
    ASSERT_TRUE(window.initialise());
    EXPECT_EQ(window.findChild<QAction*>("id32808")->text(), "Switch to Hostplay");
    window.show();
    QTest::qWait(200);  // the automatic start, which finds no playlist of an earlier run
    Supervisor& supervisor = *window.supervisor();
    ASSERT_TRUE(supervisor.playlistWindow()->loadPlaylist(playlist()));
    auto* button = window.findChild<QPushButton*>("id1020");
    ASSERT_NE(button, nullptr);

    QTest::mouseClick(button, Qt::LeftButton);
    QTest::qWait(100);  // the updates queued meanwhile
    EXPECT_EQ(button->text(), "Stop Broadcast");
    EXPECT_TRUE(window.windowTitle().contains("On the Air!")) << window.windowTitle().toStdString();
    EXPECT_EQ(supervisor.isBroadcasting(), 1);
    EXPECT_TRUE(serverOn());
    auto listener = test::listenWhenServed(icecast);
    ASSERT_TRUE(listener);
    EXPECT_TRUE(listener->waitForBody(20000, 20s)) << "the stream reaches a listener";

    QTest::mouseClick(button, Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_EQ(button->text(), "Start Broadcast");
    EXPECT_EQ(supervisor.isBroadcasting(), 0);
    EXPECT_TRUE(window.windowTitle().contains("Off the Air!")) << window.windowTitle().toStdString();
    window.shutDown(true);
  }
  EXPECT_FALSE(serverOn()) << "this run turned the server on, so the exit turned it off";
  EXPECT_TRUE(dialogs.seen().empty()) << dialogs.seen().front();
  programValues().setRegistry(nullptr);
}

}  // namespace
}  // namespace brovana
