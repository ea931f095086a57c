#pragma once
// The INI dialect of QSettings, for the settings files members already have: keys are "/" paths
// whose first part is the [section], values are kept as written and decoded on reading, so that
// values this program never sets survive a rewrite unchanged.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brovana {

// Full key ("Software/Zelvora/Live/member") to its value as written in the file.
using IniEntries = std::map<std::string, std::string, std::less<>>;

IniEntries parseIni(std::string_view file);
std::string writeIni(const IniEntries& entries);

// "a//b/" reads as "a/b", as QSettings takes it.
std::string normalizedIniKey(std::string_view key);

// A text value as written; and back, nullopt for a value that is marked invalid. A list (commas
// outside quotes) reads as the empty text, as it does through QSettings.
std::string encodeIniValue(std::string_view value);
std::optional<std::string> decodeIniValue(std::string_view written);

}  // namespace brovana
