#include "playlist/playlist_files.h"

#include <cctype>
#include <climits>
#include <map>

#include "core/ini_file.h"
#include "core/text.h"

namespace brovana {

namespace {

bool containsIgnoreCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (equalsIgnoreCase(text.substr(i, part.size()), part)) return true;
  return false;
}

// The number of a "File<n>" key, as the lookup of "File%d" would match it: no sign, no leading
// zero. 0 for any other key.
long long fileKeyNumber(std::string_view key) {
  if (key.size() < 5 || !equalsIgnoreCase(key.substr(0, 4), "file") || key[4] == '0') return 0;
  long long n = 0;
  for (char c : key.substr(4)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    n = n * 10 + (c - '0');
    if (n > 1'000'000'000'000LL) return 0;
  }
  return n;
}

constexpr const char* kNoEntry = "<none>";

}  // namespace

PlaylistFormat playlistFormatOf(std::string_view path) {
  std::string_view name = fileNamePart(path);
  if (containsIgnoreCase(name, ".m3u")) return PlaylistFormat::M3U;
  if (containsIgnoreCase(name, ".pls")) return PlaylistFormat::PLS;
  if (containsIgnoreCase(name, ".txt")) return PlaylistFormat::Mirobeam;
  return PlaylistFormat::Unknown;
}

std::string_view fileNamePart(std::string_view path) {
  size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string folderPart(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string toSlashes(std::string_view path) {
  std::string s(path);
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

bool hasDriveLetter(std::string_view path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string resolveEntry(std::string_view entry, std::string_view playlistPath) {
  std::string path = toSlashes(entry);
  if (hasDriveLetter(path) || (!path.empty() && path[0] == '/') || path.find("://") != std::string::npos)
    return path;
  size_t slash = playlistPath.rfind('/');
  if (slash == std::string_view::npos) return path;
  return std::string(playlistPath.substr(0, slash + 1)) + path;
}

std::vector<std::string_view> textLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string> readM3U(std::string_view text, std::string_view playlistPath) {
  std::vector<std::string> paths;
  // Every line that is not a "#" line is an entry. Files this program writes alternate "#EXTINF"
  // and path lines and read the same; plain lists of other players keep every track.
  for (std::string_view line : textLines(text)) {
    if (line.empty() || line.front() == '#') continue;
    if (line.substr(0, 4) == "http") continue;
    paths.push_back(resolveEntry(line, playlistPath));
  }
  return paths;
}

std::vector<std::string> readPLS(std::string_view text, std::string_view playlistPath) {
  IniFile ini = IniFile::parse(text);
  // Without a count, every "File<n>" key there is counts: players that leave the count out
  // still list their tracks.
  auto countText = ini.value("playlist", "NumberOfEntries");
  const long long count = countText ? parseInt(*countText) : LLONG_MAX;

  // File1 .. File<count>, first occurrence of a key winning, as a keyed lookup reads them.
  std::map<long long, std::string> files;
  for (auto& [key, value] : ini.entries("playlist")) {
    long long n = fileKeyNumber(key);
    if (n >= 1 && n <= count) files.emplace(n, value);
  }

  // A run of missing keys gives one "<none>" entry, so that an absurd count cannot flood the
  // user with identical refusals.
  std::vector<std::string> paths;
  long long previous = 0;
  for (auto& [n, value] : files) {
    if (n > previous + 1) paths.emplace_back(kNoEntry);
    paths.push_back(resolveEntry(value, playlistPath));
    previous = n;
  }
  if (countText && count > previous) paths.emplace_back(kNoEntry);
  return paths;
}

std::vector<std::string> readMirobeam(std::string_view text, std::string_view playlistPath) {
  std::vector<std::string> paths;
  std::vector<std::string_view> lines = textLines(text);
  for (size_t i = 3; i < lines.size(); ++i) {
    size_t mark = lines[i].find("$$");
    if (mark == std::string_view::npos) continue;
    paths.push_back(resolveEntry(lines[i].substr(0, mark), playlistPath));
  }
  return paths;
}

}  // namespace brovana
