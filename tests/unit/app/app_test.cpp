#include <gmock/gmock.h>

#include <filesystem>

#include "app/command_line.h"
#include "app/configure.h"
#include "app/headless_front.h"
#include "app/probe.h"
#include "app/working_folder.h"
#include "core/program_values.h"
#include "core/registry.h"
#include "support/fake_http_client.h"
#include "support/fake_prompts.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using Texts = std::vector<std::string>;

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
  const std::tuple<Texts, std::string, std::string> cases[] = {
      // The highest output a 56K line allows; configuring is not a run of the studio.
      {{"--member", "dj", "--password", "pw", "--title", "Night show", "--genre", "Jazz", "--genre", "Blues",
        "--url", "night.example", "--line-speed", "56000"},
       "",
       "username=dj;pass=pw;message=Night show;genre=Jazz;genre1=Blues;genre2= ;url=http://night.example;"
       "bitrate=56000;output_bitrate=32000;sessionID=0;host=127.0.0.1"},
      {{"--member", "dj", "--password", "new"}, old, old + ";pass=new"},  // what is not named is kept
  };
  for (const auto& [args, before, after] : cases) {
    Configured run(args, before);
    EXPECT_EQ(run.code, 0);
    for (const auto& [name, value] : Configured::pairs(after)) EXPECT_EQ(run.stored(name), value) << name;
    EXPECT_TRUE(run.asked("/cgi-bin/bcinfo.cgi?membername=dj&password=" + args[3]))
        << "the account is checked";
    EXPECT_TRUE(run.prompts.boxTexts().empty());
  }
  // A Hostplay account is switched to live, after asking.
  Configured hostplay({"--member", "dj", "--password", "pw"}, "", "0 OR OFF 0 100 0 0");
  EXPECT_EQ(hostplay.code, 0);
  EXPECT_EQ(hostplay.prompts.questions().at(0).text,
            "This account, dj, is currently set up for Hostplay. Do you want switch this to broadcast Live?");
  EXPECT_TRUE(hostplay.asked("/cgi-bin/netcast.cgi?stream=live"));
  EXPECT_EQ(hostplay.stored("username"), "dj");
  // The switch is one flag for the run; put it back for the tests that follow.
  WebService(hostplay.http, "127.0.0.1:9").netcastSwitch("dj", "pw", "hostplay", 0);
  // The password from the first line of a file.
  test::TempFolder folder;
  folder.write("pw.txt", "p w\r\nsecond line\n");
  Configured fromFile({"--member", "dj", "--password-file", folder.file("pw.txt")});
  EXPECT_EQ(fromFile.code, 0);
  EXPECT_EQ(fromFile.stored("pass"), "p w");
}

TEST(ConfigureTest, RefusalsStoreNothing) {
  const std::string live = "0 LI OFF 0 100 0 0 127.0.0.1 8000";
  const std::tuple<Texts, std::string, std::string, std::string> cases[] = {
      // arguments, bcinfo and netcast answers, the message
      {{"--member", "<put your username here>", "--password", "pw"}, live, "0", "enter a valid username"},
      {{"--member", "dj", "--password", ""}, live, "0", "You need to enter a password"},
      {{"--member", "dj", "--password-file", "/nonexistent/pw"},
       live,
       "0",
       "read the password from /nonexistent"},
      {{"--member", "dj", "--password", "pw", "--line-speed", "28800", "--output-bitrate", "56000"},
       live,
       "0",
       "A line speed of 28800 bps carries at most 16000 bps"},
      {{"--member", "dj", "--password", "wrong"}, "-2", "0", "did not accept this member name and password"},
      {{"--member", "dj", "--password", "pw"},
       "0 OR OFF 0 100 0 0",
       "refused",
       "unable to change your account"},
  };
  for (const auto& [args, bcinfo, netcast, message] : cases) {
    Configured run(args, "", bcinfo, netcast);
    EXPECT_EQ(run.code, 1) << message;
    EXPECT_THAT(run.prompts.boxTexts(), ::testing::Contains(::testing::HasSubstr(message)));
    EXPECT_FALSE(run.registry.open(profileKeyPath())) << message;
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
      {"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
      {"tab\tline\nret\r", R"("tab\tline\nret\r")"},
      {std::string("nul\0bell\x07"
                   "del\x7f",
                   13),
       R"("nul\u0000bell\u0007del\u007f")"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5\""},  // UTF-8 kept
      {"Caf\xE9", "\"Caf\xC3\xA9\""},                     // Latin-1
      {"\xC0\x80", "\"\xC3\x80\xC2\x80\""},               // overlong: two Latin-1 bytes
      {"\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\xC2\x80\""},   // a surrogate is not UTF-8
      {"end\xE2\x82", "\"end\xC3\xA2\xC2\x82\""},         // cut-off sequence
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(jsonQuote(text), quoted) << text;
}

TEST(WorkingFolder, SeedsMissingFilesKeepsTheMembersOwnAndChangesIntoIt) {
  test::TempFolder share, plugins, home;
  plugins.write("dsp_leveller.so", "shipped plug-in");
  share.write("genre.txt", "shipped genres");
  share.write("skins/zelvora_1.skn", "[Skin]");
  home.write("data/brovana-live/genre.txt", "my own genres");
  home.write("file", "x");
  test::ScopedChdir restore(home.path());
  std::string error;
  ASSERT_TRUE(enterWorkingFolder(home.file("data/brovana-live"), share.path(), error, plugins.path()))
      << error;
  EXPECT_EQ(std::filesystem::current_path(), home.file("data/brovana-live"));
  EXPECT_EQ(home.read("data/brovana-live/genre.txt"), "my own genres");
  EXPECT_EQ(home.read("data/brovana-live/skins/zelvora_1.skn"), "[Skin]");
  EXPECT_EQ(std::filesystem::read_symlink(home.file("data/brovana-live/Plugins/dsp_leveller.so")),
            plugins.file("dsp_leveller.so"));
  // An unusable folder is reported with what to do.
  EXPECT_FALSE(enterWorkingFolder(home.file("file/sub"), share.path(), error, plugins.path()));
  EXPECT_THAT(error, ::testing::HasSubstr("--workdir"));
}

}  // namespace
}  // namespace brovana
