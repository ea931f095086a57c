#include "app/message_dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "app/skin/skin.h"

namespace brovana {
namespace {

// The glide is short: the dialog is there to be read, not watched.
constexpr int kGlideDistance = 40;
constexpr int kGlideMilliseconds = 260;
// The text wraps at about this many average characters.
constexpr int kLineLength = 56;

// The dialogs' own badges: a round sign in the colour of its kind, drawn at the screen's scale.
struct Badge {
  QColor colour;
  QString sign;
};

QPixmap drawBadge(const Badge& badge) {
  int size = QFontMetrics(QApplication::font()).height() * 2;
  qreal scale = qApp->devicePixelRatio();
  QPixmap pixmap(QSize(size, size) * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(badge.colour);
  painter.drawEllipse(QRectF(0, 0, size, size));
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(size * 3 / 5);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, badge.sign);
  return pixmap;
}

QPixmap badgeFor(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning:
      return drawBadge({QColor(0xe8, 0x9a, 0x10), QStringLiteral("!")});
    case BoxKind::Error:
      return drawBadge({QColor(0xd9, 0x30, 0x4f), QStringLiteral("\u2715")});
    default:
      return drawBadge({QColor(0x3b, 0x6f, 0xd8), QStringLiteral("i")});
  }
}

QString orDefault(const std::string& caption, const char* fallback) {
  return caption.empty() ? QString::fromLatin1(fallback) : QString::fromStdString(caption);
}

}  // namespace

Glide::Glide(QWidget& panel) : panel_(panel), animation_(&panel, "pos") {
  animation_.setDuration(kGlideMilliseconds);
  animation_.setEasingCurve(QEasingCurve::OutCubic);  // the "decel" of the skin's script
}

void Glide::start() {
  if (QLayout* layout = panel_.window()->layout()) layout->activate();
  QPoint end = panel_.pos();
  animation_.stop();
  animation_.setStartValue(end - QPoint(kGlideDistance, 0));
  animation_.setEndValue(end);
  animation_.start();
}

MessageDialog::MessageDialog(const QPixmap& badge, const std::string& text, const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
  setModal(true);
  panel_.setObjectName(QStringLiteral("Panel"));
  icon_.setObjectName(elementName(kIdMessageIcon));
  text_.setObjectName(elementName(kIdMessageText));
  icon_.setPixmap(badge);
  icon_.setAlignment(Qt::AlignTop);
  text_.setText(QString::fromStdString(text));
  text_.setWordWrap(true);
  text_.setTextInteractionFlags(Qt::TextSelectableByMouse);
  panelLayout_.addWidget(&icon_);
  panelLayout_.addWidget(&text_, 1);
  layout_.addWidget(&panel_);
  buttons_.addStretch(1);
  layout_.addLayout(&buttons_);
  layout_.setSizeConstraint(QLayout::SetFixedSize);
  applySkin(*this, currentSkin());
  // A short text on one line, a long one in lines of a comfortable length, in the skin's font.
  text_.ensurePolished();
  QFontMetrics metrics = text_.fontMetrics();
  text_.setMinimumWidth(
      std::min(metrics.averageCharWidth() * kLineLength, metrics.horizontalAdvance(text_.text()) + 2));
}

MessageDialog::MessageDialog(BoxKind kind, const std::string& text, const std::string& caption)
    : MessageDialog(badgeFor(kind), text, caption) {
  setObjectName(QStringLiteral("MessageDialog"));
  addButton(kIdOk, QStringLiteral("OK")).setDefault(true);
  second_.hide();
  third_.hide();
  connect(&first_, &QPushButton::clicked, this, &QDialog::accept);
}

MessageDialog::MessageDialog(const Question& question)
    : MessageDialog(drawBadge({QColor(0x2a, 0x9d, 0x8f), QStringLiteral("?")}), question.text,
                    question.caption) {
  setObjectName(QStringLiteral("QuestionDialog"));
  QPushButton& yes = addButton(kIdYes, orDefault(question.yesCaption, "Yes"));
  if (!question.otherCaption.empty()) {
    third_.setObjectName(elementName(kIdOther));
    third_.setText(QString::fromStdString(question.otherCaption));
    third_.setProperty("skinCaption", false);
    buttons_.addWidget(&third_);
    connect(&third_, &QPushButton::clicked, this, [this] { done(kOtherResult); });
  } else {
    third_.hide();
  }
  QPushButton& no = addButton(kIdNo, orDefault(question.noCaption, "No"));
  // Escape rejects, which is No; Enter takes the answer that keeps the station on the air.
  QPushButton& preferred = question.defaultNo ? no : yes;
  preferred.setDefault(true);
  preferred.setFocus();
  connect(&first_, &QPushButton::clicked, this, &QDialog::accept);
  connect(&second_, &QPushButton::clicked, this, &QDialog::reject);
}

QPushButton& MessageDialog::addButton(int id, const QString& caption) {
  QPushButton& button = first_.objectName().isEmpty() ? first_ : second_;
  button.setObjectName(elementName(id));
  button.setText(caption);
  button.setProperty("skinCaption", false);  // the caller's captions, not the skin's
  buttons_.addWidget(&button);
  return button;
}

void MessageDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  glide_.start();
}

NoticeWindow::NoticeWindow() {
  setObjectName(QStringLiteral("NoticeWindow"));
  setWindowTitle(QStringLiteral("Brovana-Live"));
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  panel_.setObjectName(QStringLiteral("Panel"));
  text_.setObjectName(elementName(kIdNoticeText));
  text_.setAlignment(Qt::AlignCenter);
  markStatusText(text_);
  panelLayout_.addWidget(&text_);
  layout_.addWidget(&panel_);
  layout_.setContentsMargins(0, 0, 0, 0);
  layout_.setSizeConstraint(QLayout::SetFixedSize);
}

void NoticeWindow::showText(const QString& text) {
  applySkin(*this, currentSkin());
  text_.setText(text);
  layout_.activate();
  if (!isVisible()) {
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QPoint middle = screen.center() - QPoint(width() / 2, height() / 2);
    move(middle + QPoint(kOffset, 0));
    show();
    glide_.start();
  }
  raise();
  // The start-up keeps the GUI thread busy; the notice is painted now or not at all.
  repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace brovana
