#include "app/command_line.h"

#include <algorithm>
#include <charconv>

#include "broadcast/studio_parts.h"
#include "core/connection_rates.h"

namespace brovana {
namespace {

// --source names and their sources.
constexpr struct {
  const char* name;
  Source source;
} kSources[] = {{"playlist", Source::Playlist},
                {"line", Source::LineIn},
                {"mic", Source::Microphone},
                {"cd", Source::Cd},
                {"mix", Source::Mixer}};

std::optional<int> wholeNumber(const std::string& text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// One of the connection choices' line speeds, or one of the stream bit rates.
bool isLineSpeed(int value) {
  return std::any_of(kConnections.begin(), kConnections.end(), [&](auto& c) { return c.lineSpeed == value; });
}
bool isBitrate(int value) {
  return std::any_of(kOutputQualities.begin(), kOutputQualities.end(),
                     [&](auto& q) { return q.bitrate == value; });
}

// FILE.so[:MODULE]; the module is 0 unless the text ends in ':' and digits.
std::optional<DspChoice> dspChoice(const std::string& text) {
  DspChoice choice{text, 0};
  size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    if (std::optional<int> module = wholeNumber(text.substr(colon + 1)); module && *module >= 0) {
      choice = {text.substr(0, colon), *module};
    }
  }
  if (choice.path.empty()) return std::nullopt;
  return choice;
}

// One line of text: a line end or another control character would go into the station's
// header block on the wire.
bool isOneLine(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

}  // namespace

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
    } else if (word == "--playlist") {
      if (!(o.playlist = next())) return fail("--playlist needs a playlist file (M3U or PLS)");
    } else if (word == "--source") {
      auto name = next();
      for (const auto& source : kSources)
        if (name && *name == source.name) o.source = source.source;
      if (!o.source) return fail("--source is one of playlist, line, mic, cd or mix");
    } else if (word == "--device") {
      if (!(o.device = next())) return fail("--device needs the name of a sound input");
    } else if (word == "--configure") {
      o.configure = true;
    } else if (word == "--member") {
      if (!(o.member = next())) return fail("--member needs the member name");
    } else if (word == "--password") {
      if (!(o.password = next())) return fail("--password needs the password");
    } else if (word == "--password-file") {
      if (!(o.passwordFile = next())) return fail("--password-file needs a file, or - for standard input");
    } else if (word == "--title") {
      if (!(o.title = next())) return fail("--title needs the station description");
    } else if (word == "--genre") {
      auto genre = next();
      if (!genre) return fail("--genre needs a genre name");
      if (o.genres.size() == 3) return fail("--genre can be given at most three times");
      o.genres.push_back(*genre);
    } else if (word == "--url") {
      if (!(o.url = next())) return fail("--url needs the station's web address");
    } else if (word == "--line-speed" || word == "--output-bitrate") {
      bool line = word == "--line-speed";
      auto text = next();
      std::optional<int> value = text ? wholeNumber(*text) : std::nullopt;
      if (line && (!value || !isLineSpeed(*value)))
        return fail("--line-speed is one of 100000, 56000, 33000 or 28800 (bits per second)");
      if (!line && (!value || !isBitrate(*value)))
        return fail("--output-bitrate is one of 56000, 32000, 24000 or 16000 (bits per second)");
      (line ? o.lineSpeed : o.outputBitrate) = value;
    } else if (word == "--workdir") {
      if (!(o.workdir = next())) return fail("--workdir needs a folder");
    } else if (word == "--dsp") {
      auto text = next();
      if (!text || !(o.dsp = dspChoice(*text)))
        return fail("--dsp needs a plug-in library, as FILE.so or FILE.so:MODULE");
    } else if (word == "--list-dsp") {
      o.listDsp = true;
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
  if (o.configure && o.headless) return fail("--configure and --headless are separate runs");
  if (o.configure && (!o.member || !(o.password || o.passwordFile)))
    return fail("--configure needs --member NAME and --password PW (or --password-file FILE)");
  if (o.password && o.passwordFile) return fail("--password and --password-file are one or the other");
  bool stationOption = o.member || o.password || o.passwordFile || o.title || !o.genres.empty() || o.url ||
                       o.lineSpeed || o.outputBitrate;
  if (stationOption && !o.configure)
    return fail(
        "--member, --password, --password-file, --title, --genre, --url, --line-speed and "
        "--output-bitrate go with --configure");
  if ((o.title && !isOneLine(*o.title)) || (o.url && !isOneLine(*o.url)) ||
      !std::all_of(o.genres.begin(), o.genres.end(), isOneLine))
    return fail("--title, --genre and --url take one line of text, without control characters");
  if (o.playlist && !o.headless) return fail("--playlist goes with --headless");
  if (o.dsp && !o.headless) return fail("--dsp goes with --headless");
  if (o.source && !o.headless) return fail("--source goes with --headless");
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
  -outfile PATH       record the outgoing MP3 stream, exactly as the server gets it,
                      into PATH (emptied first; appended to after each reconnect)
  -dd1, -quiet        remembered switches of the classic command line
  --headless          run without windows: messages go to standard error and the log,
                      questions get the answer that keeps the station on the air; it
                      broadcasts until SIGINT or SIGTERM, then exits through the usual
                      exit sequence (settings saved, server switched off, log summary)
  --playlist FILE     with --headless: broadcast this M3U or PLS playlist
                      (default: the playlist of the last run)
  --source KIND       with --headless: what to broadcast: playlist (the default), or
                      the sound card's line (line-in), mic (microphone), cd (a CD that
                      is playing) or mix (everything the computer plays)
  --device NAME       record the live sources (line, mic, cd, mix and voiceovers) from
                      the sound input NAME, or the first whose name contains NAME,
                      instead of the default input
  --configure         store the station settings without windows, once the service has
                      accepted the account; the options below go with it:
    --member NAME       member name (required)
    --password PW       password (this or --password-file is required); other users
                        of this computer can read it in the process list while the
                        check runs, so prefer --password-file
    --password-file F   read the password from the first line of file F, or of
                        standard input when F is - (out of sight of the process list)
    --title T           station description, sent as the stream's name
    --genre G           station genre; up to three times
    --url U             station web address
    --line-speed N      your connection in bits per second: 100000 (T1/DSL/ISDN/Cable),
                        56000, 33000 or 28800 (default 100000)
    --output-bitrate N  stream bit rate: 56000, 32000, 24000 or 16000, at most what the
                        line speed allows (default: the highest it allows)
  --dsp FILE.so[:MODULE]
                      with --headless: run the broadcast through this DSP plug-in, module
                      MODULE of it (default 0); a FILE not found here is looked for in the
                      working folder's Plugins/ (the studio ships leveller.so there: module 0
                      levels loudness and limits peaks to -1 dBFS, module 1 only limits)
  --list-dsp          list the DSP plug-ins of the working folder's Plugins/ and their
                      modules, and exit
  --workdir DIR       working folder for logs, skins, genre.txt and the names file
                      (default: $XDG_DATA_HOME/brovana-live, ~/.local/share/brovana-live)
  --probe FILE...     print the MP3 facts and tags of each FILE as one JSON line and exit
  --help              show this text and exit
  --version           show the version and exit

Settings are kept in $XDG_CONFIG_HOME/brovana-live/settings.ini (readable by you only).
)";
}

}  // namespace brovana
