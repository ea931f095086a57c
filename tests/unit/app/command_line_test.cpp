#include "app/command_line.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(CommandLine, ClassicSwitchesAndLongOptions) {
  ParseResult r = parseCommandLine({"-host", "127.0.0.1:8080", "-nostats", "-dd1", "-quiet", "-outfile",
                                    "/tmp/o", "--headless", "--workdir", "/tmp/w"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.host, "127.0.0.1:8080");
  EXPECT_TRUE(r.options.noStats && r.options.dd1 && r.options.quiet && r.options.headless);
  EXPECT_EQ(r.options.outFile, "/tmp/o");
  EXPECT_EQ(r.options.workdir, "/tmp/w");
}

TEST(CommandLine, ConfigureTakesTheStationSettings) {
  ParseResult r = parseCommandLine({"--configure", "--member", "dj", "--password", "p w", "--title",
                                    "Night show", "--genre", "Jazz", "--genre", "Blues", "--url",
                                    "night.example", "--line-speed", "56000", "--output-bitrate", "24000"});
  ASSERT_EQ(r.error, "");
  const CommandLine& o = r.options;
  EXPECT_TRUE(o.configure);
  EXPECT_EQ(o.member, "dj");
  EXPECT_EQ(o.password, "p w");
  EXPECT_EQ(o.title, "Night show");
  EXPECT_EQ(o.genres, (std::vector<std::string>{"Jazz", "Blues"}));
  EXPECT_EQ(o.url, "night.example");
  EXPECT_EQ(o.lineSpeed, 56000);
  EXPECT_EQ(o.outputBitrate, 24000);
}

TEST(CommandLine, MistakesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"-host"}, "-host needs a host name"},
      {{"--workdir"}, "--workdir needs a folder"},
      {{"--probe"}, "--probe needs at least one MP3 file"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--configure", "--member", "dj"}, "--configure needs --member NAME and --password PW"},
      {{"--configure", "--password", "pw"}, "--configure needs --member NAME and --password PW"},
      {{"--member", "dj", "--password", "pw"}, "go with --configure"},
      {{"--headless", "--title", "x"}, "go with --configure"},
      {{"--configure", "--headless", "--member", "a", "--password", "b"}, "separate runs"},
      {{"--playlist", "a.m3u"}, "--playlist goes with --headless"},
      {{"--headless", "--playlist"}, "--playlist needs a playlist file"},
      {{"--dsp", "a.so"}, "--dsp goes with --headless"},
      {{"--headless", "--dsp", ":2"}, "--dsp needs a plug-in library"},
      {{"--configure", "--member", "a", "--password", "b", "--line-speed", "64000"},
       "--line-speed is one of"},
      {{"--configure", "--member", "a", "--password", "b", "--line-speed", "56k"}, "--line-speed is one of"},
      {{"--configure", "--member", "a", "--password", "b", "--output-bitrate", "128000"},
       "--output-bitrate is one of"},
      {{"--configure", "--member", "a", "--password", "b", "--genre", "1", "--genre", "2", "--genre", "3",
        "--genre", "4"},
       "at most three times"}};
  for (const Case& c : cases) {
    ParseResult r = parseCommandLine(c.args);
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("--help"), std::string::npos);
  }
}

}  // namespace
}  // namespace brovana
