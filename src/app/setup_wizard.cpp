#include "app/setup_wizard.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <vector>

#include "app/skin/skin.h"
#include "broadcast/broadcast_info.h"
#include "broadcast/studio_parts.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "core/text.h"
#include "net/server_link.h"
#include "net/web_service.h"
#include "playlist/playlist.h"
#include "playlist/track_reader.h"

namespace brovana {
namespace {

enum WizardElement : int {
  kIdHeading = 1200,
  kIdWelcome = 1201,
  kIdPicture = 1202,
  kIdYes = 1203,
  kIdNo = 1204,
  kIdMember = 1206,
  kIdPassword = 1208,
  kIdTitle = 1210,
  kIdGenreCaption = 1211,
  kIdGenre1 = 1214,
  kIdLiveTag = 1217,
  kIdLiveTagText = 1227,
  kIdUrl = 1219,
  kIdNetwork = 1221,
  kIdOutput = 1223,
  kIdAddTracks = 1224,
  kIdTracks = 1225,
  kIdCongratulations = 1226,
  kIdCancel = 2,
  kIdBack = 12323,
  kIdNext = 12324,
  kIdFinish = 12325,
};

constexpr const char* kPageTitles[] = {
    "Zelvora",        "Zelvora : Login Data", "Zelvora : Title",
    "Zelvora : URL",  "Zelvora : Connection", "Zelvora : Add files...",
    "Zelvora : Done",
};

// The steps beside the pages, by page.
constexpr const char* kStepNames[] = {"Welcome",    "Login Data", "Title", "URL",
                                      "Connection", "Add files",  "Done"};

constexpr const char* kAccountQuestion = "Do you already have an account on Zelvora?";

QString html(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped();
}

void name(QWidget& element, int id) {
  element.setObjectName(elementName(id));
}

// A caption for a field, one id below it.
void caption(QLabel& label, QWidget& field, int id, const char* text) {
  name(label, id - 1);
  name(field, id);
  label.setText(QString::fromUtf8(text));
  label.setBuddy(&field);
}

void wrapped(QLabel& label, int id, const char* text) {
  name(label, id);
  label.setText(QString::fromUtf8(text));
  label.setWordWrap(true);
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

}  // namespace

QtSetupWizard::QtSetupWizard(StationDesk& desk, const GenreList& genres, PlaylistWindowControl* playlist)
    : desk_(desk), playlist_(playlist), genres_(genres, kIdGenre1) {
  buildFrame();
  buildWelcome();
  buildLogin();
  buildTitle();
  buildRest();
  applySkin(dialog_, currentSkin());
}

void QtSetupWizard::buildFrame() {
  dialog_.setObjectName(QStringLiteral("SetupWizard"));
  dialog_.setModal(true);
  heading_.setObjectName(elementName(kIdHeading));
  heading_.setProperty("heading", true);
  for (QWidget& page : pages_) stack_.addWidget(&page);
  struct Button {
    QPushButton& button;
    int id;
    const char* text;
  };
  buttons_.addStretch(1);
  for (Button b : {Button{back_, kIdBack, "< Back"}, Button{next_, kIdNext, "Next >"},
                   Button{finish_, kIdFinish, "Finish"}, Button{cancel_, kIdCancel, "Cancel"}}) {
    name(b.button, b.id);
    b.button.setText(QString::fromLatin1(b.text));
    b.button.setAutoDefault(false);
    buttons_.addWidget(&b.button);
  }
  buttons_.insertSpacing(4, dialog_.fontMetrics().averageCharWidth() * 2);
  steps_.setObjectName(QStringLiteral("WizardSteps"));
  steps_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  steps_.setTextFormat(Qt::RichText);
  body_.addWidget(&steps_);
  body_.addSpacing(dialog_.fontMetrics().averageCharWidth() * 2);
  body_.addWidget(&stack_, 1);
  layout_.addWidget(&heading_);
  layout_.addLayout(&body_, 1);
  layout_.addLayout(&buttons_);

  QObject::connect(&back_, &QPushButton::clicked, &dialog_, [this] {
    if (path_.back()) show();
  });
  QObject::connect(&next_, &QPushButton::clicked, &dialog_, [this] { next(); });
  QObject::connect(&finish_, &QPushButton::clicked, &dialog_, [this] { finish(); });
  QObject::connect(&cancel_, &QPushButton::clicked, &dialog_, &QDialog::reject);
}

void QtSetupWizard::buildWelcome() {
  wrapped(
      welcome_, kIdWelcome,
      "This is the first time you have run Brovana-Live. This wizard will help guide you through the process "
      "of setting up your broadcast.");
  name(picture_, kIdPicture);
  QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) picture_.setPixmap(icon.pixmap(QSize(96, 96), dialog_.devicePixelRatioF()));
  picture_.setAlignment(Qt::AlignTop);
  name(yes_, kIdYes);
  name(no_, kIdNo);
  yes_.setText(QStringLiteral("Yes"));
  no_.setText(QStringLiteral("No"));
  for (QPushButton* button : {&yes_, &no_}) {
    button->setCheckable(true);
    button->setAutoDefault(false);
    yesNo_.addButton(button);
    yesNoRow_.addWidget(button);
  }
  yes_.setChecked(true);
  yesNoRow_.addStretch(1);
  question_.setObjectName(QStringLiteral("AccountQuestion"));
  question_.setText(QString::fromLatin1(kAccountQuestion));
  question_.setWordWrap(true);
  welcomeRow_.addWidget(&picture_);
  welcomeRow_.addWidget(&welcome_, 1);
  welcomeLayout_.addLayout(&welcomeRow_);
  welcomeLayout_.addSpacing(dialog_.fontMetrics().height());
  welcomeLayout_.addWidget(&question_);
  welcomeLayout_.addLayout(&yesNoRow_);
  welcomeLayout_.addStretch(1);
}

void QtSetupWizard::buildLogin() {
  caption(memberCaption_, member_, kIdMember, "Member Name :");
  caption(passwordCaption_, password_, kIdPassword, "Password :");
  // The checks read this much, so the fields hold no more than that.
  for (QLineEdit* field : {&member_, &password_}) field->setMaxLength(kWizardTextLimit);
  member_.setPlaceholderText(QString::fromLatin1(kMemberPlaceholder));
  password_.setEchoMode(QLineEdit::Password);
  loginLayout_.addRow(&memberCaption_, &member_);
  loginLayout_.addRow(&passwordCaption_, &password_);
}

void QtSetupWizard::buildTitle() {
  caption(titleCaption_, title_, kIdTitle, "Title :");
  title_.setMaxLength(kStationTextLimit);
  title_.setPlaceholderText(QString::fromLatin1(kTitlePlaceholder));
  name(genreCaption_, kIdGenreCaption);
  genreCaption_.setText(QStringLiteral("Genre 1 :"));
  genreCaption_.setBuddy(&genres_.list(0));
  // The box's long text wraps beside it.
  name(liveTag_, kIdLiveTag);
  wrapped(
      liveTagText_, kIdLiveTagText,
      "The check puts a \"[*]\" at the end of your description to help users find other live broadcasters "
      "more easily (for testing).");
  liveTagText_.setBuddy(&liveTag_);
  liveTagRow_.addWidget(&liveTag_, 0, Qt::AlignTop);
  liveTagRow_.addWidget(&liveTagText_, 1);
  titleLayout_.addRow(&titleCaption_, &title_);
  titleLayout_.addRow(&genreCaption_, &genres_.row());
  titleLayout_.addRow(QString(), &liveTagRow_);
}

void QtSetupWizard::buildRest() {
  wrapped(urlCaption_, kIdUrl - 1, "If you want to link a URL to your broadcast, supply it here :");
  name(url_, kIdUrl);
  urlCaption_.setBuddy(&url_);
  url_.setMaxLength(kStationTextLimit);
  urlLayout_.addWidget(&urlCaption_);
  urlLayout_.addWidget(&url_);
  urlLayout_.addStretch(1);

  caption(networkCaption_, network_, kIdNetwork, "Your Network Connection :");
  caption(outputCaption_, output_, kIdOutput, "Output Quality :");
  for (const ConnectionChoice& choice : kConnections) network_.addItem(QString::fromLatin1(choice.name));
  connectionLayout_.addRow(&networkCaption_, &network_);
  connectionLayout_.addRow(&outputCaption_, &output_);
  QObject::connect(&network_, &QComboBox::activated, &dialog_,
                   [this](int position) { fillQualities(output_, position); });

  name(addTracks_, kIdAddTracks);
  addTracks_.setText(QStringLiteral("Add MP3 Tracks..."));
  addTracks_.setAutoDefault(false);
  name(tracks_, kIdTracks);
  filesLayout_.addWidget(&addTracks_, 0, Qt::AlignLeft);
  filesLayout_.addWidget(&tracks_, 1);
  QObject::connect(&addTracks_, &QPushButton::clicked, &dialog_, [this] { addTracks(); });

  wrapped(congratulations_, kIdCongratulations,
          "Congratulations! You are now ready to start broadcasting to the world! Simply press \"Finish\" to "
          "move into the realm of internet broadcasters.");
  summary_.setObjectName(QStringLiteral("WizardSummary"));
  summary_.setTextFormat(Qt::RichText);
  summary_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  summary_.setWordWrap(true);
  doneLayout_.addWidget(&congratulations_);
  doneLayout_.addSpacing(dialog_.fontMetrics().height());
  doneLayout_.addWidget(&summary_);
  doneLayout_.addStretch(1);
}

bool QtSetupWizard::run(ServerLink& connection, bool firstRun) {
  connection_ = &connection;
  start(firstRun);
  bool finished = dialog_.exec() == QDialog::Accepted;
  connection_ = nullptr;
  return finished;
}

void QtSetupWizard::start(bool firstRun) {
  path_.start(firstRun);
  yes_.setChecked(true);
  fillFromStation(firstRun);
  applySkin(dialog_, currentSkin());
  show();
  // One size for every page, in the skin's font, whichever page shows first.
  QFontMetrics metrics = dialog_.fontMetrics();
  dialog_.setFixedSize(
      QSize(metrics.averageCharWidth() * 72, metrics.height() * 25).expandedTo(dialog_.sizeHint()));
}

void QtSetupWizard::turnTo(Page page) {
  // Along a first run's way, so that the steps show as the member sees them there.
  path_.start(true);
  while (path_.page() != page && path_.next()) {
  }
  if (path_.page() != page) path_.showOnly(page);
  show();
}

void QtSetupWizard::setSkin(const std::string& path) {
  applySkin(dialog_, skinFor(path));
}

void QtSetupWizard::show() {
  Page page = path_.page();
  heading_.setText(QString::fromLatin1(kPageTitles[static_cast<size_t>(page)]));
  dialog_.setWindowTitle(heading_.text());
  back_.setVisible(path_.showsBack());
  next_.setVisible(path_.showsNext());
  finish_.setVisible(path_.showsFinish());
  QPushButton& onward = path_.showsFinish() ? finish_ : next_;
  onward.setDefault(true);
  enter(page);
  stack_.setCurrentWidget(&pageWidget(page));
  showSteps();
  onward.setFocus();
}

void QtSetupWizard::fillFromStation(bool firstRun) {
  genresFilled_ = false;
  stationGenres_ = {};
  if (!connection_ || firstRun) {
    for (QLineEdit* field : {&member_, &password_, &title_}) field->clear();
    url_.setText(QString::fromLatin1(kMainWebHost));
    liveTag_.setChecked(true);
    network_.setCurrentIndex(0);
    fillQualities(output_, 0);
    return;
  }
  StationForm form = stationForm(*connection_, desk_.prompts());
  member_.setText(QString::fromStdString(form.member));
  password_.setText(QString::fromStdString(form.password));
  title_.setText(QString::fromStdString(form.title));
  url_.setText(QString::fromStdString(form.url.empty() ? std::string(kMainWebHost) : form.url));
  liveTag_.setChecked(connection_->livetag());
  stationGenres_ = form.genres;
  network_.setCurrentIndex(form.connection);
  fillQualities(output_, form.connection, connection_->outputBitrate());
}

// The station's genres where the lists hold them; each choice fills the next list first.
void QtSetupWizard::chooseGenres() {
  genresFilled_ = true;
  genres_.fillFromTable(genreTable().names());
  genres_.fillFromHierarchy(0, 0);
  for (int i = 0; i < 3; ++i) {
    const std::string& genre = stationGenres_[static_cast<size_t>(i)];
    if (genre.empty()) continue;
    int at = genres_.list(i).findText(QString::fromStdString(genre), Qt::MatchFixedString);
    if (at >= 0) genres_.list(i).setCurrentIndex(at);
  }
}

void QtSetupWizard::showSteps() {
  QStringList lines;
  for (size_t at = 0; at < path_.steps().size(); ++at) {
    QString step = QString::fromLatin1(kStepNames[static_cast<size_t>(path_.steps()[at])]);
    lines << (at == path_.step() ? QStringLiteral("<b>\u25B8 %1</b>").arg(step)
                                 : QStringLiteral("&nbsp;&nbsp;&nbsp;%1").arg(step));
  }
  steps_.setText(lines.join(QStringLiteral("<br>")));
}

void QtSetupWizard::showSummary() {
  std::string genres, title = stationText(title_, kStationTextLimit);
  for (const std::string& genre : genres_.texts(kWizardTextLimit))
    if (!genre.empty()) genres += (genres.empty() ? "" : ", ") + genre;
  Playlist* list = playlist_ ? playlist_->playlist() : nullptr;
  struct Row {
    const char* caption;
    std::string value;
  };
  const Row rows[] = {
      {"Member", stationText(member_, kWizardTextLimit)},
      {"Title", title.empty() || !liveTag_.isChecked() ? title : title + " [*]"},
      {"Genres", genres},
      {"URL", stationText(url_, kStationTextLimit)},
      {"Connection", network_.currentText().toStdString()},
      {"Output quality", output_.currentText().toStdString()},
      {"Tracks", std::to_string(list ? list->count() : 0)},
  };
  QString table = QStringLiteral("<table cellspacing=\"2\">");
  for (const Row& row : rows)
    table += QStringLiteral("<tr><td>%1:&nbsp;&nbsp;</td><td><b>%2</b></td></tr>")
                 .arg(QString::fromLatin1(row.caption), html(row.value.empty() ? "-" : row.value));
  summary_.setText(table + QStringLiteral("</table>"));
}

// What a page does each time it shows.
void QtSetupWizard::enter(Page page) {
  switch (page) {
    case Title:
      // The service's genre names come with the log-in, so the lists fill when the page first
      // shows; after that they keep what the member chose.
      if (!genresFilled_) chooseGenres();
      break;
    case AddFiles:
      showTracks();
      break;
    case Done:
      showSummary();
      break;
    default:
      break;
  }
}

// A page's checks on Next; false keeps the member on it.
bool QtSetupWizard::leave(Page page) {
  Prompts& prompts = desk_.prompts();
  switch (page) {
    case FirstRun:
      if (yes_.isChecked()) return true;
      prompts.information(formatText(kSignUpText, registrationUrl().c_str()));
      prompts.open(registrationUrl());
      return false;
    case Login: {
      if (!connection_) return false;
      std::string member = stationText(member_, kWizardTextLimit);
      std::string password = stationText(password_, kWizardTextLimit);
      LoginCheck check = LoginCheck::Incomplete;
      desk_.await([&] {
        check = checkLogin(member, password, *connection_, desk_.accounts(), prompts,
                           desk_.liveSwitchWaitSeconds());
      });
      if (check == LoginCheck::NotSwitched) {
        desk_.endProgram();
        dialog_.reject();
      }
      return check == LoginCheck::Passed;
    }
    case Title:
      if (!checkTitle(stationText(title_, kStationTextLimit), genres_.list(0).currentIndex() >= 0, prompts))
        return false;
      answers_.genres = genres_.texts(kWizardTextLimit);
      answers_.liveTag = liveTag_.isChecked();
      return true;
    case Connection:
      return checkConnection(network_.currentIndex(), output_.currentIndex(), prompts);
    case AddFiles: {
      Playlist* list = playlist_ ? playlist_->playlist() : nullptr;
      return checkTracks(list ? list->count() : 0, prompts);
    }
    default:
      return true;
  }
}

void QtSetupWizard::next() {
  if (leave(path_.page()) && path_.next()) show();
}

void QtSetupWizard::finish() {
  if (!connection_) return;
  answers_.member = stationText(member_, kWizardTextLimit);
  answers_.password = stationText(password_, kWizardTextLimit);
  answers_.title = stationText(title_, kStationTextLimit);
  answers_.url = stationText(url_, kStationTextLimit);
  answers_.lineSpeed = lineSpeedAt(network_.currentIndex());
  answers_.outputBitrate = bitrateAt(network_.currentIndex(), output_.currentIndex());
  if (applyStation(answers_, *connection_)) dialog_.accept();
}

void QtSetupWizard::addTracks() {
  if (!playlist_) return;
  QStringList files = QFileDialog::getOpenFileNames(
      &dialog_, QStringLiteral("Add MP3 Tracks"),
      QString::fromStdString(programValues().mp3path().value_or("")),
      QStringLiteral("Music files (%1)").arg(QLatin1String(kTrackFilePatterns)));
  if (files.isEmpty()) return;
  programValues().setMp3path(QFileInfo(files.front()).absolutePath().toStdString());
  std::vector<std::string> paths;
  for (const QString& file : files) paths.push_back(file.toStdString());
  playlist_->addFiles(paths);
  showTracks();
}

void QtSetupWizard::showTracks() {
  tracks_.clear();
  Playlist* list = playlist_ ? playlist_->playlist() : nullptr;
  if (!list) return;
  int number = 0;
  for (const PlaylistItemRef& item : list->items())
    tracks_.addItem(QStringLiteral("%1. %2  (%3)")
                        .arg(++number)
                        .arg(QString::fromStdString(item->mp3Info().displayTitle()),
                             QString::fromStdString(item->time().value_or("-"))));
}

}  // namespace brovana
