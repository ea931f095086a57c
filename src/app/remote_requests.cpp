#include "app/remote_requests.h"

#include <algorithm>

#include "core/json.h"

namespace brovana {
namespace {

// What a command takes besides its name: nothing, a text, or a switch.
enum class Operand { None, Text, Switch };

struct RemoteCommand {
  const char* name;
  Operand operand;
  const char* key;  // the operand's field in the request
  std::string (*run)(RemoteStation& station, const JsonValue& operand);
};

constexpr RemoteCommand kCommands[] = {
    {"status", Operand::None, nullptr, nullptr},
    {"start", Operand::None, nullptr, [](RemoteStation& s, const JsonValue&) { return s.start(); }},
    {"stop", Operand::None, nullptr, [](RemoteStation& s, const JsonValue&) { return s.stop(); }},
    {"next", Operand::None, nullptr, [](RemoteStation& s, const JsonValue&) { return s.skip(1); }},
    {"previous", Operand::None, nullptr, [](RemoteStation& s, const JsonValue&) { return s.skip(-1); }},
    {"song", Operand::Text, "text", [](RemoteStation& s, const JsonValue& v) { return s.song(v.text); }},
    {"record", Operand::Switch, "on", [](RemoteStation& s, const JsonValue& v) { return s.record(v.flag); }},
    {"source", Operand::Text, "name", [](RemoteStation& s, const JsonValue& v) { return s.source(v.text); }},
};

const RemoteCommand* findCommand(std::string_view name) {
  for (const RemoteCommand& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

// Names in alphabetical order, as the first clients were written against.
RemoteReply errorAnswer(std::string_view why, bool close) {
  return {JsonObject().text("error", why).flag("ok", false).str(), close};
}

RemoteReply refusal(const char* why) {
  return errorAnswer(why, true);
}

std::string statusLine(const RemoteStatus& status) {
  std::string servers = "[";
  for (const RemoteServer& server : status.servers)
    servers += (servers.size() > 1 ? "," : "") +
               JsonObject().text("name", server.name).text("state", server.state).str();
  JsonObject line;
  line.number("bytesSent", status.bytesSent).number("dropouts", status.dropouts).flag("ok", true);
  line.text("onAir", status.onAir);
  if (status.recording.empty())
    line.null("recording");
  else
    line.text("recording", status.recording);
  line.raw("servers", servers + "]").text("source", status.source).text("title", status.title);
  return line.number("uptime", status.uptimeSeconds).str();
}

// A text operand is one line: it goes into titles and names on the wire.
bool operandFits(const RemoteCommand& command, const JsonValue& value) {
  if (command.operand == Operand::Switch) return value.kind == JsonValue::Kind::Bool;
  if (command.operand != Operand::Text || value.kind != JsonValue::Kind::String) return false;
  return !value.text.empty() && std::none_of(value.text.begin(), value.text.end(),
                                             [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// A field's value; null when it is missing.
JsonValue field(const std::map<std::string, JsonValue, std::less<>>& fields, std::string_view name) {
  auto found = fields.find(name);
  return found == fields.end() ? JsonValue() : found->second;
}

}  // namespace

RemoteReply answerRemoteRequest(std::string_view line, RemoteStation& station) {
  if (line.find('\0') != std::string_view::npos) return refusal("malformed request");
  auto request = parseJsonObject(line);
  if (!request) return refusal("malformed request");
  JsonValue name = field(*request, "command");
  const RemoteCommand* command = name.kind == JsonValue::Kind::String ? findCommand(name.text) : nullptr;
  if (!command) return refusal("unknown command");
  if (!command->run) {
    RemoteStatus status = station.status();
    if (!status.error.empty()) return errorAnswer(status.error, false);
    return {statusLine(status)};
  }
  JsonValue operand = command->key ? field(*request, command->key) : JsonValue();
  if (command->key && !operandFits(*command, operand))
    return refusal(command->operand == Operand::Switch ? "\"on\" must be true or false"
                                                       : "the command needs one line of text");
  std::string error = command->run(station, operand);
  if (!error.empty()) return errorAnswer(error, false);
  return {JsonObject().flag("ok", true).str()};
}

RemoteReply oversizedRequest() {
  return refusal("request too long");
}

std::optional<std::string> remoteRequestLine(const std::vector<std::string>& words, std::string& error) {
  const RemoteCommand* command = words.empty() ? nullptr : findCommand(words[0]);
  size_t operands = command && command->operand != Operand::None ? 1 : 0;
  if (!command || words.size() != 1 + operands) {
    error =
        "--remote takes one of status, start, stop, next, previous, song TEXT, record on|off, source NAME";
    return std::nullopt;
  }
  JsonObject request;
  request.text("command", command->name);
  if (command->operand == Operand::Text) request.text(command->key, words[1]);
  if (command->operand == Operand::Switch) {
    if (words[1] != "on" && words[1] != "off") {
      error = "--remote record takes on or off";
      return std::nullopt;
    }
    request.flag(command->key, words[1] == "on");
  }
  return request.str();
}

bool remoteAnswerOk(const std::string& line) {
  auto answer = parseJsonObject(line);
  if (!answer) return false;
  JsonValue ok = field(*answer, "ok");
  return ok.kind == JsonValue::Kind::Bool && ok.flag;
}

}  // namespace brovana
