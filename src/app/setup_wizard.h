#pragma once
// The setup wizard: the member's account and station page by page and, on a first run, the
// first tracks of the playlist. It is made once per run of the program and reused. Each run starts
// from the current station, and every page keeps its choices while the member goes back and
// forth; the steps of the run show beside the pages, and the last page sums the station up. The checks
// and Finish are broadcast/station_setup.h's, which `--configure` runs too; the way through the
// pages is broadcast/wizard_path.h's.
//
// Element ids: the frame's heading 1200 and its buttons Back 12323, Next 12324, Finish 12325 and
// Cancel 2. First-run page: text 1201, picture 1202, Yes 1203, No 1204. Login: member name 1206,
// password 1208. Title: title 1210, genres 1214 to 1216, the live tag 1217 with its text 1227.
// URL: 1219.
// Connection: network 1221, output quality 1223. Add files: the button 1224, the playlist 1225.
// Done: text 1226. A caption carries the id below its field's (1205 "Member Name :"). Also named:
// "AccountQuestion", "WizardSteps" and "WizardSummary".

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <array>

#include "app/station_fields.h"
#include "broadcast/station_setup.h"
#include "broadcast/wizard_path.h"

namespace brovana {

class ServerLink;
class PlaylistWindowControl;

class QtSetupWizard {
 public:
  using Page = WizardPage;
  using enum WizardPage;

  // The playlist window is where the add-files page puts the tracks; it may be null.
  QtSetupWizard(StationDesk& desk, const GenreList& genres, PlaylistWindowControl* playlist);

  // Modal; true after Finish, with the answers on the connection.
  bool run(ServerLink& connection, bool firstRun);
  // What run shows first, without waiting for the member (the screenshots use it).
  void start(bool firstRun);
  // Shows a page as reaching it would (the screenshots use it).
  void turnTo(Page page);
  void setSkin(const std::string& path);
  QDialog& widget() { return dialog_; }

 private:
  void buildFrame();
  void buildWelcome();
  void buildLogin();
  void buildTitle();
  void buildRest();
  // The fields from the station on the connection, or a first run's defaults.
  void fillFromStation(bool firstRun);
  void chooseGenres();
  void showSteps();
  void showSummary();
  // The path's page, with its buttons.
  void show();
  QWidget& pageWidget(Page page) { return pages_[static_cast<size_t>(page)]; }
  void enter(Page page);
  bool leave(Page page);
  void next();
  void finish();
  void addTracks();
  void showTracks();

  StationDesk& desk_;
  PlaylistWindowControl* playlist_;
  ServerLink* connection_ = nullptr;  // during run
  WizardPath path_;
  StationAnswers answers_;                    // the title page keeps the genres and the live tag here
  std::array<std::string, 3> stationGenres_;  // chosen once the title page first shows in a run
  bool genresFilled_ = false;

  QDialog dialog_;
  QVBoxLayout layout_{&dialog_};
  QLabel heading_;
  QHBoxLayout body_;
  QLabel steps_;
  QStackedWidget stack_;
  std::array<QWidget, kWizardPages> pages_;
  QHBoxLayout buttons_;
  QPushButton back_, next_, finish_, cancel_;
  QVBoxLayout welcomeLayout_{&pageWidget(FirstRun)};
  QHBoxLayout welcomeRow_, yesNoRow_;
  QFormLayout loginLayout_{&pageWidget(Login)};
  QFormLayout titleLayout_{&pageWidget(Title)};
  QHBoxLayout liveTagRow_;
  QVBoxLayout urlLayout_{&pageWidget(Url)};
  QFormLayout connectionLayout_{&pageWidget(Connection)};
  QVBoxLayout filesLayout_{&pageWidget(AddFiles)};
  QVBoxLayout doneLayout_{&pageWidget(Done)};

  QLabel welcome_, picture_, question_;
  QPushButton yes_, no_;
  QButtonGroup yesNo_;
  QLabel memberCaption_, passwordCaption_;
  QLineEdit member_, password_;
  QLabel titleCaption_, genreCaption_;
  QLineEdit title_;
  QCheckBox liveTag_;
  QLabel liveTagText_;
  GenreLists genres_;
  QLabel urlCaption_;
  QLineEdit url_;
  QLabel networkCaption_, outputCaption_;
  QComboBox network_, output_;
  QPushButton addTracks_;
  QListWidget tracks_;
  QLabel congratulations_, summary_;
};

}  // namespace brovana
