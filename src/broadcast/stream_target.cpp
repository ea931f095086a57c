#include "broadcast/stream_target.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>

#include "core/text.h"

namespace brovana {
namespace {

constexpr struct {
  const char* scheme;
  ServerProtocol protocol;
  bool tls;
} kSchemes[] = {{"icecast://", ServerProtocol::Icecast, false},
                {"icecasts://", ServerProtocol::Icecast, true},
                {"shoutcast://", ServerProtocol::Shoutcast, false}};

bool number(const std::string& text, int& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "%41" escapes, as in a URL (a password or a name may need '@', '&' or ' ').
std::string decoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One key=value of the query into the target; the complaint, or empty.
std::string takeQueryPart(const std::string& key, const std::string& value, StreamTarget& target) {
  EncodedFormat& format = target.format;
  int n = 0;
  if (key == "codec") {
    if (value == "mp3")
      format.codec = Codec::Mp3;
    else if (value == "opus")
      format.codec = Codec::Opus;
    else if (value == "vorbis")
      format.codec = Codec::Vorbis;
    else
      return "codec is mp3, opus or vorbis, not \"" + value + "\"";
  } else if (key == "bitrate") {
    if (!number(value, n) || n < 8 || n > 320000)
      return "bitrate is in kbit/s (8 to 320) or bit/s, not \"" + value + "\"";
    format.bitrate = n <= 320 ? n * 1000 : n;
  } else if (key == "rate") {
    if (!number(value, n) || (n != 44100 && n != 48000))
      return "rate is 44100 or 48000, not \"" + value + "\"";
    format.sampleRate = n;
  } else if (key == "channels") {
    if (!number(value, n) || (n != 1 && n != 2)) return "channels is 1 or 2, not \"" + value + "\"";
    format.channels = n;
  } else if (key == "vbr") {
    if (value != "0" && value != "1") return "vbr is 0 or 1, not \"" + value + "\"";
    format.vbr = value == "1";
  } else if (key == "name") {
    target.server.name = value;
  } else if (key == "tls") {
    if (value != "insecure") return "tls takes only \"insecure\", not \"" + value + "\"";
    target.server.tlsInsecure = true;
  } else {
    return "unknown query part \"" + key + "\"";
  }
  return {};
}

std::string takeQuery(const std::string& query, StreamTarget& target) {
  bool rateGiven = false;
  for (size_t at = 0; at <= query.size();) {
    size_t end = std::min(query.find('&', at), query.size());
    std::string part = query.substr(at, end - at);
    size_t equals = part.find('=');
    if (equals == std::string::npos) return "query part \"" + part + "\" has no value";
    std::string key = part.substr(0, equals);
    rateGiven = rateGiven || key == "rate";
    if (std::string error = takeQueryPart(key, decoded(part.substr(equals + 1)), target); !error.empty())
      return error;
    at = end + 1;
  }
  EncodedFormat& format = target.format;
  if (format.codec == Codec::Opus) {
    if (rateGiven && format.sampleRate != 48000) return "Opus streams at rate 48000 only";
    format.sampleRate = 48000;
  }
  if (format.vbr && format.codec != Codec::Mp3) return "vbr is for mp3 only";
  return {};
}

// "@FILE": the file's first line. An escaped "%40" is a password that begins with '@'.
std::string takePassword(const std::string& text, std::string& password) {
  password = decoded(text);
  if (password.empty()) return "the password is missing";
  if (text[0] != '@') return {};
  std::ifstream file(password.substr(1));
  if (!file || !std::getline(file, password) || password.empty())
    return "the password file " + text.substr(1) + " cannot be read or is empty";
  return {};
}

// USER:PASS@HOST:PORT/MOUNT after the scheme.
std::string takeAuthority(const std::string& rest, ServerAddress& server) {
  size_t at = rest.rfind('@');
  if (at == std::string::npos) return "the password is missing (as PASS@HOST:PORT)";
  std::string credentials = rest.substr(0, at), place = rest.substr(at + 1);
  size_t colon = credentials.find(':');
  if (colon != std::string::npos && server.protocol == ServerProtocol::Icecast) {
    server.user = decoded(credentials.substr(0, colon));
    credentials = credentials.substr(colon + 1);
    if (server.user.empty()) return "the user before ':' is empty";
  }
  if (std::string error = takePassword(credentials, server.password); !error.empty()) return error;
  size_t slash = place.find('/');
  std::string hostPort = place.substr(0, slash);
  if (slash != std::string::npos) server.mount = place.substr(slash);
  size_t portColon = hostPort.rfind(':');
  if (portColon == std::string::npos || portColon == 0) return "the host and port are missing (as HOST:PORT)";
  server.host = hostPort.substr(0, portColon);
  if (!number(hostPort.substr(portColon + 1), server.port) || server.port < 1 || server.port > 65535)
    return "the port \"" + hostPort.substr(portColon + 1) + "\" is not a number from 1 to 65535";
  if (server.protocol == ServerProtocol::Icecast && server.mount.size() < 2)
    return "the mount is missing (as /MOUNT)";
  if (server.protocol == ServerProtocol::Shoutcast && !server.mount.empty() && server.mount != "/")
    return "a shoutcast server has no mount";
  return {};
}

}  // namespace

TargetParse parseServerUrl(const std::string& url) {
  TargetParse parsed;
  ServerAddress& server = parsed.target.server;
  size_t question = url.find('?');
  std::string base = url.substr(0, question);
  auto scheme = std::find_if(std::begin(kSchemes), std::end(kSchemes),
                             [&](const auto& s) { return base.rfind(s.scheme, 0) == 0; });
  if (scheme == std::end(kSchemes)) {
    parsed.error = "the scheme is icecast://, icecasts:// or shoutcast://";
  } else {
    server.protocol = scheme->protocol;
    server.tls = scheme->tls;
    parsed.error = takeAuthority(base.substr(std::strlen(scheme->scheme)), server);
  }
  if (parsed.error.empty() && question != std::string::npos)
    parsed.error = takeQuery(url.substr(question + 1), parsed.target);
  if (parsed.error.empty() && server.tlsInsecure && !server.tls)
    parsed.error = "tls=insecure needs icecasts://";
  return parsed;
}

TargetParse parseRecording(const std::string& word) {
  TargetParse parsed;
  size_t question = word.find('?');
  parsed.target.server.protocol = ServerProtocol::File;
  parsed.target.server.mount = word.substr(0, question);
  if (parsed.target.server.mount.empty()) parsed.error = "the file name is missing";
  if (parsed.error.empty() && question != std::string::npos)
    parsed.error = takeQuery(word.substr(question + 1), parsed.target);
  return parsed;
}

std::string targetLabel(const ServerAddress& server) {
  switch (server.protocol) {
    case ServerProtocol::File:
      return server.mount;
    case ServerProtocol::Shoutcast:
      return "shoutcast://" + server.host + ":" + std::to_string(server.port);
    case ServerProtocol::Icecast:
      break;
  }
  return (server.tls ? "icecasts://" : "icecast://") + server.host + ":" + std::to_string(server.port) +
         server.mount;
}

const char* codecName(Codec codec) {
  return codec == Codec::Opus ? "opus" : codec == Codec::Vorbis ? "vorbis" : "mp3";
}

std::string urlEscaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || std::strchr("-._~", c))
      out += static_cast<char>(c);
    else
      out += formatText("%%%02X", c);
  }
  return out;
}

std::string serverUrl(const StreamTarget& target) {
  const ServerAddress& server = target.server;
  const EncodedFormat& format = target.format;
  const bool icecast = server.protocol == ServerProtocol::Icecast;
  std::string url = icecast ? (server.tls ? "icecasts://" : "icecast://") : "shoutcast://";
  if (icecast) url += urlEscaped(server.user) + ":";
  url += urlEscaped(server.password) + "@" + server.host + ":" + std::to_string(server.port);
  if (icecast) url += server.mount;
  // Whole kbit/s as the member writes them; anything else in bit/s.
  const int bitrate = format.bitrate % 1000 == 0 ? format.bitrate / 1000 : format.bitrate;
  url += formatText("?codec=%s&bitrate=%d&rate=%d&channels=%d", codecName(format.codec), bitrate,
                    format.sampleRate, format.channels);
  if (format.vbr) url += "&vbr=1";
  if (!server.name.empty()) url += "&name=" + urlEscaped(server.name);
  if (server.tlsInsecure) url += "&tls=insecure";
  return url;
}

StreamFacts streamFacts(const EncodedFormat& format) {
  return {format.codec != Codec::Mp3, format.bitrate, format.sampleRate, format.channels};
}

}  // namespace brovana
