#include "app/configure.h"

#include <gtest/gtest.h>

#include "core/program_values.h"
#include "core/registry.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

constexpr const char* kLiveAnswer = "0 LI OFF 0 100 0 0 127.0.0.1 8000";

class ConfigureTest : public ::testing::Test {
 protected:
  ConfigureTest() {
    programValues().setRegistry(&registry);
    programValues().setSessionID(-1);
    programValues().setPlaylist(std::nullopt);
    http.answer("/cgi-bin/livelogin.cgi", "0 SESSION1");
  }
  ~ConfigureTest() override { programValues().setRegistry(nullptr); }

  int configure(std::vector<std::string> args) {
    args.insert(args.begin(), "--configure");
    ParseResult parsed = parseCommandLine(args);
    EXPECT_EQ(parsed.error, "");
    return runConfigure(parsed.options, "127.0.0.1:9", registry, http, prompts, "memory");
  }
  std::optional<std::string> stored(const std::string& name) {
    auto key = registry.open(profileKeyPath());
    return key ? key->query(name) : std::nullopt;
  }

  MemoryRegistry registry;
  test::FakeHttpClient http;
  test::FakePrompts prompts;
};

TEST_F(ConfigureTest, AnAcceptedAccountIsStoredWithTheStation) {
  http.answer("/cgi-bin/bcinfo.cgi", kLiveAnswer);
  ASSERT_EQ(configure({"--member", "dj", "--password", "pw", "--title", "Night show", "--genre", "Jazz",
                       "--genre", "Blues", "--url", "night.example", "--line-speed", "56000"}),
            0);
  EXPECT_EQ(stored("username"), "dj");
  EXPECT_EQ(stored("pass"), "pw");
  EXPECT_EQ(stored("message"), "Night show");
  EXPECT_EQ(stored("genre"), "Jazz");
  EXPECT_EQ(stored("genre1"), "Blues");
  EXPECT_EQ(stored("genre2"), " ");
  EXPECT_EQ(stored("url"), "http://night.example");
  EXPECT_EQ(stored("bitrate"), "56000");
  EXPECT_EQ(stored("output_bitrate"), "32000") << "the highest a 56K line allows";
  EXPECT_EQ(stored("sessionID"), "0") << "configuring is not a run of the studio";
  EXPECT_EQ(stored("host"), "127.0.0.1");
  bool verified = false;
  for (const std::string& path : http.paths())
    verified |= path.starts_with("/cgi-bin/bcinfo.cgi?membername=dj&password=pw");
  EXPECT_TRUE(verified);
  EXPECT_TRUE(prompts.boxTexts().empty());
}

TEST_F(ConfigureTest, DefaultsForANewStation) {
  http.answer("/cgi-bin/bcinfo.cgi", kLiveAnswer);
  ASSERT_EQ(configure({"--member", "dj", "--password", "pw"}), 0);
  EXPECT_EQ(stored("message"), "Welcome to the dj show!");
  EXPECT_EQ(stored("bitrate"), "100000");
  EXPECT_EQ(stored("output_bitrate"), "56000");
  EXPECT_EQ(stored("genre"), "Various");
  EXPECT_EQ(stored("url"), std::string("http://") + kMainWebHost);
}

TEST_F(ConfigureTest, StoredSettingsKeepWhatIsNotNamed) {
  auto key = registry.create(profileKeyPath());
  for (auto [name, value] : {std::pair{"message", "Old show"},
                             {"playlist", "/music/old.m3u"},
                             {"sessionID", "7"},
                             {"genre", "Blues"},
                             {"randomize", "1"},
                             {"url", "http://old.example/"}})
    key->set(name, value);
  http.answer("/cgi-bin/bcinfo.cgi", kLiveAnswer);
  ASSERT_EQ(configure({"--member", "dj", "--password", "new"}), 0);
  EXPECT_EQ(stored("pass"), "new");
  EXPECT_EQ(stored("message"), "Old show");
  EXPECT_EQ(stored("playlist"), "/music/old.m3u");
  EXPECT_EQ(stored("genre"), "Blues");
  EXPECT_EQ(stored("url"), "http://old.example/");
  EXPECT_EQ(stored("randomize"), "1");
  EXPECT_EQ(stored("sessionID"), "7");
}

TEST_F(ConfigureTest, RefusalsStoreNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string bcinfo;
    bool netcastWorks;
    const char* message;
  } cases[] = {
      {{"--member", "<put your username here>", "--password", "pw"},
       kLiveAnswer,
       true,
       "You need to enter a valid username"},
      {{"--member", "dj", "--password", ""}, kLiveAnswer, true, "You need to enter a password"},
      {{"--member", "dj", "--password", "pw", "--line-speed", "28800", "--output-bitrate", "56000"},
       kLiveAnswer,
       true,
       "A line speed of 28800 bps carries at most 16000 bps; choose a lower --output-bitrate."},
      {{"--member", "dj", "--password", "wrong"},
       "-2",
       true,
       "The service did not accept this member name and password; nothing was stored."},
      {{"--member", "dj", "--password", "pw"},
       "0 OR OFF 0 100 0 0",
       false,
       "Live is unable to change your account type from Hostplay to Live. Try logging in to your account and "
       "change "
       "it by hand."},
  };
  for (const Case& c : cases) {
    MemoryRegistry fresh;
    test::FakeHttpClient service;
    test::FakePrompts seen;
    service.answer("/cgi-bin/livelogin.cgi", "0 SESSION1");
    service.answer("/cgi-bin/bcinfo.cgi", c.bcinfo);
    service.answer("/cgi-bin/netcast.cgi", c.netcastWorks ? "0" : "refused");
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--configure");
    ParseResult parsed = parseCommandLine(args);
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(runConfigure(parsed.options, "127.0.0.1:9", fresh, service, seen, "memory"), 1) << c.message;
    ASSERT_FALSE(seen.boxTexts().empty()) << c.message;
    EXPECT_EQ(seen.boxTexts().back(), c.message);
    EXPECT_FALSE(fresh.open(profileKeyPath())) << c.message;
  }
}

TEST_F(ConfigureTest, AHostplayAccountIsSwitchedToLive) {
  http.answer("/cgi-bin/bcinfo.cgi", "0 OR OFF 0 100 0 0");
  http.answer("/cgi-bin/netcast.cgi", "0");
  ASSERT_EQ(configure({"--member", "dj", "--password", "pw"}), 0);
  ASSERT_EQ(prompts.questions().size(), 1u);
  EXPECT_EQ(prompts.questions()[0].text,
            "This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?");
  bool switched = false;
  for (const std::string& path : http.paths())
    switched |= path.starts_with("/cgi-bin/netcast.cgi?stream=live");
  EXPECT_TRUE(switched);
  EXPECT_EQ(stored("username"), "dj");
  // The switch is one flag for the run; put it back for the tests that follow.
  WebService(http, "127.0.0.1:9").netcastSwitch("dj", "pw", "hostplay", 0);
}

}  // namespace
}  // namespace brovana
