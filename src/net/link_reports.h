#pragma once
// What the server connection tells the rest of the studio while it connects, streams and
// reconnects. The broadcast layer adapts it to the status display and the main window's title.
// Called on the thread that drives the link: the user-interface thread for the first connect,
// the conversion thread for the sends and the reconnects they start.

#include <string_view>

#include "core/title_state.h"

namespace brovana {

class LinkReports {
 public:
  virtual ~LinkReports() = default;
  // "Trying to connect to server, standby..." and the other connection texts.
  virtual void statusText(std::string_view text) = 0;
  virtual void state(TitleState state) = 0;
  // Seconds on the air, summed over every login of the run.
  virtual void onAirTime(int seconds) = 0;
  // The member's line speed and the stream bit rate, after a reconnect.
  virtual void speeds(int lineSpeed, int outputBitrate) = 0;
  // The log's error counts changed (or are about to: a reconnect starts).
  virtual void errorCounts() = 0;
};

}  // namespace brovana
