#pragma once
// The member's account at the service: its mode (live, or the service's Hostplay) and the
// broadcast server's on/off switch, with the questions and messages that go with them.
//
// Locking: none of its own. The studio's command worker (and the start-up and the exit before and
// after it) makes every call, never two at once.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "net/web_service.h"

namespace brovana {

class MainWindowView;
class ProgramExit;
class Prompts;
class ServerLink;
class StopSignal;

struct AccountTimings {
  // The settle wait after the account is switched to live mode.
  int liveSwitchWaitSeconds = 3;
  // Between a restart of the member's server and the next attempt to log in to it.
  std::chrono::milliseconds restartWait{5000};
};

class ServiceAccount {
 public:
  // Each must outlive it; the main window may be none. A refused switch to live ends the
  // program through `exit`.
  ServiceAccount(ServerLink& link, WebService& web, Prompts& prompts, StopSignal& stop, ProgramExit& exit,
                 MainWindowView* mainWindow, AccountTimings timings);

  std::string hostplayName() { return web_.hostplayDisplayName(); }
  int liveSwitchWaitSeconds() const { return timings_.liveSwitchWaitSeconds; }

  // ---- start-up ----
  // The account is in Hostplay mode and the member, asked, means this account: it goes live.
  // False when the member means another account (then `other` runs) or the program ended.
  bool settle(const std::function<bool()>& other);
  // Another studio may be on the air with this account; false when the member leaves it be.
  bool continueBesideARunningBroadcast();
  // Whether the member must correct the stored account (the service refused it).
  bool refused();

  // ---- the mode ----
  // Before a log-in: a Hostplay account goes live if the member agrees; false when it stays.
  bool goLive();
  // Back to Hostplay; a refused switch is an error box.
  bool switchToHostplay(std::string hostplay = {});

  // ---- the server ----
  void turnServer(ServerSwitch to);
  // Before the first start of the run.
  void turnServerOnOnce();
  bool serverTurnedOn() const { return serverTurnedOn_.load(); }
  // Off and on again; the next log-in gives it time (awaitRestart).
  void restartServer();
  // What is left of the restart wait; false when a stop came first.
  bool awaitRestart();

  // ---- exit ----
  // A server this run turned on goes off, unless the account went live (the service's own
  // station takes over again); a service that does not answer at once is not waited for.
  void turnOffAtExit();
  // After a switch to live, the member may give the air back to Hostplay.
  void offerHostplayBack();

 private:
  bool switchToLive(const std::string& hostplay);

  ServerLink& link_;
  WebService& web_;
  Prompts& prompts_;
  StopSignal& stop_;
  ProgramExit& exit_;
  MainWindowView* const mainWindow_;
  const AccountTimings timings_;
  std::atomic<bool> serverTurnedOn_{false};
  // None until a restart: the clock's zero is the machine's start, not a restart long ago.
  std::optional<std::chrono::steady_clock::time_point> restartedAt_;
};

}  // namespace brovana
