#pragma once
// The studio's command line: the classic single-dash switches and the long options.

#include <optional>
#include <string>
#include <vector>

#include "broadcast/studio_parts.h"

namespace brovana {

// A DSP plug-in library and the module of it to run.
struct DspChoice {
  std::string path;
  int module = 0;
};

struct CommandLine {
  std::optional<std::string> host;      // -host HOST[:PORT]: the service's web host
  bool dd1 = false;                     // -dd1
  bool noStats = false;                 // -nostats: no status and gauge updates from the engine
  std::optional<std::string> outFile;   // -outfile PATH
  bool quiet = false;                   // -quiet
  bool headless = false;                // --headless
  std::optional<std::string> playlist;  // --playlist FILE: the playlist the headless studio broadcasts
  std::optional<Source> source;         // --source KIND: the source the headless studio broadcasts
  std::optional<std::string> device;    // --device NAME: the sound input that records the live sources
  std::optional<std::string> workdir;   // --workdir DIR
  // --configure: stores the station settings without windows, after the service accepted them.
  bool configure = false;
  std::optional<std::string> member;    // --member NAME
  std::optional<std::string> password;  // --password PW
  // --password-file FILE: the password is its first line ("-" for standard input).
  std::optional<std::string> passwordFile;
  std::optional<std::string> title;     // --title T: the station description
  std::vector<std::string> genres;      // --genre G, up to three times
  std::optional<std::string> url;       // --url U
  std::optional<int> lineSpeed;         // --line-speed N: 100000, 56000, 33000 or 28800
  std::optional<int> outputBitrate;     // --output-bitrate N: 56000, 32000, 24000 or 16000
  std::vector<std::string> probeFiles;  // --probe FILE...
  std::optional<DspChoice> dsp;         // --dsp FILE.so[:MODULE]: the plug-in the headless studio runs
  bool listDsp = false;                 // --list-dsp
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
