#include "app/visuals_widget.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <cmath>
#include <cstring>

namespace brovana {

VisualsWidget::VisualsWidget(QWidget* parent) : QWidget(parent), visual_(this) {
  setObjectName("visuals");
  setAttribute(Qt::WA_OpaquePaintEvent);
  visual_.setShown(false);
  takeColours();
}

VisualsWidget::~VisualsWidget() {
  visual_.prepareToClose();
}

void VisualsWidget::setDisplay(int display, bool on) {
  visual_.setDisplay(display, on);
  update();  // with every display off, the area is left empty
}

void VisualsWidget::showFrame(const Canvas& frame) {
  {
    std::lock_guard lock(frameMutex_);
    if (frame_.width() != frame.width() || frame_.height() != frame.height())
      frame_ = QImage(frame.width(), frame.height(), QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y)
      std::memcpy(frame_.scanLine(y), frame.bits() + static_cast<size_t>(y) * frame.width(),
                  static_cast<size_t>(frame.width()) * 4);
  }
  // One repaint in the queue at a time: a GUI thread that falls behind skips frames.
  if (repaintQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaintQueued_ = false;
        update();
      },
      Qt::QueuedConnection);
}

void VisualsWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(backgroundRole()));
  if (!visual_.active()) return;
  // The screen may have changed under the window since the last frame.
  const qreal ratio = devicePixelRatioF();
  std::lock_guard lock(frameMutex_);
  if (frame_.width() != std::lround(width() * ratio)) {
    takeArea();
    return;
  }
  frame_.setDevicePixelRatio(ratio);
  painter.drawImage(0, 0, frame_);
}

void VisualsWidget::takeArea() {
  const qreal ratio = devicePixelRatioF();
  visual_.setArea(static_cast<int>(std::lround(width() * ratio)),
                  static_cast<int>(std::lround(height() * ratio)), ratio);
}

void VisualsWidget::takeColours() {
  const QPalette& colours = palette();
  visual_.setColours({colours.color(backgroundRole()).rgb(), colours.color(foregroundRole()).rgb(),
                      colours.color(QPalette::Highlight).rgb()});
}

void VisualsWidget::resizeEvent(QResizeEvent*) {
  takeArea();
}

void VisualsWidget::changeEvent(QEvent* event) {
  // A skin's style sheet gives the area its colours.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) takeColours();
  QWidget::changeEvent(event);
}

void VisualsWidget::showEvent(QShowEvent* event) {
  takeArea();
  visual_.setShown(true);
  QWidget::showEvent(event);
}

void VisualsWidget::hideEvent(QHideEvent* event) {
  visual_.setShown(false);
  QWidget::hideEvent(event);
}

}  // namespace brovana
