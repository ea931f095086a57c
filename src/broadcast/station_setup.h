#pragma once
// The account and station setup that the setup wizard's pages and `brovana-live --configure`
// share, so that both store the same settings for the same answers: the login page's account
// check, the other pages' checks, and Finish, which puts the answers on the connection. The
// Broadcast Information dialog's checks are in broadcast/broadcast_info.h; both dialogs reach
// the studio around them through a StationDesk.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "core/connection_rates.h"

namespace brovana {

class AccountService;
class ServerLink;
class Prompts;

inline constexpr const char* kServiceName = "Zelvora";
// What an empty member name or title field shows, greyed; the checks also refuse these texts.
inline constexpr const char* kMemberPlaceholder = "<put your username here>";
inline constexpr const char* kTitlePlaceholder = "<put your broadcast description here>";
// Where a member without an account goes (the address fills in %s); the wizard waits meanwhile.
inline constexpr const char* kSignUpText =
    "Sign up for your Zelvora account at %s (your browser opens the page if there is one). The setup wizard "
    "waits for you: once your account is ready, answer \"Yes\" on its first page and go on with \"Next >\".";
// The station texts the dialogs keep; the wizard's member name, password and genres are read
// with at most 49 characters.
inline constexpr int kStationTextLimit = 255;
inline constexpr int kWizardTextLimit = 49;

// What the studio around the station dialogs does for them. The Studio provides it.
class StationDesk {
 public:
  virtual ~StationDesk() = default;
  virtual Prompts& prompts() = 0;
  // The service's account requests: the account facts and the switch of the account's mode.
  virtual AccountService& accounts() = 0;
  // The settle wait after the account is switched to live mode.
  virtual int liveSwitchWaitSeconds() const = 0;
  virtual std::string hostplayName() = 0;
  // Ends the program (exit code 0), after a refused account switch.
  virtual void endProgram() = 0;
  virtual bool broadcasting() const = 0;
  // Stops the broadcast and starts it again on a new server connection.
  virtual void restartBroadcast() = 0;
  virtual void saveSettings() = 0;
  // Runs `work` where the studio's commands run (one at a time, off the windows' thread) and
  // returns when it is done; the windows stay alive meanwhile.
  virtual void await(const std::function<void()>& work) = 0;
};

// The wizard's answers, page by page.
struct StationAnswers {
  std::string member;
  std::string password;
  std::string title;
  std::string url;
  std::array<std::string, 3> genres;  // an empty text leaves that genre unset
  int lineSpeed = kConnections[0].lineSpeed;
  int outputBitrate = kOutputQualities[0].bitrate;
  bool liveTag = true;
};

enum class LoginCheck {
  Passed,
  Incomplete,   // no usable member name or no password
  Refused,      // the service did not accept the account
  Unanswered,   // the service gave no answer to judge the account by (it said so)
  NotSwitched,  // a Hostplay account was not switched to live: the program ends
};

// The login page's Next: the member name and the password, then the account with the service's
// own messages; an account in Hostplay mode is switched to live once the member agrees.
LoginCheck checkLogin(std::string_view member, std::string_view password, ServerLink& connection,
                      AccountService& accounts, Prompts& prompts, int liveSwitchWaitSeconds);
// The title page's Next.
bool checkTitle(std::string_view title, bool genreChosen, Prompts& prompts);
// The connection page's Next, with the positions chosen in its two lists (-1: none).
bool checkConnection(int connection, int output, Prompts& prompts);
// The add-files page's Next: an empty playlist only when the member says so.
bool checkTracks(int trackCount, Prompts& prompts);

// Finish: the answers onto the connection. The credentials go first, and only once the service
// has accepted them; false, with nothing applied, when it does not.
bool applyStation(const StationAnswers& answers, ServerLink& connection);

}  // namespace brovana
