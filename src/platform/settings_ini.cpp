#include "platform/settings_ini.h"

#include <cctype>
#include <cstdint>

#include "core/text.h"

namespace brovana {
namespace {

// Text in QSettings' escapes counts UTF-16 units (\x hex escapes, %U key escapes); it is built
// as such and turned into UTF-8 once.
using Units = std::u16string;

void appendUnits(Units& out, std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    auto byte = static_cast<uint8_t>(bytes[i]);
    int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    char32_t point = extra ? byte & (0x3F >> extra) : byte;
    if (byte >= 0x80 && byte < 0xC0) extra = 0, point = 0xFFFD;
    if (extra && i + extra >= bytes.size()) extra = 0, point = 0xFFFD;
    for (int k = 1; k <= extra; ++k) point = (point << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
    i += 1 + extra;
    if (point > 0xFFFF) {
      out += static_cast<char16_t>(0xD7C0 + (point >> 10));
      out += static_cast<char16_t>(0xDC00 | (point & 0x3FF));
    } else {
      out += static_cast<char16_t>(point);
    }
  }
}

std::string toUtf8(const Units& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t point = units[i];
    if (point >= 0xD800 && point < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (point >= 0xD800 && point < 0xE000) {
      point = 0xFFFD;
    }
    appendUtf8(out, point);
  }
  return out;
}

int digitValue(char c, int base) {
  int value = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : 99;
  return value < base ? value : -1;
}

const char kHex[] = "0123456789ABCDEF";

// Keys: "/" is written as "\", anything but letters, digits, "_", "-" and "." as %XX or %UXXXX.
std::string escapedKey(std::string_view key) {
  Units units;
  appendUnits(units, key);
  std::string out;
  for (char16_t unit : units) {
    if (unit == '/') {
      out += '\\';
    } else if ((unit < 0x80 && std::isalnum(unit)) || unit == '_' || unit == '-' || unit == '.') {
      out += static_cast<char>(unit);
    } else if (unit <= 0xFF) {
      out += {'%', kHex[unit >> 4], kHex[unit & 15]};
    } else {
      out += {'%', 'U', kHex[unit >> 12], kHex[(unit >> 8) & 15], kHex[(unit >> 4) & 15], kHex[unit & 15]};
    }
  }
  return out;
}

std::string unescapedKey(std::string_view written) {
  Units units, out;
  appendUnits(units, written);
  for (size_t i = 0; i < units.size();) {
    char16_t unit = units[i];
    size_t digitsAt = i + 1, digits = 2;
    if (unit == '%' && digitsAt < units.size() && units[digitsAt] == 'U') ++digitsAt, digits = 4;
    int value = unit == '%' && digitsAt + digits <= units.size() ? 0 : -1;
    for (size_t k = 0; value >= 0 && k < digits; ++k) {
      int digit = units[digitsAt + k] < 0x80 ? digitValue(static_cast<char>(units[digitsAt + k]), 16) : -1;
      value = digit < 0 ? -1 : value * 16 + digit;
    }
    if (value >= 0) {
      out += static_cast<char16_t>(value);
      i = digitsAt + digits;
    } else {
      out += unit == '\\' ? u'/' : unit;
      ++i;
    }
  }
  return toUtf8(out);
}

struct IniLine {
  size_t start = 0, end = 0, equals = std::string_view::npos;
};

// The next logical line from `at`: a ";" line is a comment, a ";" outside quotes ends a line,
// and a backslash or quotes carry a line over a line break.
bool readLine(std::string_view data, size_t& at, IniLine& line) {
  bool inQuotes = false;
  line = {at, at, std::string_view::npos};
  while (line.start < data.size() && std::isspace(static_cast<unsigned char>(data[line.start]))) ++line.start;
  size_t i = line.start;
  while (i < data.size()) {
    char c = data[i++];
    if (c == '=') {
      if (!inQuotes && line.equals == std::string_view::npos) line.equals = i - 1;
    } else if (c == '\n' || c == '\r') {
      if (i == line.start + 1) {
        ++line.start;
      } else if (!inQuotes) {
        --i;
        break;
      }
    } else if (c == '\\') {
      if (i < data.size()) {
        char escaped = data[i++];
        if (i < data.size() && ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n')))
          ++i;
      }
    } else if (c == '"') {
      inQuotes = !inQuotes;
    } else if (c == ';') {
      if (i == line.start + 1) {
        while (i < data.size() && data[i] != '\n' && data[i] != '\r') ++i;
        while (i < data.size() && std::isspace(static_cast<unsigned char>(data[i]))) ++i;
        line.start = i;
      } else if (!inQuotes) {
        --i;
        break;
      }
    }
  }
  at = i;
  line.end = i;
  return line.end > line.start;
}

std::string sectionPrefix(std::string_view header) {
  size_t close = header.find(']');
  std::string_view name =
      header.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.front()))) name.remove_prefix(1);
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.remove_suffix(1);
  auto lower = [](std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  if (lower(name) == "general") return {};
  if (lower(name) == "%general") return std::string(name.substr(1)) + '/';
  return unescapedKey(name) + '/';
}

// The escapes of one value, then whether it was a list.
bool unescapedValue(std::string_view in, Units& out) {
  static constexpr std::string_view kCodes = "a\ab\bf\fn\nr\rt\tv\v\"\"?\?''\\\\";
  bool list = false, quoted = false, currentQuoted = false;
  size_t i = 0, chopLimit = 0;
  auto chop = [&] {
    while (out.size() > chopLimit && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
  };
  auto skipSpaces = [&] {
    while (i < in.size() && (in[i] == ' ' || in[i] == '\t')) ++i;
    chopLimit = out.size();
  };
  skipSpaces();
  while (i < in.size()) {
    char c = in[i];
    if (c == '\\') {
      if (++i >= in.size()) return list;
      char code = in[i++];
      size_t at = kCodes.find(code);
      // After an escape, the spaces before it are part of the value.
      if (at != std::string_view::npos && at % 2 == 0) {
        out += static_cast<char16_t>(kCodes[at + 1]);
        chopLimit = out.size();
        continue;
      }
      int base = code == 'x' ? 16 : digitValue(code, 8) >= 0 ? 8 : 0;
      if (base) {
        char16_t value = base == 8 ? static_cast<char16_t>(digitValue(code, 8)) : 0;
        if (base == 16 && (i >= in.size() || digitValue(in[i], 16) < 0)) {
          chopLimit = out.size();
          continue;
        }
        for (; i < in.size() && digitValue(in[i], base) >= 0; ++i)
          value = static_cast<char16_t>(value * base + digitValue(in[i], base));
        out += value;
        chopLimit = out.size();
        continue;
      }
      if ((code == '\n' || code == '\r') && i < in.size() && (in[i] == '\n' || in[i] == '\r') &&
          in[i] != code)
        ++i;
      chopLimit = out.size();
    } else if (c == '"') {
      ++i;
      currentQuoted = true;
      quoted = !quoted;
      if (!quoted) skipSpaces();
    } else if (c == ',' && !quoted) {
      if (!currentQuoted) chop();
      list = true;
      out.clear();
      currentQuoted = false;
      ++i;
      skipSpaces();
    } else {
      size_t end = in.find_first_of("\\\",", i + 1);
      end = end == std::string_view::npos ? in.size() : end;
      appendUnits(out, in.substr(i, end - i));
      i = end;
    }
  }
  if (!currentQuoted) chop();
  return list;
}

}  // namespace

std::string normalizedIniKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '/' && (out.empty() || out.back() == '/')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

IniEntries parseIni(std::string_view file) {
  IniEntries entries;
  std::string section;
  IniLine line;
  for (size_t at = 0; readLine(file, at, line);) {
    std::string_view text = file.substr(line.start, line.end - line.start);
    if (text.front() == '[') {
      section = sectionPrefix(text);
      continue;
    }
    if (line.equals == std::string_view::npos) continue;
    size_t keyEnd = line.equals;
    while (keyEnd > line.start && (file[keyEnd - 1] == ' ' || file[keyEnd - 1] == '\t')) --keyEnd;
    std::string key = normalizedIniKey(section + unescapedKey(file.substr(line.start, keyEnd - line.start)));
    if (!key.empty()) entries[key] = std::string(file.substr(line.equals + 1, line.end - line.equals - 1));
  }
  return entries;
}

std::string writeIni(const IniEntries& entries) {
  std::map<std::string, std::string> sections;
  for (const auto& [key, value] : entries) {
    size_t slash = key.find('/');
    std::string section = slash == std::string::npos ? std::string() : key.substr(0, slash);
    std::string& text = sections[section];
    text += escapedKey(slash == std::string::npos ? key : key.substr(slash + 1)) + '=' + value + '\n';
  }
  std::string out;
  for (const auto& [section, lines] : sections) {
    if (!out.empty()) out += '\n';
    std::string lower = section;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out += section.empty()      ? "[General]"
           : lower == "general" ? "[%General]"
                                : '[' + escapedKey(section) + ']';
    out += '\n' + lines;
  }
  return out;
}

std::string encodeIniValue(std::string_view value) {
  std::string text(value);
  if (text.find('\0') != std::string::npos) {
    text = "@String(" + text + ")";
  } else if (!text.empty() && text.front() == '@') {
    text.insert(text.begin(), '@');
  }
  std::string out;
  bool quotes = false, escapeHexDigit = false;
  static constexpr std::string_view kNamed = "\aa\bb\ff\nn\rr\tt\vv";
  for (char c : text) {
    quotes = quotes || c == ';' || c == ',' || c == '=';
    if (escapeHexDigit && digitValue(c, 16) >= 0) {
      out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
      continue;
    }
    escapeHexDigit = false;
    size_t named = kNamed.find(c);
    if (c == '\0') {
      out += "\\0";
      escapeHexDigit = true;
    } else if (named != std::string_view::npos && named % 2 == 0) {
      out += {'\\', kNamed[named + 1]};
    } else if (c == '"' || c == '\\') {
      out += {'\\', c};
    } else if (static_cast<unsigned char>(c) <= 0x1F) {
      out += "\\x";
      if (c >= 16) out += '1';
      out += "0123456789abcdef"[c & 15];
      escapeHexDigit = true;
    } else {
      out += c;
    }
  }
  if (quotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) out = '"' + out + '"';
  return out;
}

std::optional<std::string> decodeIniValue(std::string_view written) {
  Units units;
  if (unescapedValue(written, units)) return std::string();
  std::string text = toUtf8(units);
  auto starts = [&](std::string_view prefix) { return text.rfind(prefix, 0) == 0; };
  if (!starts("@")) return text;
  if (text.back() == ')') {
    if (text == "@Invalid()") return std::nullopt;
    if (starts("@ByteArray(")) return text.substr(11, text.size() - 12);
    if (starts("@String(")) return text.substr(8, text.size() - 9);
  }
  return starts("@@") ? text.substr(1) : text;
}

}  // namespace brovana
