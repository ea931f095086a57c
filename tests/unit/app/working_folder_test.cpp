#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(WorkingFolder, SeedsMissingFilesKeepsTheMembersOwnAndChangesIntoIt) {
  test::TempFolder share, plugins, home;
  share.write("genre.txt", "shipped genres");
  share.write("skins/zelvora_1.skn", "[Skin]");
  plugins.write("dsp_leveller.so", "shipped plug-in");
  std::string work = home.file("data/brovana-live");
  home.write("data/brovana-live/genre.txt", "my own genres");

  test::ScopedChdir restore(home.path());
  std::string error;
  ASSERT_TRUE(enterWorkingFolder(work, share.path(), error, plugins.path())) << error;
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(work));
  EXPECT_EQ(home.read("data/brovana-live/genre.txt"), "my own genres");
  EXPECT_EQ(home.read("data/brovana-live/skins/zelvora_1.skn"), "[Skin]");
  EXPECT_EQ(std::filesystem::read_symlink(work + "/Plugins/dsp_leveller.so"),
            plugins.file("dsp_leveller.so"));
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
