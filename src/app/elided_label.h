#pragma once
// A one-line label for texts of any length (track titles, errors): it takes the room its layout
// gives it, shows what fits with "..." and the whole text as its tooltip, so a long title never
// stretches or cuts a window.

#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace brovana {

class ElidedLabel final : public QLabel {
 public:
  ElidedLabel() {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setMinimumWidth(fontMetrics().averageCharWidth() * 8);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QRect area = contentsRect();
    QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    setToolTip(shown == text() ? QString() : text());
    style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
  }
};

}  // namespace brovana
