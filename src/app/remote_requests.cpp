#include "app/remote_requests.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace brovana {
namespace {

// What a command takes besides its name: nothing, a text, or a switch.
enum class Operand { None, Text, Switch };

struct RemoteCommand {
  const char* name;
  Operand operand;
  const char* key;  // the operand's field in the request
  std::string (*run)(RemoteStation& station, const QJsonValue& operand);
};

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

std::string utf8(const QJsonValue& value) {
  return value.toString().toStdString();
}

constexpr RemoteCommand kCommands[] = {
    {"status", Operand::None, nullptr, nullptr},
    {"start", Operand::None, nullptr, [](RemoteStation& s, const QJsonValue&) { return s.start(); }},
    {"stop", Operand::None, nullptr, [](RemoteStation& s, const QJsonValue&) { return s.stop(); }},
    {"next", Operand::None, nullptr, [](RemoteStation& s, const QJsonValue&) { return s.skip(1); }},
    {"previous", Operand::None, nullptr, [](RemoteStation& s, const QJsonValue&) { return s.skip(-1); }},
    {"song", Operand::Text, "text", [](RemoteStation& s, const QJsonValue& v) { return s.song(utf8(v)); }},
    {"record", Operand::Switch, "on",
     [](RemoteStation& s, const QJsonValue& v) { return s.record(v.toBool()); }},
    {"source", Operand::Text, "name",
     [](RemoteStation& s, const QJsonValue& v) { return s.source(utf8(v)); }},
};

const RemoteCommand* findCommand(std::string_view name) {
  for (const RemoteCommand& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

std::string compact(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// An answer that the command was not done; `close` for a request that is refused as a whole.
RemoteReply errorAnswer(std::string_view why, bool close) {
  return {compact({{"ok", false}, {"error", text(why)}}), close};
}

RemoteReply refusal(const char* why) {
  return errorAnswer(why, true);
}

QJsonObject statusObject(const RemoteStatus& status) {
  QJsonArray servers;
  for (const RemoteServer& server : status.servers)
    servers.append(QJsonObject{{"name", text(server.name)}, {"state", text(server.state)}});
  return {{"ok", true},
          {"onAir", text(status.onAir)},
          {"source", text(status.source)},
          {"title", text(status.title)},
          {"uptime", status.uptimeSeconds},
          {"bytesSent", static_cast<qint64>(status.bytesSent)},
          {"dropouts", status.dropouts},
          {"servers", servers},
          {"recording", status.recording.empty() ? QJsonValue() : QJsonValue(text(status.recording))}};
}

// A text operand is one line: it goes into titles and names on the wire.
bool operandFits(const RemoteCommand& command, const QJsonValue& value) {
  if (command.operand == Operand::Switch) return value.isBool();
  if (command.operand != Operand::Text || !value.isString()) return false;
  QString text = value.toString();
  return !text.isEmpty() &&
         std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
}

}  // namespace

RemoteReply answerRemoteRequest(std::string_view line, RemoteStation& station) {
  if (line.find('\0') != std::string_view::npos) return refusal("malformed request");
  QJsonParseError parseError;
  QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError || !document.isObject())
    return refusal("malformed request");
  QJsonObject request = document.object();
  const RemoteCommand* command = findCommand(request.value("command").toString().toStdString());
  if (!command) return refusal("unknown command");
  if (!command->run) {
    RemoteStatus status = station.status();
    if (!status.error.empty()) return errorAnswer(status.error, false);
    return {compact(statusObject(status))};
  }
  QJsonValue operand = command->key ? request.value(command->key) : QJsonValue();
  if (command->key && !operandFits(*command, operand))
    return refusal(command->operand == Operand::Switch ? "\"on\" must be true or false"
                                                       : "the command needs one line of text");
  std::string error = command->run(station, operand);
  if (!error.empty()) return errorAnswer(error, false);
  return {compact({{"ok", true}})};
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
  QJsonObject request{{"command", command->name}};
  if (command->operand == Operand::Text) request.insert(command->key, text(words[1]));
  if (command->operand == Operand::Switch) {
    if (words[1] != "on" && words[1] != "off") {
      error = "--remote record takes on or off";
      return std::nullopt;
    }
    request.insert(command->key, words[1] == "on");
  }
  return compact(request);
}

bool remoteAnswerOk(const std::string& line) {
  QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line));
  return document.isObject() && document.object().value("ok").toBool();
}

}  // namespace brovana
