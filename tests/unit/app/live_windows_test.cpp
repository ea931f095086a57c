#include "app/live_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>

#include "support/fake_prompts.h"

namespace brovana {
namespace {

TEST(CrossfadePanelTest, MicrophoneButtonAndBalanceReachTheStudio) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "live_windows_test";
  char* argv[] = {name};
  QApplication application(argc, argv);
  test::FakePrompts prompts;
  bool broadcasting = false;
  bool opens = false;
  std::vector<std::string> calls;
  VoiceoverActions actions{[&] { return broadcasting; },
                           [&] {
                             calls.push_back("start");
                             return opens;
                           },
                           [&] { calls.push_back("stop"); },
                           [&](int position) { calls.push_back("balance " + std::to_string(position)); },
                           [&] { calls.push_back("closed"); }};
  auto panel = std::make_unique<CrossfadePanel>(actions, prompts);
  auto* button = panel->window().findChild<QPushButton*>("micButton");
  auto* slider = panel->window().findChild<QSlider*>("crossfadeSlider");
  ASSERT_TRUE(button && slider);

  button->click();
  EXPECT_EQ(prompts.boxTexts(),
            std::vector<std::string>{"You must be broadcasting a playlist to use this feature"});
  broadcasting = true;
  button->click();  // the microphone does not open
  EXPECT_EQ(button->text(), "Turn Mic On");
  opens = true;
  button->click();
  EXPECT_EQ(button->text(), "Turn Mic Off");
  slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
  panel->window().close();
  EXPECT_EQ(calls,
            (std::vector<std::string>{"balance 65536", "start", "start", "balance 56174", "stop", "closed"}));
  // The window goes with the event loop's next round.
  QPointer<QDialog> window = &panel->window();
  panel.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());
}

}  // namespace
}  // namespace brovana
