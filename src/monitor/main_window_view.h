#pragma once
// The main window as the core sees it: its title, the caption of the broadcast button and the
// check marks of its menu. The Qt window, the headless front end and the test fakes implement
// it. Calls may come from any thread; an implementation hands them to its own thread.

#include <string>

#include "core/title_state.h"

namespace brovana {

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setBroadcastCaption(const std::string& caption) = 0;
  // A check mark, or the radio mark of a group, on the menu item of that command id.
  virtual void setMenuCheck(int commandId, bool checked) = 0;
};

// The broadcast button's caption: what pressing it does.
inline const char* broadcastCaption(bool onAir) {
  return onAir ? "Stop Broadcast" : "Start Broadcast";
}

}  // namespace brovana
