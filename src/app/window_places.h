#pragma once
// Where the studio's windows open. Each opens where the member last left it, at the size it had,
// as the settings keep it (key "Software\Zelvora\Live\Windows", one value per window,
// "x,y,width,height" of its inside, the frame left out); a window without a stored place, or one
// whose place is on no screen any more, opens beside the main window, never over it and clear of
// the other windows if it can.

#include <QRect>
#include <vector>

class QWidget;

namespace brovana {

// From now on: places the window when it first shows, and records its place whenever it moves
// or changes size. GUI thread; `name` names the window's value in the settings.
void rememberPlace(QWidget& window, const char* name);

// Where a window of `size` goes beside `main` within `screen`: to its right, else below, to its
// left or above, each slid along that side until clear of `taken`. With no clear place, the
// first place beside the main window that fits the screen; with none, the right side, held on
// the screen. All rectangles in global coordinates, frames included.
QRect placeBeside(const QRect& main, QSize size, const QRect& screen, const std::vector<QRect>& taken);

// Where the main window of `size` (frame included) opens without a stored place: centred in
// `screen` together with `room` beside it on the right, so that its neighbours fit there; held
// on the screen, at its left or top when it is too small for both.
QRect placeMain(QSize size, const QRect& screen, int room);

}  // namespace brovana
