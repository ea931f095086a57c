#include "broadcast/input_meter.h"

#include "diag/logger.h"

namespace brovana {

bool InputMeter::wanted(Source source, bool onAir, bool shown) {
  return source != Source::Playlist && !onAir && shown;
}

void InputMeter::follow(CaptureControl& capture, bool wanted) {
  if (!wanted) {
    if (capture.metering()) capture.closeLineIn();
    return;
  }
  if (capture.metering() || capture.isOpen()) return;
  if (capture.startMeter()) {
    failureLogged_ = false;
    return;
  }
  if (!failureLogged_) Logger::log("The input level meter cannot open the sound card\n");
  failureLogged_ = true;
}

}  // namespace brovana
