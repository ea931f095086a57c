#include "support/service_emulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace brovana::test {
namespace {

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : s_(text) {}

  std::optional<JsonValue> document() {
    JsonValue value;
    if (!read(value, 0)) return std::nullopt;
    blanks();
    if (i_ != s_.size()) return std::nullopt;
    return value;
  }

 private:
  void blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool literal(const char* word) {
    size_t n = std::strlen(word);
    if (s_.compare(i_, n, word) != 0) return false;
    i_ += n;
    return true;
  }
  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool text(std::string& out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) return false;
      char e = s_[i_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (i_ + 4 > s_.size()) return false;
          appendUtf8(out, static_cast<unsigned>(std::strtoul(s_.substr(i_, 4).c_str(), nullptr, 16)));
          i_ += 4;
          break;
        }
        default:
          out += e;
      }
    }
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }
  bool read(JsonValue& v, int depth) {
    if (depth > 32) return false;
    blanks();
    if (i_ >= s_.size()) return false;
    char c = s_[i_];
    if (c == '{' || c == '[') {
      bool object = c == '{';
      v.kind = object ? JsonValue::Kind::Object : JsonValue::Kind::Array;
      ++i_;
      blanks();
      if (i_ < s_.size() && s_[i_] == (object ? '}' : ']')) {
        ++i_;
        return true;
      }
      for (;;) {
        blanks();
        if (object) {
          std::string key;
          if (!text(key)) return false;
          blanks();
          if (i_ >= s_.size() || s_[i_++] != ':') return false;
          v.keys.push_back(std::move(key));
        }
        JsonValue item;
        if (!read(item, depth + 1)) return false;
        v.items.push_back(std::move(item));
        blanks();
        if (i_ >= s_.size()) return false;
        char next = s_[i_++];
        if (next == ',') continue;
        return next == (object ? '}' : ']');
      }
    }
    if (c == '"') {
      v.kind = JsonValue::Kind::Text;
      return text(v.text);
    }
    if (literal("true")) {
      v.kind = JsonValue::Kind::Bool;
      v.flag = true;
      return true;
    }
    if (literal("false")) {
      v.kind = JsonValue::Kind::Bool;
      return true;
    }
    if (literal("null")) return true;
    char* end = nullptr;
    v.number = std::strtod(s_.c_str() + i_, &end);
    if (end == s_.c_str() + i_) return false;
    v.kind = JsonValue::Kind::Number;
    i_ = static_cast<size_t>(end - s_.c_str());
    return true;
  }

  const std::string& s_;
  size_t i_ = 0;
};

std::string query(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out;
  for (const auto& [key, value] : values)
    out += (out.empty() ? "" : "&") + urlEncode(key) + "=" + urlEncode(value);
  return out;
}

std::vector<AnnouncedSong> records(const JsonValue& list) {
  std::vector<AnnouncedSong> out;
  for (const JsonValue& item : list.items) {
    AnnouncedSong song;
    song.accepted = item["accepted"].flag;
    const JsonValue& fields = item["fields"];
    for (size_t i = 0; i < fields.keys.size(); ++i) song.fields[fields.keys[i]] = fields.items[i].text;
    out.push_back(std::move(song));
  }
  return out;
}

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue missing;
  for (size_t i = 0; i < keys.size() && i < items.size(); ++i)
    if (keys[i] == key) return items[i];
  return missing;
}

std::optional<JsonValue> JsonValue::parse(const std::string& text) {
  return JsonReader(text).document();
}

std::string AnnouncedSong::field(const std::string& key) const {
  auto it = fields.find(key);
  return it == fields.end() ? std::string() : it->second;
}

std::string urlEncode(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> httpGetLoopback(int port, const std::string& target, int* status) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return std::nullopt;
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      ssize_t n;
      while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  size_t head = reply.find("\r\n\r\n");
  if (head == std::string::npos) return std::nullopt;
  if (status) {
    size_t blank = reply.find(' ');
    *status = blank < head ? std::atoi(reply.c_str() + blank + 1) : 0;
  }
  return reply.substr(head + 4);
}

ServiceEmulator::ServiceEmulator(EmulatorOptions options) {
  std::vector<std::string> args = {builtProgram("zelvora-service"),
                                   "--port",
                                   "0",
                                   "--broadcast-host",
                                   options.broadcastHost,
                                   "--broadcast-port",
                                   std::to_string(options.broadcastPort)};
  if (!options.accountsFile.empty()) {
    folder_.write("accounts.txt", options.accountsFile);
    args.insert(args.end(), {"--accounts", folder_.file("accounts.txt")});
  }
  for (const std::string& account : options.accounts) args.insert(args.end(), {"--account", account});
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());

  // A free port can be taken by someone else before the emulator binds it: try a few.
  for (int attempt = 0; attempt < 5 && !ready_; ++attempt) {
    port_ = freeLoopbackPort();
    args[2] = std::to_string(port_);
    process_ = std::make_unique<ChildProcess>(args, folder_.file("zelvora-service.log"));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && process_->running()) {
      if (waitForPort(port_, std::chrono::milliseconds(100)) && httpGetLoopback(port_, "/status.json")) {
        ready_ = true;
        break;
      }
    }
    if (!ready_) process_.reset();
  }
}

ServiceEmulator::~ServiceEmulator() = default;

std::string ServiceEmulator::webHost() const {
  return "127.0.0.1:" + std::to_string(port_);
}

const std::string& ServiceEmulator::logFile() const {
  static const std::string none;
  return process_ ? process_->logFile() : none;
}

std::optional<std::string> ServiceEmulator::get(const std::string& target) const {
  return httpGetLoopback(port_, target);
}

bool ServiceEmulator::control(const std::vector<std::pair<std::string, std::string>>& values) const {
  auto body = get("/control?" + query(values));
  return body && *body == "OK\n";
}

bool ServiceEmulator::controlAccount(const std::string& name,
                                     const std::vector<std::pair<std::string, std::string>>& values) const {
  std::vector<std::pair<std::string, std::string>> all = {{"account", name}};
  all.insert(all.end(), values.begin(), values.end());
  return control(all);
}

std::optional<JsonValue> ServiceEmulator::status() const {
  auto body = get("/status.json");
  if (!body) return std::nullopt;
  return JsonValue::parse(*body);
}

std::vector<AnnouncedSong> ServiceEmulator::songs() const {
  auto view = status();
  return view ? records((*view)["songs"]) : std::vector<AnnouncedSong>{};
}

std::vector<AnnouncedSong> ServiceEmulator::versionChecks() const {
  auto view = status();
  return view ? records((*view)["checkversion"]) : std::vector<AnnouncedSong>{};
}

std::optional<EmulatedAccount> ServiceEmulator::account(const std::string& name) const {
  auto view = status();
  if (!view) return std::nullopt;
  for (const JsonValue& item : (*view)["accounts"].items) {
    if (item["name"].text != name) continue;
    EmulatedAccount a;
    a.name = name;
    a.mode = item["mode"].text;
    a.serverOn = item["server"].text == "ON";
    a.broadcaster = item["broadcaster"].flag;
    a.listeners = static_cast<int>(item["listeners"].number);
    a.sessions = static_cast<int>(item["sessions"].number);
    a.host = item["host"].text;
    a.port = static_cast<int>(item["port"].number);
    return a;
  }
  return std::nullopt;
}

std::vector<SeenRequest> ServiceEmulator::requests() const {
  std::vector<SeenRequest> out;
  auto view = status();
  if (!view) return out;
  for (const JsonValue& item : (*view)["requests"].items)
    out.push_back({item["target"].text, item["agent"].text});
  return out;
}

int ServiceEmulator::stop() {
  if (!process_) return -1;
  return process_->stop(15, std::chrono::seconds(5));
}

}  // namespace brovana::test
