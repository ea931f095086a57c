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

// The service's figures, read whole ("4.5", "+3", "-1") and independent of the process locale
// (the desktop's may use a decimal comma); false for anything else, such as a word of an error page.
template <typename Number>
bool readNumber(std::string_view text, Number& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
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
  auto takeNumber = [&](auto& out) {
    std::string_view text;
    return take(text) && readNumber(text, out);
  };
  // Read into a copy, stored only when the whole answer is one: a cut answer, an error page or a
  // proxy's complaint must not leave half its words in the account facts.
  ServerInfo read = info;
  std::string_view token;
  int code = 0, limit = 0, listenerPort = 0;

  if (!takeNumber(code)) return kBcinfoNoAnswer;
  // Of djinfo's codes only -1 has a meaning of its own; its other answers read like bcinfo's.
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

  if (!take(token)) return kBcinfoNoAnswer;
  if (token == "OR")
    read.accountMode = kModeHostplay;
  else if (token == "LI")
    read.accountMode = kModeLive;
  else if (token == "RE")
    read.accountMode = kModeRegular;

  if (!take(token)) return kBcinfoNoAnswer;
  read.serverOn = token == "ON" ? 1 : 0;
  if (!takeNumber(read.listeners) || !takeNumber(limit) || !takeNumber(read.avgListenMinutes) ||
      !takeNumber(read.rating))
    return kBcinfoNoAnswer;
  read.listeners = std::max(0, read.listeners);
  read.maxListeners = (limit == 100 || limit == -1) ? kListenerLimitSubstitute : limit;

  // A Hostplay account's answer names no server: the last known one stays. Otherwise the answer
  // names the listener port, and the source logs in one above it.
  if (read.accountMode != kModeHostplay) {
    if (!take(token) || !takeNumber(listenerPort) || listenerPort < 0 || listenerPort >= 65535)
      return kBcinfoNoAnswer;
    copyField(read.host, sizeof read.host, token);
    read.port = listenerPort + 1;
  }
  info = read;
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
