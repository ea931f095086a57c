#include "core/speed_names.h"

#include "core/connection_rates.h"

namespace brovana {

const char* lineSpeedName(int bps) {
  if (bps > 56000) return "T1/DSL/ISDN/Cable";
  if (bps == 56000) return "56K modem";
  if (bps == 33000 || bps == 32000) return "33K modem";
  if (bps <= 28800) return "28.8K modem";
  return "---";
}

const char* outputFormatName(int bps) {
  if (bps > 56000) return "T1/DSL/ISDN/Cable";
  switch (bps) {
    case 56000:
      return "56Kbps/stereo (T1/DSL/ISDN/Cable)";
    case 32000:
      return "32Kbps/stereo (56K modem)";
    case 24000:
      return "24Kbps/mono (28.8K modem)";
    case 16000:
      return "16Kbps/mono (28.8K modem)";
    default:
      return "---";
  }
}

// The highest rate the connection choice carries. The line speeds the dialogs store are 100000,
// 56000, 33000 and 28800; a faster line (a predecessor's 64000, say) gets the highest rate rather
// than none; slower odd values (14400, 28000) get none, since no rate below 16000 can be made.
int outputBitrateForLineSpeed(int lineSpeed) {
  std::optional<int> connection = connectionPosition(lineSpeed);
  return connection ? bitrateAt(*connection, 0) : 0;
}

}  // namespace brovana
