#include "broadcast/program_values.h"

#include <gtest/gtest.h>

#include "core/registry.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(ProgramValues, SessionCountIsReadOnceFromTheProfile) {
  ProgramValues values;
  MemoryRegistry registry;
  values.setRegistry(&registry);
  EXPECT_EQ(values.sessionCount(), 0) << "no profile key: 0";
  EXPECT_EQ(values.sessionID(), -1) << "and not cached";
  registry.create(profileKeyPath())->set("sessionID", "41");
  EXPECT_EQ(values.sessionCount(), 41);
  registry.open(profileKeyPath())->set("sessionID", "99");
  EXPECT_EQ(values.sessionCount(), 41) << "cached once read";
  EXPECT_EQ(profileKeyPath(), "Software\\Zelvora\\Live\\default");
}

TEST(ProgramValues, SkinFallsBackToTheDefaultThenEndsTheProgram) {
  test::TempFolder folder;
  test::ScopedChdir in(folder.path());
  MemoryRegistry registry;
  registry.create(kProfileRoot)->set("lc_skin", "skins/gone.skn");
  test::FakePrompts prompts;
  test::FakeExit exit;

  ProgramValues none;
  none.setRegistry(&registry);
  EXPECT_EQ(none.skinName(prompts, exit), std::nullopt);
  EXPECT_TRUE(exit.ended);
  EXPECT_EQ(exit.exitCode, 0);
  ASSERT_EQ(prompts.boxTexts().size(), 2u);
  EXPECT_EQ(prompts.boxTexts()[0], "The skin skins/gone.skn is missing, unable to continue. Switching to default skin.");
  EXPECT_EQ(prompts.boxTexts()[1],
            "No skins found, unable to continue. Is Brovana_live.exe file in the right directory?");

  folder.write(kDefaultSkin, "[Skin]\nname=Zelvora\n");
  ProgramValues fallback;
  fallback.setRegistry(&registry);
  EXPECT_EQ(fallback.skinName(prompts, exit), kDefaultSkin);
  EXPECT_EQ(prompts.boxes().back().kind, BoxKind::Warning);

  folder.write("skins/night.skn", "[Skin]\n");
  registry.open(kProfileRoot)->set("lc_skin", "skins/night.skn");
  ProgramValues stored;
  stored.setRegistry(&registry);
  size_t boxesBefore = prompts.boxes().size();
  EXPECT_EQ(stored.skinName(prompts, exit), "skins/night.skn");
  std::remove(folder.file("skins/night.skn").c_str());
  EXPECT_EQ(stored.skinName(prompts, exit), "skins/night.skn") << "later calls return the cached name unchecked";
  EXPECT_EQ(prompts.boxes().size(), boxesBefore);
}

TEST(ProgramValues, HostplayNameComesFromTheNamesFile) {
  test::TempFolder folder;
  EXPECT_EQ(hostplayNameFromFile(folder.file("absent.ini")), "hostplay");
  folder.write("names.ini", "[other]\nHOSTPLAYNAME=x\n");
  EXPECT_EQ(hostplayNameFromFile(folder.file("names.ini")), "hostplay");
  folder.write("names.ini", "[Names]\nhostplayname=AutoDJ\n");
  EXPECT_EQ(hostplayNameFromFile(folder.file("names.ini")), "AutoDJ");
  folder.write("names.ini", "[names]\nHOSTPLAYNAME=" + std::string(400, 'n') + "\n");
  EXPECT_EQ(hostplayNameFromFile(folder.file("names.ini")).size(), 255u);
}

}  // namespace
}  // namespace brovana
