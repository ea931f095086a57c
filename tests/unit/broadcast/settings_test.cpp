#include "broadcast/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "broadcast/skin_name.h"
#include "core/registry.h"
#include "core/speed_names.h"
#include "fake_parts.h"
#include "net/live_connect.h"
#include "net/web_service.h"
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
  std::optional<std::string> saved(const std::string& name, const std::string& path = profileKeyPath()) {
    auto key = registry.open(path);
    return key ? key->query(name) : std::nullopt;
  }
  bool load(LiveConnect& link) { return loadBroadcastInfo(registry, kProfileName, &link, holders()); }
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

// One table for the stored settings and the connection's default; a faster line than 56000
// gets the highest stream rate, odd slow ones none (no stream can be made below 16000).
TEST_F(SettingsTest, SpeedsAreCappedAndTheOutputDerivedByTheOneTable) {
  const std::tuple<const char*, const char*, int, int, int> cases[] = {
      {"100000", "", 100000, 56000, 0}, {"64000", "", 64000, 56000, 0},
      {"56000", "", 56000, 32000, 0},   {"33000", "0", 33000, 24000, 0},
      {"28800", "", 28800, 16000, 0},   {"28000", "", 28000, 0, 0},
      {"14400", "", 14400, 0, 0},       {"56000", "24000", 56000, 24000, 0},
      {"128000", "", 100000, 56000, 1}, {"100000", "64000", 100000, 56000, 1},
  };
  for (const auto& [bitrate, output, lineSpeed, outputBitrate, messages] : cases) {
    registry.create(profileKeyPath())->set("bitrate", bitrate);
    registry.open(profileKeyPath())->set("output_bitrate", output);
    test::FakePrompts seen;
    LiveConnect link("127.0.0.1:9", nullptr, service, seen);
    ASSERT_TRUE(load(link));
    EXPECT_EQ(link.lineSpeed(), lineSpeed) << bitrate << "/" << output;
    EXPECT_EQ(link.outputBitrate(), outputBitrate) << bitrate << "/" << output;
    EXPECT_EQ(seen.boxTexts().size(), static_cast<size_t>(messages)) << bitrate << "/" << output;
  }
  EXPECT_EQ(LiveConnect("127.0.0.1:9", nullptr, service, prompts).outputBitrate(), 56000) << "the default";
}

TEST_F(SettingsTest, EachValueFollowsItsLoadRule) {
  const std::pair<Values, std::function<void()>> cases[] = {
      {{{"message", "Night jazz"},
        {"username", "dj"},
        {"pass", "secret"},
        {"mp3path", "/music"},
        {"url", "jazz.example/night"},
        {"genre", "Jazz"},
        {"genre1", "R"},
        {"genre2", "Ro"}},
       [&] {
         EXPECT_EQ(connection.message() + "|" + connection.memberName() + "|" + connection.pass(),
                   "Night jazz|dj|secret");
         EXPECT_EQ(programValues().mp3path(), "/music");
         EXPECT_EQ(connection.url(), "http://jazz.example/night") << "through the connection's setter";
         EXPECT_EQ(service.loginCalls().back().pass, "secret") << "the password fetches a session id";
         EXPECT_EQ(connection.genre(1), std::nullopt) << "a second or third genre needs two characters";
         EXPECT_EQ(connection.genre(2), "Ro");
       }},
      {{{"sessionID", "3"}, {"livetag", "0"}},
       [&] {
         EXPECT_EQ(connection.message(), "") << "missing text values read as empty";
         EXPECT_EQ(connection.genre(0), std::nullopt) << "an empty first genre clears it";
         EXPECT_FALSE(connection.livetag());
         EXPECT_EQ(programValues().sessionID(), 4);
       }},
      {{{"scopeMode", "1"},
        {"spectrumMode", "0"},
        {"vuMode1", "7"},
        {"randomize", "2"},
        {"priority", "2"},
        {"cdvol", "100"},
        {"playlist", "<none>"}},
       [&] {
         EXPECT_EQ(std::vector(
                       {visual.displayOn(1), visual.displayOn(2), visual.displayOn(3), visual.displayOn(4)}),
                   std::vector({false, true, true, false}));
         EXPECT_TRUE(visual.wasSet(4)) << "a missing mode reads as off";
         EXPECT_FALSE(order.random()) << "only 1 is on";
         EXPECT_EQ(order.priority(), 2);
         EXPECT_EQ(volumes.volume(Volumes::Cd), 100);
         EXPECT_EQ(volumes.volume(Volumes::LineIn), 32000) << "a missing volume keeps the dialog's";
         EXPECT_EQ(programValues().previousPlaylist(), std::nullopt);
         EXPECT_TRUE(connection.livetag()) << "livetag missing keeps the default";
       }},
  };
  for (const auto& [values, check] : cases) {
    MemoryRegistry fresh;
    test::resetProgramValues(&fresh);
    auto key = fresh.create(profileKeyPath());
    for (const auto& [name, value] : values) key->set(name, value);
    connection.setLiveTag(true);
    ASSERT_TRUE(loadBroadcastInfo(fresh, kProfileName, &connection, holders()));
    check();
  }
  test::resetProgramValues(&registry);

  EXPECT_FALSE(loadBroadcastInfo(registry, kProfileName, nullptr, holders()));
  MemoryRegistry none;
  EXPECT_FALSE(loadBroadcastInfo(none, kProfileName, &connection, holders())) << "the first run";
}

TEST_F(SettingsTest, ThePredecessorsKeyIsTheFallbackAndIsNeverWritten) {
  store(kOldProfileKey, {{"username", "olddj"}, {"sessionID", "9"}});
  ASSERT_TRUE(load(connection));
  EXPECT_EQ(connection.memberName(), "olddj");
  save();
  EXPECT_EQ(saved("username"), "olddj") << "the settings move to the new key at exit";
  EXPECT_EQ(saved("sessionID"), "10");
  EXPECT_EQ(saved("sessionID", kOldProfileKey), "9") << "the old key is left alone";
  store(kOldProfileKey, {{"username", "stale"}});
  ASSERT_TRUE(load(connection));
  EXPECT_EQ(connection.memberName(), "olddj") << "with both keys the new one wins";
}

TEST_F(SettingsTest, SavingWritesDefaultsAndKeepsWhatIsUnset) {
  store(profileKeyPath(), {{"genre", "Blues"}});
  connection.setGenre(0, "");
  saveBroadcastInfo(registry, kProfileName, &connection, {nullptr, &order, nullptr});
  for (auto [name, value] : {std::pair{"mp3path", "C:\\"},
                             {"playlist", "<none>"},
                             {"genre", "Blues"},
                             {"genre1", " "},
                             {"randomize", "0"}})
    EXPECT_EQ(saved(name), value) << name;
  for (const char* name : {"scopeMode", "cdvol"}) EXPECT_EQ(saved(name), std::nullopt) << name;
  EXPECT_EQ(saved("lc_skin", kProfileRoot), std::nullopt);
}

TEST_F(SettingsTest, SaveAndLoadRoundTrip) {
  service.setAnswer(0, "203.0.113.5", 8001);
  ASSERT_TRUE(connection.refreshServerInfo());
  connection.setMemberName("dj");
  connection.setMessage("Late show");
  connection.setGenre(1, "Blues");
  connection.setLiveTag(false);
  connection.setLineSpeed(56000);
  connection.setOutputBitrate(24000);
  visual.setDisplay(4, true);
  order.setRandom(true);
  volumes.setVolume(Volumes::LineIn, 1234);
  programValues().setPlaylist("/music/late.m3u");
  programValues().setSkin("skins/second.skn");
  programValues().setSessionID(4);
  save();
  EXPECT_EQ(saved("host").value_or("") + ":" + saved("port").value_or(""), "203.0.113.5:8001");

  test::resetProgramValues(&registry);
  LiveConnect link("127.0.0.1:9", nullptr, service, prompts);
  test::MemoryVisualModes visual2;
  test::MemoryPlayOrder order2;
  test::MemoryVolumes volumes2(0);
  ASSERT_TRUE(loadBroadcastInfo(registry, kProfileName, &link, {&visual2, &order2, &volumes2}));
  EXPECT_EQ(link.memberName() + "|" + link.message() + "|" + link.genre(1).value_or("-"),
            "dj|Late show|Blues");
  EXPECT_FALSE(link.livetag());
  EXPECT_EQ(link.lineSpeed() + link.outputBitrate(), 56000 + 24000);
  EXPECT_TRUE(visual2.displayOn(4) && order2.random());
  EXPECT_EQ(volumes2.volume(Volumes::LineIn), 1234);
  EXPECT_EQ(programValues().playlist(), "/music/late.m3u");
  EXPECT_EQ(programValues().skin(), "skins/second.skn") << "from the skin key";
  EXPECT_EQ(programValues().sessionID(), 5) << "each run that loads and saves counts once";
}

TEST_F(SettingsTest, SessionCountIsReadOnceFromTheProfile) {
  ProgramValues values;
  values.setRegistry(&registry);
  EXPECT_EQ(values.sessionCount(), 0) << "no profile key: 0, not cached";
  store(profileKeyPath(), {{"sessionID", "41"}});
  EXPECT_EQ(values.sessionCount(), 41);
  store(profileKeyPath(), {{"sessionID", "99"}});
  EXPECT_EQ(values.sessionCount(), 41) << "cached once read";
}

TEST_F(SettingsTest, SkinFallsBackToTheDefaultThenEndsTheProgram) {
  test::TempFolder folder;
  test::ScopedChdir in(folder.path());
  store(kProfileRoot, {{"lc_skin", "skins/gone.skn"}});
  test::FakeExit exit;
  ProgramValues none;
  none.setRegistry(&registry);
  EXPECT_EQ(skinName(prompts, exit, none), std::nullopt);
  EXPECT_TRUE(exit.ended);
  EXPECT_EQ(prompts.boxTexts(),
            (std::vector<std::string>{
                "The skin skins/gone.skn is missing, unable to continue. Switching to default skin.",
                "No skins found, unable to continue. Is Brovana_live.exe file in the right directory?"}));

  folder.write(kDefaultSkin, "[Skin]\n");
  ProgramValues fallback;
  fallback.setRegistry(&registry);
  EXPECT_EQ(skinName(prompts, exit, fallback), kDefaultSkin);

  folder.write("skins/night.skn", "[Skin]\n");
  store(kProfileRoot, {{"lc_skin", "skins/night.skn"}});
  ProgramValues stored;
  stored.setRegistry(&registry);
  EXPECT_EQ(skinName(prompts, exit, stored), "skins/night.skn");
  std::remove(folder.file("skins/night.skn").c_str());
  EXPECT_EQ(skinName(prompts, exit, stored), "skins/night.skn") << "later calls return it unchecked";
}

TEST_F(SettingsTest, HostplayNameComesFromTheNamesFile) {
  test::TempFolder folder;
  for (auto [content, name] :
       {std::pair<std::string, std::string>{"", "hostplay"},
        {"[other]\nHOSTPLAYNAME=x\n", "hostplay"},
        {"[Names]\nhostplayname=AutoDJ\n", "AutoDJ"},
        {"[names]\nHOSTPLAYNAME=" + std::string(400, 'n') + "\n", std::string(255, 'n')}}) {
    if (!content.empty()) folder.write("names.ini", content);
    EXPECT_EQ(hostplayNameFromFile(folder.file("names.ini")), name);
  }
}

}  // namespace
}  // namespace brovana
