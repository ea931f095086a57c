#pragma once
// The "Stream Quality" window and the gauge behind it: the figures of its QualityGauge on a
// panel, with the skin's captions beside them and a help button. Elements are named by their
// ids ("id1101"), the panel is "PanelClient" and the status texts carry statusText=true, so that
// a skin styles, captions and colours them.
//
// The gauge is fed on the sources' threads; its label texts and its show are queued to the GUI
// thread, which alone touches the widgets.

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

#include "broadcast/studio_parts.h"
#include "monitor/quality_gauge.h"

namespace brovana {

class QtQualityWindow final : public QWidget, public QualityWindow, public LabelWindowView {
 public:
  static constexpr int kHelpButton = 1107;

  // `help` runs when the help button is pressed (it opens the line quality page).
  explicit QtQualityWindow(std::function<void()> help, QWidget* parent = nullptr);

  // What the sources' quality figures go to; it lives as long as the window.
  QualityReports* gauge() override { return &gauge_; }
  // The gauge's texts, from any thread.
  void setLabel(int id, const std::string& text) override;
  // Shows the window as a normal window and brings it forward; from any thread.
  void show() override;
  void setSkin(const std::string& path) override;

 private:
  void setUpLabel(QLabel& label, int id, const char* text, bool figure, const char* tooltip = nullptr);

  std::function<void()> help_;
  QGridLayout outer_{this};
  QWidget panel_;  // before its elements, which go first
  QGridLayout grid_{&panel_};
  QLabel cpuCaption_, cpu_, networkCaption_, network_, statusCaption_, status_, sinceCaption_, since_,
      dropoutsCaption_, dropouts_;
  QPushButton helpButton_{"?"};
  QualityGauge gauge_{this};
};

}  // namespace brovana
