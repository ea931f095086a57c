#include "platform/settings_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.h"

namespace brovana {
namespace {

TEST(SettingsRegistry, ValuesSurviveARestartOfTheStore) {
  test::TempFolder folder;
  std::string path = folder.file("config/brovana-live/settings.ini");
  {
    SettingsRegistry registry(path);
    EXPECT_EQ(registry.open("Software\\Zelvora\\Live\\default"), nullptr);
    auto key = registry.create("Software\\Zelvora\\Live\\default");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->set("username", "djtest"));
    EXPECT_TRUE(key->set("message", "Late night: jazz & more, \"live\"; 100% vinyl"));
    EXPECT_TRUE(key->set("genre1", " "));
    registry.create("Software\\Zelvora\\Live\\empty");
    EXPECT_TRUE(SettingsRegistry(path).open("Software\\Zelvora\\Live\\empty"))
        << "a created key is stored at once, without values";
  }
  SettingsRegistry again(path);
  auto key = again.open("Software\\Zelvora\\Live\\default");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->query("username"), "djtest");
  EXPECT_EQ(key->query("message"), "Late night: jazz & more, \"live\"; 100% vinyl");
  EXPECT_EQ(key->query("genre1"), " ");
  EXPECT_EQ(key->query("pass"), std::nullopt);
  EXPECT_TRUE(again.open("Software\\Zelvora\\Live")) << "the parent of a key exists";
  EXPECT_FALSE(again.open("Software\\Zelvora\\Mirobeam\\default"));
}

TEST(SettingsRegistry, FileIsReadableByItsOwnerOnly) {
  test::TempFolder folder;
  std::string path = folder.file("settings.ini");
  SettingsRegistry registry(path);
  registry.create("Software\\Zelvora\\Live\\default")->set("pass", "secret");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace brovana
