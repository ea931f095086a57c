#include "core/json.h"

#include <cstdio>
#include <cstring>

#include "core/text.h"

namespace brovana {

std::string jsonQuote(std::string_view text) {
  std::string out = "\"";
  for (char byte : asUtf8(text)) {
    const unsigned char c = static_cast<unsigned char>(byte);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += byte;
        }
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::raw(const char* key, const std::string& json) {
  line_ += line_.size() > 1 ? "," : "";
  line_ += jsonQuote(key) + ":" + json;
  return *this;
}

namespace {

// A recursive-descent reader; nesting is bounded so that a hostile line cannot exhaust the stack.
class JsonReader {
 public:
  explicit JsonReader(std::string_view in) : in_(in) {}

  bool value(JsonValue& out, int depth = 0) {
    space();
    if (depth > 64 || at_ >= in_.size()) return false;
    char c = in_[at_];
    if (c == '{') return out.kind = JsonValue::Kind::Object, object(nullptr, depth);
    if (c == '[') return out.kind = JsonValue::Kind::Array, array(depth);
    if (c == '"') return out.kind = JsonValue::Kind::String, string(out.text);
    if (word("true")) return out.kind = JsonValue::Kind::Bool, out.flag = true;
    if (word("false")) return out.kind = JsonValue::Kind::Bool, true;
    if (word("null")) return out.kind = JsonValue::Kind::Null, true;
    return out.kind = JsonValue::Kind::Number, number();
  }

  bool object(std::map<std::string, JsonValue, std::less<>>* fields, int depth) {
    ++at_;  // the "{"
    if (space(), take('}')) return true;
    do {
      std::string name;
      JsonValue field;
      if (!(space(), at_ < in_.size() && in_[at_] == '"' && string(name)) || !(space(), take(':')) ||
          !value(field, depth + 1))
        return false;
      if (fields) (*fields)[name] = std::move(field);
    } while (space(), take(','));
    return take('}');
  }

  bool atEnd() {
    space();
    return at_ == in_.size();
  }

 private:
  bool array(int depth) {
    ++at_;  // the "["
    if (space(), take(']')) return true;
    JsonValue item;
    do {
      if (!value(item, depth + 1)) return false;
    } while (space(), take(','));
    return take(']');
  }

  bool string(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < in_.size()) {
      unsigned char c = static_cast<unsigned char>(in_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= in_.size()) return false;
      char e = in_[at_++];
      const char* named = std::strchr("\"\"\\\\//b\bf\fn\nr\rt\t", e);
      if (e && named && (named - "\"\"\\\\//b\bf\fn\nr\rt\t") % 2 == 0) {
        out += named[1];
      } else if (e != 'u' || !unicode(out)) {
        return false;
      }
    }
    return false;
  }

  // After "\u": four hex digits, a surrogate pair taking two escapes.
  bool unicode(std::string& out) {
    char32_t point = 0;
    if (!hex4(point)) return false;
    if (point >= 0xD800 && point < 0xDC00) {
      char32_t low = 0;
      if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
      point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
    } else if (point >= 0xDC00 && point < 0xE000) {
      return false;
    }
    appendUtf8(out, point);
    return true;
  }

  bool hex4(char32_t& point) {
    for (int i = 0; i < 4; ++i, ++at_) {
      if (at_ >= in_.size()) return false;
      char c = in_[at_];
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (digit < 0) return false;
      point = point * 16 + static_cast<char32_t>(digit);
    }
    return true;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number() {
    take('-');
    if (take('0')) {
    } else if (!digits()) {
      return false;
    }
    if (take('.') && !digits()) return false;
    if ((take('e') || take('E')) && ((take('+') || take('-')), !digits())) return false;
    return true;
  }

  bool digits() {
    size_t start = at_;
    while (at_ < in_.size() && in_[at_] >= '0' && in_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool word(std::string_view w) {
    if (in_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  bool take(char c) {
    if (at_ >= in_.size() || in_[at_] != c) return false;
    ++at_;
    return true;
  }

  void space() {
    while (at_ < in_.size() && (in_[at_] == ' ' || in_[at_] == '\t' || in_[at_] == '\n' || in_[at_] == '\r'))
      ++at_;
  }

  std::string_view in_;
  size_t at_ = 0;
};

}  // namespace

std::optional<std::map<std::string, JsonValue, std::less<>>> parseJsonObject(std::string_view line) {
  JsonReader reader(line);
  std::map<std::string, JsonValue, std::less<>> fields;
  if (reader.atEnd() || line[line.find_first_not_of(" \t\r\n")] != '{') return std::nullopt;
  if (!reader.object(&fields, 0) || !reader.atEnd()) return std::nullopt;
  return fields;
}

}  // namespace brovana
