// The studio's windows and dialogs against the service emulator and Icecast, with the real engine
// paced by the clock, filled in and clicked through as a member does; and the tag dialog, whose
// tag the probe command and ffprobe read back.

#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <optional>

#include "app/playlist_window.h"
#include "broadcast/settings.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "dialog_driver.h"
#include "platform/settings_registry.h"
#include "studio_peers.h"
#include "support/fake_prompts.h"
#include "support/journal.h"
#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

class StudioWindows : public test::StudioPeers {
 protected:
  static void click(QWidget& window, int id) {
    QTest::mouseClick(element<QPushButton>(window, id), Qt::LeftButton);
  }
  static void type(QWidget& window, int id, const char* text) {
    element<QLineEdit>(window, id)->setText(text);
  }
  static void choose(QWidget& window, int id, int position) {
    auto* list = element<QComboBox>(window, id);
    list->setCurrentIndex(position);
    emit list->activated(position);
  }

  // True once Icecast's status page gives the mount this server name (its statistics follow a
  // new source a little later).
  bool servedAs(const std::string& name) {
    return QTest::qWaitFor(
        [&] {
          return test::httpGetLoopback(icecast.port(), "/status-json.xsl")
                     .value_or("")
                     .find("\"server_name\":\"" + name + "\"") != std::string::npos;
        },
        30000);
  }
  static QPoint rowCentre(QTreeView& list, int row) {
    return list.visualRect(list.model()->index(row, 0)).center();
  }
};

TEST_F(StudioWindows, AFirstRunThroughTheWizardStoresTheStation) {
  test::ScopedChdir here(work());
  std::string settings = scratch.file("first-run/settings.ini");
  SettingsRegistry registry(settings);
  programValues().setRegistry(&registry);
  std::string pages;
  bool busy = false;  // between a page's turn and the end of its click
  int backs = 0;      // from Done back to the connection, then on again
  bool emptyWithPlaceholders = false, choicesKept = false, finishHasFocus = false;
  test::DialogDriver dialogs([&] {
    QWidget* wizard = shownWindow("SetupWizard");
    if (!wizard || busy) return;
    busy = true;
    // Posted: Next may ask a question, which the driver answers while the click waits.
    QTimer::singleShot(0, wizard, [&, wizard] {
      std::string page = element<QLabel>(*wizard, 1200)->text().toStdString();
      pages += page + "|";
      if (page == "Zelvora : Login Data") {
        auto* member = element<QLineEdit>(*wizard, 1206);
        emptyWithPlaceholders =
            member->text().isEmpty() && member->placeholderText() == "<put your username here>";
        type(*wizard, 1206, "demo"), type(*wizard, 1208, "demo-secret");
      }
      // A pasted line end goes no further.
      if (page == "Zelvora : Title") type(*wizard, 1210, "Wizard tones\r\nicy-pub: 0");
      if (page == "Zelvora : URL") type(*wizard, 1219, "radio.example/wizard");
      // 56K modem, 24Kbps (mono)
      if (page == "Zelvora : Connection" && backs == 0) choose(*wizard, 1221, 1), choose(*wizard, 1223, 1);
      if (page == "Zelvora : Connection" && backs == 2)
        choicesKept = element<QComboBox>(*wizard, 1221)->currentIndex() == 1 &&
                      element<QComboBox>(*wizard, 1223)->currentIndex() == 1;
      bool done = page == "Zelvora : Done";
      if (done) finishHasFocus = wizard->focusWidget() == element(*wizard, 12325);
      bool back = backs == 1 || (done && backs == 0);
      backs += back;
      click(*wizard, back ? 12323 : done ? 12325 : 12324);
      busy = false;
    });
  });
  dialogs.answer("Do you already have an account on Zelvora?", true);
  dialogs.answer("Are you sure you want to continue without adding any tracks", true);
  {
    test::WindowedStudio studio(emulator.webHost(), registry);
    ASSERT_TRUE(studio.window.initialise());
    studio.window.shutDown(true);
  }
  programValues().setRegistry(nullptr);
  EXPECT_EQ(pages,
            "Zelvora|Zelvora : Login Data|Zelvora : Title|Zelvora : URL|Zelvora : Connection|"
            "Zelvora : Add files...|Zelvora : Done|Zelvora : Add files...|Zelvora : Connection|"
            "Zelvora : Add files...|Zelvora : Done|");
  EXPECT_TRUE(emptyWithPlaceholders);
  EXPECT_TRUE(choicesKept) << "Back keeps the connection chosen";
  EXPECT_TRUE(finishHasFocus);
  std::string stored;
  for (const char* name :
       {"username", "pass", "message", "url", "genre", "bitrate", "output_bitrate", "livetag"})
    stored += std::string(name) + "=" + registry.open(profileKeyPath())->query(name).value_or("-") + "\n";
  EXPECT_EQ(
      stored,
      "username=demo\npass=demo-secret\nmessage=Wizard tonesicy-pub: 0\nurl=http://radio.example/wizard\n"
      "genre=Alternative\nbitrate=56000\noutput_bitrate=24000\nlivetag=1\n");
}

// The studio's windows up on the stored station, with three tones dropped on the playlist window.
class StudioOnTones : public StudioWindows {
 protected:
  void SetUp() override {
    StudioWindows::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(test::makeTone(scratch.file("music/tone660.mp3"),
                               {.frequency = 660, .seconds = 12, .title = "Tone 660"}));
    here.emplace(work());
    registry.emplace(settingsPath());
    programValues().setRegistry(&*registry);
    for (const char* question :
         {"Your broadcast needs to be restarted",
          "Unable to connect to your Zelvora server"})  // Icecast may still hold the mount
      dialogs.answer(question, true);
    studio.emplace(emulator.webHost(), *registry);
    ASSERT_TRUE(window().initialise());
    EXPECT_EQ(element<QAction>(window(), 32808)->text(), "Switch to Hostplay") << "a live account";
    window().show();
    // The automatic start finds no playlist of an earlier run and shows the playlist window.
    ASSERT_TRUE(QTest::qWaitFor([] { return shownWindow("PlaylistWindow"); }));
    playlistWindow = dynamic_cast<PlaylistWindow*>(window().studio()->showPlaylistWindow());
    ASSERT_NE(playlistWindow, nullptr);
    dropTones();
  }
  void TearDown() override {
    if (studio) window().shutDown(true);
    studio.reset();
    programValues().setRegistry(nullptr);
  }

  void dropTones() {
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return list().model()->rowCount() == 3; })) << titles();
  }
  MainWindow& window() { return studio->window; }
  QTreeView& list() { return playlistWindow->list(); }
  std::string titles() {
    std::string titles;
    for (int r = 0; r < list().model()->rowCount(); ++r)
      titles += list().model()->index(r, 0).data().toString().toStdString() + "|";
    return titles;
  }
  // The broadcast button, the title and the studio agree that the station is on (off) the air,
  // within the limit. The title says so at the log-in, the button stops only once a track plays.
  bool showsOnAir(bool on) {
    auto* button = element<QPushButton>(window(), 1020);
    return QTest::qWaitFor(
        [&] {
          return button->text() == (on ? "Stop Broadcast" : "Start Broadcast") &&
                 window().windowTitle().contains(on ? "On the Air!" : "Off the Air!") &&
                 (window().studio()->onAir() == OnAir::Playlist) == on;
        },
        20000);
  }
  std::string title() { return window().windowTitle().toStdString(); }

  std::optional<test::ScopedChdir> here;
  std::optional<SettingsRegistry> registry;
  test::DialogDriver dialogs;
  std::optional<test::WindowedStudio> studio;
  PlaylistWindow* playlistWindow = nullptr;
};

// Two rows picked with Ctrl go down together and stay selected; dragged, they go to the top.
TEST_F(StudioOnTones, DroppedTracksAreListedAndSelectedRowsMoveTogether) {
  EXPECT_EQ(titles(), "Tone 440|Tone 660|Tone 880|");
  QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, rowCentre(list(), 0));
  QTest::mouseClick(list().viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(list(), 1));
  click(*playlistWindow, kIdMoveDown);
  EXPECT_TRUE(QTest::qWaitFor([&] { return titles() == "Tone 880|Tone 440|Tone 660|"; })) << titles();
  QModelIndexList selected = list().selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 2);
  EXPECT_EQ(selected[0].row() + selected[1].row(), 1 + 2);
  // What the list's drag carries, dropped above the first row.
  std::unique_ptr<QMimeData> dragged(list().model()->mimeData(selected));
  ASSERT_TRUE(list().model()->dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return titles() == "Tone 440|Tone 660|Tone 880|"; })) << titles();
}

// "Off" switches every display off and is marked while none is on.
TEST_F(StudioOnTones, VisualsOffSwitchesEveryDisplayOff) {
  auto* visuals = dynamic_cast<VisualsWidget*>(window().findChild<QWidget*>(QStringLiteral("visuals")));
  ASSERT_NE(visuals, nullptr);
  auto* off = element<QAction>(window(), 32827);
  off->trigger();
  for (int display : {kDisplaySpectrum, kDisplayLevelLine, kDisplayScope, kDisplayNeedles})
    EXPECT_FALSE(visuals->displayOn(display)) << display;
  EXPECT_TRUE(off->isChecked());
  element<QAction>(window(), 32800)->trigger();  // Spectrum
  EXPECT_EQ(std::pair(visuals->displayOn(kDisplaySpectrum), off->isChecked()), std::pair(true, false));
}

// Nothing is on the air, so a row's Track Info closed with its play button starts the broadcast
// there.
TEST_F(StudioOnTones, TrackInfoPlayStartsTheBroadcastAtItsRow) {
  dialogs.press("TrackInfoDialog", 1064);
  QTest::mousePress(list().viewport(), Qt::LeftButton, {}, rowCentre(list(), 2));
  QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, rowCentre(list(), 2));
  ASSERT_TRUE(dialogs.pressed()) << "no Track Info on a double click";
  ASSERT_TRUE(QTest::qWaitFor([&] { return playlistWindow->playlist()->currentIndex() == 2; }, 20000));
  EXPECT_EQ(window().studio()->engine()->currentIndex(), 2);
  EXPECT_TRUE(showsOnAir(true)) << title();
  EXPECT_TRUE(serverOn());
  EXPECT_TRUE(servedAs("[Zelvora]Test tones[*]"));
}

TEST_F(StudioOnTones, BroadcastButtonAndANewTitleOnTheAirRestartTheBroadcastAndTheFallbackIsKept) {
  click(window(), 1020);
  ASSERT_TRUE(showsOnAir(true)) << title();
  ASSERT_TRUE(servedAs("[Zelvora]Test tones[*]"));
  window().findChild<QAction*>("id32781")->trigger();  // Broadcast Info...
  QWidget* info = shownWindow("BroadcastInfoDialog");
  ASSERT_TRUE(info);
  type(*info, 1235, "Night tones");
  type(*info, 1249, "/music/cover.m3u");
  click(*info, 1);
  EXPECT_TRUE(servedAs("[Zelvora]Night tones[*]"));
  EXPECT_EQ(loadGuard(*programValues().registry()).fallback, "/music/cover.m3u");
  for (bool on : {false, true}) {
    click(window(), 1020);
    ASSERT_TRUE(showsOnAir(on)) << on << ": " << title();
  }
}

// A server that takes the connection and never answers: the press of the broadcast button comes
// back while the start goes on, and a second press cuts the start short without a question.
TEST_F(StudioOnTones, TheBroadcastButtonNeverWaitsForTheServer) {
  test::ScriptedPeer silent({.neverRead = true});
  ASSERT_TRUE(emulator.control({{"account", "demo"}, {"port", std::to_string(silent.port())}}));
  click(window(), 1020);
  EXPECT_TRUE(window().studio()->starting()) << "the press waited for the start";
  auto* button = element<QPushButton>(window(), 1020);
  EXPECT_TRUE(QTest::qWaitFor([&] { return button->text() == "Stop Broadcast"; })) << "it stops the start";
  ASSERT_TRUE(QTest::qWaitFor([&] { return silent.connectionCount() > 0; }, 20000));
  click(window(), 1020);
  EXPECT_FALSE(window().studio()->starting());
  EXPECT_TRUE(showsOnAir(false)) << title();
  EXPECT_FALSE(dialogs.saw("Unable to connect"));
}

TEST(TagDialogTest, TagWrittenThroughTheDialogIsWhatTheProbeAndFfprobeRead) {
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

  // 30 characters a field: the album's last one did not fit. The audio is untouched.
  EXPECT_TRUE(test::inOrder(
      test::commandOutput(test::builtProgram("brovana-live") + " --probe '" + path + "'"),
      {R"("sampleRate":44100,)",
       R"("title":"Café Lumière","artist":"Élodie Marchand","album":"Rive Gauche: the long versions")"}));
  // ffprobe takes ID3v1 bytes for UTF-8: each Latin-1 letter, one byte in the file as the format
  // wants, comes out as a replacement character.
  EXPECT_EQ(
      test::commandOutput("ffprobe -v error -show_entries format_tags=title,artist,album -of default=nw=1 '" +
                          path + "'"),
      "TAG:title=Caf\uFFFD Lumi\uFFFDre\nTAG:artist=\uFFFDlodie Marchand\n"
      "TAG:album=Rive Gauche: the long versions\n");
}

}  // namespace
}  // namespace brovana
