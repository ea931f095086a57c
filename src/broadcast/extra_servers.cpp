#include "broadcast/extra_servers.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "core/program_values.h"
#include "core/registry.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/status_display.h"

namespace brovana {
namespace {

std::string valueName(int index) {
  return "extra_server" + std::to_string(index + 1);
}

bool onlyOf(const std::string& text, const char* others) {
  return std::all_of(text.begin(), text.end(), [others](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr(others, c);
  });
}

}  // namespace

TargetParse targetFromForm(const ServerForm& form) {
  TargetParse refused;
  std::string mount = form.mount;
  if (!mount.empty() && mount[0] != '/') mount.insert(0, "/");
  if (!onlyOf(form.host, "-."))
    refused.error = "the host \"" + form.host + "\" is not a host name or address";
  if (!onlyOf(mount, "-._~/")) refused.error = "the mount may hold letters, digits, - . _ ~ and / only";
  if (!refused.error.empty()) return refused;
  // Through the URL the command line takes, so both are checked by the same rules.
  const bool shoutcast = form.protocol == ServerForm::Shoutcast;
  std::string url = shoutcast                                 ? "shoutcast://"
                    : form.protocol == ServerForm::IcecastTls ? "icecasts://"
                                                              : "icecast://";
  if (!shoutcast) url += urlEscaped(form.user) + ":";
  url += urlEscaped(form.password) + "@" + form.host + ":" + urlEscaped(form.port);
  if (!shoutcast) url += mount;
  url += formatText("?codec=%s&bitrate=%s&rate=%d&channels=%d", codecName(form.codec),
                    urlEscaped(form.bitrate).c_str(), form.codec == Codec::Opus ? 48000 : form.rate,
                    form.channels);
  if (!form.name.empty()) url += "&name=" + urlEscaped(form.name);
  if (form.tlsInsecure) url += "&tls=insecure";
  TargetParse parsed = parseServerUrl(url);
  if (parsed.error == "the user before ':' is empty") parsed.error = "the user is missing";
  return parsed;
}

ServerForm formFromTarget(const StreamTarget& target) {
  const ServerAddress& server = target.server;
  ServerForm form;
  form.protocol = server.protocol == ServerProtocol::Shoutcast ? ServerForm::Shoutcast
                  : server.tls                                 ? ServerForm::IcecastTls
                                                               : ServerForm::Icecast;
  form.host = server.host;
  form.port = std::to_string(server.port);
  form.mount = server.mount;
  form.user = server.user;
  form.password = server.password;
  form.codec = target.format.codec;
  form.bitrate = std::to_string(target.format.bitrate / 1000);
  form.rate = target.format.sampleRate;
  form.channels = target.format.channels;
  form.name = server.name;
  form.tlsInsecure = server.tlsInsecure;
  return form;
}

std::string serverRow(const StreamTarget& target) {
  const EncodedFormat& format = target.format;
  std::string row = target.server.name.empty() ? "" : target.server.name + " - ";
  return row + targetLabel(target.server) +
         formatText(" (%s %d kbit/s, %d Hz, %s)",
                    format.codec == Codec::Mp3    ? "MP3"
                    : format.codec == Codec::Opus ? "Opus"
                                                  : "Vorbis",
                    format.bitrate / 1000, format.sampleRate, format.channels == 1 ? "mono" : "stereo");
}

std::vector<StreamTarget> loadExtraServers(Registry& registry, std::string_view profile) {
  std::vector<StreamTarget> servers;
  auto key = registry.open(profileKeyPath(profile));
  if (!key) return servers;
  for (int i = 0; i < kMaxExtraServers; ++i) {
    std::string url = key->text(valueName(i));
    if (url.empty()) continue;
    TargetParse parsed = parseServerUrl(url);
    if (parsed.error.empty())
      servers.push_back(parsed.target);
    else
      Logger::log("The stored extra server %d is left out: %s\n", i + 1, parsed.error.c_str());
  }
  return servers;
}

void saveExtraServers(Registry& registry, std::string_view profile,
                      const std::vector<StreamTarget>& servers) {
  auto key = registry.create(profileKeyPath(profile));
  if (!key) return;
  // A place no longer used is emptied: the store has no way to remove a value.
  for (int i = 0; i < kMaxExtraServers; ++i)
    key->set(valueName(i),
             static_cast<size_t>(i) < servers.size() ? serverUrl(servers[static_cast<size_t>(i)]) : "");
}

void StatusServerReports::serverReport(int index, const ServerReport& report) {
  StatusDisplay* status = status_.load();
  if (!status) return;
  if (report.label.empty()) return status->showExtraServer(index, "");  // a place left empty
  const double kilobytes = static_cast<double>(report.bytesSent) / 1000.0;
  std::string sent =
      kilobytes < 1000 ? formatText("%.0f KB", kilobytes) : formatText("%.1f MB", kilobytes / 1000);
  status->showExtraServer(index, formatText("%s: %s, %s sent, %d reconnects", report.label.c_str(),
                                            report.state.c_str(), sent.c_str(), report.reconnects));
}

ServersEditor::ServersEditor(Registry& registry, std::string profile, SourceClientMaker clients,
                             std::function<void()> stored)
    : registry_(registry),
      profile_(std::move(profile)),
      clients_(std::move(clients)),
      stored_(std::move(stored)),
      servers_(loadExtraServers(registry_, profile_)) {}

ServersEditor::~ServersEditor() {
  cancel_.store(true);
  worker_.close();
}

void ServersEditor::attach(ServersView* view) {
  view_.store(view);
  if (view) changed();
}

ServerForm ServersEditor::form(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= servers_.size()) return {};
  return formFromTarget(servers_[static_cast<size_t>(index)]);
}

bool ServersEditor::apply(int index, const ServerForm& form) {
  ServersView* view = view_.load();
  const bool adding = index < 0 || static_cast<size_t>(index) >= servers_.size();
  if (adding && servers_.size() >= static_cast<size_t>(kMaxExtraServers)) {
    if (view) view->showProblem("There are eight extra servers already; remove one first.");
    return false;
  }
  TargetParse parsed = targetFromForm(form);
  if (!parsed.error.empty()) {
    if (view) view->showProblem("This server cannot be used: " + parsed.error + ".");
    return false;
  }
  if (adding)
    servers_.push_back(parsed.target);
  else
    servers_[static_cast<size_t>(index)] = parsed.target;
  changed();
  if (stored_) stored_();
  return true;
}

void ServersEditor::remove(int index) {
  if (index < 0 || static_cast<size_t>(index) >= servers_.size()) return;
  servers_.erase(servers_.begin() + index);
  changed();
  if (stored_) stored_();
}

bool ServersEditor::test(const ServerForm& form) {
  TargetParse parsed = targetFromForm(form);
  if (!parsed.error.empty()) {
    if (ServersView* view = view_.load())
      view->showProblem("This server cannot be used: " + parsed.error + ".");
    return false;
  }
  worker_.post([this, target = parsed.target] {
    std::unique_ptr<SourceClient> client = clients_(target.server, streamFacts(target.format));
    std::string reason = client->open(cancel_);
    client->close();
    std::string label = targetLabel(target.server);
    if (ServersView* view = view_.load())
      view->showTestResult(reason.empty() ? label + " took the log-in." : label + ": " + reason + ".");
  });
  return true;
}

void ServersEditor::changed() {
  saveExtraServers(registry_, profile_, servers_);
  std::vector<std::string> rows;
  for (const StreamTarget& server : servers_) rows.push_back(serverRow(server));
  if (ServersView* view = view_.load()) view->showServers(rows);
}

}  // namespace brovana
