#pragma once
// Profile (ini) files as the desktop has always read them: "[section]" lines and "key=value"
// lines, sections and keys matched regardless of case, blanks around keys and values dropped,
// the first occurrence winning. Used for the names file and PLS playlists.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brovana {

class IniFile {
 public:
  // nullopt when the file cannot be read.
  static std::optional<IniFile> load(const std::string& path);
  static IniFile parse(std::string_view text);

  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  std::string value(std::string_view section, std::string_view key, std::string_view fallback) const;
  // Every key and value of a section, in file order (repeated keys included).
  std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

 private:
  struct Entry {
    std::string section;
    std::string key;
    std::string value;
  };
  std::vector<Entry> entries_;
};

}  // namespace brovana
