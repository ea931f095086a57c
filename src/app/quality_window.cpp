#include "app/quality_window.h"

#include <QGridLayout>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

#include "monitor/line_quality.h"

namespace brovana {
namespace {

constexpr const char* kCpuTip =
    "Measures how much of the music your CPU is able to process. A value less than 100% shows your "
    "computer may not be fast enough to process this track.";
constexpr const char* kNetworkTip =
    "Measures how much of your stream is able to be sent out over your network connection";
constexpr const char* kHelpTip = "Explains common line quality problems";

// Captions of the elements whose texts come with the skin; these stand until one does.
enum Caption : int {
  kCpuCaption = 1073,
  kNetworkCaption = 1074,
  kStatusCaption = 1075,
  kSinceCaption = 1078,
  kDropoutsCaption = 1079
};

QString idName(int id) {
  return QStringLiteral("id%1").arg(id);
}

}  // namespace

StreamQualityWindow::StreamQualityWindow(std::function<void()> help, QWidget* parent)
    : QWidget(parent, Qt::Window), help_(std::move(help)) {
  setWindowTitle("Stream Quality");
  auto* panel = new QWidget(this);
  panel->setObjectName("PanelClient");
  panel->setAttribute(Qt::WA_StyledBackground);
  // The look without a skin: a skin's style sheet replaces this one.
  setStyleSheet(
      "#PanelClient { background: black; } QLabel { color: silver; } "
      "QLabel[statusText=\"true\"] { color: rgb(0, 255, 0); }");
  auto* grid = new QGridLayout(panel);
  auto place = [&](QLabel* label, int row, int column, int span = 1) {
    label->setParent(panel);
    grid->addWidget(label, row, column, 1, span);
  };
  place(addLabel(kCpuCaption, "CPU:", false, kCpuTip), 0, 0);
  place(addLabel(kQualityCpuLabel, " ", true, kCpuTip), 0, 1);
  place(addLabel(kNetworkCaption, "Network:", false, kNetworkTip), 0, 2);
  place(addLabel(kQualityNetworkLabel, " ", true, kNetworkTip), 0, 3);
  QLabel* statusCaption = addLabel(kStatusCaption, "Status:", false);
  QLabel* status = addLabel(kQualityStatusLabel, " ", true);
  for (QLabel* label : {statusCaption, status}) label->setProperty("statusText", true);
  status->setWordWrap(true);
  place(statusCaption, 1, 0);
  place(status, 1, 1, 4);
  place(addLabel(kSinceCaption, "Since last dropout:", false), 2, 0);
  place(addLabel(kQualitySinceLabel, " ", true), 2, 1);
  place(addLabel(kDropoutsCaption, "Dropouts:", false), 2, 2);
  place(addLabel(kQualityDropoutsLabel, " ", true), 2, 3);

  auto* helpButton = new QPushButton("?", panel);
  helpButton->setObjectName(idName(kHelpButton));
  helpButton->setToolTip(kHelpTip);
  connect(helpButton, &QPushButton::clicked, this, [this] {
    if (help_) help_();
  });
  grid->addWidget(helpButton, 2, 4);
  grid->setColumnStretch(3, 1);

  auto* outer = new QGridLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(panel);
  resize(440, 115);
  move(0, 0);
}

QLabel* StreamQualityWindow::addLabel(int id, const QString& text, bool figure, const char* tooltip) {
  auto* label = new QLabel(text, this);
  label->setObjectName(idName(id));
  QFont font = label->font();
  font.setPointSize(8);
  font.setWeight(figure ? QFont::Bold : QFont::Normal);
  label->setFont(font);
  if (tooltip) label->setToolTip(tooltip);
  return label;
}

void StreamQualityWindow::setLabel(int id, const std::string& text) {
  QMetaObject::invokeMethod(
      this,
      [this, id, text = QString::fromStdString(text)] {
        if (auto* label = findChild<QLabel*>(idName(id))) label->setText(text);
      },
      Qt::QueuedConnection);
}

void StreamQualityWindow::show() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        QWidget::show();
        raise();
      },
      Qt::QueuedConnection);
}

void StreamQualityWindow::setSkin(const std::string&) {}

}  // namespace brovana
