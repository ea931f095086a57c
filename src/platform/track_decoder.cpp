#include "platform/track_decoder.h"

namespace brovana {

int TrackDecoder::createInput(const std::string& path) {
  active_->closeInput();
  std::string reason;
  std::optional<AudioFacts> facts = sndfileFacts(path, reason);
  active_ = facts && facts->format != "MP3" ? static_cast<Mp3Decoder*>(&other_) : &mpeg_;
  return active_->createInput(path);
}

}  // namespace brovana
