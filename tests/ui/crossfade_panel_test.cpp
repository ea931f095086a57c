// The Crossfade panel as a window: it opens at the crossfade's starting position and leaves the
// balance to the studio, and its button shows what the studio says of the microphone, also when
// that comes from the playlist engine's worker.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <thread>

#include "app/live_windows.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

TEST(CrossfadePanelTest, OpensAtTheStartingPositionAndItsButtonFollowsTheStudio) {
  std::vector<int> balances;
  VoiceoverActions actions{[] { return true; }, [] { return true; }, [] {},
                           [&](int position) { balances.push_back(position); }, [] {}};
  test::FakePrompts prompts;
  CrossfadePanel panel(actions, prompts);
  auto* button = panel.window().findChild<QPushButton*>("micButton");
  auto* slider = panel.window().findChild<QSlider*>("crossfadeSlider");
  ASSERT_TRUE(button && slider);
  EXPECT_EQ(slider->value(), kCrossfadeStart);
  EXPECT_TRUE(balances.empty()) << "a balance of the panel's own would undo the studio's";
  button->click();
  EXPECT_EQ(button->text(), "Turn Mic Off");
  // A new track that the microphone could not follow.
  std::thread([&] { panel.showMicrophone(false); }).join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return button->text() == "Turn Mic On"; }, 5000));
}

}  // namespace
}  // namespace brovana
