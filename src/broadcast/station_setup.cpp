#include "broadcast/station_setup.h"

#include <cstdio>

#include "core/prompts.h"
#include "core/text.h"
#include "net/account_service.h"
#include "net/server_link.h"

namespace brovana {

LoginCheck checkLogin(std::string_view member, std::string_view password, ServerLink& connection,
                      AccountService& accounts, Prompts& prompts, int liveSwitchWaitSeconds) {
  // A name from the old placeholder text begins with "<".
  if (member.empty() || member[0] == '<') {
    prompts.warning("You need to enter a valid username");
    return LoginCheck::Incomplete;
  }
  if (password.empty()) {
    prompts.warning("You need to enter a password");
    return LoginCheck::Incomplete;
  }
  const std::string name(member), pass(password);
  AccountCheck verdict = connection.verifyAccount(name, pass, true);
  if (verdict == AccountCheck::Unreachable) return LoginCheck::Unanswered;
  if (verdict != AccountCheck::Good) return LoginCheck::Refused;

  ServerInfo scratch;
  std::snprintf(scratch.username, sizeof scratch.username, "%s", name.c_str());
  std::snprintf(scratch.pass, sizeof scratch.pass, "%s", pass.c_str());
  if (accounts.bcinfo(scratch, false) != 0 || scratch.accountMode != kModeHostplay) return LoginCheck::Passed;
  if (!prompts.ask(formatText(
          "This account, %s, is currently set up for Hostplay. Do you want switch this to broadcast Live?",
          name.c_str())))
    return LoginCheck::NotSwitched;
  if (!accounts.netcastSwitch(name, pass, StationMode::Live, liveSwitchWaitSeconds)) {
    prompts.error(
        "Live is unable to change your account type from Hostplay to Live. Try logging in to your account "
        "and "
        "change it by hand.");
    return LoginCheck::NotSwitched;
  }
  return LoginCheck::Passed;
}

bool checkTitle(std::string_view title, bool genreChosen, Prompts& prompts) {
  if (title.empty() || title == kTitlePlaceholder) {
    prompts.warning(
        "You must enter a description of your broadcast. This is what will show up in the Zelvora "
        "directory.");
    return false;
  }
  if (!genreChosen) {
    prompts.warning("You must select at least one genre.");
    return false;
  }
  return true;
}

bool checkConnection(int connection, int output, Prompts& prompts) {
  if (connection + output < 0) {
    prompts.warning("You must select a connection rate.");
    return false;
  }
  return true;
}

bool checkTracks(int trackCount, Prompts& prompts) {
  return trackCount > 0 ||
         prompts.ask("Are you sure you want to continue without adding any tracks to your playlist?");
}

bool applyStation(const StationAnswers& answers, ServerLink& connection) {
  if (connection.setCredentials(answers.member, answers.password) != AccountCheck::Good) return false;
  connection.refreshServerInfo();
  connection.setMessage(answers.title);
  connection.setUrl(answers.url);
  connection.setLineSpeed(answers.lineSpeed);
  connection.setOutputBitrate(answers.outputBitrate);
  for (int i = 0; i < 3; ++i) connection.setGenre(i, answers.genres[i]);
  connection.setLiveTag(answers.liveTag);
  return true;
}

}  // namespace brovana
