#include "platform/settings_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(SettingsRegistry, ValuesSurviveARestartOfTheStoreInAFileOnlyItsOwnerReads) {
  test::TempFolder folder;
  const std::string path = folder.file("config/brovana-live/settings.ini"),
                    key = "Software\\Zelvora\\Live\\default";
  const std::string awkward = "Late night: jazz & more, \"live\"; 100% vinyl";
  {
    SettingsRegistry registry(path);
    EXPECT_EQ(registry.open(key), nullptr);
    auto created = registry.create(key);
    ASSERT_TRUE(created);
    EXPECT_TRUE(created->set("username", "djtest") && created->set("message", awkward) &&
                created->set("genre1", " "));
    registry.create("Software\\Zelvora\\Live\\empty");
    EXPECT_TRUE(SettingsRegistry(path).open("Software\\Zelvora\\Live\\empty"))
        << "a created key is stored at once";
  }
  SettingsRegistry again(path);
  auto stored = again.open(key);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->query("username"), "djtest");
  EXPECT_EQ(stored->query("message"), awkward);
  EXPECT_EQ(stored->query("genre1"), " ");
  EXPECT_EQ(stored->query("pass"), std::nullopt);
  EXPECT_TRUE(again.open("Software\\Zelvora\\Live")) << "the parent of a key exists";
  EXPECT_FALSE(again.open("Software\\Zelvora\\Mirobeam\\default"));
  // The password is stored here too: the file is the owner's alone.
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace brovana
