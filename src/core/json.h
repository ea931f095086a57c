#pragma once
// JSON as this program speaks it: one object per line, written in the order the caller gives,
// and read back as its top-level fields (nested values are checked and kept as a kind only).

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brovana {

// A JSON string literal. Tag texts are usually Latin-1: bytes that do not form UTF-8 are taken
// as Latin-1 characters, so the line is always valid UTF-8.
std::string jsonQuote(std::string_view text);

// One JSON object on one line, without the line end.
class JsonObject {
 public:
  JsonObject& text(const char* key, std::string_view value) { return raw(key, jsonQuote(value)); }
  JsonObject& number(const char* key, long long value) { return raw(key, std::to_string(value)); }
  JsonObject& flag(const char* key, bool value) { return raw(key, value ? "true" : "false"); }
  JsonObject& null(const char* key) { return raw(key, "null"); }
  JsonObject& raw(const char* key, const std::string& json);
  std::string str() const { return line_ + "}"; }

 private:
  std::string line_ = "{";
};

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  std::string text;  // a string's text (UTF-8)
  bool flag = false;
};

// The top-level fields of a line that is one JSON object and nothing else; nullopt otherwise.
// A repeated name keeps its last value.
std::optional<std::map<std::string, JsonValue, std::less<>>> parseJsonObject(std::string_view line);

}  // namespace brovana
