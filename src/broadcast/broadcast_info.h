#pragma once
// The Broadcast Information dialog's logic, without its window: what the fields show for the
// connection, and what OK checks, applies and saves.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "broadcast/station_setup.h"

namespace brovana {

struct ServerInfo;

// URLs longer than this are refused.
inline constexpr size_t kMaxUrlLength = 250;

// The dialog's fields.
struct StationForm {
  std::string member;
  std::string password;
  std::string title;
  std::string url;
  std::array<std::string, 3> genres;  // the three lists' texts; empty: nothing chosen
  int connection = 0;                 // position among kConnections
  int output = 0;                     // position among qualitiesFor(connection)
};

// The fields for the connection, with its own genres. A stored line speed that no connection
// stands for is told and shown as the fastest connection.
StationForm stationForm(ServerLink& connection, Prompts& prompts);
// "Zelvora : Your IP/Port : HOST:PORT" once the account facts name a server; empty before.
std::string infoDialogTitle(const ServerInfo& info);
// What the three genre lists show among the service's `names` for the form's genres: the
// position of the first name that begins with the genre, ignoring case, or -1 for nothing. The
// first list falls back on "various"; the others show nothing for a genre not set or not found.
std::array<int, 3> genreChoices(const std::vector<std::string>& names,
                                const std::array<std::string, 3>& genres);

// OK: true when the dialog closes, false when a check keeps it open with the member's input.
// `hide` takes the dialog off the screen before a broadcast restarts.
bool acceptStationForm(const StationForm& form, ServerLink& connection, StationDesk& desk,
                       const std::function<void()>& hide);

}  // namespace brovana
