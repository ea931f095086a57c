#pragma once
// While the GUI thread needs the end of a command on the studio's worker (a stop, a dialog's
// check with the service, the exit), the windows go on painting and taking reports, and the
// command's questions appear; only the member's clicks and keys wait for it.

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>

#include "app/gui_thread.h"
#include "broadcast/command_worker.h"

namespace brovana {

class EventLoopWaiter final : public CommandWaiter {
 public:
  void waitUntil(const std::function<bool()>& done) override {
    if (!onGuiThread()) return;
    ++depth_;
    while (!done())
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    --depth_;
  }
  void wake() override {
    postTo(&wakeTarget_, [] {});
  }
  // The GUI thread is inside waitUntil: what would end the windows must wait.
  bool waiting() const { return depth_ > 0; }

 private:
  QObject wakeTarget_;
  int depth_ = 0;  // GUI thread
};

}  // namespace brovana
