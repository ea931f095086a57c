#include <gmock/gmock.h>

#include <map>

#include "app/command_line.h"
#include "app/configure.h"
#include "app/headless_front.h"
#include "app/probe.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Texts = std::vector<std::string>;
constexpr const char* kHostplay = "0 OR OFF 0 100 0 0";  // a Hostplay account's bcinfo answer

TEST(CommandLine, MistakesSayWhatIsWrong) {
  const std::pair<Texts, const char*> cases[] = {
      {{"-host"}, "-host needs a host name"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--configure", "--member", "dj"}, "--configure needs --member NAME and --password PW"},
      {{"--member", "dj", "--password", "pw"}, "go with --configure"},
      {{"--configure", "--member", "a", "--password-file"}, "--password-file needs a file"},
      {{"--configure", "--member", "a", "--password", "b", "--password-file", "-"}, "one or the other"},
      {{"--playlist", "a.m3u"}, "--playlist goes with --headless"},
      {{"--headless", "--source", "radio"}, "--source is one of playlist, line, mic, cd or mix"},
      {{"--dsp", "a.so"}, "--dsp goes with --headless"},
      {{"--configure", "--member", "a", "--password", "b", "--line-speed", "64000"},
       "--line-speed is one of"},
      {{"--configure", "--member", "a", "--password", "b", "--genre", "1", "--genre", "2", "--genre", "3",
        "--genre", "4"},
       "at most three times"},
      {{"--configure", "--member", "a", "--password", "b", "--title", "Owls\r\nicy-pub: 0"},
       "one line of text"},
      {{"--configure", "--member", "a", "--password", "b", "--url", "a.example\t"}, "one line of text"}};
  for (const auto& [args, says] : cases)
    EXPECT_THAT(parseCommandLine(args).error,
                ::testing::AllOf(::testing::HasSubstr(says), ::testing::HasSubstr("--help")));
}

// Configuring with the arguments over the stored "name=value;..." settings, with the service's
// bcinfo answer and netcast result.
struct Configured {
  Configured(Texts args, const std::string& before = "",
             const std::string& bcinfo = "0 LI OFF 0 100 0 0 127.0.0.1 8000",
             const std::string& netcast = "0") {
    for (const auto& [name, value] : pairs(before)) registry.create(profileKeyPath())->set(name, value);
    http.answer("/cgi-bin/livelogin.cgi", "0 SESSION1");
    http.answer("/cgi-bin/bcinfo.cgi", bcinfo);
    http.answer("/cgi-bin/netcast.cgi", netcast);
    programValues().setRegistry(&registry);
    args.insert(args.begin(), "--configure");
    code = runConfigure(parseCommandLine(args).options, "127.0.0.1:9", registry, http, prompts, "memory");
    programValues().setRegistry(nullptr);
  }
  static std::map<std::string, std::string> pairs(const std::string& text) {
    std::map<std::string, std::string> out;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
      end = std::min(text.find(';', at), text.size());
      size_t is = text.find('=', at);
      out[text.substr(at, is - at)] = text.substr(is + 1, end - is - 1);
    }
    return out;
  }
  bool asked(const std::string& request) const {
    Texts paths = http.paths();
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

TEST(ConfigureTest, AnAcceptedAccountIsStoredWithTheStationOverWhatWasThere) {
  const std::string old =
      "message=Old show;playlist=/m/old.m3u;sessionID=7;genre=Blues;randomize=1;url=http://o.example/";
  test::TempFolder folder;
  folder.write("pw.txt", "pw2\r\nsecond line\n");
  const std::tuple<Texts, std::string, std::string> cases[] = {
      // The highest output a 56K line allows; configuring is not a run of the studio.
      {{"--member", "dj", "--password", "pw", "--title", "Night show", "--genre", "Jazz", "--genre", "Blues",
        "--url", "night.example", "--line-speed", "56000"},
       "",
       "username=dj;pass=pw;message=Night show;genre=Jazz;genre1=Blues;genre2= ;url=http://night.example;"
       "bitrate=56000;output_bitrate=32000;sessionID=0;host=127.0.0.1"},
      {{"--member", "dj", "--password", "new"}, old, old + ";pass=new"},  // what is not named is kept
      {{"--member", "dj", "--password-file", folder.file("pw.txt")}, "", "pass=pw2"},  // its first line
  };
  for (const auto& [args, before, after] : cases) {
    Configured run(args, before);
    EXPECT_EQ(run.code, 0);
    for (const auto& [name, value] : Configured::pairs(after)) EXPECT_EQ(run.stored(name), value) << name;
    EXPECT_TRUE(run.asked("/cgi-bin/bcinfo.cgi?membername=dj&password=" + run.stored("pass").value_or("")))
        << "the account is checked";
    EXPECT_TRUE(run.prompts.boxTexts().empty());
  }
  // A Hostplay account is switched to live, after asking.
  Configured hostplay({"--member", "dj", "--password", "pw"}, "", kHostplay);
  EXPECT_EQ(hostplay.prompts.questions().at(0).text,
            "This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?");
  EXPECT_TRUE(hostplay.code == 0 && hostplay.asked("/cgi-bin/netcast.cgi?stream=live"));
  EXPECT_EQ(hostplay.stored("username"), "dj");
  // The switch is one flag for the run; put it back for the tests that follow.
  WebService(hostplay.http, "127.0.0.1:9").netcastSwitch("dj", "pw", StationMode::Hostplay, 0);
}

TEST(ConfigureTest, RefusalsStoreNothing) {
  const struct {
    Texts args;
    const char* message;
    const char* bcinfo = "0 LI OFF 0 100 0 0 127.0.0.1 8000";
    const char* netcast = "0";
  } cases[] = {
      {{"--member", "<put your username here>", "--password", "pw"}, "enter a valid username"},
      {{"--member", "dj", "--password", ""}, "You need to enter a password"},
      {{"--member", "dj", "--password-file", "/nonexistent/pw"}, "read the password from /nonexistent"},
      {{"--member", "dj", "--password", "pw", "--line-speed", "28800", "--output-bitrate", "56000"},
       "A line speed of 28800 bps carries at most 16000 bps"},
      {{"--member", "dj", "--password", "wrong"}, "did not accept this member name and password", "-2"},
      {{"--member", "dj", "--password", "pw"}, "unable to change your account", kHostplay, "refused"},
  };
  for (const auto& c : cases) {
    Configured run(c.args, "", c.bcinfo, c.netcast);
    EXPECT_EQ(run.code, 1) << c.message;
    EXPECT_THAT(run.prompts.boxTexts(), ::testing::Contains(::testing::HasSubstr(c.message)));
    EXPECT_FALSE(run.registry.open(profileKeyPath())) << c.message;
  }
}

// Each question of the studio gets the answer that keeps the station on the air, but a server
// that stays unreachable is given up after three restarts.
TEST(HeadlessPrompts, AnswersKeepTheStationOnTheAirWithinLimits) {
  const std::pair<const char*, bool> cases[] = {
      {"Do you already have an account on Zelvora?", false},
      {"A new version of Brovana-Live is available. Would you like to upgrade now?", false},
      {"This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?",
       true},
      {"Do you want to start broadcasting your previous playlist, /music/night.m3u?", true},
  };
  for (auto [question, yes] : cases) EXPECT_EQ(HeadlessPrompts::answerFor(question), yes) << question;
  HeadlessPrompts prompts;
  Question restart{"Unable to connect to your Zelvora server, restart and try again?", "Brovana-Live",
                   "Restart", "Exit"};
  for (int i = 0; i < HeadlessPrompts::kRestartsOffered; ++i) EXPECT_TRUE(prompts.ask(restart)) << i;
  EXPECT_FALSE(prompts.ask(restart));
}

TEST(Probe, JsonStringsAreEscapedAndAlwaysUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {std::string("\"\\\t\n\0\x7f", 6), R"("\"\\\t\n\u0000\u007f")"},
      {"\xE2\x82\xAC Caf\xE9 \xC0\x80",
       "\"\xE2\x82\xAC Caf\xC3\xA9 \xC3\x80\xC2\x80\""},  // UTF-8, Latin-1, overlong
      {"\xED\xA0\x80 end\xE2\x82", "\"\xC3\xAD\xC2\xA0\xC2\x80 end\xC3\xA2\xC2\x82\""},  // surrogate, cut off
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(jsonQuote(text), quoted) << text;
}

}  // namespace
}  // namespace brovana
