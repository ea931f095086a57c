#include "app/broadcast_info_dialog.h"

#include "app/gui_thread.h"
#include "app/message_dialogs.h"
#include "app/skin/skin.h"
#include "broadcast/broadcast_info.h"
#include "broadcast/settings.h"
#include "core/program_values.h"
#include "net/server_link.h"
#include "net/web_service.h"

namespace brovana {
namespace {

enum InfoElement : int {
  kIdMember = 1231,
  kIdPassword = 1233,
  kIdTitle = 1235,
  kIdUrl = 1237,
  kIdGenreCaption = 1238,
  kIdGenre1 = 1241,
  kIdConnection = 1245,
  kIdOutput = 1247,
  kIdFallback = 1249,
  kIdCancel = 2,
};

void name(QWidget& element, int id) {
  element.setObjectName(elementName(id));
}

}  // namespace

QtBroadcastInfoDialog::QtBroadcastInfoDialog(ServerLink& connection, StationDesk& desk,
                                             const GenreList& genres)
    : connection_(connection), desk_(desk), genres_(genres, kIdGenre1) {
  dialog_.setObjectName(QStringLiteral("BroadcastInfoDialog"));
  struct Row {
    QLabel& caption;
    QWidget& field;
    int id;
    const char* text;
  };
  for (Row row : {Row{memberCaption_, member_, kIdMember, "Your Member Name :"},
                  Row{passwordCaption_, password_, kIdPassword, "Your Password :"},
                  Row{titleCaption_, title_, kIdTitle, "Program Title :"},
                  Row{urlCaption_, url_, kIdUrl, "Program URL :"},
                  Row{connectionCaption_, connectionList_, kIdConnection, "Your Connection :"},
                  Row{outputCaption_, output_, kIdOutput, "Output Quality :"},
                  Row{fallbackCaption_, fallback_, kIdFallback, "Fallback Playlist :"}}) {
    name(row.caption, row.id - 1);
    name(row.field, row.id);
    row.caption.setText(QString::fromLatin1(row.text));
    row.caption.setBuddy(&row.field);
  }
  for (QLineEdit* field : {&member_, &password_, &title_, &url_}) field->setMaxLength(kStationTextLimit);
  password_.setEchoMode(QLineEdit::Password);
  for (const ConnectionChoice& choice : kConnections)
    connectionList_.addItem(QString::fromLatin1(choice.name));

  name(genreCaption_, kIdGenreCaption);
  genreCaption_.setText(QStringLiteral("Genre 1:"));
  genreCaption_.setBuddy(&genres_.list(0));

  form_.addRow(&memberCaption_, &member_);
  form_.addRow(&passwordCaption_, &password_);
  form_.addRow(&titleCaption_, &title_);
  form_.addRow(&urlCaption_, &url_);
  form_.addRow(&genreCaption_, &genres_.row());
  form_.addRow(&connectionCaption_, &connectionList_);
  form_.addRow(&outputCaption_, &output_);
  form_.addRow(&fallbackCaption_, &fallback_);
  fallback_.setToolTip(
      QStringLiteral("An M3U or PLS file that goes on the air while a live source is silent (from the next "
                     "start of the studio); empty for none"));
  form_.setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  name(ok_, kIdOk);
  name(cancel_, kIdCancel);
  ok_.setText(QStringLiteral("OK"));
  ok_.setDefault(true);
  cancel_.setText(QStringLiteral("Cancel"));
  buttons_.addStretch(1);
  buttons_.addWidget(&ok_);
  buttons_.addWidget(&cancel_);
  layout_.addLayout(&form_);
  layout_.addSpacing(dialog_.fontMetrics().height() / 2);
  layout_.addLayout(&buttons_);
  dialog_.setMinimumWidth(dialog_.fontMetrics().averageCharWidth() * 72);

  QObject::connect(&ok_, &QPushButton::clicked, &dialog_, [this] { accept(); });
  QObject::connect(&cancel_, &QPushButton::clicked, &dialog_, &QDialog::hide);
  QObject::connect(&connectionList_, &QComboBox::activated, &dialog_,
                   [this](int position) { fillQualities(output_, position, connection_.outputBitrate()); });
  refresh(true);
}

void QtBroadcastInfoDialog::refresh(bool show) {
  fill();
  if (!show) return;
  bringToFront(dialog_);
}

void QtBroadcastInfoDialog::setSkin(const std::string& path) {
  applySkin(dialog_, skinFor(path));
}

void QtBroadcastInfoDialog::fill() {
  applySkin(dialog_, currentSkin());
  StationForm form = stationForm(connection_, desk_.prompts());
  member_.setText(QString::fromStdString(form.member));
  password_.setText(QString::fromStdString(form.password));
  title_.setText(QString::fromStdString(form.title));
  url_.setText(QString::fromStdString(form.url));

  std::vector<std::string> names = genreTable().names();
  genres_.fillFromTable(names);
  std::array<int, 3> chosen = genreChoices(names, form.genres);
  for (int i = 0; i < 3; ++i) genres_.list(i).setCurrentIndex(chosen[static_cast<size_t>(i)]);

  connectionList_.setCurrentIndex(form.connection);
  fillQualities(output_, form.connection, connection_.outputBitrate());
  if (Registry* registry = programValues().registry())
    fallback_.setText(QString::fromStdString(loadGuard(*registry).fallback));
  std::string title = infoDialogTitle(connection_.serverInfo());
  dialog_.setWindowTitle(title.empty() ? QStringLiteral("Broadcast Information")
                                       : QString::fromStdString(title));
}

void QtBroadcastInfoDialog::accept() {
  StationForm form;
  form.member = stationText(member_, kStationTextLimit);
  form.password = stationText(password_, kStationTextLimit);
  form.title = stationText(title_, kStationTextLimit);
  form.url = stationText(url_, kStationTextLimit);
  form.genres = genres_.texts(kStationTextLimit);
  form.connection = std::max(0, connectionList_.currentIndex());
  form.output = std::max(0, output_.currentIndex());
  // The checks ask the service, on the studio's worker; the dialog hides on the windows' thread.
  bool accepted = false;
  desk_.await([&] {
    accepted =
        acceptStationForm(form, connection_, desk_, [this] { postTo(&dialog_, [this] { dialog_.hide(); }); });
  });
  if (!accepted) return;
  dialog_.hide();
  if (Registry* registry = programValues().registry()) {
    GuardSettings guard = loadGuard(*registry);
    guard.fallback = fallback_.text().trimmed().toStdString();
    saveGuard(*registry, guard);
  }
}

}  // namespace brovana
