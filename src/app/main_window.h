#pragma once
// MainWindow: the studio's main window. Its skinned face has the broadcast button (1020), the
// playlist button (1023), the volume slider (1088), the logo (1024) and the panel of texts the
// status display writes; its menu carries every command of the studio, each under its command
// id ("id32771"). It makes the one Studio and turns commands, clicks, dropped files and the
// first show into calls of the Studio and its commands; the logic stays there.
//
// MainWindowView calls may come from broadcast threads; they are queued to the GUI thread.

#include <QActionGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <map>
#include <memory>
#include <optional>

#include "app/desktop_controls.h"
#include "app/elided_label.h"
#include "app/event_loop_waiter.h"
#include "app/gui_thread.h"
#include "app/stop_signals.h"
#include "app/visuals_widget.h"
#include "broadcast/automation.h"
#include "broadcast/studio.h"
#include "broadcast/studio_commands.h"
#include "monitor/main_window_view.h"

namespace brovana {

class ExtraServersRun;
class StationTitleSender;
class QtServersDialog;
class QtPrompts;
class QtProgramExit;
class QtStudioParts;
class Registry;
class HttpClient;
class SongUpdateSender;

// Element ids of the face.
enum MainElement : int {
  kIdSkinForm = 1019,
  kIdBroadcastButton = 1020,
  kIdPlaylistButton = 1023,
  kIdLogo = 1024,
  kIdVolumeSlider = 1088,
  kIdVolumeCaption = 1089,
  kIdNextCaption = 1091,
  // The texts of the status display.
  kIdMainNowPlaying = 1038,
  kIdMainNextTrack = 1042,
  kIdMainTrackRemaining = 1043,
  kIdMainConnectionState = 1047,
  kIdMainDataCounter = 1048,
  kIdMainTrackElapsed = 1070,
};

// What the window works with; each must outlive it.
struct MainWindowContext {
  std::string webHost;
  Registry& registry;
  HttpClient& http;
  QtPrompts& prompts;
  QtProgramExit& exit;
  QtStudioParts& parts;
  SongUpdateSender* songs = nullptr;
  std::optional<std::string> outFile;  // -outfile: the stream is recorded from the start
  StopSignals* stops = nullptr;        // a stop signal asks the studio to stop, from its start-up on
  int recordSplitMinutes = 0;          // --record-split
  bool onAirAtStart = false;           // --on-air
};

class MainWindow final : public QMainWindow, public MainWindowView {
 public:
  // Builds the face and the menu; nothing else happens until initialise.
  explicit MainWindow(MainWindowContext context);
  ~MainWindow() override;

  // The dialog's initialisation: the Studio and its start-up, then the menu names and
  // marks. False when the start-up ended the program.
  bool initialise();
  // The exit command: the questions, then the exit sequence. False when the member stays.
  bool exitSequence();
  // The Studio's end: with `prepare` its first half too; then the end of the log. Once.
  void shutDown(bool prepare);

  Studio* studio() const { return studio_.get(); }

  void setTitle(const std::string& title) override;
  void setBroadcastCaption(const std::string& caption) override;
  void setMenuCheck(int commandId, bool checked) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void announceTitle(const std::string& title);
  struct MenuEntry;
  static const MenuEntry kMenu[];

  void buildFace();
  void buildMenu();
  void addPlugins();
  void runCommand(const MenuEntry& entry);
  void showMarks();
  void attachStatusTexts();

  // Commands, by command id.
  void startStop();
  void showBroadcastInfo(int);
  void showServers(int);
  void newBroadcast(int);
  void toggleLoop(int);
  void toggleRandom(int);
  void showStatus(int);
  void showQuality(int);
  void exitCommand(int);
  void selectSource(int id);
  void voiceover(int);
  void showVolume(int);
  void changeSkins(int);
  void setPriority(int id);
  void restartServer(int);
  void showLog(int);
  void switchToHostplay(int);
  void submitProgramInfo(int);
  void toggleVisual(int id);
  void visualsOff(int id);
  void about(int);
  void openPage(int id);
  void mail(int id);
  void saveToFile(int);
  void launchPlugin(int id);
  void toggleAutomation(int id);

  MainWindowContext context_;
  // Filled by the constructor and, with the plug-ins, by initialise before any broadcast
  // thread starts; read-only afterwards.
  std::map<int, QAction*> actions_;
  QActionGroup sources_{this};
  QActionGroup priorities_{this};
  QActionGroup plugins_{this};
  QMenu* pluginMenu_ = nullptr;

  QWidget form_;
  QHBoxLayout formLayout_{&form_};
  QLabel logo_;
  QFrame panel_;
  QVBoxLayout panelLayout_{&panel_};
  QHBoxLayout nextRow_;
  QHBoxLayout linkRow_;
  ElidedLabel nowPlaying_;
  ElidedLabel connectionState_;
  QLabel trackElapsed_;
  QLabel trackRemaining_;
  QLabel nextCaption_;
  ElidedLabel nextTrack_;
  QLabel dataCounter_;
  VisualsWidget visuals_;  // the visualisation object, on the panel; it outlives the Studio
  QVBoxLayout controls_;
  QPushButton broadcast_;
  QPushButton playlist_;
  QHBoxLayout volumeRow_;
  QLabel volumeCaption_;
  QSlider volume_{Qt::Horizontal};

  LabelTarget connectionTarget_{connectionState_};
  LabelTarget counterTarget_{dataCounter_};
  LabelTarget nextTarget_{nextTrack_};
  LabelTarget nowPlayingTarget_{nowPlaying_};
  LabelTarget elapsedTarget_{trackElapsed_};
  LabelTarget remainingTarget_{trackRemaining_};

  bool autoStarted_ = false;
  AutomationSettings automation_;  // the stored "On the air at start" and "Record when on the air"
  EventLoopWaiter waiter_;         // outlives the Studio's worker
  std::unique_ptr<QtServersDialog> serversDialog_;
  std::unique_ptr<ExtraServersRun> extras_;     // outlives the Studio, whose stage and worker tell it
  std::unique_ptr<StationTitleSender> titles_;  // the member's own server's titles; as extras_
  // Last: it goes before the targets it writes to and the visuals it feeds. (Each widget comes
  // after the one it sits in, which would otherwise delete it a second time.)
  std::unique_ptr<Studio> studio_;
  std::unique_ptr<StudioCommands> commands_;
  std::unique_ptr<DesktopControls> desktop_;              // uses the studio, so it goes first
  std::optional<StopSignals::Attachment> stopsAttached_;  // after the studio, which it names
};

}  // namespace brovana
