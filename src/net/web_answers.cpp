// Readers of the service's short text answers, and the query encoding.

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "core/text.h"
#include "net/web_service.h"

namespace brovana {
namespace {

// Splits like strtok: a run of separators counts as one, no empty tokens.
std::vector<std::string_view> tokens(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    i = text.find_first_not_of(separators, i);
    if (i == std::string_view::npos) break;
    size_t end = text.find_first_of(separators, i);
    if (end == std::string_view::npos) end = text.size();
    out.push_back(text.substr(i, end - i));
    i = end;
  }
  return out;
}

// Blanks and commas separate the tokens of the account answers; line ends and tabs too, so that
// an answer ending in a line feed does not carry it into the last token (the host or the session id).
constexpr std::string_view kAnswerSeparators = " ,\t\r\n";

// Reads a decimal number the way atof does for the service's figures ("4.5", " 3", "-1"), but
// independent of the process locale: the desktop's locale may use a decimal comma.
float parseFloat(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  float value = 0;
  auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  (void)end;
  return error == std::errc() ? value : 0.0f;
}

void copyField(char* field, size_t size, std::string_view text) {
  std::memset(field, 0, size);
  std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

}  // namespace

std::string queryEscape(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                      u == '-' || u == '.' || u == '_' || u == '~';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

bool isErrorPage(std::string_view answer) {
  return answer.starts_with("</BODY></HTML") || answer.size() > 100;
}

int parseAccountAnswer(std::string_view answer, AccountAnswer kind, ServerInfo& info) {
  auto parts = tokens(answer, kAnswerSeparators);
  size_t next = 0;
  auto take = [&](std::string_view& out) {
    if (next >= parts.size()) return false;
    out = parts[next++];
    return true;
  };
  std::string_view token;

  if (!take(token)) return kBcinfoFailed;
  // Of djinfo's codes only -1 has a meaning of its own; its other answers read like bcinfo's.
  const int code = parseInt(token);
  if (kind == AccountAnswer::Djinfo && code == -1) return kBcinfoBadLogin;
  if (kind == AccountAnswer::Bcinfo) {
    switch (code) {
      case -1:
        return kBcinfoFailed;
      case -2:
        return kBcinfoBadLogin;
      case -3:
        return kBcinfoCode3;
      case -4:
        return kBcinfoNotBroadcaster;
      default:
        break;
    }
  }

  if (!take(token)) return kBcinfoFailed;
  if (token == "OR")
    info.accountMode = kModeHostplay;
  else if (token == "LI")
    info.accountMode = kModeLive;
  else if (token == "RE")
    info.accountMode = kModeRegular;

  if (!take(token)) return kBcinfoFailed;
  info.serverOn = token == "ON" ? 1 : 0;

  if (!take(token)) return kBcinfoFailed;
  info.listeners = std::max(0, parseInt(token));

  if (!take(token)) return kBcinfoFailed;
  int limit = parseInt(token);
  info.maxListeners = (limit == 100 || limit == -1) ? kListenerLimitSubstitute : limit;

  if (!take(token)) return kBcinfoFailed;
  info.avgListenMinutes = parseInt(token);

  if (!take(token)) return kBcinfoFailed;
  info.rating = parseFloat(token);

  // A Hostplay account's answer names no server: the last known one stays.
  if (info.accountMode == kModeHostplay) return kBcinfoOk;

  if (!take(token)) return kBcinfoFailed;
  copyField(info.host, sizeof info.host, token);

  if (!take(token)) return kBcinfoFailed;
  // The answer names the listener port; the source logs in one above it. A hostile figure must
  // not overflow.
  int listenerPort = parseInt(token);
  info.port = listenerPort == INT32_MAX ? listenerPort : listenerPort + 1;
  return kBcinfoOk;
}

bool parseLoginAnswer(std::string_view answer, ServerInfo& info) {
  auto parts = tokens(answer, kAnswerSeparators);
  if (parts.empty() || parts[0].front() != '0' || parts.size() < 2) return false;
  copyField(info.sessionid, sizeof info.sessionid, parts[1]);
  return true;
}

std::optional<VersionAnswer> parseVersionAnswer(std::string_view answer) {
  if (answer.empty()) return std::nullopt;
  auto parts = tokens(answer, ",");
  if (parts.empty()) return std::nullopt;
  VersionAnswer version;
  version.code = parseInt(parts[0]);
  if (parts.size() > 1) version.url = std::string(trim(parts[1]));
  return version;
}

bool parseGenreList(std::string_view answer, std::vector<std::string>& names) {
  static constexpr std::string_view kStart = "// START GENRE LIST";
  static constexpr std::string_view kEnd = "// END GENRE LIST";
  size_t start = answer.find(kStart);
  if (start == std::string_view::npos) return false;
  size_t end = answer.find(kEnd);

  std::vector<std::string> found;
  size_t from = start + kStart.size();
  if (end != std::string_view::npos && end >= from) {
    // Blanks are part of a name ("Acid Jazz"); a carriage return is a line end like the line feed.
    auto parts = tokens(answer.substr(from), ",\"\n\r\t");
    for (size_t i = 1; i < parts.size() && found.size() < kMaxGenres; ++i) {
      size_t at = static_cast<size_t>(parts[i].data() - answer.data());
      if (at >= end) break;
      found.emplace_back(parts[i]);
    }
  }
  names = std::move(found);
  return true;
}

}  // namespace brovana
