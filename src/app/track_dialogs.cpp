#include "app/track_dialogs.h"

#include "app/elided_label.h"
#include "app/gui_thread.h"
#include "app/skin/skin.h"
#include "playlist/mp3_info.h"

namespace brovana {
namespace {

constexpr int kFindTextLength = 255;
constexpr int kTrackInfoCaptionOffset = 1000;

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void name(QWidget& element, int id) {
  element.setObjectName(elementName(id));
}

void button(QPushButton& button, int id, const char* caption, const char* tooltip) {
  name(button, id);
  button.setText(QString::fromLatin1(caption));
  if (tooltip) button.setToolTip(QString::fromLatin1(tooltip));
}

}  // namespace

TagDialog::TagDialog(QWidget* parent, PlaylistItem& item, Prompts& prompts)
    : QDialog(parent), item_(item), prompts_(prompts) {
  setObjectName(QStringLiteral("TagDialog"));
  setWindowTitle(fromUtf8(item.mp3Info().fileName()));
  struct Field {
    QLabel& caption;
    int captionId;
    const char* text;
    QLineEdit& edit;
    int id;
  };
  for (Field field : {Field{titleCaption_, 1073, "Track name", title_, 1074},
                      Field{artistCaption_, 1083, "Artist", artist_, 1075},
                      Field{albumCaption_, 1046, "Album", album_, 1076}}) {
    name(field.caption, field.captionId);
    field.caption.setText(QString::fromLatin1(field.text));
    field.caption.setBuddy(&field.edit);
    name(field.edit, field.id);
    field.edit.setMaxLength(kTagFieldCharacters);
    form_.addRow(&field.caption, &field.edit);
  }
  form_.setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  note_.setText(QStringLiteral("An ID3 v1 tag holds up to 30 characters in each field."));
  note_.setProperty("caption", true);
  button(add_, 1078, "Add Tag", "Adds an ID3V1 tag");
  button(cancel_, 1077, "Cancel", "Exits this dialog");
  add_.setDefault(true);
  buttons_.addStretch(1);
  buttons_.addWidget(&add_);
  buttons_.addWidget(&cancel_);
  layout_.addWidget(&note_);
  layout_.addLayout(&form_);
  layout_.addLayout(&buttons_);
  // Room for 30 characters in each field.
  setMinimumWidth(fontMetrics().averageCharWidth() * 48);
  connect(&add_, &QPushButton::clicked, this, [this] { write(); });
  connect(&cancel_, &QPushButton::clicked, this, &QDialog::reject);
  applySkin(*this, currentSkin());
}

void TagDialog::write() {
  TagTexts texts{title_.text().toStdString(), artist_.text().toStdString(), album_.text().toStdString()};
  if (writeTrackTag(item_, texts, prompts_)) accept();
}

TrackInfoDialog::TrackInfoDialog(QWidget* parent, const MP3Info& info) : QDialog(parent) {
  setObjectName(QStringLiteral("TrackInfoDialog"));
  setWindowTitle(QStringLiteral("Track Info"));
  panel_.setObjectName(QStringLiteral("Panel"));
  struct Row {
    int id;
    const char* caption;
    std::string value;
  };
  const Row rows[] = {{1057, "File", info.fileName()},
                      {1060, "Title", info.title()},
                      {1061, "Artist", info.artist()},
                      {1062, "Album", info.album()},
                      {1066, "Length", minutesSeconds(info.duration())},
                      {1067, "Format", info.formatInfo()}};
  int r = 0;
  for (const Row& row : rows) {
    QLabel* caption = labels_.emplace_back(std::make_unique<QLabel>(QString::fromLatin1(row.caption))).get();
    name(*caption, row.id + kTrackInfoCaptionOffset);
    caption->setProperty("caption", true);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QLabel* value = labels_.emplace_back(std::make_unique<ElidedLabel>()).get();
    name(*value, row.id);
    markStatusText(*value);
    value->setText(fromUtf8(row.value));
    grid_.addWidget(caption, r, 0);
    grid_.addWidget(value, r++, 1);
  }
  grid_.setColumnStretch(1, 1);
  button(play_, 1064, "Play", "Start playing the playlist at this song");
  button(close_, 1055, "Close", nullptr);
  close_.setDefault(true);
  buttons_.addStretch(1);
  buttons_.addWidget(&play_);
  buttons_.addWidget(&close_);
  layout_.addWidget(&panel_);
  layout_.addLayout(&buttons_);
  setMinimumWidth(fontMetrics().averageCharWidth() * 56);
  connect(&play_, &QPushButton::clicked, this, [this] { done(kPlay); });
  connect(&close_, &QPushButton::clicked, this, &QDialog::reject);
  applySkin(*this, currentSkin());
}

FindWindow::FindWindow(QWidget* parent, Prompts& prompts, std::function<Playlist*()> playlist)
    : QDialog(parent), prompts_(prompts), playlist_(std::move(playlist)) {
  setObjectName(QStringLiteral("FindWindow"));
  setWindowTitle(QStringLiteral("Find Track"));
  name(caption_, 1073);
  caption_.setText(QStringLiteral("Title, artist or album:"));
  caption_.setBuddy(&text_);
  name(text_, 1122);
  text_.setMaxLength(kFindTextLength);
  button(search_, 1121, "Find", nullptr);
  search_.setProperty("skinCaption", false);  // "Find" and "Find Next" tell where the search is
  button(close_, 1056, "Close", nullptr);
  // The Enter key anywhere in the window searches.
  search_.setDefault(true);
  row_.addWidget(&caption_);
  row_.addWidget(&text_, 1);
  buttons_.addStretch(1);
  buttons_.addWidget(&search_);
  buttons_.addWidget(&close_);
  layout_.addLayout(&row_);
  layout_.addLayout(&buttons_);
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  connect(&search_, &QPushButton::clicked, this, [this] { find(); });
  connect(&close_, &QPushButton::clicked, this, &QDialog::reject);
  // Closing hides the window; the next search still begins after the last match.
  connect(this, &QDialog::finished, this, [this] { search_.setText(QStringLiteral("Find")); });
  applySkin(*this, currentSkin());
}

void FindWindow::showSearch() {
  bringToFront(*this);
  text_.setFocus();
  text_.selectAll();
}

void FindWindow::find() {
  if (finder_.findNext(playlist_(), text_.text().toStdString(), prompts_) >= 0)
    search_.setText(QStringLiteral("Find Next"));
}

}  // namespace brovana
