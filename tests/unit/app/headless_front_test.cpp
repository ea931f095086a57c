#include "app/headless_front.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/probe.h"
#include "app/working_folder.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

// Each question of the studio and the answer that keeps the station on the air.
TEST(HeadlessPrompts, EachQuestionGetsTheAnswerThatKeepsTheStationOnTheAir) {
  const std::pair<const char*, bool> cases[] = {
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
  for (auto [question, yes] : cases) EXPECT_EQ(HeadlessPrompts::answerFor(question), yes) << question;

  // A server that stays unreachable is given up after three restarts.
  HeadlessPrompts prompts;
  Question restart{"Unable to connect to your Zelvora server, restart and try again?", "Brovana-Live",
                   "Restart", "Exit"};
  for (int i = 0; i < HeadlessPrompts::kRestartsOffered; ++i) EXPECT_TRUE(prompts.ask(restart)) << i;
  EXPECT_FALSE(prompts.ask(restart) || prompts.ask(restart));
  EXPECT_TRUE(prompts.ask("Would you like to turn your hostplay broadcast back on?"))
      << "other questions unchanged";
}

TEST(Probe, JsonStringsAreEscapedAndAlwaysUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"tab\tline\nret\r", R"("tab\tline\nret\r")"},
      {std::string("nul\0bell\x07"
                   "del\x7f",
                   13),
       R"("nul\u0000bell\u0007del\u007f")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},  // UTF-8 kept
      {"Caf\xE9", "\"Caf\xC3\xA9\""},                     // Latin-1
      {"\xC0\x80", "\"\xC3\x80\xC2\x80\""},               // overlong: two Latin-1 bytes
      {"\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\xC2\x80\""},   // a surrogate is not UTF-8
      {"end\xE2\x82", "\"end\xC3\xA2\xC2\x82\""},         // cut-off sequence
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(jsonQuote(text), quoted) << text;
}

TEST(WorkingFolder, SeedsMissingFilesKeepsTheMembersOwnAndChangesIntoIt) {
  test::TempFolder share, home;
  share.write("genre.txt", "shipped genres");
  share.write("skins/zelvora_1.skn", "[Skin]");
  home.write("data/brovana-live/genre.txt", "my own genres");
  home.write("file", "x");
  test::ScopedChdir restore(home.path());
  std::string error;
  ASSERT_TRUE(enterWorkingFolder(home.file("data/brovana-live"), share.path(), error)) << error;
  EXPECT_EQ(std::filesystem::current_path(), home.file("data/brovana-live"));
  EXPECT_EQ(home.read("data/brovana-live/genre.txt"), "my own genres");
  EXPECT_EQ(home.read("data/brovana-live/skins/zelvora_1.skn"), "[Skin]");
  // An unusable folder is reported with what to do.
  EXPECT_FALSE(enterWorkingFolder(home.file("file/sub"), share.path(), error));
  EXPECT_NE(error.find("--workdir"), std::string::npos) << error;
}

}  // namespace
}  // namespace brovana
