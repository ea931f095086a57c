#pragma once
// The skin layer every window draws its face through. A window names each skinned element by
// its numeric id ("id" followed by the number: the broadcast button is "id1020"), so a skin's
// style sheet addresses it as #id1020 and its [Captions] give it a caption. The element that
// carries the panel colour is named "PanelClient", else "Panel"; labels that show status texts
// carry the property statusText=true and take the status text colour.
//
// A window applies the current skin when it opens and again when the member picks another
// (Skinnable::setSkin). Bad skins never break a window: loading falls back to the default skin,
// then to the plain look of the toolkit, and says why in the log.

#include <QColor>
#include <QString>
#include <optional>
#include <string>

#include "app/skin/skin_file.h"

class QWidget;

namespace brovana {

class Prompts;
class ProgramExit;

struct Skin {
  std::string path;  // where it came from; empty for the plain look
  SkinFile file;
};

// "id1020"
QString elementName(int id);

// The skin file at `path`; when it cannot be used (missing, not a skin, a style sheet Qt
// rejects), the default skin, and when that fails too, the plain look. Each fallback is logged.
Skin loadSkin(const std::string& path);

// The skin that windows take when they open.
const Skin& currentSkin();
void setCurrentSkin(Skin skin);
// The current skin when it came from `path`, else the skin loaded from there.
Skin skinFor(const std::string& path);

// Style sheet, captions and panel colours onto a window and its elements. The window remembers
// the captions it was built with, so that a skin without captions brings them back.
void applySkin(QWidget& window, const Skin& skin);
// The window's panel element: "PanelClient", else "Panel"; null without one.
QWidget* findPanel(QWidget& window);
// Marks a label as a status text.
void markStatusText(QWidget& label);

QColor toQColor(SkinColour colour);

// The skin file to load at start-up: the stored "lc_skin" when it can be read, else the default
// skin with a warning; with neither, a message and the end of the program (nullopt). Asked once;
// later calls return the same name unchecked.
std::optional<std::string> skinName(Prompts& prompts, ProgramExit& exit);

}  // namespace brovana
