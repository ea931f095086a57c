#include "app/configure.h"

#include <cstdio>
#include <iterator>

#include "broadcast/settings.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "core/registry.h"
#include "core/speed_names.h"
#include "diag/logger.h"
#include "net/live_connect.h"
#include "net/web_account_service.h"
#include "net/web_service.h"

namespace brovana {
namespace {

// The connection choices and the stream bit rates, in the dialogs' order: a line speed at
// position p allows the bit rates from position p on.
constexpr int kLineSpeeds[] = {100000, 56000, 33000, 28800};
constexpr int kOutputBitrates[] = {56000, 32000, 24000, 16000};

int position(int lineSpeed) {
  for (size_t i = 0; i < std::size(kLineSpeeds); ++i)
    if (kLineSpeeds[i] == lineSpeed) return static_cast<int>(i);
  return 0;
}

bool allowed(int lineSpeed, int outputBitrate) {
  for (size_t i = position(lineSpeed); i < std::size(kOutputBitrates); ++i)
    if (kOutputBitrates[i] == outputBitrate) return true;
  return false;
}

}  // namespace

int runConfigure(const CommandLine& options, const std::string& webHost, Registry& registry, HttpClient& http,
                 Prompts& prompts, const std::string& where) {
  const std::string member = options.member.value_or("");
  const std::string password = options.password.value_or("");
  if (member.empty() || member[0] == '<') {
    prompts.warning("You need to enter a valid username");
    return 1;
  }
  if (password.empty()) {
    prompts.warning("You need to enter a password");
    return 1;
  }
  const int lineSpeed = options.lineSpeed.value_or(kLineSpeeds[0]);
  const int outputBitrate = options.outputBitrate.value_or(kOutputBitrates[position(lineSpeed)]);
  if (!allowed(lineSpeed, outputBitrate)) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "A line speed of %d bps carries at most %d bps; choose a lower --output-bitrate.",
                  lineSpeed, kOutputBitrates[position(lineSpeed)]);
    prompts.warning(text);
    return 1;
  }

  WebService web(http, webHost);
  WebAccountService accounts(web);
  LiveConnect connection(webHost, nullptr, accounts, prompts);

  // Settings stored before keep what these options do not name; storing them is not a run of
  // the studio, so the run count stays.
  bool existing = loadBroadcastInfo(registry, kProfileName, &connection, {});
  // This log takes the number of the studio's next run, which replaces it, so that the log of
  // the last run is kept.
  Logger::log("Configuring the station of %s\n", member.c_str());
  programValues().setSessionID(existing ? programValues().sessionID() - 1 : 0);

  // The account, as the wizard's login page checks it.
  // A service that cannot be reached has said so itself; it refused nothing.
  if (int check = connection.setCredentials(member, password); check != kAccountGood) {
    if (check != kServiceUnreachable)
      prompts.error("The service did not accept this member name and password; nothing was stored.");
    return 1;
  }
  ServerInfo scratch;
  std::snprintf(scratch.username, sizeof scratch.username, "%s", member.c_str());
  std::snprintf(scratch.pass, sizeof scratch.pass, "%s", password.c_str());
  if (web.bcinfo(scratch, false) == kBcinfoOk && scratch.accountMode == kModeHostplay) {
    char text[300];
    std::snprintf(
        text, sizeof text,
        "This account, %s, is currently set up for Hostplay. Do you want switch this to broadcast Live?",
        member.c_str());
    if (!prompts.ask(text)) return 1;
    if (!web.netcastSwitch(member, password, "live", 3)) {
      prompts.error(
          "Live is unable to change your account type from Hostplay to Live. Try logging in to your account "
          "and "
          "change it by hand.");
      return 1;
    }
  }

  // The wizard's Finish.
  connection.refreshServerInfo();
  if (options.title)
    connection.setMessage(*options.title);
  else if (!existing)
    connection.setMessage("Welcome to the " + member + " show!");
  if (options.url)
    connection.setUrl(*options.url);
  else if (!existing)
    connection.setUrl(kMainWebHost);
  connection.setLineSpeed(lineSpeed);
  connection.setOutputBitrate(outputBitrate);
  if (!options.genres.empty())
    for (int i = 0; i < 3; ++i)
      connection.setGenre(i, i < static_cast<int>(options.genres.size()) ? options.genres[i] : std::string());
  saveBroadcastInfo(registry, kProfileName, &connection, {});

  std::fprintf(stderr,
               "brovana-live: the station of %s is configured (%d bps for a %s line); settings in %s\n",
               member.c_str(), outputBitrate, lineSpeedName(lineSpeed), where.c_str());
  return 0;
}

}  // namespace brovana
