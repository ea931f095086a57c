#include "app/program_info_dialog.h"

#include "app/gui_thread.h"
#include "app/skin/skin.h"

namespace brovana {
namespace {

// The service keeps the fields of a title update to this length.
constexpr int kFieldLength = 100;

std::optional<std::string_view> given(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return std::string_view(text);
}

}  // namespace

QtProgramInfoDialog::QtProgramInfoDialog(Submit post) : submitTo_(std::move(post)) {
  dialog_.setObjectName(QStringLiteral("ProgramInfoDialog"));
  dialog_.setWindowTitle(QStringLiteral("Submit Program Information"));
  struct Field {
    QLabel& caption;
    QLineEdit& edit;
    int id;
    const char* text;
  };
  for (Field field :
       {Field{titleCaption_, title_, 1092, "Title"}, Field{artistCaption_, artist_, 1093, "Artist"},
        Field{albumCaption_, album_, 1094, "Album"}}) {
    field.caption.setObjectName(elementName(field.id + 3));
    field.caption.setText(QString::fromLatin1(field.text));
    field.caption.setBuddy(&field.edit);
    field.edit.setObjectName(elementName(field.id));
    field.edit.setMaxLength(kFieldLength);
    form_.addRow(&field.caption, &field.edit);
  }
  form_.setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  title_.setPlaceholderText(QStringLiteral("What is on the air now"));
  result_.setObjectName(elementName(1100));
  submit_.setObjectName(elementName(1098));
  submit_.setText(QStringLiteral("Submit"));
  submit_.setDefault(true);
  close_.setObjectName(elementName(1099));
  close_.setText(QStringLiteral("Close"));
  buttons_.addWidget(&result_, 1);
  buttons_.addWidget(&submit_);
  buttons_.addWidget(&close_);
  layout_.addLayout(&form_);
  layout_.addLayout(&buttons_);
  dialog_.setMinimumWidth(dialog_.fontMetrics().averageCharWidth() * 50);
  QObject::connect(&submit_, &QPushButton::clicked, &dialog_, [this] { submit(); });
  QObject::connect(&close_, &QPushButton::clicked, &dialog_, &QDialog::close);
  QObject::connect(&title_, &QLineEdit::textChanged, &dialog_,
                   [this](const QString& text) { submit_.setEnabled(!text.trimmed().isEmpty()); });
  submit_.setEnabled(false);
  applySkin(dialog_, currentSkin());
  show();
}

void QtProgramInfoDialog::show() {
  bringToFront(dialog_);
}

void QtProgramInfoDialog::setSkin(const std::string& path) {
  applySkin(dialog_, skinFor(path));
}

void QtProgramInfoDialog::submit() {
  std::string title = title_.text().trimmed().toStdString();
  std::string artist = artist_.text().trimmed().toStdString();
  std::string album = album_.text().trimmed().toStdString();
  bool sent = submitTo_(title, given(artist), given(album));
  result_.setText(sent ? QStringLiteral("Sent.")
                       : QStringLiteral("Not sent: the studio has no link to the service."));
}

}  // namespace brovana
