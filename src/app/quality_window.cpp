#include "app/quality_window.h"

#include <QMetaObject>

#include "app/skin/skin.h"
#include "app/window_places.h"
#include "monitor/quality_gauge.h"

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

QtQualityWindow::QtQualityWindow(std::function<void()> help, QWidget* parent)
    : QWidget(parent, Qt::Window), help_(std::move(help)) {
  setWindowTitle("Stream Quality");
  rememberPlace(*this, "StreamQuality");
  panel_.setObjectName("PanelClient");
  panel_.setAttribute(Qt::WA_StyledBackground);
  setUpLabel(cpuCaption_, kCpuCaption, "CPU:", false, kCpuTip);
  setUpLabel(cpu_, kQualityCpuLabel, " ", true, kCpuTip);
  setUpLabel(networkCaption_, kNetworkCaption, "Network:", false, kNetworkTip);
  setUpLabel(network_, kQualityNetworkLabel, " ", true, kNetworkTip);
  setUpLabel(statusCaption_, kStatusCaption, "Status:", false);
  setUpLabel(status_, kQualityStatusLabel, " ", true);
  setUpLabel(sinceCaption_, kSinceCaption, "Since last dropout:", false);
  setUpLabel(since_, kQualitySinceLabel, " ", true);
  setUpLabel(dropoutsCaption_, kDropoutsCaption, "Dropouts:", false);
  setUpLabel(dropouts_, kQualityDropoutsLabel, " ", true);
  for (QLabel* label : {&statusCaption_, &status_}) label->setProperty("statusText", true);
  status_.setWordWrap(true);
  helpButton_.setObjectName(idName(kHelpButton));
  helpButton_.setToolTip(kHelpTip);
  connect(&helpButton_, &QPushButton::clicked, this, [this] {
    if (help_) help_();
  });

  const std::pair<QWidget*, int> rows[][4] = {
      {{&cpuCaption_, 1}, {&cpu_, 1}, {&networkCaption_, 1}, {&network_, 2}},
      {{&statusCaption_, 1}, {&status_, 4}, {}, {}},
      {{&sinceCaption_, 1}, {&since_, 1}, {&dropoutsCaption_, 1}, {&dropouts_, 1}},
  };
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      if (auto [widget, span] = rows[row][column]; widget) grid_.addWidget(widget, row, column, 1, span);
  grid_.addWidget(&helpButton_, 2, 4);
  grid_.setColumnStretch(3, 1);
  outer_.setContentsMargins(0, 0, 0, 0);
  outer_.addWidget(&panel_);
  applySkin(*this, currentSkin());
  resize(440, 115);
}

void QtQualityWindow::setUpLabel(QLabel& label, int id, const char* text, bool figure, const char* tooltip) {
  label.setText(text);
  label.setObjectName(idName(id));
  label.setProperty(figure ? "figure" : "caption", true);
  QFont font = label.font();
  font.setPointSize(8);
  font.setWeight(figure ? QFont::Bold : QFont::Normal);
  label.setFont(font);
  if (tooltip) label.setToolTip(tooltip);
}

void QtQualityWindow::setLabel(int id, const std::string& text) {
  QMetaObject::invokeMethod(
      this,
      [this, id, text = QString::fromStdString(text)] {
        if (auto* label = findChild<QLabel*>(idName(id))) label->setText(text);
      },
      Qt::QueuedConnection);
}

void QtQualityWindow::show() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        QWidget::show();
        raise();
      },
      Qt::QueuedConnection);
}

void QtQualityWindow::setSkin(const std::string& path) {
  applySkin(*this, skinFor(path));
}

}  // namespace brovana
