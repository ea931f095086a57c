// The voiceover panel's microphone button: what a press does on and off the air, and its caption.

#include "broadcast/microphone_switch.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_prompts.h"

namespace brovana {
namespace {

constexpr const char* kOffAir = "You must be broadcasting a playlist to use this feature.";

TEST(CrossfadeMicrophone, PressesTurnItOnAndOffOnTheAirOnlyAndTheCaptionFollowsTheStudio) {
  // Steps: 'p' a press, 'e' the broadcast ends, 'x' the studio says the microphone is out of the
  // mix (it did not open, or a new track it could not follow).
  const struct {
    const char* steps;
    const char* calls;  // what reached the studio, in order
    const char* caption;
    size_t boxes;  // the off-air message, this often
  } cases[] = {
      {"ep", "", "Turn Mic On", 1},
      {"pp", "start stop ", "Turn Mic On", 0},
      {"ppp", "start stop start ", "Turn Mic Off", 0},
      {"px", "start ", "Turn Mic On", 0},          // it did not open; the next press tries again
      {"pxp", "start start ", "Turn Mic Off", 0},  // the next press turns it on again
      {"pep", "start ", "Turn Mic Off", 1},        // on air no more: it stays on until the studio says
      {"pepx", "start ", "Turn Mic On", 1},
  };
  for (const auto& c : cases) {
    bool onAir = true;
    std::string calls;
    VoiceoverActions actions{[&] { return onAir; }, [&] { calls += "start "; }, [&] { calls += "stop "; },
                             [&](int) { calls += "balance "; }, [&] { calls += "closed "; }};
    test::FakePrompts prompts;
    MicrophoneSwitch microphone(actions, prompts);
    EXPECT_STREQ(microphone.caption(), "Turn Mic On");
    for (const char* step = c.steps; *step; ++step) {
      if (*step == 'p') microphone.press();
      if (*step == 'x') microphone.follow(false);
      if (*step == 'e') onAir = false;
    }
    EXPECT_EQ(calls, c.calls) << c.steps;
    EXPECT_STREQ(microphone.caption(), c.caption) << c.steps;
    EXPECT_EQ(microphone.on(), std::string(c.caption) == "Turn Mic Off") << c.steps;
    EXPECT_EQ(prompts.boxTexts(), std::vector<std::string>(c.boxes, kOffAir)) << c.steps;
  }
}

}  // namespace
}  // namespace brovana
