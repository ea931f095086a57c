#include "app/live_windows.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "support/fake_prompts.h"

namespace brovana {
namespace {

TEST(CrossfadePanelTest, MicrophoneButtonAndSliderDriveTheVoiceover) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "live_windows_test";
  char* argv[] = {name};
  QApplication application(argc, argv);
  test::FakePrompts prompts;
  bool broadcasting = false, opens = false;
  std::string calls;
  CrossfadePanel panel(
      {[&] { return broadcasting; }, [&] { return calls += "start ", opens; }, [&] { calls += "stop "; },
       [&](int p) { calls += std::to_string(p) + " "; }, [&] { calls += "closed"; }},
      prompts);
  auto* button = panel.window().findChild<QPushButton*>("micButton");
  ASSERT_TRUE(button);
  button->click();
  EXPECT_EQ(prompts.boxTexts(),
            std::vector<std::string>{"You must be broadcasting a playlist to use this feature"});
  broadcasting = true;
  button->click();  // the microphone does not open
  EXPECT_EQ(button->text(), "Turn Mic On");
  opens = true;
  button->click();
  EXPECT_EQ(button->text(), "Turn Mic Off");
  panel.window().findChild<QSlider*>("crossfadeSlider")->triggerAction(QAbstractSlider::SliderSingleStepSub);
  panel.window().close();
  EXPECT_EQ(calls, "65536 start start 56174 stop closed");
}

}  // namespace
}  // namespace brovana
