// The playlist window in the studio with windows, against the service emulator and Icecast, with
// the real engine paced by the clock; and the tag dialog, whose tag other programs read back.

#include "app/playlist_window.h"

#include <QMimeData>
#include <QTest>

#include "core/program_values.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

class PlaylistWindowTest : public test::StudioPeers {};

QPoint rowCentre(QTreeView& list, int row) {
  return list.visualRect(list.model()->index(row, 0)).center();
}

// What a command prints.
std::string output(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  char buffer[512];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe.get())) text += buffer;
  return text;
}

TEST_F(PlaylistWindowTest, DroppedTracksReorderedThenPlayedFromTheThirdRow) {
  test::ToneSpec tone;
  tone.frequency = 660, tone.seconds = 12, tone.title = "Tone 660";
  ASSERT_TRUE(test::makeTone(scratch.file("music/tone660.mp3"), tone));
  test::ScopedChdir here(work());
  SettingsRegistry registry(settingsPath());
  programValues().setRegistry(&registry);
  test::DialogDriver dialogs;
  dialogs.answer("This will clear", true);
  dialogs.answer("Do you want to stop it and start a new one?", true);
  {
    test::WindowedStudio studio(emulator.webHost(), registry);
    MiniWindow& window = studio.window;
    ASSERT_TRUE(window.initialise());
    window.show();
    QTest::qWait(200);
    Supervisor& supervisor = *window.supervisor();
    auto* playlistWindow = dynamic_cast<PlaylistWindow2*>(supervisor.showPlaylistWindow());
    ASSERT_NE(playlistWindow, nullptr);
    QTreeView& list = playlistWindow->list();
    auto titles = [&] {
      std::vector<std::string> shown;
      for (int r = 0; r < list.model()->rowCount(); ++r)
        shown.push_back(list.model()->index(r, 0).data().toString().toStdString());
      return shown;
    };

    QMimeData files;
    QList<QUrl> urls;
    for (int hz : {440, 660, 880})
      urls << QUrl::fromLocalFile(
          QString::fromStdString(scratch.file("music/tone" + std::to_string(hz) + ".mp3")));
    files.setUrls(urls);
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(playlistWindow, &enter);
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(playlistWindow, &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.model()->rowCount() == 3; }));

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
    QTest::mouseClick(playlistWindow->findChild<QPushButton*>("id1103"), Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Tone 660", "Tone 440", "Tone 880"}));

    // Row 2's Track Info, closed with its play button: nothing is on the air, so the broadcast
    // starts there.
    QTimer::singleShot(300, [] {
      for (QWidget* shown : QApplication::topLevelWidgets())
        if (auto* info = dynamic_cast<TrackInfoDialog*>(shown); info && info->isVisible())
          QTest::mouseClick(info->findChild<QPushButton*>("id1064"), Qt::LeftButton);
    });
    QTest::mousePress(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    Playlist* playlist = playlistWindow->playlist();
    ASSERT_TRUE(QTest::qWaitFor([&] { return playlist->currentIndex() == 2; }, 20000));
    EXPECT_EQ(supervisor.engine()->currentIndex(), 2);

    // The track on the air stays; New Playlist stops the broadcast and empties the very list the
    // supervisor and the engine hold.
    QTest::mouseClick(playlistWindow->findChild<QPushButton*>("id1035"), Qt::LeftButton);
    EXPECT_TRUE(dialogs.saw("You cannot delete the current playing track"));
    playlistWindow->findChild<QAction*>("NewPlaylist")->trigger();
    EXPECT_EQ(supervisor.currentPlaylist(), playlist);
    EXPECT_EQ(playlist->count(), 0);
    EXPECT_EQ(supervisor.isBroadcasting(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.model()->rowCount() == 0; }));
    window.shutDown(true);
  }
  programValues().setRegistry(nullptr);
}

TEST(TagDialogTest, TagWrittenThroughTheDialogIsWhatOtherProgramsRead) {
  test::TempFolder folder;
  const std::string path = folder.file("song.mp3");
  ASSERT_TRUE(test::makeTone(path, test::ToneSpec{}));
  PlaylistItemRef item = PlaylistItem::make(path);
  test::FakePrompts prompts;
  TagDialog dialog(nullptr, *item, prompts);
  EXPECT_EQ(dialog.windowTitle(), "song.mp3");
  dialog.findChild<QLineEdit*>("id1074")->insert(QStringLiteral("Café Lumière"));
  dialog.findChild<QLineEdit*>("id1075")->insert(QStringLiteral("Élodie Marchand"));
  dialog.findChild<QLineEdit*>("id1076")->insert(QStringLiteral("Rive Gauche: the long versions!"));
  QTimer::singleShot(0, [&] { QTest::mouseClick(dialog.findChild<QPushButton*>("id1078"), Qt::LeftButton); });
  ASSERT_EQ(dialog.exec(), QDialog::Accepted) << testing::PrintToString(prompts.boxTexts());

  // 30 characters a field: the album's last one did not fit.
  std::string probe = output(test::builtProgram("brovana-live") + " --probe '" + path + "'");
  EXPECT_NE(
      probe.find(
          R"("title":"Café Lumière","artist":"Élodie Marchand","album":"Rive Gauche: the long versions")"),
      std::string::npos)
      << probe;
  // ffprobe takes ID3v1 bytes for UTF-8: each Latin-1 letter, one byte in the file as the format
  // wants, comes out as a replacement character.
  std::string ffprobe =
      output("ffprobe -v error -show_entries format_tags=title,artist,album -of default=nw=1 '" + path + "'");
  EXPECT_EQ(ffprobe,
            "TAG:title=Caf\uFFFD Lumi\uFFFDre\nTAG:artist=\uFFFDlodie Marchand\n"
            "TAG:album=Rive Gauche: the long versions\n");
}

}  // namespace
}  // namespace brovana
