#include "audio/side_channel.h"

namespace brovana {

SideChannel::SideChannel(int capacity) {
  if (capacity > 0) ring_ = std::make_unique<ByteRing>(capacity);
}

bool SideChannel::addData(const uint8_t* block, int length) {
  return ring_ ? ring_->addData(block, length, false) : false;
}

int SideChannel::getData(uint8_t* destination, int length) {
  return ring_ ? ring_->getData(destination, length, 0, false) : -1;
}

bool SideChannel::clear() {
  if (!ring_) return false;
  ring_->clear();
  return true;
}

void SideChannel::setFormat(int sampleWidth, int channels) {
  sampleWidth_.store(sampleWidth, std::memory_order_relaxed);
  channels_.store(channels, std::memory_order_relaxed);
}

}  // namespace brovana
