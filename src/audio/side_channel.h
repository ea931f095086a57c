#pragma once
// The voiceover microphone feed: PCM that the capture writes while a playlist plays and that
// the conversion stage mixes into the music, sample for sample. One writer (the capture
// thread), one reader (the source thread inside ConversionStage::convertAndSend).

#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/byte_ring.h"

namespace brovana {

class SideChannel {
 public:
  explicit SideChannel(int capacity);

  // False when there is no ring, or the block was refused or dropped.
  bool addData(const uint8_t* block, int length);
  // As many bytes as there are, up to length; -1 when there is no ring.
  int getData(uint8_t* destination, int length);
  // Primes the ring with a quarter of silence; false when there is no ring.
  bool clear();

  void setFormat(int sampleWidth, int channels);
  int sampleWidth() const { return sampleWidth_.load(std::memory_order_relaxed); }
  int channels() const { return channels_.load(std::memory_order_relaxed); }

  ByteRing* ring() { return ring_.get(); }

 private:
  std::unique_ptr<ByteRing> ring_;
  std::atomic<int> sampleWidth_{2};  // bytes
  std::atomic<int> channels_{2};
};

}  // namespace brovana
