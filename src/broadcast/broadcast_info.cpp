#include "broadcast/broadcast_info.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "core/prompts.h"
#include "core/text.h"
#include "net/account_service.h"
#include "net/server_link.h"

namespace brovana {
namespace {

constexpr const char* kDefaultTitle = "Welcome to my show!";

size_t characters(std::string_view utf8) {
  return static_cast<size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](unsigned char c) { return (c & 0xc0) != 0x80; }));
}

// Whether OK would change anything the connection holds. Every genre counts, also one chosen
// where none was set before: a genre added on its own is a change too.
bool changesStation(const StationForm& form, ServerLink& connection) {
  if (connection.lineSpeed() != lineSpeedAt(form.connection) ||
      connection.outputBitrate() != bitrateAt(form.connection, form.output))
    return true;
  for (int i = 0; i < 3; ++i)
    if (connection.genre(i).value_or("") != form.genres[static_cast<size_t>(i)]) return true;
  return connection.url() != form.url || connection.message() != form.title;
}

// An account in Hostplay mode goes live, or the program ends; false when it ends.
bool switchToLive(const StationForm& form, ServerLink& connection, StationDesk& desk) {
  if (!connection.isHostplay()) return true;
  Prompts& prompts = desk.prompts();
  std::string name = desk.hostplayName();
  if (prompts.ask(formatText("This account, %s, is currently set up for %s. Do you want to continue?",
                             form.member.c_str(), name.c_str()))) {
    if (desk.accounts().netcastSwitch(form.member, form.password, StationMode::Live,
                                      desk.liveSwitchWaitSeconds()))
      return true;
    prompts.error(
        formatText("Live is unable to change your account type from %s to Live. Try logging in to your "
                   "account and change it by hand.",
                   name.c_str()));
  }
  desk.endProgram();
  return false;
}

// The first of `names` that begins with `genre`, ignoring case; -1 when none does.
int genrePosition(const std::vector<std::string>& names, std::string_view genre) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].size() >= genre.size() &&
        equalsIgnoreCase(std::string_view(names[i]).substr(0, genre.size()), genre))
      return static_cast<int>(i);
  return -1;
}

void apply(const StationForm& form, ServerLink& connection) {
  connection.setLineSpeed(lineSpeedAt(form.connection));
  connection.setOutputBitrate(bitrateAt(form.connection, form.output));
  for (int i = 0; i < 3; ++i) connection.setGenre(i, form.genres[static_cast<size_t>(i)]);
  connection.setUrl(form.url);
  connection.setMessage(
      form.title == kDefaultTitle ? formatText("Welcome to the %s show!", form.member.c_str()) : form.title);
}

}  // namespace

StationForm stationForm(ServerLink& connection, Prompts& prompts) {
  StationForm form;
  form.member = connection.memberName();
  form.password = connection.pass();
  form.title = connection.message();
  form.url = connection.url();
  for (int i = 0; i < 3; ++i) form.genres[static_cast<size_t>(i)] = connection.genre(i).value_or("");
  std::optional<int> position = connectionPosition(connection.lineSpeed());
  if (!position) prompts.information("your connection speed is bad, reset it and try again.");
  form.connection = position.value_or(0);
  form.output = qualityPosition(form.connection, connection.outputBitrate()).value_or(0);
  return form;
}

std::string infoDialogTitle(const ServerInfo& info) {
  if (info.host[0] == '\0') return {};
  return formatText("%s : Your IP/Port : %s:%d", kServiceName, info.host, info.port);
}

std::array<int, 3> genreChoices(const std::vector<std::string>& names,
                                const std::array<std::string, 3>& genres) {
  std::array<int, 3> chosen{};
  chosen[0] = genrePosition(names, genres[0]);
  if (chosen[0] < 0) chosen[0] = genrePosition(names, "various");
  for (size_t i = 1; i < genres.size(); ++i)
    chosen[i] = genres[i].empty() ? -1 : genrePosition(names, genres[i]);
  return chosen;
}

bool acceptStationForm(const StationForm& form, ServerLink& connection, StationDesk& desk,
                       const std::function<void()>& hide) {
  Prompts& prompts = desk.prompts();
  if (form.member.empty()) {
    prompts.warning("You must supply a username");
    return false;
  }
  if (form.password.empty()) {
    prompts.warning("You must supply a password");
    return false;
  }
  bool changed = form.member != connection.memberName() || form.password != connection.pass();
  // A service that cannot be reached has said so; the member name and password may be right.
  if (AccountCheck check = connection.setCredentials(form.member, form.password);
      check != AccountCheck::Good) {
    if (check != AccountCheck::Unreachable)
      prompts.warning("Unable to log into your account. Are your username and password correct?");
    return false;
  }
  connection.refreshServerInfo();
  if (form.title.empty()) {
    prompts.warning("You must supply a broadcast description");
    return false;
  }
  if (form.url.empty()) {
    prompts.error("No URL supplied!");
    return false;
  }
  if (characters(form.url) > kMaxUrlLength) {
    prompts.error("The URL is too long!");
    return false;
  }
  if (!changed && !changesStation(form, connection)) return true;
  if (!switchToLive(form, connection, desk)) return true;
  apply(form, connection);
  if (desk.broadcasting() &&
      prompts.ask(
          "Your broadcast needs to be restarted, in order to change these elements. This may throw off "
          "some of your current listeners. Restart now?")) {
    hide();
    desk.restartBroadcast();
  }
  desk.saveSettings();
  return true;
}

}  // namespace brovana
