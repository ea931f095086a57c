#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(WorkingFolder, SeedsMissingFilesKeepsTheMembersOwnAndChangesIntoIt) {
  test::TempFolder share, home;
  share.write("genre.txt", "shipped genres");
  share.write("skins/zelvora_1.skn", "[Skin]");
  std::string work = home.file("data/brovana-live");
  home.write("data/brovana-live/genre.txt", "my own genres");

  test::ScopedChdir restore(home.path());
  std::string error;
  ASSERT_TRUE(enterWorkingFolder(work, share.path(), error)) << error;
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(work));
  EXPECT_EQ(home.read("data/brovana-live/genre.txt"), "my own genres");
  EXPECT_EQ(home.read("data/brovana-live/skins/zelvora_1.skn"), "[Skin]");
}

TEST(WorkingFolder, UnusableFolderIsReportedWithWhatToDo) {
  test::TempFolder home;
  home.write("file", "x");
  std::string error;
  EXPECT_FALSE(enterWorkingFolder(home.file("file/sub"), home.path(), error));
  EXPECT_NE(error.find("--workdir"), std::string::npos) << error;
}

}  // namespace
}  // namespace brovana
