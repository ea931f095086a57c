#include "app/visuals_widget.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <cstring>

namespace brovana {

VisualsWidget::VisualsWidget(QWidget* parent) : QWidget(parent), visual_(this) {
  setObjectName("visuals");
  setAttribute(Qt::WA_OpaquePaintEvent);
  visual_.setBackground(palette().color(backgroundRole()).rgb());
}

VisualsWidget::~VisualsWidget() {
  visual_.prepareToClose();
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
  std::lock_guard lock(frameMutex_);
  painter.drawImage(0, 0, frame_);
}

void VisualsWidget::resizeEvent(QResizeEvent*) {
  visual_.setArea(width(), height());
}

void VisualsWidget::changeEvent(QEvent* event) {
  // A skin's style sheet gives the area its colour.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
    visual_.setBackground(palette().color(backgroundRole()).rgb());
  QWidget::changeEvent(event);
}

}  // namespace brovana
