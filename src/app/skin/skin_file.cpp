#include "app/skin/skin_file.h"

#include <charconv>
#include <fstream>
#include <iterator>

#include "core/text.h"

namespace brovana {
namespace {

enum class Section { None, Skin, Panel, PanelClient, Captions, Style, Other };

// The section a header line opens; nullopt when the line is no header.
std::optional<Section> header(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  std::string_view name = trim(line.substr(1, line.size() - 2));
  struct Named {
    const char* name;
    Section section;
  };
  constexpr Named kNames[] = {{"Skin", Section::Skin},
                              {"Panel", Section::Panel},
                              {"PanelClient", Section::PanelClient},
                              {"Captions", Section::Captions},
                              {"Style", Section::Style}};
  for (const Named& known : kNames)
    if (equalsIgnoreCase(name, known.name)) return known.section;
  return Section::Other;
}

bool isComment(std::string_view line) {
  return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Text files only: no NUL bytes, and well-formed UTF-8.
bool isText(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0) return false;
    int follow = byte < 0x80           ? 0
                 : (byte >> 5) == 0x6  ? 1
                 : (byte >> 4) == 0xe  ? 2
                 : (byte >> 3) == 0x1e ? 3
                                       : -1;
    if (follow < 0 || (follow > 0 && i + follow >= text.size())) return false;
    for (int k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
    i += 1 + follow;
  }
  return true;
}

SkinParse failure(std::string error) {
  SkinParse parse;
  parse.error = std::move(error);
  return parse;
}

bool isSeparator(char c) {
  return c == '(' || c == ')' || c == '=' || c == ',' || c == ' ' || c == '\t';
}

}  // namespace

std::optional<SkinColour> panelColour(std::string_view panelText, std::string_view key) {
  for (std::string_view line : splitLines(panelText)) {
    line = trim(line);
    if (line.size() < key.size() || !equalsIgnoreCase(line.substr(0, key.size()), key)) continue;
    std::string_view rest = line.substr(key.size());
    // "statustextcolor2=..." would be another key.
    if (rest.empty() || !isSeparator(rest.front())) continue;
    int parts[3];
    size_t at = 0;
    for (int& part : parts) {
      size_t separators = at;
      while (at < rest.size() && isSeparator(rest[at])) ++at;
      if (at == separators) return std::nullopt;
      auto [end, error] = std::from_chars(rest.data() + at, rest.data() + rest.size(), part);
      if (error != std::errc() || part < 0 || part > 255) return std::nullopt;
      at = static_cast<size_t>(end - rest.data());
    }
    return skinColour(parts[0], parts[1], parts[2]);
  }
  return std::nullopt;
}

SkinColour SkinFile::statusTextColour() const {
  SkinColour colour = panelColour(panelText, "statustextcolor").value_or(0);
  return colour == 0 ? kDefaultStatusTextColour : colour;
}

SkinColour SkinFile::statusPanelColour() const {
  return panelColour(panelText, "statuspanelcolor").value_or(kDefaultStatusPanelColour);
}

SkinParse parseSkin(std::string_view text) {
  if (text.size() > kMaxSkinFileBytes) return failure("the file is too large for a skin");
  if (!isText(text)) return failure("the file is not text (binary data or broken UTF-8)");
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  SkinFile skin;
  std::string panel, panelClient;
  bool haveSkin = false, havePanelClient = false;
  Section section = Section::None;
  int number = 0;
  for (std::string_view raw : splitLines(text)) {
    ++number;
    if (auto opened = header(raw)) {
      section = *opened;
      haveSkin |= section == Section::Skin;
      havePanelClient |= section == Section::PanelClient;
      continue;
    }
    if (section == Section::Style) {
      skin.styleSheet.append(raw).push_back('\n');
      continue;
    }
    std::string_view line = trim(raw);
    if (line.empty() || isComment(line) || section == Section::Other) continue;
    auto where = [&] { return "line " + std::to_string(number) + ": "; };
    if (section == Section::None)
      return failure(where() + "text before the first [section]; not a skin file");
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) return failure(where() + "expected key=value");
    std::string_view key = trim(line.substr(0, equals));
    std::string value(trim(line.substr(equals + 1)));
    switch (section) {
      case Section::Skin:
        if (equalsIgnoreCase(key, "name")) skin.name = value;
        if (equalsIgnoreCase(key, "author")) skin.author = value;
        break;
      case Section::Panel:
      case Section::PanelClient:
        (section == Section::Panel ? panel : panelClient).append(line).push_back('\n');
        break;
      case Section::Captions: {
        int id = 0;
        auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), id);
        if (error != std::errc() || end != key.data() + key.size() || id <= 0)
          return failure(where() + "a caption's key is an element id (a number)");
        skin.captions.emplace(id, std::move(value));
        break;
      }
      default:
        break;
    }
  }
  if (!haveSkin) return failure("no [Skin] section; not a skin file");
  // The client panel, when the skin has one, is the panel that carries the settings.
  skin.panelText = havePanelClient ? panelClient : panel;
  SkinParse parse;
  parse.skin = std::move(skin);
  return parse;
}

SkinParse readSkinFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return failure("cannot open the file");
  std::streamoff size = file.tellg();
  if (size < 0) return failure("cannot read the file");
  if (static_cast<size_t>(size) > kMaxSkinFileBytes) return failure("the file is too large for a skin");
  file.seekg(0);
  std::string text(static_cast<size_t>(size), '\0');
  if (!file.read(text.data(), size)) return failure("cannot read the file");
  return parseSkin(text);
}

}  // namespace brovana
