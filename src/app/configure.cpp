#include "app/configure.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "broadcast/settings.h"
#include "broadcast/station_setup.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "core/registry.h"
#include "core/speed_names.h"
#include "core/text.h"
#include "diag/logger.h"
#include "net/server_link.h"
#include "net/web_account_service.h"
#include "net/web_service.h"

namespace brovana {
namespace {

// The wizard's answers as the options give them; what they do not name stays as stored before,
// and a new station starts from the wizard's own defaults.
StationAnswers answersFrom(const CommandLine& options, const ServerLink& connection, bool existing) {
  StationAnswers answers;
  answers.member = options.member.value_or("");
  answers.password = options.password.value_or("");
  const std::string& member = answers.member;
  answers.title = options.title.value_or(existing ? connection.message()
                                                  : formatText("Welcome to the %s show!", member.c_str()));
  answers.url = options.url.value_or(existing ? connection.url() : kMainWebHost);
  for (size_t i = 0; i < answers.genres.size(); ++i)
    answers.genres[i] = options.genres.empty()      ? connection.genre(static_cast<int>(i)).value_or("")
                        : i < options.genres.size() ? options.genres[i]
                                                    : "";
  // The wizard's connection page starts at the fastest line and its highest bit rate each time.
  answers.lineSpeed = options.lineSpeed.value_or(lineSpeedAt(0));
  answers.outputBitrate = options.outputBitrate.value_or(outputBitrateForLineSpeed(answers.lineSpeed));
  answers.liveTag = existing ? connection.livetag() : true;
  return answers;
}

// The first line of `file`, or of standard input for "-", without its line end.
bool readPasswordFile(const std::string& file, std::string& password) {
  std::ifstream in;
  std::istream* from = &std::cin;
  if (file != "-") {
    in.open(file);
    from = &in;
  }
  if (!*from || !std::getline(*from, password)) return false;
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return true;
}

}  // namespace

int runConfigure(const CommandLine& options, const std::string& webHost, Registry& registry, HttpClient& http,
                 Prompts& prompts, const std::string& where) {
  WebService web(http, webHost);
  WebAccountService accounts(web);
  ServerLink connection(webHost, nullptr, accounts, prompts);

  // Settings stored before keep what these options do not name; storing them is not a run of
  // the studio, so the run count stays.
  bool existing = loadBroadcastInfo(registry, kProfileName, &connection, {});
  StationAnswers answers = answersFrom(options, connection, existing);
  if (options.passwordFile && !readPasswordFile(*options.passwordFile, answers.password)) {
    prompts.warning("Unable to read the password from " + *options.passwordFile);
    return 1;
  }
  if (!qualityPosition(connectionPosition(answers.lineSpeed).value_or(0), answers.outputBitrate)) {
    prompts.warning(
        formatText("A line speed of %d bps carries at most %d bps; choose a lower --output-bitrate.",
                   answers.lineSpeed, outputBitrateForLineSpeed(answers.lineSpeed)));
    return 1;
  }
  // This log takes the number of the studio's next run, which replaces it, so that the log of
  // the last run is kept.
  Logger::log("Configuring the station of %s\n", answers.member.c_str());
  programValues().setSessionID(existing ? programValues().sessionID() - 1 : 0);

  // The wizard's login page, then its Finish.
  constexpr const char* kRefused =
      "The service did not accept this member name and password; nothing was stored.";
  switch (checkLogin(answers.member, answers.password, connection, accounts, prompts, 3)) {
    case LoginCheck::Passed:
      break;
    case LoginCheck::Refused:
      prompts.error(kRefused);
      return 1;
    default:
      return 1;
  }
  // The live log-in can still refuse a pair that the account check took.
  if (!applyStation(answers, connection)) {
    prompts.error(kRefused);
    return 1;
  }
  saveBroadcastInfo(registry, kProfileName, &connection, {});

  std::fprintf(
      stderr, "brovana-live: the station of %s is configured (%d bps for a %s line); settings in %s\n",
      answers.member.c_str(), answers.outputBitrate, lineSpeedName(answers.lineSpeed), where.c_str());
  return 0;
}

}  // namespace brovana
