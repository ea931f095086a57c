#include "broadcast/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/registry.h"
#include "fake_parts.h"
#include "net/server_link.h"
#include "support/fake_account_service.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { test::resetProgramValues(&registry); }
  ~SettingsTest() override { test::resetProgramValues(nullptr); }
  std::optional<std::string> saved(const std::string& name, const std::string& key = profileKeyPath()) {
    return registry.open(key) ? registry.open(key)->query(name) : std::nullopt;
  }

  MemoryRegistry registry;
  test::FakePrompts prompts;
  test::FakeAccountService service;
  ServerLink connection{"127.0.0.1:9", nullptr, service, prompts};
  test::MemoryModes modes;
};

// One rule for the stored settings and the connection's default: a line faster than 56000 gets
// the highest stream rate, odd slow ones none (no stream can be made below 16000).
TEST_F(SettingsTest, SpeedsAreCappedAndTheOutputDerivedByTheOneRule) {
  // The stored "bitrate" and "output_bitrate", and what the connection then holds; both too high
  // are capped, with a message each.
  const std::tuple<const char*, const char*, std::string> cases[] = {
      {"100000", "", "100000/56000"},     {"64000", "", "64000/56000"},      {"56000", "", "56000/32000"},
      {"33000", "0", "33000/24000"},      {"28800", "", "28800/16000"},      {"28000", "", "28000/0"},
      {"14400", "", "14400/0"},           {"56000", "24000", "56000/24000"}, {"128000", "", "100000/56000"},
      {"100000", "64000", "100000/56000"}};
  for (const auto& [bitrate, output, held] : cases) {
    registry.create(profileKeyPath())->set("bitrate", bitrate);
    registry.open(profileKeyPath())->set("output_bitrate", output);
    test::FakePrompts seen;
    ServerLink link("127.0.0.1:9", nullptr, service, seen);
    ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &link, {}));
    EXPECT_EQ(std::to_string(link.lineSpeed()) + "/" + std::to_string(link.outputBitrate()), held);
    EXPECT_EQ(seen.boxTexts().size(), bitrate == std::string("128000") || output == std::string("64000"))
        << held;
  }
  EXPECT_EQ(connection.outputBitrate(), 56000) << "the default of the default line speed";
}

TEST_F(SettingsTest, SaveAndLoadRoundTripThroughTheNewKeyOnly) {
  registry.create(kOldProfileKey)->set("sessionID", "4");  // the predecessor's settings
  ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &connection, {&modes, &modes, &modes}));
  registry.create(profileKeyPath())->set("host", "198.51.100.7");
  saveBroadcastInfo(registry, kProfileName, &connection, {});
  EXPECT_EQ(saved("host").value_or("") + saved("port").value_or(""), "198.51.100.7") << "without an answer";
  service.setAnswer(0, "203.0.113.5", 8001);
  ASSERT_TRUE(connection.refreshServerInfo());
  connection.setGenre(1, "Blues");
  connection.setOutputBitrate(24000);
  modes.setVolume(Volumes::LineIn, 1234);
  saveBroadcastInfo(registry, kProfileName, &connection, {&modes, &modes, &modes});
  EXPECT_EQ(saved("sessionID", kOldProfileKey).value_or("") + " " + saved("host").value_or(""),
            "4 203.0.113.5");

  test::resetProgramValues(&registry);
  ServerLink link("127.0.0.1:9", nullptr, service, prompts);
  test::MemoryModes read;
  ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &link, {&read, &read, &read}));
  EXPECT_EQ(std::tuple(link.genre(1).value_or("-"), link.genre(2).value_or("-"), link.outputBitrate(),
                       read.volume(Volumes::LineIn), programValues().sessionID()),
            std::tuple("Blues", "-", 24000, 1234, 6))
      << "each run that loads and saves counts once";
}

TEST_F(SettingsTest, AnUnsetMp3FolderIsSavedAsTheMembersMusicFolder) {
  test::TempFolder home;
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  for (const char* dir : {"Tunes", "Music"}) std::filesystem::create_directories(home.file(dir));
  // The XDG music folder, when it exists; else ~/Music, when it exists; else the home folder.
  for (auto [userDirs, folder] : {std::pair{"XDG_MUSIC_DIR=\"$HOME/Tunes\"\n", home.file("Tunes")},
                                  {"XDG_MUSIC_DIR=\"$HOME/Gone\"\n", home.file("Music")},
                                  {"", home.path()}}) {
    home.write("user-dirs.dirs", userDirs);
    if (!*userDirs) std::filesystem::remove(home.file("Music"));
    saveBroadcastInfo(registry, kProfileName, &connection, {});
    EXPECT_EQ(saved("mp3path"), folder) << userDirs;
  }
  setenv("HOME", oldHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace brovana
