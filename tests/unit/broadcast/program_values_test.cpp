#include "broadcast/program_values.h"

#include <gtest/gtest.h>

#include "core/registry.h"
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
