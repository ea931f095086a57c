#pragma once
// Answers the studio's message and question dialogs the way a member does: it finds each one
// among the open windows, by its object name, and clicks a button. Questions are answered by
// the rule whose text fragment they contain (No without one); boxes get OK. Other modal windows
// get the button press asked for, once they are the active modal window. Everything seen is kept
// for the test to look at. Runs on the GUI thread, also inside the dialogs' own loops.

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/message_dialogs.h"

namespace brovana::test {

class DialogDriver {
 public:
  // `tick` runs at each look, for whatever else the test does meanwhile.
  explicit DialogDriver(std::function<void()> tick = {}) : tick_(std::move(tick)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start(50);
  }

  void answer(std::string fragment, bool yes) { rules_.emplace_back(std::move(fragment), yes); }
  // Clicks `button` in the next modal window named `window`, whenever it shows.
  void press(std::string window, int button) { presses_.emplace_back(std::move(window), button); }
  // Runs events until every press asked for is done; false when a window never showed.
  bool pressed(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return QTest::qWaitFor([this] { return presses_.empty(); }, static_cast<int>(limit.count()));
  }
  bool saw(const std::string& fragment) const {
    return std::ranges::any_of(
        seen_, [&](const std::string& text) { return text.find(fragment) != std::string::npos; });
  }

 private:
  void look() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* dialog = dynamic_cast<MessageDialog*>(window);
      if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool()) continue;
      dialog->setProperty("answered", true);
      std::string text = dialog->text().toStdString();
      seen_.push_back(text);
      int button = kIdOk;
      if (dialog->objectName() == QLatin1String("QuestionDialog")) {
        button = kIdNo;
        for (const auto& [fragment, yes] : rules_)
          if (text.find(fragment) != std::string::npos) button = yes ? kIdYes : kIdNo;
      }
      click(*dialog, button);
    }
    QWidget* modal = QApplication::activeModalWidget();
    auto press = std::ranges::find_if(
        presses_, [&](auto& p) { return modal && modal->objectName() == p.first.c_str(); });
    if (press != presses_.end()) {
      int button = press->second;
      presses_.erase(press);
      click(*modal, button);
    }
    if (tick_) tick_();
  }
  static void click(QWidget& window, int button) {
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("id%1").arg(button)), Qt::LeftButton);
  }

  std::function<void()> tick_;
  std::vector<std::pair<std::string, bool>> rules_;
  std::vector<std::pair<std::string, int>> presses_;  // window name, button id
  std::vector<std::string> seen_;
  QTimer timer_;
};

}  // namespace brovana::test
