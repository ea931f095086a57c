#include "app/servers_dialog.h"

#include "app/gui_thread.h"
#include "app/skin/skin.h"
#include "core/program_values.h"

namespace brovana {
namespace {

constexpr const char* kProtocols[] = {"Icecast", "Icecast TLS", "SHOUTcast"};
constexpr struct {
  const char* text;
  Codec codec;
} kCodecs[] = {{"MP3", Codec::Mp3}, {"Opus", Codec::Opus}, {"Vorbis", Codec::Vorbis}};
constexpr int kRates[] = {44100, 48000};

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

QtServersDialog::QtServersDialog(Registry& registry, SourceClientMaker clients, std::function<void()> stored)
    : editor_(registry, kProfileName, std::move(clients), std::move(stored)) {
  dialog_.setObjectName(QStringLiteral("ServersDialog"));
  dialog_.setWindowTitle(QStringLiteral("Extra Servers"));
  list_.setObjectName(QStringLiteral("ServerList"));
  for (const char* protocol : kProtocols) protocol_.addItem(QString::fromLatin1(protocol));
  for (const auto& codec : kCodecs) codec_.addItem(QString::fromLatin1(codec.text));
  for (int rate : kRates) rate_.addItem(QString::number(rate));
  channels_.addItems({QStringLiteral("Mono"), QStringLiteral("Stereo")});
  password_.setEchoMode(QLineEdit::Password);
  insecure_.setObjectName(QStringLiteral("TlsInsecure"));
  insecure_.setText(QStringLiteral("Take a TLS certificate that does not verify"));

  addRow(protocolCaption_, protocol_, "Protocol", "Protocol :");
  addRow(hostCaption_, host_, "Host", "Host :");
  addRow(portCaption_, port_, "Port", "Port :");
  addRow(mountCaption_, mount_, "Mount", "Mount :");
  addRow(userCaption_, user_, "User", "User :");
  addRow(passwordCaption_, password_, "Password", "Password :");
  addRow(codecCaption_, codec_, "Codec", "Codec :");
  addRow(bitrateCaption_, bitrate_, "Bitrate", "Bit rate (kbit/s) :");
  addRow(rateCaption_, rate_, "Rate", "Sample rate :");
  addRow(channelsCaption_, channels_, "Channels", "Channels :");
  addRow(nameCaption_, name_, "Name", "Stream name :");
  form_.addRow(QString(), &insecure_);
  form_.setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  result_.setObjectName(QStringLiteral("Result"));
  result_.setWordWrap(true);
  struct Button {
    QPushButton& button;
    const char* name;
    const char* text;
  };
  for (Button b :
       {Button{add_, "Add", "Add"}, Button{change_, "Change", "Change"}, Button{remove_, "Remove", "Remove"},
        Button{test_, "Test", "Test"}, Button{close_, "Close", "Close"}}) {
    b.button.setObjectName(QString::fromLatin1(b.name));
    b.button.setText(QString::fromLatin1(b.text));
    buttons_.addWidget(&b.button);
  }
  buttons_.insertStretch(4, 1);
  layout_.addWidget(&list_);
  layout_.addLayout(&form_);
  layout_.addWidget(&result_);
  layout_.addLayout(&buttons_);
  dialog_.setMinimumWidth(dialog_.fontMetrics().averageCharWidth() * 100);
  list_.setMaximumHeight(dialog_.fontMetrics().height() * 7);
  // A long address gives up its middle, not the format at its end; the tip shows all of it.
  list_.setTextElideMode(Qt::ElideMiddle);
  list_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  QObject::connect(&list_, &QListWidget::currentRowChanged, &dialog_, [this](int row) {
    if (row >= 0) fill(editor_.form(row));
  });
  QObject::connect(&codec_, &QComboBox::currentIndexChanged, &dialog_, [this] { matchCodec(); });
  QObject::connect(&add_, &QPushButton::clicked, &dialog_, [this] {
    if (editor_.apply(-1, fields())) list_.setCurrentRow(list_.count() - 1);
  });
  QObject::connect(&change_, &QPushButton::clicked, &dialog_, [this] {
    if (list_.currentRow() >= 0) editor_.apply(list_.currentRow(), fields());
  });
  QObject::connect(&remove_, &QPushButton::clicked, &dialog_, [this] { editor_.remove(list_.currentRow()); });
  QObject::connect(&test_, &QPushButton::clicked, &dialog_, [this] {
    if (editor_.test(fields())) result_.setText(QStringLiteral("Logging in..."));
  });
  QObject::connect(&close_, &QPushButton::clicked, &dialog_, &QDialog::hide);

  fill(ServerForm{});
  applySkin(dialog_, currentSkin());
  editor_.attach(this);
}

QtServersDialog::~QtServersDialog() {
  editor_.attach(nullptr);
}

void QtServersDialog::addRow(QLabel& caption, QWidget& field, const char* name, const char* text) {
  field.setObjectName(QString::fromLatin1(name));
  caption.setText(QString::fromLatin1(text));
  caption.setBuddy(&field);
  form_.addRow(&caption, &field);
}

void QtServersDialog::showServers(const std::vector<std::string>& rows) {
  int current = list_.currentRow();
  list_.clear();
  for (const std::string& row : rows) {
    list_.addItem(qText(row));
    list_.item(list_.count() - 1)->setToolTip(qText(row));
  }
  list_.setCurrentRow(std::min(current, list_.count() - 1));
  remove_.setEnabled(!rows.empty());
  change_.setEnabled(!rows.empty());
  result_.clear();
}

void QtServersDialog::showProblem(const std::string& text) {
  result_.setText(qText(text));
}

void QtServersDialog::showTestResult(const std::string& text) {
  postTo(&result_, [this, text = qText(text)] { result_.setText(text); });
}

void QtServersDialog::fill(const ServerForm& form) {
  protocol_.setCurrentIndex(form.protocol);
  host_.setText(qText(form.host));
  port_.setText(qText(form.port));
  mount_.setText(qText(form.mount));
  user_.setText(qText(form.user));
  password_.setText(qText(form.password));
  for (int i = 0; i < codec_.count(); ++i)
    if (kCodecs[i].codec == form.codec) codec_.setCurrentIndex(i);
  bitrate_.setText(qText(form.bitrate));
  rate_.setCurrentIndex(form.rate == 48000 ? 1 : 0);
  channels_.setCurrentIndex(form.channels == 1 ? 0 : 1);
  name_.setText(qText(form.name));
  insecure_.setChecked(form.tlsInsecure);
  matchCodec();
}

ServerForm QtServersDialog::fields() const {
  ServerForm form;
  form.protocol = protocol_.currentIndex();
  form.host = host_.text().trimmed().toStdString();
  form.port = port_.text().trimmed().toStdString();
  form.mount = mount_.text().trimmed().toStdString();
  form.user = user_.text().toStdString();
  form.password = password_.text().toStdString();
  form.codec = kCodecs[std::max(0, codec_.currentIndex())].codec;
  form.bitrate = bitrate_.text().trimmed().toStdString();
  form.rate = kRates[std::max(0, rate_.currentIndex())];
  form.channels = channels_.currentIndex() == 0 ? 1 : 2;
  form.name = name_.text().toStdString();
  form.tlsInsecure = insecure_.isChecked();
  return form;
}

// Opus streams at 48 kHz only.
void QtServersDialog::matchCodec() {
  const bool opus = kCodecs[std::max(0, codec_.currentIndex())].codec == Codec::Opus;
  if (opus) rate_.setCurrentIndex(1);
  rate_.setEnabled(!opus);
}

}  // namespace brovana
