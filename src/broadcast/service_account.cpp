#include "broadcast/service_account.h"

#include <thread>

#include "broadcast/studio_signals.h"
#include "core/program_values.h"
#include "core/prompts.h"
#include "core/text.h"
#include "diag/logger.h"
#include "monitor/status_display.h"
#include "net/server_link.h"

namespace brovana {
namespace {

constexpr const char* kSwitchToLiveFailed =
    "%s is unable to change your account type from %s to Live.Try logging in to you account and change it by "
    "hand.";
constexpr const char* kSwitchToHostplayFailed =
    "%s is unable to change your account back to %s from Live. Try logging in to your account and change it "
    "by hand.";

}  // namespace

ServiceAccount::ServiceAccount(ServerLink& link, WebService& web, Prompts& prompts, StopSignal& stop,
                               ProgramExit& exit, MainWindowView* mainWindow, AccountTimings timings)
    : link_(link),
      web_(web),
      prompts_(prompts),
      stop_(stop),
      exit_(exit),
      mainWindow_(mainWindow),
      timings_(timings) {}

bool ServiceAccount::settle(const std::function<bool()>& other) {
  if (stop_.requested() || !link_.isHostplay()) return true;
  std::string hostplay = hostplayName();
  if (prompts_.ask(formatText(
          "This account, %s, is currently set up for %s. Do you want to log into a different account?",
          link_.memberName().c_str(), hostplay.c_str())))
    return other();
  return switchToLive(hostplay);
}

bool ServiceAccount::continueBesideARunningBroadcast() {
  if (stop_.requested() || !link_.serverOn() || web_.switchedToLive()) return true;
  prompts_.notice("");
  return prompts_.ask("You currently have a broadcast running! Do you want to continue?");
}

// A service that gave no answer says so itself, and there is nothing to correct.
bool ServiceAccount::refused() {
  if (stop_.requested()) return false;
  AccountCheck check = link_.verifyAccount(link_.memberName(), link_.pass(), true);
  return check != AccountCheck::Good && check != AccountCheck::Unreachable;
}

bool ServiceAccount::goLive() {
  if (!link_.isHostplay() || stop_.requested()) return true;
  std::string hostplay = hostplayName();
  return prompts_.ask(formatText("You are currently set up for %s, do you want to switch to Live mode?",
                                 hostplay.c_str())) &&
         switchToLive(hostplay);
}

// A refused switch ends the program; a switch that a stop abandoned was refused by no one.
bool ServiceAccount::switchToLive(const std::string& hostplay) {
  if (web_.netcastSwitch(link_.memberName(), link_.pass(), StationMode::Live,
                         timings_.liveSwitchWaitSeconds) ||
      stop_.requested() || web_.abandoned())
    return true;
  prompts_.error(formatText(kSwitchToLiveFailed, kProgramName, hostplay.c_str()));
  exit_.endProgram(0);
  return false;
}

// Without the display name, it is fetched only for the message of a failure.
bool ServiceAccount::switchToHostplay(std::string hostplay) {
  if (web_.netcastSwitch(link_.memberName(), link_.pass(), StationMode::Hostplay, 0)) {
    serverTurnedOn_ = false;  // the service's station has the server now
    return true;
  }
  if (hostplay.empty()) hostplay = hostplayName();
  prompts_.error(formatText(kSwitchToHostplayFailed, kProgramName, hostplay.c_str()));
  return false;
}

void ServiceAccount::turnServer(ServerSwitch to) {
  web_.switchServer(prompts_, link_.memberName(), link_.pass(), to);
}

// Whatever the service answers, the log-in that follows tells.
void ServiceAccount::turnServerOnOnce() {
  if (serverTurnedOn_) return;
  if (mainWindow_) setTitleStatus(*mainWindow_, kTitleTurningServerOn);
  turnServer(ServerSwitch::On);
  serverTurnedOn_ = true;
}

void ServiceAccount::restartServer() {
  turnServer(ServerSwitch::Off);
  turnServer(ServerSwitch::On);
  restartedAt_ = std::chrono::steady_clock::now();
}

// A server that is restarting deserves a few seconds before the next attempt.
bool ServiceAccount::awaitRestart() {
  if (!restartedAt_) return !stop_.requested();
  auto left = *restartedAt_ + timings_.restartWait - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return !stop_.requested();
  return stop_.pause(std::chrono::ceil<std::chrono::milliseconds>(left));
}

void ServiceAccount::turnOffAtExit() {
  if (serverTurnedOn_ && !web_.switchedToLive()) web_.switchServerOffAtExit(link_.memberName(), link_.pass());
}

void ServiceAccount::offerHostplayBack() {
  if (!web_.switchedToLive()) return;
  std::string name = hostplayName();
  if (prompts_.ask(formatText("Would you like to turn your %s broadcast back on?", name.c_str())))
    switchToHostplay(name);
}

}  // namespace brovana
