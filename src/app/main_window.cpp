#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QIcon>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>

#include "app/dropped_files.h"
#include "app/extra_servers_run.h"
#include "app/qt_prompts.h"
#include "app/qt_studio_parts.h"
#include "app/servers_dialog.h"
#include "app/skin/skin.h"
#include "app/skin_chooser.h"
#include "app/window_places.h"
#include "core/program_values.h"
#include "core/text.h"
#include "diag/logger.h"
#include "diag/system_info.h"
#include "monitor/status_display.h"
#include "net/station_title_sender.h"
#include "platform/source_clients.h"
#include "playlist/playlist.h"

namespace brovana {
namespace {

constexpr int kPluginCommand = 38000;
constexpr int kVisualsOffCommand = 32827;
constexpr int kVisualDisplays[] = {1, 2, 3, 4};
// The automation settings' commands, after the established ones.
constexpr int kOnAirAtStartCommand = 32900;
constexpr int kRecordOnAirCommand = 32901;
constexpr const char* kAboutNotice = "Made for the members of the Zelvora internet radio service.";

enum class Mark { None, Check, Source, Priority, Plugin };

// The visual displays of the menu, by command id.
int visualDisplay(int id) {
  switch (id) {
    case 32800:
      return 1;  // spectrum
    case 32799:
      return 2;  // scrolling VU meter
    case 32801:
      return 3;  // scope
    case 32805:
      return 4;  // stereo VU meter
    default:
      return 0;
  }
}

QString menuText(const std::string& text) {
  return QString::fromStdString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

struct MainWindow::MenuEntry {
  const char* menu;  // the menu it sits in; "Menu/Submenu" for a submenu
  int id;            // 0: a separator
  const char* text;
  Mark mark;
  const char* shortcut;
  void (MainWindow::*action)(int id);
};

// The whole menu, in order.
const MainWindow::MenuEntry MainWindow::kMenu[] = {
    {"&Broadcast", 32781, "Broadcast Info...", Mark::None, "", &MainWindow::showBroadcastInfo},
    {"&Broadcast", 32772, "New Broadcast ...", Mark::None, "", &MainWindow::newBroadcast},
    {"&Broadcast", 32830, "Servers...", Mark::None, "", &MainWindow::showServers},
    {"&Broadcast", 0, "", Mark::None, "", nullptr},
    {"&Broadcast", 32787, "Continuous Loop", Mark::Check, "", &MainWindow::toggleLoop},
    {"&Broadcast", 32786, "Random", Mark::Check, "", &MainWindow::toggleRandom},
    {"&Broadcast", 0, "", Mark::None, "", nullptr},
    {"&Broadcast", 32826, "Save to file...", Mark::Check, "", &MainWindow::saveToFile},
    {"&Broadcast", kOnAirAtStartCommand, "On the air at start", Mark::Check, "",
     &MainWindow::toggleAutomation},
    {"&Broadcast", kRecordOnAirCommand, "Record when on the air", Mark::Check, "",
     &MainWindow::toggleAutomation},
    {"&Broadcast", 0, "", Mark::None, "", nullptr},
    {"&Broadcast", 32790, "Exit", Mark::None, "Ctrl+E", &MainWindow::exitCommand},
    {"Audio &Source", 32782, "Playlist", Mark::Source, "", &MainWindow::selectSource},
    {"Audio &Source", 32783, "CD", Mark::Source, "", &MainWindow::selectSource},
    {"Audio &Source", 32784, "Line In", Mark::Source, "", &MainWindow::selectSource},
    {"Audio &Source", 32785, "Microphone", Mark::Source, "", &MainWindow::selectSource},
    {"Audio &Source", 32821, "Mixer", Mark::Source, "", &MainWindow::selectSource},
    {"Audio &Source", 0, "", Mark::None, "", nullptr},
    {"Audio &Source", 32794, "Voiceover...", Mark::None, "", &MainWindow::voiceover},
    {"Audio &Source", 32804, "Volume...", Mark::None, "", &MainWindow::showVolume},
    {"&View", 32771, "Status...", Mark::None, "Ctrl+S", &MainWindow::showStatus},
    {"&View", 32807, "Stream Quality...", Mark::None, "", &MainWindow::showQuality},
    {"&View/Visuals", kVisualsOffCommand, "Off", Mark::Check, "", &MainWindow::visualsOff},
    {"&View/Visuals", 0, "", Mark::None, "", nullptr},
    {"&View/Visuals", 32801, "Scope", Mark::Check, "", &MainWindow::toggleVisual},
    {"&View/Visuals", 32800, "Spectrum", Mark::Check, "", &MainWindow::toggleVisual},
    {"&View/Visuals", 32799, "VU - scrolling", Mark::Check, "", &MainWindow::toggleVisual},
    {"&View/Visuals", 32805, "VU - stereo", Mark::Check, "", &MainWindow::toggleVisual},
    {"&Options", 32778, "Change Skins...", Mark::None, "", &MainWindow::changeSkins},
    {"&Options/Priority", 32795, "Normal", Mark::Priority, "", &MainWindow::setPriority},
    {"&Options/Priority", 32796, "Medium", Mark::Priority, "", &MainWindow::setPriority},
    {"&Options/Priority", 32797, "High", Mark::Priority, "", &MainWindow::setPriority},
    {"&Options", 0, "", Mark::None, "", nullptr},
    {"&Options", 32806, "Restart server", Mark::None, "", &MainWindow::restartServer},
    {"&Options", 32808, "Switch to %s", Mark::None, "", &MainWindow::switchToHostplay},
    {"&Options", 32812, "Submit Program Info...", Mark::None, "", &MainWindow::submitProgramInfo},
    {"&Plugins", kPluginCommand, "-none-", Mark::Plugin, "", &MainWindow::launchPlugin},
    {"&Help", 32811, "Help...", Mark::None, "", &MainWindow::openPage},
    {"&Help", 32814, "Tips 'n Tricks...", Mark::None, "", &MainWindow::openPage},
    {"&Help", 32822, "Why does my stream break up?", Mark::None, "", &MainWindow::openPage},
    {"&Help", 0, "", Mark::None, "", nullptr},
    {"&Help", 32792, "Show Log...", Mark::None, "", &MainWindow::showLog},
    {"&Help", 0, "", Mark::None, "", nullptr},
    {"&Help", 32819, "Bug Report...", Mark::None, "", &MainWindow::mail},
    {"&Help", 32818, "Question...", Mark::None, "", &MainWindow::mail},
    {"&Help", 32820, "Tell a friend...", Mark::None, "", &MainWindow::mail},
    {"&Help", 0, "", Mark::None, "", nullptr},
    {"&Help", 32816, "About Brovana-Live...", Mark::None, "", &MainWindow::about},
};

MainWindow::MainWindow(MainWindowContext context) : context_(context) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromLatin1(kProgramName));
  setAcceptDrops(true);
  rememberPlace(*this, "MainWindow");
  buildFace();
  buildMenu();
  applySkin(*this, currentSkin());
}

MainWindow::~MainWindow() = default;

void MainWindow::buildFace() {
  form_.setObjectName(elementName(kIdSkinForm));
  setCentralWidget(&form_);

  logo_.setObjectName(elementName(kIdLogo));
  QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) logo_.setPixmap(icon.pixmap(QSize(48, 48), devicePixelRatioF()));
  logo_.setAlignment(Qt::AlignCenter);

  // The display panel: what is on the air, and how the link is doing.
  panel_.setObjectName(QStringLiteral("Panel"));
  struct Text {
    QLabel& label;
    int id;
  };
  for (Text text : {Text{nowPlaying_, kIdMainNowPlaying}, Text{connectionState_, kIdMainConnectionState},
                    Text{trackElapsed_, kIdMainTrackElapsed}, Text{trackRemaining_, kIdMainTrackRemaining},
                    Text{nextTrack_, kIdMainNextTrack}, Text{dataCounter_, kIdMainDataCounter}}) {
    text.label.setObjectName(elementName(text.id));
    markStatusText(text.label);
  }
  nowPlaying_.setProperty("headline", true);
  nextCaption_.setObjectName(elementName(kIdNextCaption));
  nextCaption_.setText(QStringLiteral("Next:"));
  nextCaption_.setProperty("caption", true);
  trackElapsed_.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  trackRemaining_.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  dataCounter_.setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // The title over the whole panel; below it the next track and the link, each with its
  // figures on the right.
  nextRow_.addWidget(&nextCaption_);
  nextRow_.addWidget(&nextTrack_, 1);
  nextRow_.addWidget(&trackElapsed_);
  nextRow_.addWidget(&trackRemaining_);
  linkRow_.addWidget(&connectionState_, 1);
  linkRow_.addWidget(&dataCounter_);
  panelLayout_.addWidget(&nowPlaying_);
  panelLayout_.addLayout(&nextRow_);
  panelLayout_.addLayout(&linkRow_);
  visuals_.setMinimumHeight(fontMetrics().height() * 3);
  panelLayout_.addWidget(&visuals_);

  broadcast_.setObjectName(elementName(kIdBroadcastButton));
  broadcast_.setText(QString::fromLatin1(broadcastCaption(false)));
  broadcast_.setProperty("skinCaption", false);  // the studio's caption
  broadcast_.setToolTip(QStringLiteral("Starts and stops a broadcast"));
  broadcast_.setDefault(true);
  playlist_.setObjectName(elementName(kIdPlaylistButton));
  playlist_.setText(QStringLiteral("Playlist"));
  playlist_.setToolTip(QStringLiteral("Opens up the playlist window"));
  volumeCaption_.setObjectName(elementName(kIdVolumeCaption));
  volumeCaption_.setText(QStringLiteral("Volume"));
  volume_.setObjectName(elementName(kIdVolumeSlider));
  volume_.setRange(0, 65535);
  volume_.setValue(kInitialVolume);
  volume_.setToolTip(QStringLiteral("Will change the volume on your local machine"));
  volumeCaption_.setBuddy(&volume_);
  connect(&broadcast_, &QPushButton::clicked, this, [this] { startStop(); });
  connect(&playlist_, &QPushButton::clicked, this, [this] {
    if (studio_) studio_->showPlaylistWindow();
  });
  connect(&volume_, &QSlider::valueChanged, this, [this](int value) {
    if (studio_) studio_->sources().setWaveOutVolume(value);
  });

  controls_.addWidget(&broadcast_);
  controls_.addWidget(&playlist_);
  volumeRow_.addWidget(&volumeCaption_);
  volumeRow_.addWidget(&volume_, 1);
  controls_.addLayout(&volumeRow_);
  formLayout_.addWidget(&logo_);
  formLayout_.addWidget(&panel_, 1);
  formLayout_.addLayout(&controls_);
  panel_.setMinimumWidth(fontMetrics().averageCharWidth() * 72);
}

void MainWindow::buildMenu() {
  std::map<QString, QMenu*> menus;
  auto menuFor = [&](const QString& path) {
    QMenu*& menu = menus[path];
    if (menu) return menu;
    int slash = path.indexOf(QLatin1Char('/'));
    menu = slash < 0 ? menuBar()->addMenu(path) : menus.at(path.left(slash))->addMenu(path.mid(slash + 1));
    menu->setToolTipsVisible(true);
    return menu;
  };
  for (const MenuEntry& entry : kMenu) {
    QMenu* menu = menuFor(QString::fromLatin1(entry.menu));
    if (entry.id == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromLatin1(entry.text));
    action->setObjectName(elementName(entry.id));
    action->setShortcut(QKeySequence(QString::fromLatin1(entry.shortcut)));
    action->setCheckable(entry.mark != Mark::None);
    if (entry.mark == Mark::Source) sources_.addAction(action);
    if (entry.mark == Mark::Priority) priorities_.addAction(action);
    if (entry.mark == Mark::Plugin) plugins_.addAction(action);
    connect(action, &QAction::triggered, this, [this, &entry] { runCommand(entry); });
    actions_[entry.id] = action;
  }
  actions_.at(32806)->setToolTip(QStringLiteral(
      "Will restart your broadcast server used as a last resort if you are \"unable to log in\""));
  pluginMenu_ = menus.at(QStringLiteral("&Plugins"));
}

// The plug-ins found in Plugins/, after "-none-". Before any broadcast thread can set a mark.
void MainWindow::addPlugins() {
  if (!studio_->plugins()) return;
  for (const PluginMenuEntry& plugin : studio_->plugins()->menu()) {
    if (actions_.count(plugin.id)) continue;
    QAction* action = pluginMenu_->addAction(menuText(plugin.text));
    action->setObjectName(elementName(plugin.id));
    action->setCheckable(true);
    plugins_.addAction(action);
    connect(action, &QAction::triggered, this, [this, id = plugin.id] {
      if (studio_) launchPlugin(id);
      showMarks();
    });
    actions_[plugin.id] = action;
  }
}

// Every title goes to the extra servers and to the member's own server.
void MainWindow::announceTitle(const std::string& title) {
  extras_->setTitle(title);
  titles_->send(studio_->connection()->serverInfo(), title);
}

bool MainWindow::initialise() {
  StudioContext studioContext{context_.prompts, context_.exit,  context_.registry,
                              context_.http,    context_.parts, context_.songs};
  titles_ = std::make_unique<StationTitleSender>(context_.http);
  extras_ = std::make_unique<ExtraServersRun>(context_.registry, [this](PcmTap* tap) {
    // Once extra servers ran, the next ones get the full band from their first track on too.
    if (tap) context_.parts.setFullBand(true);
    studio_->setPcmTap(tap);
  });
  // A command on the worker may have changed a mark, or have been refused.
  studioContext.commandFinished = [this] { postTo(this, [this] { showMarks(); }); };
  studioContext.trackOnAir = [this](const std::string& title) {
    announceTitle(title);
    postTo(this, [this, title] {
      if (desktop_) desktop_->trackOnAir(title);
    });
  };
  studio_ = std::make_unique<Studio>(this, context_.webHost, studioContext);
  studio_->worker().setWaiter(&waiter_);
  studio_->setVisual(&visuals_);
  context_.parts.attach(*studio_);
  if (context_.stops) stopsAttached_.emplace(*context_.stops, *studio_);
  if (!studio_->init()) {
    stopsAttached_.reset();
    studio_.reset();
    return false;
  }
  commands_ = std::make_unique<StudioCommands>(*studio_, context_.prompts);
  extras_->setStatus(studio_->statusDisplay());
  // The stored servers get the full band from the first track on.
  if (!loadExtraServers(context_.registry, kProfileName).empty()) context_.parts.setFullBand(true);
  actions_.at(32808)->setText(menuText(formatText("Switch to %s", studio_->hostplayName().c_str())));
  setWindowTitle(QString::fromLatin1(kVersionText));
  attachStatusTexts();
  volume_.setValue(studio_->sources().waveOutVolume());
  if (studio_->plugins()) studio_->plugins()->loadPlugins();
  addPlugins();
  studio_->setRecordingSplit(context_.recordSplitMinutes);
  automation_ = loadAutomation(context_.registry);
  if (auto path = recordingAtStart(context_.outFile, automation_, studio_->startupFolder()))
    studio_->startRecording(*path);
  desktop_ = std::make_unique<DesktopControls>(
      *studio_, context_.outFile, [this] { startStop(); },
      [this](const std::string& title) { announceTitle(title); });
  showMarks();
  return true;
}

void MainWindow::attachStatusTexts() {
  StatusDisplay* status = studio_->statusDisplay();
  status->setMainField(MainField::ConnectionState, &connectionTarget_);
  status->setMainField(MainField::DataCounter, &counterTarget_);
  status->setMainField(MainField::NextTrack, &nextTarget_);
  status->setSkinLabels(&nowPlayingTarget_, &elapsedTarget_, &remainingTarget_);
}

// The marks as the studio has them; also after a command, which may have been refused.
void MainWindow::showMarks() {
  if (!studio_) return;
  EngineControl* engine = studio_->engine();
  actions_.at(32787)->setChecked(engine && engine->continuousLoop());
  actions_.at(32786)->setChecked(engine && engine->random());
  int priority = engine ? engine->priority() : 0;
  for (int p = 0; p < 3; ++p) actions_.at(32795 + p)->setChecked(p == priority);
  for (const auto& [id, action] : actions_)
    if (int display = visualDisplay(id)) action->setChecked(visuals_.displayOn(display));
  actions_.at(kVisualsOffCommand)
      ->setChecked(std::none_of(std::begin(kVisualDisplays), std::end(kVisualDisplays),
                                [this](int display) { return visuals_.displayOn(display); }));
  actions_.at(32826)->setChecked(studio_->recording());
  actions_.at(kOnAirAtStartCommand)->setChecked(automation_.onAirAtStart);
  actions_.at(kRecordOnAirCommand)->setChecked(automation_.recordOnAir);
  int plugin = studio_->plugins() ? studio_->plugins()->checkedId() : 0;
  for (QAction* action : plugins_.actions())
    action->setChecked(action == actions_.at(plugin ? plugin : kPluginCommand));
  int source = sourceCommandId(studio_->sources().source());
  for (QAction* action : sources_.actions()) action->setChecked(action == actions_.at(source));
}

void MainWindow::runCommand(const MenuEntry& entry) {
  if (studio_ && entry.action) (this->*entry.action)(entry.id);
  showMarks();
}

// ---- the view ----

void MainWindow::setTitle(const std::string& title) {
  postTo(this, [this, title = QString::fromStdString(title)] { setWindowTitle(title); });
}

void MainWindow::setBroadcastCaption(const std::string& caption) {
  // The button tells every start (from its request on) and every end, whoever made it: the
  // extra servers follow it.
  if (extras_) extras_->follow(caption == broadcastCaption(true));
  postTo(&broadcast_, [this, caption = QString::fromStdString(caption)] { broadcast_.setText(caption); });
}

void MainWindow::setMenuCheck(int commandId, bool checked) {
  auto action = actions_.find(commandId);
  if (action == actions_.end()) return;
  postTo(action->second, [action = action->second, checked] { action->setChecked(checked); });
}

// ---- window events ----

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (autoStarted_ || !studio_) return;
  autoStarted_ = true;
  // After the window has painted itself.
  QTimer::singleShot(0, this, [this] {
    if (studio_) studio_->autoStart(context_.onAirAtStart || automation_.onAirAtStart);
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Not while a command's end is awaited: the studio is in use below.
  if (waiter_.waiting() || !exitSequence()) {
    event->ignore();
    return;
  }
  event->accept();
  QCoreApplication::exit(0);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files = droppedFiles(*event->mimeData());
  if (files.empty() || !studio_) return;
  event->acceptProposedAction();
  // Once the drop has returned: the questions that follow must not hold up the desktop's drag.
  QTimer::singleShot(0, this, [this, files] {
    if (studio_) studio_->playFile(files);
  });
}

// ---- exit ----

bool MainWindow::exitSequence() {
  if (commands_ && !commands_->mayExit()) return false;
  shutDown(true);
  return true;
}

void MainWindow::shutDown(bool prepare) {
  if (!studio_) return;
  desktop_.reset();  // no command comes in during the exit sequence
  if (prepare) studio_->prepareExit();
  // They report to the studio's display and take from its stage.
  extras_->close();
  commands_.reset();
  stopsAttached_.reset();
  studio_.reset();
  finishRunLog(context_.prompts);
}

// ---- commands ----

void MainWindow::startStop() {
  if (commands_) commands_->startStop();
}

void MainWindow::showBroadcastInfo(int) {
  studio_->showBroadcastInfo();
}

void MainWindow::showServers(int) {
  if (!serversDialog_)
    serversDialog_ =
        std::make_unique<QtServersDialog>(context_.registry, makeSourceClient, [this] { extras_->reload(); });
  bringToFront(serversDialog_->widget());
}

void MainWindow::newBroadcast(int) {
  studio_->runSetupWizard();
}

void MainWindow::toggleLoop(int) {
  commands_->toggleLoop();
}

void MainWindow::toggleRandom(int) {
  commands_->toggleRandom();
}

void MainWindow::showStatus(int) {
  studio_->statusDisplay()->show();
}

void MainWindow::showQuality(int) {
  if (QualityWindow* quality = studio_->qualityWindow()) quality->show();
}

void MainWindow::exitCommand(int) {
  if (exitSequence()) QCoreApplication::exit(0);
}

void MainWindow::selectSource(int id) {
  commands_->selectSource(id);
}

void MainWindow::voiceover(int) {
  studio_->openVoiceoverPanel();
}

void MainWindow::showVolume(int) {
  if (VolumeWindow* volumes = studio_->volumeWindow()) volumes->show();
}

void MainWindow::changeSkins(int) {
  QString folder = QString::fromStdString(studio_->startupFolder()) + QStringLiteral("/skins");
  SkinChooser chooser(folder, QString::fromStdString(currentSkin().path), this);
  QString chosen = chooser.choose();
  if (chosen.isEmpty()) return;
  std::string path = commands_->skinPath(chosen.toStdString());
  Skin skin = loadSkin(path);
  bool usable = skin.path == path;
  if (usable) {
    setCurrentSkin(skin);
    applySkin(*this, skin);
  }
  commands_->skinChosen(path, usable);
}

void MainWindow::setPriority(int id) {
  if (EngineControl* engine = studio_->engine()) engine->setPriority(id - 32795);
}

void MainWindow::restartServer(int) {
  commands_->restartServer();
}

void MainWindow::showLog(int) {
  context_.prompts.open(Logger::getLogPath());
}

void MainWindow::switchToHostplay(int) {
  studio_->switchToHostplay();
}

void MainWindow::submitProgramInfo(int) {
  studio_->showProgramInfo();
}

void MainWindow::toggleVisual(int id) {
  int display = visualDisplay(id);
  visuals_.setDisplay(display, !visuals_.displayOn(display));
  studio_->visualsChanged();
}

void MainWindow::visualsOff(int) {
  for (int display : kVisualDisplays) visuals_.setDisplay(display, false);
  studio_->visualsChanged();
}

void MainWindow::about(int) {
  context_.prompts.information(formatText("%s, build %d. %s", kVersionText, kBuildNumber, kAboutNotice),
                               "About Brovana-Live");
}

void MainWindow::openPage(int id) {
  context_.prompts.open(commands_->pageUrl(id));
}

void MainWindow::mail(int id) {
  context_.prompts.open(commands_->mailLink(id));
}

void MainWindow::saveToFile(int) {
  if (studio_->recording()) {
    studio_->stopRecording();
    return;
  }
  QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the broadcast to a file"),
                                              QString::fromStdString(studio_->startupFolder()),
                                              QStringLiteral("MP3 files (*.mp3)"));
  if (!path.isEmpty()) studio_->startRecording(path.toStdString());
}

// Kept at once: a station that comes back after a reboot must find it stored.
void MainWindow::toggleAutomation(int id) {
  bool& setting = id == kOnAirAtStartCommand ? automation_.onAirAtStart : automation_.recordOnAir;
  setting = !setting;
  saveAutomation(context_.registry, automation_);
}

void MainWindow::launchPlugin(int id) {
  studio_->launchPlugin(id - kPluginCommand);
}

}  // namespace brovana
