#include "app/configure.h"

#include <gmock/gmock.h>

#include "broadcast/program_values.h"
#include "core/registry.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"

namespace brovana {
namespace {

using Values = std::map<std::string, std::string>;
const std::string kLive = "0 LI OFF 0 100 0 0 127.0.0.1 8000";

// What configuring with the arguments stored over the `before` values, with the service's
// bcinfo answer and netcast result; the exit code, and what was said.
struct Configured {
  Configured(std::vector<std::string> args, const Values& before = {}, const std::string& bcinfo = kLive,
             const std::string& netcast = "0") {
    for (const auto& [name, value] : before) registry.create(profileKeyPath())->set(name, value);
    http.answer("/cgi-bin/livelogin.cgi", "0 SESSION1");
    http.answer("/cgi-bin/bcinfo.cgi", bcinfo);
    http.answer("/cgi-bin/netcast.cgi", netcast);
    programValues().setRegistry(&registry);
    args.insert(args.begin(), "--configure");
    ParseResult parsed = parseCommandLine(args);
    EXPECT_EQ(parsed.error, "");
    code = runConfigure(parsed.options, "127.0.0.1:9", registry, http, prompts, "memory");
    programValues().setRegistry(nullptr);
  }
  bool asked(const std::string& request) const {
    auto paths = http.paths();
    return std::any_of(paths.begin(), paths.end(),
                       [&](const std::string& p) { return p.starts_with(request); });
  }
  std::optional<std::string> stored(const std::string& name) {
    auto key = registry.open(profileKeyPath());
    return key ? key->query(name) : std::nullopt;
  }

  MemoryRegistry registry;
  test::FakeHttpClient http;
  test::FakePrompts prompts;
  int code = -1;
};

TEST(ConfigureTest, AnAcceptedAccountIsStoredWithTheStation) {
  const Values old = {{"message", "Old show"}, {"playlist", "/m/old.m3u"}, {"sessionID", "7"},
                      {"genre", "Blues"},      {"randomize", "1"},         {"url", "http://old.example/"}};
  const std::tuple<std::vector<std::string>, Values, Values> cases[] = {
      {{"--member", "dj", "--password", "pw", "--title", "Night show", "--genre", "Jazz", "--genre", "Blues",
        "--url", "night.example", "--line-speed", "56000"},
       {},
       {{"username", "dj"},
        {"pass", "pw"},
        {"message", "Night show"},
        {"genre", "Jazz"},
        {"genre1", "Blues"},
        {"genre2", " "},
        {"url", "http://night.example"},
        {"bitrate", "56000"},
        {"output_bitrate", "32000"},  // the highest a 56K line allows
        {"sessionID", "0"},           // configuring is not a run of the studio
        {"host", "127.0.0.1"}}},
      {{"--member", "dj", "--password", "pw"},
       {},
       {{"message", "Welcome to the dj show!"},
        {"bitrate", "100000"},
        {"output_bitrate", "56000"},
        {"genre", "Various"},
        {"url", std::string("http://") + kMainWebHost}}},
      // Stored settings keep what is not named.
      {{"--member", "dj", "--password", "new"},
       old,
       [&] {
         Values kept = old;
         kept["pass"] = "new";
         return kept;
       }()},
  };
  for (const auto& [args, before, after] : cases) {
    Configured run(args, before);
    EXPECT_EQ(run.code, 0);
    for (const auto& [name, value] : after) EXPECT_EQ(run.stored(name), value) << name;
    EXPECT_TRUE(run.asked("/cgi-bin/bcinfo.cgi?membername=dj&password=" + args[3]))
        << "the account is checked";
    EXPECT_TRUE(run.prompts.boxTexts().empty());
  }
}

TEST(ConfigureTest, RefusalsStoreNothing) {
  const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
      {{"--member", "<put your username here>", "--password", "pw"},
       "0 LI",
       "0",
       "You need to enter a valid username"},
      {{"--member", "dj", "--password", ""}, kLive, "0", "You need to enter a password"},
      {{"--member", "dj", "--password", "pw", "--line-speed", "28800", "--output-bitrate", "56000"},
       "0 LI",
       "0",
       "A line speed of 28800 bps carries at most 16000 bps; choose a lower --output-bitrate."},
      {{"--member", "dj", "--password", "wrong"},
       "-2",
       "0",
       "The service did not accept this member name and password; nothing was stored."},
      {{"--member", "dj", "--password", "pw"},
       "0 OR OFF 0 100 0 0",
       "refused",
       "Live is unable to change your account type from Hostplay to Live. Try logging in to your account and "
       "change "
       "it by hand."},
  };
  for (const auto& [args, bcinfo, netcast, message] : cases) {
    Configured run(args, {}, bcinfo, netcast);
    EXPECT_EQ(run.code, 1) << message;
    EXPECT_THAT(run.prompts.boxTexts(), ::testing::Contains(message));
    EXPECT_FALSE(run.registry.open(profileKeyPath())) << message;
  }
}

TEST(ConfigureTest, AHostplayAccountIsSwitchedToLive) {
  Configured run({"--member", "dj", "--password", "pw"}, {}, "0 OR OFF 0 100 0 0");
  ASSERT_EQ(run.code, 0);
  ASSERT_EQ(run.prompts.questions().size(), 1u);
  EXPECT_EQ(run.prompts.questions()[0].text,
            "This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?");
  EXPECT_TRUE(run.asked("/cgi-bin/netcast.cgi?stream=live"));
  EXPECT_EQ(run.stored("username"), "dj");
  // The switch is one flag for the run; put it back for the tests that follow.
  WebService(run.http, "127.0.0.1:9").netcastSwitch("dj", "pw", "hostplay", 0);
}

}  // namespace
}  // namespace brovana
