#include "app/command_line.h"

#include <gtest/gtest.h>

namespace brovana {
namespace {

TEST(CommandLine, ClassicSwitchesLongOptionsAndTheStationSettings) {
  ParseResult r = parseCommandLine({"-host", "127.0.0.1:8080", "-nostats", "-dd1", "-quiet", "-outfile",
                                    "/tmp/o", "--headless", "--workdir", "/tmp/w"});
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.options.noStats && r.options.dd1 && r.options.quiet && r.options.headless);
  EXPECT_EQ(std::tuple(r.options.host, r.options.outFile, r.options.workdir),
            std::tuple("127.0.0.1:8080", "/tmp/o", "/tmp/w"));
  r = parseCommandLine({"--configure", "--member", "dj", "--password", "p w", "--title", "Night show",
                        "--genre", "Jazz", "--genre", "Blues", "--url", "night.example", "--line-speed",
                        "56000", "--output-bitrate", "24000"});
  ASSERT_EQ(r.error, "");
  const CommandLine& o = r.options;
  EXPECT_TRUE(o.configure);
  EXPECT_EQ(std::tuple(o.member, o.password, o.title, o.url, o.lineSpeed, o.outputBitrate),
            std::tuple("dj", "p w", "Night show", "night.example", 56000, 24000));
  EXPECT_EQ(o.genres, (std::vector<std::string>{"Jazz", "Blues"}));
}

TEST(CommandLine, MistakesSayWhatIsWrong) {
  const std::vector<std::string> station = {"--configure", "--member", "a", "--password", "b"};
  auto configure = [&](std::vector<std::string> more) {
    more.insert(more.begin(), station.begin(), station.end());
    return more;
  };
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"-host"}, "-host needs a host name"},
      {{"--workdir"}, "--workdir needs a folder"},
      {{"--probe"}, "--probe needs at least one MP3 file"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"--configure", "--member", "dj"}, "--configure needs --member NAME and --password PW"},
      {{"--configure", "--password", "pw"}, "--configure needs --member NAME and --password PW"},
      {{"--member", "dj", "--password", "pw"}, "go with --configure"},
      {{"--headless", "--title", "x"}, "go with --configure"},
      {configure({"--headless"}), "separate runs"},
      {{"--playlist", "a.m3u"}, "--playlist goes with --headless"},
      {{"--headless", "--playlist"}, "--playlist needs a playlist file"},
      {configure({"--line-speed", "64000"}), "--line-speed is one of"},
      {configure({"--line-speed", "56k"}), "--line-speed is one of"},
      {configure({"--output-bitrate", "128000"}), "--output-bitrate is one of"},
      {configure({"--genre", "1", "--genre", "2", "--genre", "3", "--genre", "4"}), "at most three times"}};
  for (const auto& [args, says] : cases) {
    std::string error = parseCommandLine(args).error;
    EXPECT_TRUE(error.find(says) != std::string::npos && error.find("--help") != std::string::npos) << error;
  }
}

}  // namespace
}  // namespace brovana
