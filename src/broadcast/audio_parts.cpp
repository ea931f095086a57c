#include "broadcast/audio_parts.h"

#include "monitor/status_display.h"
#include "net/live_connect.h"

namespace brovana {

AcmStage::AcmStage(LiveConnect& connection, StatusDisplay& status, Mp3Codec& codec, Prompts& prompts,
                   ProgramExit& exit)
    : sink_(connection), status_(status), acm_(sink_, status_, codec, prompts, exit) {}

void AcmStage::setVisual(Visualisation* visual) {
  acm_.setVisual(visual ? visual->feed() : nullptr);
}

void AcmStage::startConvertThread() {
  acm_.startConvertThread();
}

void AcmStage::setMusicGain(float gain) {
  acm_.setMusicGain(gain);
}

int AcmStage::Sink::sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) {
  if (length <= 0) return 0;
  return connection_.sendStream(bytes, static_cast<size_t>(length), reconnectAllowed);
}

void AcmStage::Sink::flush() {
  connection_.flush();
}

void AcmStage::Status::showLastError(std::string_view text) {
  status_.setLastError(text);
}

void AcmStage::Status::refreshCounters() {
  status_.refreshCounters();
}

}  // namespace brovana
