#pragma once
// The connection states that the main window's title shows; the server connection reports them
// and the status display turns them into titles.

namespace brovana {

enum TitleState : int {
  kTitleOnAir = 1,
  kTitleOffAir = 2,
  kTitleNoConnection = 3,
  kTitleTurningServerOn = 4,
  kTitleReconnecting = 5,  // the title stays as it is
};

}  // namespace brovana
