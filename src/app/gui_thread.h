#pragma once
// Reports reach the windows from the broadcast threads as well as from the user-interface
// thread. Widgets are touched on the GUI thread only: every update is queued there, in the order
// it was made, whichever thread made it (an update made directly on the GUI thread could
// otherwise overtake an older one still queued).

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QThread>
#include <QWidget>
#include <string>
#include <utility>

#include "monitor/status_views.h"

namespace brovana {

inline bool onGuiThread() {
  return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs `work` on `context`'s thread after what was queued before; dropped when `context` goes
// first.
template <typename Work>
void postTo(QObject* context, Work&& work) {
  QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::QueuedConnection);
}

// Shows a window above the others, with the keyboard: what a command that opens a window means.
inline void bringToFront(QWidget& window) {
  window.show();
  window.raise();
  window.activateWindow();
}

// A label as a target of the status display. The label must outlive the reports.
class LabelTarget final : public TextTarget {
 public:
  explicit LabelTarget(QLabel& label) : label_(label) {}
  void setText(const std::string& text) override {
    postTo(&label_, [label = &label_, text = QString::fromStdString(text)] { label->setText(text); });
  }

 private:
  QLabel& label_;
};

}  // namespace brovana
