#include "core/ini_file.h"

#include <fstream>
#include <sstream>

#include "core/text.h"

namespace brovana {

std::optional<IniFile> IniFile::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return parse(text.str());
}

IniFile IniFile::parse(std::string_view text) {
  IniFile ini;
  std::string section;
  bool inSection = false;
  for (std::string_view line : splitLines(text)) {
    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      section = std::string(trim(line.substr(1, close - 1)));
      inSection = true;
      continue;
    }
    size_t eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) continue;
    std::string_view value = trim(line.substr(eq + 1));
    // A value in matching quotes loses them, as profile readers always did.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    ini.entries_.push_back({section, std::string(trim(line.substr(0, eq))), std::string(value)});
  }
  return ini;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  for (const Entry& e : entries_)
    if (equalsIgnoreCase(e.section, section) && equalsIgnoreCase(e.key, key)) return e.value;
  return std::nullopt;
}

std::string IniFile::value(std::string_view section, std::string_view key, std::string_view fallback) const {
  return value(section, key).value_or(std::string(fallback));
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> found;
  for (const Entry& e : entries_)
    if (equalsIgnoreCase(e.section, section)) found.emplace_back(e.key, e.value);
  return found;
}

}  // namespace brovana
