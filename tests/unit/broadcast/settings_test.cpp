#include "broadcast/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "broadcast/program_values.h"
#include "core/registry.h"
#include "net/live_connect.h"
#include "settings_holders.h"
#include "support/fake_account_service.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Values = std::map<std::string, std::string>;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { test::resetProgramValues(&registry); }
  ~SettingsTest() override { test::resetProgramValues(nullptr); }

  void store(const std::string& path, const Values& values) {
    auto key = registry.create(path);
    for (const auto& [name, value] : values) key->set(name, value);
  }
  void storeProfile(const Values& values) { store(profileKeyPath(), values); }
  std::optional<std::string> saved(const std::string& name, const std::string& path = profileKeyPath()) {
    auto key = registry.open(path);
    return key ? key->query(name) : std::nullopt;
  }

  bool load() { return loadBroadcastInfo(registry, kProfileName, &connection, holders()); }
  void save() { saveBroadcastInfo(registry, kProfileName, &connection, holders()); }
  SettingsHolders holders() { return {&visual, &order, &volumes}; }

  MemoryRegistry registry;
  test::FakePrompts prompts;
  test::FakeAccountService service;
  LiveConnect connection{"127.0.0.1:9", nullptr, service, prompts};
  test::MemoryVisualModes visual;
  test::MemoryPlayOrder order;
  test::MemoryVolumes volumes;
};

TEST_F(SettingsTest, WithoutConnectionOrAnyKeyNothingLoads) {
  EXPECT_FALSE(load()) << "first run: no key at all";
  storeProfile({{"username", "dj"}});
  EXPECT_FALSE(loadBroadcastInfo(registry, kProfileName, nullptr, holders()));
  EXPECT_TRUE(load());
  EXPECT_EQ(connection.memberName(), "dj");
}

TEST_F(SettingsTest, SpeedsAreCappedAndTheOutputDerived) {
  struct Case {
    std::optional<std::string> bitrate, output;
    int lineSpeed, outputBitrate;
    std::vector<std::string> messages;
  } cases[] = {
      {"100000", std::nullopt, 100000, 56000, {}},
      {"64000", std::nullopt, 64000, 0, {}},
      {"56000", std::nullopt, 56000, 32000, {}},
      {"33000", std::nullopt, 33000, 24000, {}},
      {"28800", std::nullopt, 28800, 16000, {}},
      {"28800", "0", 28800, 16000, {}},
      {"56000", "24000", 56000, 24000, {}},
      {"128000",
       std::nullopt,
       100000,
       56000,
       {"Your last broadcast is too high a speed for this version of Mirobeam. Dropping to a lower rate."}},
      {"100000",
       "64000",
       100000,
       56000,
       {"Your last broadcast is too high a speed for this version of Mirobeam (64000 bps). Dropping to a "
        "lower "
        "rate."}},
      {std::nullopt, std::nullopt, 0, 0, {}},
  };
  for (const Case& c : cases) {
    MemoryRegistry fresh;
    auto key = fresh.create(profileKeyPath());
    if (c.bitrate) key->set("bitrate", *c.bitrate);
    if (c.output) key->set("output_bitrate", *c.output);
    test::FakePrompts seen;
    test::FakeAccountService accounts;
    LiveConnect link("127.0.0.1:9", nullptr, accounts, seen);
    ASSERT_TRUE(loadBroadcastInfo(fresh, kProfileName, &link, holders()));
    std::string label = c.bitrate.value_or("-") + "/" + c.output.value_or("-");
    EXPECT_EQ(link.lineSpeed(), c.lineSpeed) << label;
    EXPECT_EQ(link.outputBitrate(), c.outputBitrate) << label;
    EXPECT_EQ(seen.boxTexts(), c.messages) << label;
  }
}

// The holders of one load.
struct Loaded {
  LiveConnect& connection;
  test::MemoryVisualModes visual;
  test::MemoryPlayOrder order;
  test::MemoryVolumes volumes;
};

TEST_F(SettingsTest, EachValueFollowsItsLoadRule) {
  struct Case {
    Values stored;
    std::function<void(Loaded&)> check;
    const char* what;
  } cases[] = {
      {{{"message", "Night jazz"},
        {"username", "dj"},
        {"pass", "secret"},
        {"mp3path", "/music"},
        {"playlist", "/music/night.m3u"},
        {"url", "jazz.example/night"}},
       [this](Loaded& t) {
         EXPECT_EQ(t.connection.message(), "Night jazz");
         EXPECT_EQ(t.connection.memberName(), "dj");
         EXPECT_EQ(t.connection.pass(), "secret");
         EXPECT_EQ(programValues().mp3path(), "/music");
         EXPECT_EQ(programValues().playlist(), "/music/night.m3u");
         EXPECT_EQ(t.connection.url(), "http://jazz.example/night") << "through the connection's setter";
         ASSERT_FALSE(service.loginCalls().empty()) << "the password fetches a session id";
         EXPECT_EQ(service.loginCalls().back().pass, "secret");
       },
       "text values"},
      {{{"sessionID", "3"}},
       [](Loaded& t) {
         EXPECT_EQ(t.connection.message(), "");
         EXPECT_EQ(t.connection.memberName(), "");
         EXPECT_EQ(programValues().mp3path(), "");
         EXPECT_EQ(t.connection.genre(0), std::nullopt) << "an empty first genre clears it";
         EXPECT_EQ(t.connection.genre(1), std::nullopt);
       },
       "missing text values read as empty"},
      {{{"genre", "Jazz"}, {"genre1", "R"}, {"genre2", " "}},
       [](Loaded& t) {
         EXPECT_EQ(t.connection.genre(0), "Jazz");
         EXPECT_EQ(t.connection.genre(1), std::nullopt);
         EXPECT_EQ(t.connection.genre(2), std::nullopt);
       },
       "second and third genre need two characters"},
      {{{"genre1", "Ra"}, {"genre2", "Rock"}},
       [](Loaded& t) {
         EXPECT_EQ(t.connection.genre(1), "Ra");
         EXPECT_EQ(t.connection.genre(2), "Rock");
       },
       "two characters are enough"},
      {{{"scopeMode", "1"}, {"spectrumMode", "0"}, {"vuMode1", "7"}, {"vuMode2", ""}},
       [](Loaded& t) {
         EXPECT_TRUE(t.visual.displayOn(3));
         EXPECT_FALSE(t.visual.displayOn(1));
         EXPECT_TRUE(t.visual.displayOn(2));
         EXPECT_FALSE(t.visual.displayOn(4));
         EXPECT_TRUE(t.visual.wasSet(4)) << "a missing mode reads as off";
       },
       "display modes: non-zero is on"},
      {{{"livetag", "0"}}, [](Loaded& t) { EXPECT_FALSE(t.connection.livetag()); }, "livetag 0"},
      {{}, [](Loaded& t) { EXPECT_TRUE(t.connection.livetag()); }, "livetag missing keeps the default"},
      {{{"randomize", "1"}, {"priority", "2"}},
       [](Loaded& t) {
         EXPECT_TRUE(t.order.random());
         EXPECT_EQ(t.order.priority(), 2);
       },
       "random 1, priority 2"},
      {{{"randomize", "2"}}, [](Loaded& t) { EXPECT_FALSE(t.order.random()); }, "random 2 is off"},
      {{{"sessionID", "5"}}, [](Loaded&) { EXPECT_EQ(programValues().sessionID(), 6); }, "session + 1"},
      {{}, [](Loaded&) { EXPECT_EQ(programValues().sessionID(), 1); }, "no session yet"},
      {{{"cdvol", "100"}, {"micvol", "300"}},
       [](Loaded& t) {
         EXPECT_EQ(t.volumes.volume(Volumes::Cd), 100);
         EXPECT_EQ(t.volumes.volume(Volumes::LineIn), 32000) << "a missing volume keeps the dialog's";
         EXPECT_EQ(t.volumes.volume(Volumes::Mic), 300);
       },
       "volumes"},
      {{{"playlist", "<none>"}},
       [](Loaded&) { EXPECT_EQ(programValues().previousPlaylist(), std::nullopt); },
       "no previous playlist"},
      {{{"playlist", ""}},
       [](Loaded&) { EXPECT_EQ(programValues().previousPlaylist(), std::nullopt); },
       "an empty playlist is none either"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryRegistry fresh;
    test::resetProgramValues(&fresh);
    auto key = fresh.create(profileKeyPath());
    for (const auto& [name, value] : c.stored) key->set(name, value);
    connection.setLiveTag(true);
    connection.setMessage("old description");
    Loaded loaded{connection, {}, {}, test::MemoryVolumes()};
    ASSERT_TRUE(loadBroadcastInfo(fresh, kProfileName, &connection,
                                  {&loaded.visual, &loaded.order, &loaded.volumes}));
    c.check(loaded);
  }
  test::resetProgramValues(&registry);
}

TEST_F(SettingsTest, AbsentHoldersAreSkipped) {
  storeProfile({{"cdvol", "100"}, {"randomize", "1"}, {"scopeMode", "1"}, {"username", "dj"}});
  ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &connection, {}));
  EXPECT_EQ(connection.memberName(), "dj");
  EXPECT_EQ(volumes.volume(Volumes::Cd), 32000);
  EXPECT_FALSE(order.random());
  EXPECT_FALSE(visual.wasSet(3));
}

TEST_F(SettingsTest, TheSkinComesFromItsOwnKey) {
  storeProfile({{"lc_skin", "skins/wrong.skn"}});
  ASSERT_TRUE(load());
  EXPECT_EQ(programValues().skin(), std::nullopt) << "the profile key's lc_skin is not the skin";
  store(kProfileRoot, {{"lc_skin", "skins/night.skn"}});
  ASSERT_TRUE(load());
  EXPECT_EQ(programValues().skin(), "skins/night.skn");
}

TEST_F(SettingsTest, ThePredecessorsKeyIsTheFallbackAndIsNeverWritten) {
  store(kOldProfileKey, {{"username", "olddj"}, {"message", "From Mirobeam"}, {"sessionID", "9"}});
  ASSERT_TRUE(load());
  EXPECT_EQ(connection.memberName(), "olddj");
  EXPECT_EQ(connection.message(), "From Mirobeam");
  EXPECT_EQ(programValues().sessionID(), 10);

  save();
  EXPECT_EQ(saved("username"), "olddj") << "the settings move to the new key at exit";
  EXPECT_EQ(saved("sessionID"), "10");
  auto old = registry.open(kOldProfileKey);
  ASSERT_TRUE(old);
  EXPECT_EQ(old->query("sessionID"), "9") << "the old key is left alone";
  EXPECT_EQ(old->query("pass"), std::nullopt);

  // With both keys the new one wins.
  store(kOldProfileKey, {{"username", "stale"}});
  ASSERT_TRUE(load());
  EXPECT_EQ(connection.memberName(), "olddj");
}

TEST_F(SettingsTest, AnUnsetMp3FolderIsSavedAsTheMembersMusicFolder) {
  test::TempFolder home;
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
  setenv("HOME", home.path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  std::filesystem::create_directories(home.file("Tunes"));
  // The XDG music folder, when it exists; else ~/Music, when it exists; else the home folder.
  for (auto [userDirs, folder] : {std::pair{"XDG_MUSIC_DIR=\"$HOME/Tunes\"\n", home.file("Tunes")},
                                  {"XDG_MUSIC_DIR=\"$HOME/Gone\"\n", home.file("Music")},
                                  {"", home.path()}}) {
    home.write("user-dirs.dirs", userDirs);
    if (*userDirs == 0)
      std::filesystem::remove(home.file("Music"));
    else
      std::filesystem::create_directories(home.file("Music"));
    save();
    EXPECT_EQ(saved("mp3path"), folder) << userDirs;
  }
  setenv("HOME", oldHome.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

TEST_F(SettingsTest, SavingWritesDefaultsForUnsetValues) {
  connection.setGenre(0, "");
  save();
  EXPECT_EQ(saved("playlist"), "<none>");
  EXPECT_EQ(saved("genre"), std::nullopt) << "an unset first genre is not written";
  EXPECT_EQ(saved("genre1"), " ");
  EXPECT_EQ(saved("genre2"), " ");
  EXPECT_EQ(saved("lc_skin", kProfileRoot), std::nullopt);

  // An unset value leaves what the store held.
  store(profileKeyPath(), {{"genre", "Blues"}});
  save();
  EXPECT_EQ(saved("genre"), "Blues");
}

TEST_F(SettingsTest, WithoutVisualisationOrVolumesTheirValuesAreNotWritten) {
  saveBroadcastInfo(registry, kProfileName, &connection, {nullptr, &order, nullptr});
  for (const char* name : {"scopeMode", "spectrumMode", "vuMode1", "vuMode2", "cdvol", "linevol", "micvol"})
    EXPECT_EQ(saved(name), std::nullopt) << name;
  EXPECT_EQ(saved("randomize"), "0");
  saveBroadcastInfo(registry, kProfileName, nullptr, holders());
  EXPECT_EQ(saved("scopeMode"), std::nullopt) << "nothing is written without a connection";
}

TEST_F(SettingsTest, SaveAndLoadRoundTrip) {
  service.setAnswer(0, "203.0.113.5", 8001);
  ASSERT_TRUE(connection.refreshServerInfo());
  connection.setMemberName("dj");
  connection.setPassword("pw");
  connection.setMessage("Late show");
  connection.setUrl("http://late.example/");
  connection.setGenre(0, "Jazz");
  connection.setGenre(1, "Blues");
  connection.setLiveTag(false);
  connection.setLineSpeed(56000);
  connection.setOutputBitrate(24000);
  visual.setDisplay(1, true);
  visual.setDisplay(4, true);
  order.setRandom(true);
  order.setPriority(1);
  volumes.setVolume(Volumes::LineIn, 1234);
  programValues().setMp3path("/music");
  programValues().setPlaylist("/music/late.m3u");
  programValues().setSkin("skins/second.skn");
  programValues().setSessionID(4);
  save();
  EXPECT_EQ(saved("host"), "203.0.113.5");
  EXPECT_EQ(saved("port"), "8001");

  test::resetProgramValues(&registry);
  test::FakeAccountService accounts;
  LiveConnect link("127.0.0.1:9", nullptr, accounts, prompts);
  test::MemoryVisualModes visual2;
  test::MemoryPlayOrder order2;
  test::MemoryVolumes volumes2(0);
  ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &link, {&visual2, &order2, &volumes2}));
  EXPECT_EQ(link.memberName(), "dj");
  EXPECT_EQ(link.pass(), "pw");
  EXPECT_EQ(link.message(), "Late show");
  EXPECT_EQ(link.url(), "http://late.example/");
  EXPECT_EQ(link.genre(0), "Jazz");
  EXPECT_EQ(link.genre(1), "Blues");
  EXPECT_EQ(link.genre(2), std::nullopt);
  EXPECT_FALSE(link.livetag());
  EXPECT_EQ(link.lineSpeed(), 56000);
  EXPECT_EQ(link.outputBitrate(), 24000);
  for (int display : {1, 2, 3, 4})
    EXPECT_EQ(visual2.displayOn(display), display == 1 || display == 4) << display;
  EXPECT_TRUE(order2.random());
  EXPECT_EQ(order2.priority(), 1);
  EXPECT_EQ(volumes2.volume(Volumes::LineIn), 1234);
  EXPECT_EQ(volumes2.volume(Volumes::Cd), 32000);
  EXPECT_EQ(programValues().mp3path(), "/music");
  EXPECT_EQ(programValues().playlist(), "/music/late.m3u");
  EXPECT_EQ(programValues().skin(), "skins/second.skn");
  EXPECT_EQ(programValues().sessionID(), 5) << "each run that loads and saves counts once";
}

}  // namespace
}  // namespace brovana
