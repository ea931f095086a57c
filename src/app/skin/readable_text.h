#pragma once
// Whether a window's texts stand out from what they are drawn on once its style sheet took
// effect: the WCAG 2 contrast ratio of each text colour against its background. A skin can set
// any colour on any element, or none where the panel it paints calls for one.

#include <QColor>
#include <QString>
#include <optional>

class QWidget;

namespace brovana {

// From 1 (the same luminance) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

// Less than this is unreadable: WCAG's least contrast, the one for large text.
inline constexpr double kMinContrast = 3.0;

struct UnreadableText {
  QString element;  // its object name, else its class
  QColor text;
  QColor background;
};

// The first enabled text element of `window` (the window included) whose colour has less than
// kMinContrast against its background: labels, check boxes and group titles against the nearest
// widget behind them that paints itself, buttons against their face, fields and lists against
// their base. Polishes the window's widgets first.
std::optional<UnreadableText> findUnreadableText(QWidget& window);

}  // namespace brovana
