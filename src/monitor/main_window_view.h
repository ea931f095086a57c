#pragma once
// The main window as the core sees it: its title, the caption of the broadcast button and the
// check marks of its menu. The Qt window, the headless front end and the test fakes implement
// it. Calls may come from any thread; an implementation hands them to its own thread.

#include <string>

namespace brovana {

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual void setBroadcastCaption(const std::string& caption) = 0;
  // A check mark, or the radio mark of a group, on the menu item of that command id.
  virtual void setMenuCheck(int commandId, bool checked) = 0;
};

// The connection states that the title shows.
enum TitleState : int {
  kTitleOnAir = 1,
  kTitleOffAir = 2,
  kTitleNoConnection = 3,
  kTitleTurningServerOn = 4,
  kTitleReconnecting = 5,  // the title stays as it is
};

}  // namespace brovana
