#pragma once
// The studio's command line: the classic single-dash switches and the long options.

#include <optional>
#include <string>
#include <vector>

namespace brovana {

struct CommandLine {
  std::optional<std::string> host;     // -host HOST[:PORT]: the service's web host
  bool dd1 = false;                     // -dd1
  bool noStats = false;                 // -nostats: no status and gauge updates from the engine
  std::optional<std::string> outFile;   // -outfile PATH
  bool quiet = false;                   // -quiet
  bool headless = false;                // --headless
  std::optional<std::string> workdir;   // --workdir DIR
  std::vector<std::string> probeFiles;  // --probe FILE...
  bool probe = false;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  CommandLine options;
  std::string error;  // empty when the line was understood
};

ParseResult parseCommandLine(const std::vector<std::string>& args);
std::string helpText();

}  // namespace brovana
