#include "app/skin/readable_text.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace brovana {
namespace {

double luminance(const QColor& colour) {
  auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  QColor rgb = colour.toRgb();
  return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

// A gradient reads as the mean of its stops.
QColor brushColour(const QBrush& brush) {
  const QGradient* gradient = brush.gradient();
  if (!gradient || gradient->stops().isEmpty()) return brush.color();
  double red = 0, green = 0, blue = 0, alpha = 0;
  for (const QGradientStop& stop : gradient->stops()) {
    red += stop.second.redF(), green += stop.second.greenF(), blue += stop.second.blueF();
    alpha += stop.second.alphaF();
  }
  double n = static_cast<double>(gradient->stops().size());
  return QColor::fromRgbF(static_cast<float>(red / n), static_cast<float>(green / n),
                          static_cast<float>(blue / n), static_cast<float>(alpha / n));
}

QColor opaqueRole(const QWidget& widget, QPalette::ColorRole role) {
  return brushColour(widget.palette().brush(role));
}

// A style sheet's background sets a widget's Window, Base and Button roles alike; its other
// rules (a margin, a border) leave the palette, and the widget paints nothing behind its text.
bool paintsItself(const QWidget& widget, const QColor& colour) {
  if (widget.isWindow() || widget.autoFillBackground()) return true;
  const QPalette& palette = widget.palette();
  return widget.testAttribute(Qt::WA_StyledBackground) && colour.alpha() == 255 &&
         palette.brush(QPalette::Window) == palette.brush(QPalette::Base) &&
         palette.brush(QPalette::Window) == palette.brush(QPalette::Button);
}

QColor backgroundBehind(const QWidget& widget) {
  const QWidget* at = &widget;
  for (; at->parentWidget(); at = at->parentWidget()) {
    QColor colour = opaqueRole(*at, at->backgroundRole());
    if (paintsItself(*at, colour)) return colour;
  }
  return opaqueRole(*at, at->backgroundRole());
}

// A face of its own when it is opaque, else what is behind it.
QColor face(const QWidget& widget, QPalette::ColorRole role) {
  QColor colour = opaqueRole(widget, role);
  return colour.alpha() == 255 ? colour : backgroundBehind(widget);
}

// The text colour of a text element and what it is drawn on; nullopt for other widgets.
std::optional<std::pair<QColor, QColor>> textColours(const QWidget& widget) {
  const QPalette& palette = widget.palette();
  auto on = [&](QPalette::ColorRole text, QColor background) {
    return std::optional(std::pair(palette.color(text), background));
  };
  // A label may get its text later; a button without one shows none.
  if (auto* label = qobject_cast<const QLabel*>(&widget))
    return label->pixmap().isNull() ? on(QPalette::WindowText, backgroundBehind(widget)) : std::nullopt;
  if (auto* button = qobject_cast<const QAbstractButton*>(&widget); button && button->text().isEmpty())
    return std::nullopt;
  if (qobject_cast<const QCheckBox*>(&widget) || qobject_cast<const QRadioButton*>(&widget))
    return on(QPalette::WindowText, backgroundBehind(widget));
  if (auto* group = qobject_cast<const QGroupBox*>(&widget))
    return group->title().isEmpty() ? std::nullopt : on(QPalette::WindowText, backgroundBehind(widget));
  if (auto* button = qobject_cast<const QPushButton*>(&widget))
    return on(QPalette::ButtonText,
              button->isFlat() ? backgroundBehind(widget) : face(widget, QPalette::Button));
  if (qobject_cast<const QToolButton*>(&widget))
    return on(QPalette::ButtonText, face(widget, QPalette::Button));
  if (auto* combo = qobject_cast<const QComboBox*>(&widget); combo && !combo->isEditable())
    return on(QPalette::ButtonText, face(widget, QPalette::Button));
  if (qobject_cast<const QComboBox*>(&widget) || qobject_cast<const QLineEdit*>(&widget) ||
      qobject_cast<const QAbstractSpinBox*>(&widget) || qobject_cast<const QAbstractItemView*>(&widget) ||
      qobject_cast<const QTextEdit*>(&widget) || qobject_cast<const QPlainTextEdit*>(&widget))
    return on(QPalette::Text, face(widget, QPalette::Base));
  return std::nullopt;
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
  double first = luminance(a), second = luminance(b);
  return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

std::optional<UnreadableText> findUnreadableText(QWidget& window) {
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets.prepend(&window);
  // Each on its own: a polished parent does not polish a child that came after it.
  for (QWidget* widget : widgets) widget->ensurePolished();
  for (QWidget* widget : widgets) {
    if (!widget->isEnabled() || !widget->isVisibleTo(&window)) continue;
    auto colours = textColours(*widget);
    if (!colours || contrastRatio(colours->first, colours->second) >= kMinContrast) continue;
    QString name = widget->objectName();
    return UnreadableText{name.isEmpty() ? QString::fromLatin1(widget->metaObject()->className()) : name,
                          colours->first, colours->second};
  }
  return std::nullopt;
}

}  // namespace brovana
