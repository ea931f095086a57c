#pragma once
// Prompts and the program end on Qt. Made on the GUI thread, before any broadcast thread starts.
//
// On the GUI thread a box or a question is modal, as the core expects: the call returns when
// the member has answered. From another thread a box is queued to the GUI thread and shown
// there without waiting, so a broadcast thread never stalls on a member who is away; only a
// question waits for its answer (a blocking queued call). The notice, the wait cursor and the
// desktop's "open" act at once on the GUI thread, which is often busy with the start-up or a
// connect just then. The studio's own help pages and the log open in its page viewer, which
// needs no browser; everything else goes to the desktop.

#include <QObject>
#include <atomic>
#include <list>
#include <memory>

#include "app/headless_front.h"
#include "app/message_dialogs.h"
#include "app/page_viewer.h"
#include "core/prompts.h"

namespace brovana {

class QtPrompts final : public Prompts {
 public:
  QtPrompts();
  ~QtPrompts() override;

  using Prompts::ask;
  bool ask(const Question& question) override { return choose(question) == Answer::Yes; }
  Answer choose(const Question& question) override;
  void notice(std::string_view text) override;
  void waitCursor(bool on) override;
  void open(std::string_view target) override;
  // From any thread, once a stop signal came: the exit that follows waits for nobody. No box is
  // shown any more (each is still logged), and every question, also one open now, gets the
  // answer of the studio without windows.
  void stopAsking() { stopped_ = true; }

 protected:
  void showBox(BoxKind kind, std::string_view text, std::string_view caption) override;

 private:
  void showModeless(BoxKind kind, const std::string& text, const std::string& caption);

  QObject gui_;  // where the other threads' calls are queued
  // GUI thread only:
  std::unique_ptr<NoticeWindow> notice_;
  std::list<std::unique_ptr<MessageDialog>> modeless_;  // boxes from other threads, until closed
  std::unique_ptr<PageViewer> viewer_;
  int cursorDepth_ = 0;
  std::atomic<bool> stopped_{false};
};

// Records the end as the headless studio does, and ends the event loop with the code; before
// the loop runs, the caller reads ended().
class QtProgramExit final : public HeadlessExit {
 public:
  void endProgram(int code) override;
};

}  // namespace brovana
