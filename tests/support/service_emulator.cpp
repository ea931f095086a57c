#include "support/service_emulator.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <sstream>

namespace brovana::test {
namespace {

// The texts and bare values of one line of the view, in order. The emulator writes one record
// a line and escapes only quotes, backslashes and control characters (which tests do not use).
std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      std::string text;
      for (++i; i < line.size() && line[i] != '"'; ++i) text += line[i += line[i] == '\\'];
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
  std::vector<std::string> args = {builtProgram("zelvora-service"), "--port", "0", "--broadcast-port",
                                   std::to_string(options.broadcastPort)};
  for (const std::string& account : options.accounts) args.insert(args.end(), {"--account", account});

  // A free port can be taken by someone else before the emulator binds it: try a few.
  for (int attempt = 0; attempt < 5 && !process_; ++attempt) {
    args[2] = std::to_string(port_ = freeLoopbackPort());
    process_ = std::make_unique<ChildProcess>(args, log_);
    auto answers = [&] { return httpGetLoopback(port_, "/status.json").has_value(); };
    waitUntil([&] { return !process_->running() || answers(); }, std::chrono::seconds(10));
    if (!process_->running()) process_.reset();
  }
}

bool ServiceEmulator::control(const std::vector<std::pair<std::string, std::string>>& values) const {
  std::string query;
  for (const auto& [key, value] : values) query += (query.empty() ? "" : "&") + key + "=" + value;
  return httpGetLoopback(port_, "/control?" + query) == "OK\n";
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
    std::erase(t, "fields");  // {"accepted":true,"fields":{"k":"v",...}}
    EmulatorRecord& record = out.emplace_back();
    for (size_t i = 0; i + 1 < t.size(); i += 2) record[t[i]] = t[i + 1];
  }
  return out;
}

}  // namespace brovana::test
