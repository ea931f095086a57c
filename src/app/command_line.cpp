#include "app/command_line.h"

namespace brovana {

ParseResult parseCommandLine(const std::vector<std::string>& args) {
  ParseResult result;
  CommandLine& o = result.options;
  auto fail = [&](std::string text) {
    result.error = std::move(text) + " (see brovana-live --help)";
    return result;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto next = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (o.probe && (word.empty() || word[0] != '-')) {
      o.probeFiles.push_back(word);
    } else if (word == "-host" || word == "--host") {
      if (!(o.host = next())) return fail("-host needs a host name, as HOST or HOST:PORT");
    } else if (word == "-dd1") {
      o.dd1 = true;
    } else if (word == "-nostats") {
      o.noStats = true;
    } else if (word == "-outfile") {
      if (!(o.outFile = next())) return fail("-outfile needs a file path");
    } else if (word == "-quiet") {
      o.quiet = true;
    } else if (word == "--headless") {
      o.headless = true;
    } else if (word == "--workdir") {
      if (!(o.workdir = next())) return fail("--workdir needs a folder");
    } else if (word == "--probe") {
      o.probe = true;
    } else if (word == "--help" || word == "-h") {
      o.help = true;
    } else if (word == "--version") {
      o.version = true;
    } else {
      return fail("unknown option '" + word + "'");
    }
  }
  if (o.probe && o.probeFiles.empty()) return fail("--probe needs at least one MP3 file");
  return result;
}

std::string helpText() {
  return R"(Usage: brovana-live [OPTION]...
Brovana-Live turns this computer into a live station of the Zelvora internet radio service:
it plays a playlist of MP3 files (or records the sound card), encodes the sound as MP3 at
16, 24, 32 or 56 kbit/s and streams it to the member's broadcast server.

Options:
  -host HOST[:PORT]   talk to this web host of the service instead of the default
                      (for example 127.0.0.1:8080 for the local service emulator)
  -nostats            no status or stream quality updates while a playlist plays
  -outfile PATH       remember PATH as the output file
  -dd1, -quiet        remembered switches of the classic command line
  --headless          run without windows: messages go to standard error and the log,
                      questions get the answer that keeps the station on the air
  --workdir DIR       working folder for logs, skins, genre.txt and the names file
                      (default: $XDG_DATA_HOME/brovana-live, ~/.local/share/brovana-live)
  --probe FILE...     print the MP3 facts and tags of each FILE as one JSON line and exit
  --help              show this text and exit
  --version           show the version and exit

Settings are kept in $XDG_CONFIG_HOME/brovana-live/settings.ini (readable by you only).
)";
}

}  // namespace brovana
