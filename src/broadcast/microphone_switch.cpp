#include "broadcast/microphone_switch.h"

#include "core/prompts.h"

namespace brovana {

void MicrophoneSwitch::press() {
  if (!actions_.broadcasting()) {
    prompts_.error("You must be broadcasting a playlist to use this feature.");
  } else if (on_) {
    actions_.stop();
    on_ = false;
  } else {
    actions_.start();
    on_ = true;
  }
}

}  // namespace brovana
