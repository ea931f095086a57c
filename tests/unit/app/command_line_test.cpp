#include "app/command_line.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(CommandLine, ClassicSwitchesAndLongOptions) {
  ParseResult r = parseCommandLine({"-host", "127.0.0.1:8080", "-nostats", "-dd1", "-quiet", "-outfile", "/tmp/o",
                                    "--headless", "--workdir", "/tmp/w"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.host, "127.0.0.1:8080");
  EXPECT_TRUE(r.options.noStats && r.options.dd1 && r.options.quiet && r.options.headless);
  EXPECT_EQ(r.options.outFile, "/tmp/o");
  EXPECT_EQ(r.options.workdir, "/tmp/w");
}

TEST(CommandLine, ProbeTakesTheFilesThatFollow) {
  ParseResult r = parseCommandLine({"--probe", "a.mp3", "b c.mp3"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.probeFiles, (std::vector<std::string>{"a.mp3", "b c.mp3"}));
}

TEST(CommandLine, MistakesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {{{"-host"}, "-host needs a host name"},
               {{"--workdir"}, "--workdir needs a folder"},
               {{"--probe"}, "--probe needs at least one MP3 file"},
               {{"--frobnicate"}, "unknown option '--frobnicate'"}};
  for (const Case& c : cases) {
    ParseResult r = parseCommandLine(c.args);
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("--help"), std::string::npos);
  }
}

TEST(CommandLine, HelpExplainsEveryOption) {
  std::string help = helpText();
  for (const char* option : {"-host", "-nostats", "-outfile", "-dd1", "-quiet", "--headless", "--workdir", "--probe",
                             "--help", "--version"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace brovana
