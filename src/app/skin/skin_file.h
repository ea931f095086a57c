#pragma once
// Skin files (".skn"): the look of every window, as ini text.
//
//   [Skin]        name=..., author=...
//   [PanelClient] or [Panel]: the panel element's text property, e.g.
//                 statustextcolor=(0,255,0) and statuspanelcolor=(0,0,0)
//   [Captions]    captions of labels and buttons by element id: 1073=CPU
//   [Style]       a Qt style sheet; it runs until the next line that is one of these section
//                 headers, or to the end of the file
//
// Sections are matched regardless of case; ';' and '#' start comment lines outside [Style].
// Reading is pure text work, so that it can be tested and fuzzed without a display.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brovana {

// A colour as the skin's panel gives it: red + 256 × green + 65536 × blue.
using SkinColour = uint32_t;
inline constexpr SkinColour kDefaultStatusTextColour = 0x00ff00;   // green
inline constexpr SkinColour kDefaultStatusPanelColour = 0x000000;  // black

constexpr SkinColour skinColour(int red, int green, int blue) {
  return static_cast<SkinColour>(red + 256 * green + 65536 * blue);
}

struct SkinFile {
  std::string name;
  std::string author;
  std::string panelText;  // the panel element's text property: its section's lines
  std::map<int, std::string> captions;
  std::string styleSheet;

  SkinColour statusTextColour() const;
  SkinColour statusPanelColour() const;
};

// The colour written after `key` in a panel text: from the key, skip to the first decimal digit
// and take three numbers separated by any of "()=,". Nullopt when the key is missing or its
// value is not three numbers of 0 to 255 on the key's own line, so that a malformed value never
// reads colours out of whatever follows it.
std::optional<SkinColour> panelColour(std::string_view panelText, std::string_view key);

struct SkinParse {
  std::optional<SkinFile> skin;
  std::string error;  // why there is no skin
};

// Skin files larger than this are refused unread.
inline constexpr size_t kMaxSkinFileBytes = 1 << 20;

SkinParse parseSkin(std::string_view text);
// Reads and parses the file; a missing, unreadable, huge or binary file is an error.
SkinParse readSkinFile(const std::string& path);

}  // namespace brovana
