#include "broadcast/audio_parts.h"

#include "monitor/status_display.h"
#include "net/server_link.h"

namespace brovana {

StagePart::StagePart(ServerLink& connection, StatusDisplay& status, EncoderLibrary& codec, Prompts& prompts,
                     ProgramExit& exit)
    : sink_(connection), status_(status), conversion_(sink_, status_, codec, prompts, exit) {}

void StagePart::setVisual(Visualisation* visual) {
  conversion_.setVisual(visual ? visual->feed() : nullptr);
}

void StagePart::startConvertThread() {
  conversion_.startConvertThread();
}

void StagePart::setMusicGain(float gain) {
  conversion_.setMusicGain(gain);
}

int StagePart::Sink::sendStream(const uint8_t* bytes, int length, bool reconnectAllowed) {
  if (length <= 0) return 0;
  return connection_.sendStream(bytes, static_cast<size_t>(length), reconnectAllowed);
}

void StagePart::Sink::flush() {
  connection_.flush();
}

void StagePart::Status::showLastError(std::string_view text) {
  status_.setLastError(text);
}

void StagePart::Status::refreshCounters() {
  status_.refreshCounters();
}

}  // namespace brovana
