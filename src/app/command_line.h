#pragma once
// The studio's command line: the classic single-dash switches and the long options. One table
// holds every option; the parser, --help and the manual's OPTIONS section are all read from it.

#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "audio/loudness.h"
#include "broadcast/stream_target.h"
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
  std::optional<std::string> title;        // --title T: the station description
  std::vector<std::string> genres;         // --genre G, up to three times
  std::optional<std::string> url;          // --url U
  std::optional<int> lineSpeed;            // --line-speed N: 100000, 56000, 33000 or 28800
  std::optional<int> outputBitrate;        // --output-bitrate N: 56000, 32000, 24000 or 16000
  std::vector<std::string> probeFiles;     // --probe FILE...
  std::optional<DspChoice> dsp;            // --dsp FILE.so[:MODULE]: the plug-in the headless studio runs
  bool listDsp = false;                    // --list-dsp
  std::optional<NormalizeMode> normalize;  // --normalize off|track|album: stored for later runs too
  std::optional<double> crossfade;         // --crossfade SECONDS, 0 to 10: stored for later runs too
  // The dead-air guard, stored for later runs too: --silence-level DB, --silence-time SECONDS,
  // --fallback FILE.
  std::optional<double> silenceLevel;
  std::optional<double> silenceTime;
  std::optional<std::string> fallback;
  std::vector<StreamTarget> also;         // --also URL: the extra servers, up to eight
  std::vector<StreamTarget> records;      // --record FILE?QUERY: recordings in a format of their own
  std::optional<std::string> songFile;    // --song-file FILE: the now-playing title DJ software writes
  std::vector<std::string> remote;        // --remote COMMAND [OPERAND]: to the running studio
  bool onAirAtStart = false;              // --on-air: the broadcast starts at launch, unasked
  std::optional<int> recordSplitMinutes;  // --record-split MINUTES: a new recording file every N minutes
  // The complaint of a rule that names the part of its word it cannot take.
  std::string refusal;
  bool probe = false;
  bool help = false;
  bool version = false;
};

struct ParseResult {
  CommandLine options;
  std::string error;  // empty when the line was understood
};

// How an option changes the parsed line: it turns a switch on, keeps the word after it, or
// follows a rule of its own that returns the complaint about a word it cannot take (null when it
// took it).
using OptionRule = const char* (*)(CommandLine& line, const std::string& word);
using OptionEffect = std::variant<bool CommandLine::*, std::optional<std::string> CommandLine::*, OptionRule>;

struct CommandOption {
  const char* spelling;            // as --help shows it
  const char* alias = nullptr;     // another spelling the parser takes
  const char* argument = nullptr;  // what --help names after it (a switch's operands too: --probe FILE...)
  // --help's text, its lines apart by '\n'; null: told together with the next option.
  const char* help = nullptr;
  bool nested = false;  // listed under the option above it (what goes with --configure)
  OptionEffect effect;
  const char* needs = nullptr;   // the complaint when the word after it is missing
  const char* manual = nullptr;  // what the manual says beyond the help text
};

std::span<const CommandOption> commandOptions();
// The --source names: playlist, line, mic, cd, mix.
std::optional<Source> sourceNamed(const std::string& name);
std::string sourceName(Source source);
ParseResult parseCommandLine(const std::vector<std::string>& args);
std::string helpText();
// The entries of the manual's OPTIONS section, in roff; the build writes them into the man page.
std::string manualOptions();

}  // namespace brovana
