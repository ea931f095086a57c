#include "support/service_emulator.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <sstream>

namespace brovana::test {
namespace {

std::string urlEncode(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~')
      out += static_cast<char>(c);
    else
      out += "%" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
  }
  return out;
}

// The texts and bare values of one line of the view, in order. The emulator writes one record
// a line and escapes only quotes, backslashes and control characters (as \u00XX).
std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      std::string text;
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && line[++i] == 'u') {
          text += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
          i += 4;
        } else {
          text += line[i];
        }
      }
      out.push_back(text);
    } else if (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '-') {
      size_t end = line.find_first_of(",}]", i);
      out.push_back(line.substr(i, end - i));
      i = end - 1;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> httpGetLoopback(int port, const std::string& target) {
  int fd = connectLoopback(port);
  if (fd < 0) return std::nullopt;
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", reply;
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  char buffer[4096];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<size_t>(n));
  close(fd);
  size_t head = reply.find("\r\n\r\n");
  if (head == std::string::npos) return std::nullopt;
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
  for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
    args[2] = std::to_string(port_ = freeLoopbackPort());
    process_ = std::make_unique<ChildProcess>(args, log_);
    bool answers = waitUntil(
                       [&] {
                         return !process_->running() || (waitForPort(port_, std::chrono::milliseconds(100)) &&
                                                         httpGetLoopback(port_, "/status.json"));
                       },
                       std::chrono::seconds(10)) &&
                   process_->running();
    if (!answers) process_.reset();
  }
}

bool ServiceEmulator::control(const std::vector<std::pair<std::string, std::string>>& values) const {
  std::string query;
  for (const auto& [key, value] : values)
    query += (query.empty() ? "" : "&") + urlEncode(key) + "=" + urlEncode(value);
  return httpGetLoopback(port_, "/control?" + query) == "OK\n";
}

bool ServiceEmulator::controlAccount(const std::string& name,
                                     std::vector<std::pair<std::string, std::string>> values) const {
  values.insert(values.begin(), {"account", name});
  return control(values);
}

std::vector<EmulatorRecord> ServiceEmulator::records(const std::string& list) const {
  std::vector<EmulatorRecord> out;
  std::istringstream view(httpGetLoopback(port_, "/status.json").value_or(""));
  std::string section;
  for (std::string line; std::getline(view, line);) {
    std::vector<std::string> t = tokens(line);
    if (!line.starts_with(" ")) {  // a list begins: "songs":[
      section = t.empty() ? "" : t[0];
      continue;
    }
    if (section != list) continue;
    EmulatorRecord record;
    // {"accepted":true,"fields":{"k":"v",...}}: two values, then the fields.
    bool withFields = t.size() > 2 && t[2] == "fields";
    for (size_t i = 0; i + 1 < t.size(); i += 2) {
      if (withFields && i == 2) ++i;
      (withFields && i > 2 ? record.fields : record.values)[t[i]] = t[i + 1];
    }
    out.push_back(std::move(record));
  }
  return out;
}

std::optional<EmulatedAccount> ServiceEmulator::account(const std::string& name) const {
  for (const EmulatorRecord& a : records("accounts"))
    if (a.values.at("name") == name)
      return EmulatedAccount{a.values.at("mode"), a.values.at("server") == "ON",
                             std::stoi(a.values.at("sessions"))};
  return std::nullopt;
}

}  // namespace brovana::test
