// brovana-window-shots: renders the studio's windows and dialogs to PNG files, once per skin, so
// that their look can be reviewed (scripts/screenshots runs it under a virtual display, at the
// normal and the double scale): the main window and its menus, the status and stream quality
// windows, the visuals with sound playing, the dialogs and the notice.
//
//   brovana-window-shots --out DIR [--skin FILE]... [NAME...]
//
// Every window is made from the studio's own classes, filled with sample texts by element id,
// shown, and grabbed once its glide has ended. A new window is one row in kShots.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/broadcast_info_dialog.h"
#include "app/live_windows.h"
#include "app/main_window.h"
#include "app/message_dialogs.h"
#include "app/page_viewer.h"
#include "app/playlist_window.h"
#include "app/program_info_dialog.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "app/quality_window.h"
#include "app/servers_dialog.h"
#include "app/setup_wizard.h"
#include "app/skin/skin.h"
#include "app/skin_chooser.h"
#include "app/status_window.h"
#include "app/studio_gui.h"
#include "app/visuals_widget.h"
#include "app/working_folder.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "monitor/quality_gauge.h"
#include "monitor/status_display.h"
#include "monitor/visual_scene.h"
#include "net/server_link.h"
#include "net/web_service.h"
#include "platform/lame_encoder.h"
#include "platform/source_clients.h"
#include "support/mp3_bytes.h"

namespace brovana {
namespace {

// The windows are looked at, never used: nothing goes out. The account facts are a sample, so
// that the dialogs that show them have something to show.
class NoNetwork final : public HttpClient {
 public:
  bool get(const std::string&, const std::string&, const std::string& path, std::string& answer, size_t,
           bool) override {
    bool facts = path.starts_with("/cgi-bin/bcinfo.cgi");
    answer = facts ? "0 LI ON 12 100 23 3.5 stream.zelvora.example 8000" : "";
    return facts;
  }
};

// What the main window is made with.
struct ShotRig {
  MemoryRegistry registry;
  NoNetwork http;
  QtPrompts prompts;
  QtProgramExit exit;
  LameEncoderLibrary codec;
  QtStudioParts parts{prompts, codec, nullptr};
  MainWindowContext context{"www.zelvora.example", registry, http, prompts, exit, parts, nullptr,
                            std::nullopt};
  // What the station dialogs work on: a studio that never starts, the shipped genre list and
  // a member's station.
  Studio desk{nullptr, "www.zelvora.example", StudioContext{prompts, exit, registry, http, parts}};
  GenreList genres = GenreList::load();
  ServerLink station{"www.zelvora.example", nullptr, desk.accounts(), prompts};
};

void settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

// A window to grab, and whatever owns it.
struct Shown {
  std::shared_ptr<void> owner;
  QWidget* widget = nullptr;
};

template <typename Window>
Shown own(std::shared_ptr<Window> window, QWidget& widget) {
  return Shown{std::move(window), &widget};
}

void fill(QWidget& window, std::initializer_list<std::pair<int, const char*>> texts) {
  for (const auto& [id, text] : texts)
    if (auto* label = window.findChild<QLabel*>(elementName(id))) label->setText(QString::fromUtf8(text));
}

// A second and a half of sound into the visuals: a few partials that swell and fade, louder on
// the left, enough movement for every display.
void play(VisualsWidget& widget, const std::vector<int>& displays) {
  constexpr int kRate = 22050, kFrames = 1152;
  for (int display : {kDisplaySpectrum, kDisplayLevelLine, kDisplayScope, kDisplayNeedles})
    widget.setDisplay(display, std::find(displays.begin(), displays.end(), display) != displays.end());
  for (int block = 0; block < 30; ++block) {
    std::vector<int16_t> samples;
    for (int i = 0; i < kFrames; ++i) {
      double t = static_cast<double>(block * kFrames + i) / kRate;
      double v = (0.55 + 0.45 * std::sin(2 * M_PI * 0.7 * t)) *
                 (0.45 * std::sin(2 * M_PI * 220 * t) + 0.25 * std::sin(2 * M_PI * 1400 * t) +
                  0.15 * std::sin(2 * M_PI * 4200 * t));
      samples.push_back(static_cast<int16_t>(32767 * v));
      samples.push_back(static_cast<int16_t>(32767 * v * 0.6));
    }
    widget.feed()->addData(reinterpret_cast<const uint8_t*>(samples.data()),
                           static_cast<int>(samples.size() * 2), 2, 2);
    settle(1000 * kFrames / kRate);
  }
}

Shown mainWindow(ShotRig& studio) {
  auto window = std::make_shared<MainWindow>(studio.context);
  window->setWindowTitle(QString::fromLatin1(kVersionText) + QStringLiteral(" - On the Air! (12 listeners)"));
  fill(*window, {{kIdMainNowPlaying, "Lena Morrow - Harbour Lights (Live at the Pier)"},
                 {kIdMainConnectionState, "Connected!!"},
                 {kIdMainTrackElapsed, "1:42"},
                 {kIdMainTrackRemaining, "-2:18"},
                 {kIdMainNextTrack, "The Quiet Hours - Slow Tide"},
                 {kIdMainDataCounter, "2816 kb (input) , 704 kb (output)"}});
  window->show();
  // Not a QObject class of its own: found by name.
  play(dynamic_cast<VisualsWidget&>(*window->findChild<QWidget*>(QStringLiteral("visuals"))),
       {kDisplaySpectrum, kDisplayNeedles});
  return own(window, *window);
}

// One menu of the main window, opened.
std::function<Shown(ShotRig&)> menuOf(int index) {
  return [index](ShotRig& studio) {
    auto window = std::make_shared<MainWindow>(studio.context);
    window->findChild<QAction*>(elementName(32808))->setText(QStringLiteral("Switch to Hostplay"));
    for (int marked : {32782, 32787, 32800, 32795, 38000})
      window->findChild<QAction*>(elementName(marked))->setChecked(true);
    window->show();
    QMenu* menu = window->menuBar()->actions().at(index)->menu();
    menu->popup(window->mapToGlobal(QPoint(0, 0)));
    return own(window, *menu);
  };
}

Shown statusWindow(ShotRig&) {
  auto window = std::make_shared<QtStatusWindow>();
  window->widget().setWindowTitle(QStringLiteral("dj_lena has 12 listeners"));
  // Through the window's own labels call, which splits the paired figures.
  const std::pair<int, const char*> texts[] = {
      {kLabelNowPlaying, "Lena Morrow - Harbour Lights (Live at the Pier)"},
      {kLabelNextTrack, "The Quiet Hours - Slow Tide"},
      {kLabelTrackTimes, "0:01:42                 0:02:18"},
      {kLabelTrackNumber, "3"},
      {kLabelTrackFormat, "44100 Hz, stereo, 128 kbps"},
      {kLabelPlaylistName, "friday-night.m3u"},
      {kLabelPlaylistTimes, "0:09:12                 0:48:30"},
      {kLabelConnectionState, "Connected!!"},
      {kLabelConnectedTime, "0:09:40"},
      {kLabelDataCounter, "2816 kb (input) , 704 kb (output)"},
      {kLabelInputSpeed, "T1/DSL/ISDN/Cable"},
      {kLabelOutputSpeed, "56Kbps/stereo (T1/DSL/ISDN/Cable)"},
      {kLabelAverageMinutes, "23"},
      {kLabelRating, "3.5"},
      {kLabelFailedFiles, "0"},
      {kLabelReconnects, "1"},
      {kLabelLastError, " "}};
  for (const auto& [id, text] : texts) window->setLabel(id, text);
  return own(window, window->widget());
}

Shown dialog(std::shared_ptr<MessageDialog> dialog) {
  dialog->setModal(false);
  return own(dialog, *dialog);
}

Shown question(ShotRig&) {
  Question asked;
  asked.text = "Do you want to start broadcasting your previous playlist, /home/lena/shows/friday-night.m3u?";
  return dialog(std::make_shared<MessageDialog>(asked));
}

Shown questionWithCaptions(ShotRig&) {
  Question asked;
  asked.text = "Unable to connect to your Zelvora server, restart and try again?";
  asked.yesCaption = "Restart";
  asked.noCaption = "Exit";
  return dialog(std::make_shared<MessageDialog>(asked));
}

Shown warning(ShotRig&) {
  return dialog(std::make_shared<MessageDialog>(
      BoxKind::Warning, "You need to either create or load a playlist!", "Brovana-Live"));
}

Shown about(ShotRig&) {
  return dialog(
      std::make_shared<MessageDialog>(BoxKind::Information,
                                      std::string(kVersionText) + ", build " + std::to_string(kBuildNumber) +
                                          ". Made for the members of the Zelvora internet radio service.",
                                      "About Brovana-Live"));
}

// The exit question of an unsaved playlist, with its third answer.
Shown questionWithSave(ShotRig&) {
  Question asked = Question::stopping("You haven't saved your new playlist, are you sure you want to exit?");
  asked.otherCaption = "Save and Exit";
  return dialog(std::make_shared<MessageDialog>(asked));
}

Shown skinChooser(ShotRig&) {
  auto chooser =
      std::make_shared<SkinChooser>(QStringLiteral("skins"), QString::fromStdString(currentSkin().path));
  chooser->setModal(false);
  return own(chooser, *chooser);
}

Shown helpPage(ShotRig&) {
  auto viewer = std::make_shared<PageViewer>();
  viewer->setModal(false);
  viewer->showFile(QStringLiteral("help/brovana-live.html"), false);
  return own(viewer, *viewer);
}

Shown notice(ShotRig&) {
  auto window = std::make_shared<NoticeWindow>();
  window->showText(QStringLiteral("Starting Brovana-Live, standby..."));
  return own(window, *window);
}

Shown quality(ShotRig&) {
  auto window = std::make_shared<QtQualityWindow>([] {});
  for (const auto& [id, text] : {std::pair<int, std::string>{kQualityCpuLabel, cpuQualityText(0.979f)},
                                 {kQualityNetworkLabel, "21344 (32000) bps"},
                                 {kQualityStatusLabel, kStreamDropoutsText},
                                 {kQualitySinceLabel, clockText(754)},
                                 {kQualityDropoutsLabel, "2 "}})
    window->setLabel(id, text);
  return own(window, *window);
}

// The visuals area alone, with the given displays on.
std::function<Shown(ShotRig&)> visuals(std::vector<int> displays) {
  return [displays](ShotRig&) {
    auto widget = std::make_shared<VisualsWidget>();
    widget->resize(400, 56);
    applySkin(*widget, currentSkin());
    widget->show();
    play(*widget, displays);
    return own(widget, *widget);
  };
}

Shown crossfade(ShotRig& studio) {
  VoiceoverActions idle{[] { return true; }, [] { return true; }, [] {}, [](int) {}, [] {}};
  auto panel = std::make_shared<CrossfadePanel>(idle, studio.prompts);
  return own(panel, panel->window());
}

Shown volumeControls(ShotRig&) {
  auto window = std::make_shared<VolumeControlsWindow>(kInitialVolume, [](Source, int) {});
  window->setVolume(Volumes::Mic, 50000);
  window->show();
  for (QWidget* shown : QApplication::topLevelWidgets())
    if (shown->isVisible() && shown->windowTitle() == QLatin1String("Volume Controls"))
      return own(window, *shown);
  return {};
}

Shown programInfo(ShotRig&) {
  auto dialog = std::make_shared<QtProgramInfoDialog>([](auto, auto, auto) { return true; });
  return own(dialog, dialog->widget());
}

// The setup wizard at one of its pages, as the member first sees it.
std::function<Shown(ShotRig&)> wizardPage(QtSetupWizard::Page page) {
  return [page](ShotRig& studio) {
    auto wizard = std::make_shared<QtSetupWizard>(studio.desk, studio.genres, nullptr);
    wizard->start(page == QtSetupWizard::FirstRun);
    wizard->turnTo(page);
    QDialog& window = wizard->widget();
    window.findChild<QLineEdit*>(elementName(1208))->setText(QStringLiteral("secret"));
    if (auto* tracks = window.findChild<QListWidget*>(elementName(1225)))
      tracks->addItems({QStringLiteral("1. Harbour Lights (Lena Morrow)  (4:12)"),
                        QStringLiteral("2. Slow Tide (The Quiet Hours)  (3:58)"),
                        QStringLiteral("3. Night Ferry (Lena Morrow)  (5:31)")});
    window.setModal(false);
    return own(wizard, window);
  };
}

Shown broadcastInfo(ShotRig& studio) {
  ServerLink& station = studio.station;
  station.setMemberName("dj_lena");
  station.setPassword("secret");
  station.setMessage("Harbour Lights - songs for the night shift");
  station.setUrl("www.lenamorrow.example/radio");
  station.setGenre(0, "Jazz");
  station.setGenre(1, "Blues");
  station.setLineSpeed(56000);
  station.setOutputBitrate(32000);
  station.refreshServerInfo();
  auto dialog = std::make_shared<QtBroadcastInfoDialog>(station, studio.desk, studio.genres);
  return own(dialog, dialog->widget());
}

// Two extra servers stored, the second one picked; the clients are never used.
Shown serversDialog(ShotRig& studio) {
  const char* urls[] = {
      "icecast://source:pw@radio.lenamorrow.example:8000/night.mp3?bitrate=320&name=Night%20Owls",
      "icecasts://source:pw@relay.example:8443/night.opus?codec=opus&bitrate=96"};
  std::vector<StreamTarget> servers;
  for (const char* url : urls) servers.push_back(parseServerUrl(url).target);
  saveExtraServers(studio.registry, kProfileName, servers);
  auto dialog = std::make_shared<QtServersDialog>(studio.registry, makeSourceClient);
  dialog->widget().findChild<QListWidget*>(QStringLiteral("ServerList"))->setCurrentRow(1);
  return own(dialog, dialog->widget());
}

// A show of a dozen silent MP3 files (an "Info" or "Xing" header gives the length; the 32 kbit/s
// frames behind it are as many bytes as that length needs) in the working folder, and the M3U
// that lists them.
std::string sampleShow() {
  struct Track {
    const char* file;
    int seconds;
    const char* title;  // none: no tag
    const char* artist;
    const char* album;
    bool vbr;
  };
  const Track tracks[] = {
      {"harbour-lights.mp3", 245, "Harbour Lights", "Lena Morrow", "Live at the Pier", false},
      {"slow-tide.mp3", 312, "Slow Tide", "The Quiet Hours", "Low Water", false},
      {"paper-satellites.mp3", 198, "Paper Satellites", "Juno Vale", "Orbit", true},
      {"northbound.mp3", 264, "Northbound", "Kite Collective", "Weather Maps", false},
      {"station-id.mp3", 9, nullptr, nullptr, nullptr, false},
      {"static-bloom.mp3", 221, "Static Bloom", "Ivy Hollis", "Static Bloom", false},
      {"midnight-ferry.mp3", 407, "Midnight Ferry", "Ostrava Sound", "Crossings", true},
      {"copper-sky.mp3", 233, "Copper Sky", "Dalia Reyes", "Desert Radio", false},
      {"echo-park-rain.mp3", 186, "Echo Park Rain", "Sun Lanterns", "Postcards", false},
      {"velvet-circuit.mp3", 301, "Velvet Circuit", "Nova Drift", "Night Shift", false},
      {"cafe-lumiere.mp3", 254, "Caf\xE9 Lumi\xE8re", "\xC9lodie Marchand", "Rive Gauche", false},
      {"last-call.mp3", 275, "Last Call", "The Wireless", "On Air", false},
  };
  QDir().mkpath(QStringLiteral("music"));
  std::string folder = QDir(QStringLiteral("music")).absolutePath().toStdString();
  std::string m3u = "#EXTM3U\r\n";
  for (const Track& track : tracks) {
    // 1152 samples at 44.1 kHz: 26.12 ms a frame.
    auto frameCount = static_cast<uint32_t>(track.seconds / 0.0261224);
    std::string bytes =
        test::xingFrame(test::FrameHeader{}, 417, 36, frameCount, true, track.vbr ? "Xing" : "Info") +
        test::frames(test::FrameHeader{.bitrateIndex = 1}, 104, track.seconds * 4000 / 104 + 1);
    if (track.title) bytes += test::id3v1Tag(track.title, track.artist, track.album, "2001", "", 17);
    std::ofstream(folder + "/" + track.file, std::ios::binary) << bytes;
    m3u += "#EXTINF:0,x\r\n" + std::string(track.file) + "\r\n";
  }
  std::ofstream(folder + "/friday-night.m3u", std::ios::binary) << m3u;
  return folder + "/friday-night.m3u";
}

// The show in the playlist window: one track on the air, one that would not play, the two added
// last still bold, one selected.
std::shared_ptr<PlaylistWindow> playlistWithShow(ShotRig& studio) {
  auto window = std::make_shared<PlaylistWindow>(studio.desk, studio.prompts);
  window->loadPlaylist(sampleShow());
  Playlist& playlist = *window->playlist();
  playlist.clearNewFlags();
  playlist.setCurrent(3);
  playlist.item(8)->setPlayable(false);
  for (int row : {10, 11}) playlist.item(row)->setNew(true);
  playlist.showRow(5, true);
  playlist.redrawList();
  return window;
}

Shown playlistWindow(ShotRig& studio) {
  auto window = playlistWithShow(studio);
  return own(window, *window);
}

// One menu of the playlist window, opened.
std::function<Shown(ShotRig&)> playlistMenuOf(int index) {
  return [index](ShotRig& studio) {
    auto window = playlistWithShow(studio);
    window->show();
    QMenu* menu = window->menuBar()->actions().at(index)->menu();
    menu->popup(window->mapToGlobal(QPoint(0, 0)));
    return own(window, *menu);
  };
}

// A dialog over a track of the show, and the track it shows.
template <typename Dialog>
struct TrackShot {
  PlaylistItemRef item;
  Dialog dialog;
  template <typename... Args>
  explicit TrackShot(PlaylistItemRef track, Args&&... args)
      : item(std::move(track)), dialog(nullptr, std::forward<Args>(args)...) {}
};

PlaylistItemRef showTrack(const char* file) {
  std::string m3u = sampleShow();
  return PlaylistItem::make(m3u.substr(0, m3u.rfind('/') + 1) + file);
}

Shown tagDialog(ShotRig& studio) {
  PlaylistItemRef item = showTrack("station-id.mp3");
  auto shot = std::make_shared<TrackShot<TagDialog>>(item, *item, studio.prompts);
  shot->dialog.findChild<QLineEdit*>(elementName(1074))->setText(QStringLiteral("Station ID"));
  shot->dialog.findChild<QLineEdit*>(elementName(1075))->setText(QStringLiteral("Zelvora Radio"));
  return own(shot, shot->dialog);
}

Shown trackInfo(ShotRig&) {
  PlaylistItemRef item = showTrack("cafe-lumiere.mp3");
  auto shot = std::make_shared<TrackShot<TrackInfoDialog>>(item, item->mp3Info());
  return own(shot, shot->dialog);
}

Shown findWindow(ShotRig& studio) {
  auto shot = std::make_shared<TrackShot<FindWindow>>(nullptr, studio.prompts, [] { return nullptr; });
  shot->dialog.findChild<QLineEdit*>(elementName(1122))->setText(QStringLiteral("harbour"));
  shot->dialog.findChild<QPushButton*>(elementName(1121))->setText(QStringLiteral("Find Next"));
  return own(shot, shot->dialog);
}

struct ShotRow {
  const char* name;
  std::function<Shown(ShotRig&)> make;
};

const std::vector<ShotRow> kShots = {
    {"main", mainWindow},
    {"main-menu-broadcast", menuOf(0)},
    {"main-menu-source", menuOf(1)},
    {"main-menu-view", menuOf(2)},
    {"main-menu-options", menuOf(3)},
    {"main-menu-help", menuOf(5)},
    {"status", statusWindow},
    {"question", question},
    {"question-captions", questionWithCaptions},
    {"question-save", questionWithSave},
    {"skin-chooser", skinChooser},
    {"help-page", helpPage},
    {"warning", warning},
    {"about", about},
    {"notice", notice},
    {"program-info", programInfo},
    {"quality", quality},
    {"crossfade", crossfade},
    {"volume-controls", volumeControls},
    {"visuals-spectrum", visuals({kDisplaySpectrum})},
    {"visuals-vu-scrolling", visuals({kDisplayLevelLine})},
    {"visuals-vu-stereo", visuals({kDisplayNeedles})},
    {"visuals-scope", visuals({kDisplayScope})},
    {"visuals-all", visuals({kDisplaySpectrum, kDisplayLevelLine, kDisplayNeedles, kDisplayScope})},
    {"wizard-first-run", wizardPage(QtSetupWizard::FirstRun)},
    {"wizard-login", wizardPage(QtSetupWizard::Login)},
    {"wizard-title", wizardPage(QtSetupWizard::Title)},
    {"wizard-url", wizardPage(QtSetupWizard::Url)},
    {"wizard-connection", wizardPage(QtSetupWizard::Connection)},
    {"wizard-add-files", wizardPage(QtSetupWizard::AddFiles)},
    {"wizard-done", wizardPage(QtSetupWizard::Done)},
    {"broadcast-info", broadcastInfo},
    {"servers", serversDialog},
    {"playlist", playlistWindow},
    {"playlist-menu-file", playlistMenuOf(0)},
    {"playlist-menu-recent", playlistMenuOf(1)},
    {"tag-dialog", tagDialog},
    {"track-info", trackInfo},
    {"find", findWindow},
};

bool render(const ShotRow& row, ShotRig& studio, const QString& file) {
  Shown shown = row.make(studio);
  if (!shown.widget) return false;
  if (!shown.widget->isVisible()) shown.widget->show();
  settle(450);  // past the glide
  bool saved = shown.widget->grab().save(file);
  shown.widget->hide();
  return saved;
}

int run(int argc, char** argv) {
  QString out;
  std::vector<std::string> skins, names;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--out" && i + 1 < argc)
      out = QDir(QString::fromLocal8Bit(argv[++i])).absolutePath();
    else if (word == "--skin" && i + 1 < argc)
      skins.push_back(QDir(QString::fromLocal8Bit(argv[++i])).absolutePath().toStdString());
    else if (word.rfind("--", 0) == 0)
      return std::fprintf(stderr, "usage: brovana-window-shots --out DIR [--skin FILE]... [NAME...]\n"), 2;
    else
      names.push_back(word);
  }
  if (out.isEmpty() || !QDir().mkpath(out))
    return std::fprintf(stderr, "brovana-window-shots: --out DIR\n"), 2;

  // A scratch working folder with the shipped files, as the studio has one.
  std::string error;
  QString work =
      QDir::temp().filePath(QStringLiteral("brovana-shots-%1").arg(QCoreApplication::applicationPid()));
  if (!enterWorkingFolder(work.toStdString(), shippedFilesFolder(), error))
    return std::fprintf(stderr, "brovana-window-shots: %s\n", error.c_str()), 1;
  if (skins.empty())
    for (const QString& file :
         QDir(QStringLiteral("skins")).entryList({QStringLiteral("*.skn")}, QDir::Files))
      skins.push_back("skins/" + file.toStdString());

  prepareApplication();
  // The service's genre names, as the station dialogs offer them.
  std::vector<std::string> genres;
  GenreList hierarchy = GenreList::load();
  for (const GenreEntry& entry : hierarchy.entries())
    if (entry.level == 0) genres.push_back(entry.name);
  genreTable().assign(genres);
  int failures = 0;
  for (const std::string& skinPath : skins) {
    Skin skin = loadSkin(skinPath);
    if (skin.path != skinPath) ++failures;  // the log says why
    setCurrentSkin(skin);
    QString stem = QFileInfo(QString::fromStdString(skinPath)).completeBaseName();
    ShotRig studio;
    for (const ShotRow& row : kShots) {
      if (!names.empty() && std::find(names.begin(), names.end(), row.name) == names.end()) continue;
      QString file =
          QDir(out).filePath(stem + QLatin1Char('-') + QLatin1String(row.name) + QStringLiteral(".png"));
      bool saved = render(row, studio, file);
      std::printf("%s %s\n", saved ? "wrote" : "FAILED", file.toLocal8Bit().constData());
      failures += !saved;
    }
  }
  QDir(work).removeRecursively();
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace brovana

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  return brovana::run(argc, argv);
}
