#include "app/headless_front.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

// Each question of the studio and the answer that keeps the station on the air.
TEST(HeadlessPrompts, EachQuestionGetsTheAnswerThatKeepsTheStationOnTheAir) {
  struct Case {
    const char* question;
    bool yes;
  } cases[] = {
      {"Do you already have an account on Zelvora?", false},
      {"This account, dj, is currently set up for hostplay. Do you want to log into a different account?",
       false},
      {"A new version of Brovana-Live is available. Would you like to upgrade now?", false},
      {"Your broadcast encountered some errors. Would you like to see the log file?", false},
      {"This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?",
       true},
      {"You currently have a broadcast running! Do you want to continue?", true},
      {"Do you want to start broadcasting your previous playlist, /music/night.m3u?", true},
      {"You are currently set up for hostplay, do you want to switch to Live mode?", true},
      {"You are already broadcasting. Do you want to stop and restart?", true},
      {"Would you like to turn your hostplay broadcast back on?", true},
      {"Unable to connect to your Zelvora server, restart and try again?", true},
  };
  for (const Case& c : cases) EXPECT_EQ(HeadlessPrompts::answerFor(c.question), c.yes) << c.question;
}

TEST(HeadlessPrompts, AServerThatStaysUnreachableIsGivenUpAfterThreeRestarts) {
  HeadlessPrompts prompts;
  Question question;
  question.text = "Unable to connect to your Zelvora server, restart and try again?";
  question.yesCaption = "Restart";
  question.noCaption = "Exit";
  for (int i = 0; i < HeadlessPrompts::kRestartsOffered; ++i) EXPECT_TRUE(prompts.ask(question)) << i;
  EXPECT_FALSE(prompts.ask(question));
  EXPECT_FALSE(prompts.ask(question));
  EXPECT_TRUE(prompts.ask("Would you like to turn your hostplay broadcast back on?"))
      << "other questions unchanged";
}

}  // namespace
}  // namespace brovana
