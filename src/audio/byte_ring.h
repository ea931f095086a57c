#pragma once
// The byte ring between one producer thread and one consumer thread of the audio pipeline.
//
// Blocks are stored whole: a block that does not fit before the end of data (`dataEnd`) goes to the
// start of the storage and the tail behind it is skipped by the reader. Each side keeps its
// position and a lap counter; the writer is never more than one lap ahead of the reader.
//
// Threads: exactly one writer (addData, writeBlock) and one reader (getData); no
// lock. The writer publishes its position with a release store after the block's bytes are in
// place, and reads the reader's position with an acquire load, and the other way round.
// clear() and zeroStorage() only while neither side is inside a call.
//
// Overflow: a block that would land on bytes the reader has not taken yet empties the ring
// and is dropped. Emptying touches the reader's side, so it is done by whichever side holds
// the ring's reset token: the writer when the reader is idle (at once), otherwise the reader
// at the start of its next getData; until then the writer drops its blocks. The token is only
// ever tried, never waited for.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace brovana {

class ByteRing {
 public:
  explicit ByteRing(int capacity);
  ByteRing(const ByteRing&) = delete;
  ByteRing& operator=(const ByteRing&) = delete;

  // Writer. True when the block was stored; false when it was longer than the capacity or
  // dropped by an overflow.
  bool addData(const uint8_t* source, int length, bool verbose = false);

  // Writer, the conversion stage's variant: `beforePublish(copy, length)` runs on the ring's
  // copy of the block after it is in place and before the reader can see it (the voiceover mix
  // and the visualisation work on that copy).
  template <typename BeforePublish>
  bool writeBlock(const uint8_t* source, int length, BeforePublish&& beforePublish);

  // True when a block of `length` bytes written now would land on unread bytes.
  bool overFlow(int length) const;

  // Reader. Copies min(maxLength, unread) bytes and advances, but only when that amount is at
  // least `trigger`; otherwise copies nothing and returns 0.
  int getData(uint8_t* destination, int maxLength, int trigger, bool verbose = false);

  // Zero bytes everywhere and a quarter of the storage readable as silence ahead of the first
  // block (the delay of a voiceover microphone behind the music).
  void clear();
  // Zero bytes everywhere, positions unchanged: unread PCM becomes silence.
  void zeroStorage();

  int capacity() const { return capacity_; }
  int startInput() const { return position(writeSide_.load(std::memory_order_acquire)); }
  int inputLap() const { return lap(writeSide_.load(std::memory_order_acquire)); }
  int dataEnd() const { return eod_.load(std::memory_order_acquire); }
  // The reader's view; from the reader's thread, or while the ring is idle.
  int startOutput() const { return position(readPos_.load(std::memory_order_relaxed)); }
  int outputLap() const { return lap(readPos_.load(std::memory_order_relaxed)); }
  // Unread bytes as the reader would see them now (reader's thread or idle ring).
  int unread() const;

  // How many times an overflow emptied the ring.
  int resets() const { return resets_.load(std::memory_order_acquire); }
  // `resets()` as it stood when the last getData copied its bytes: a change between two reads
  // means the bytes of the second do not continue those of the first.
  int readEpoch() const { return readEpoch_; }

 private:
  enum Owner : int { kFree = 0, kReaderOwns = 1, kWriterOwns = 2 };

  // A side's position and lap travel together in one word, so that the other side never sees
  // one without the other.
  static uint64_t pack(int position, int lap) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(lap)) << 32) | static_cast<uint32_t>(position);
  }
  static int position(uint64_t word) { return static_cast<int32_t>(word & 0xffffffffu); }
  static int lap(uint64_t word) { return static_cast<int32_t>(word >> 32); }

  bool tryOwn(Owner who) {
    int expected = kFree;
    return owner_.compare_exchange_strong(expected, who, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }
  void release() { owner_.store(kFree, std::memory_order_release); }

  // Writer: whether a block may go to the start (wrap) or behind the last one without touching
  // unread bytes.
  static bool roomFor(bool wrap, int length, uint64_t write, uint64_t read);
  // Writer: the block found no room. Empties the ring now or leaves it to the reader.
  bool overflowFound(bool verbose);
  // Writer: an emptying left to the reader that has not happened yet; true when it is done now.
  bool settlePendingReset();
  // With the token held: both sides back to offset 0, lap 0.
  void resetOwned();

  const int capacity_;
  std::unique_ptr<uint8_t[]> storage_;

  std::atomic<uint64_t> writeSide_{0};  // startInput, inputLap
  std::atomic<int> eod_;
  std::atomic<uint64_t> readSide_{0};  // what the writer may overwrite up to
  std::atomic<uint64_t> readPos_{0};   // startOutput, outputLap (reader, or the token holder)
  int readEpoch_ = 0;

  std::atomic<int> owner_{kFree};
  std::atomic<bool> resetPending_{false};
  std::atomic<int> resets_{0};
};

template <typename BeforePublish>
bool ByteRing::writeBlock(const uint8_t* source, int length, BeforePublish&& beforePublish) {
  if (length < 0 || length > capacity_) return false;
  if (resetPending_.load(std::memory_order_acquire) && !settlePendingReset()) return false;

  uint64_t write = writeSide_.load(std::memory_order_relaxed);
  uint64_t read = readSide_.load(std::memory_order_acquire);
  int startInput = position(write);
  // Against dataEnd, not the capacity: the usable part never grows between resets, so within one
  // writer lap nothing is stored beyond the point where the reader wraps.
  bool wrap = startInput + length > eod_.load(std::memory_order_relaxed);
  if (!roomFor(wrap, length, write, read)) return overflowFound(false);

  int at = wrap ? 0 : startInput;
  int newLap = lap(write);
  if (wrap) {
    // The reader learns the new end of data together with the new lap.
    eod_.store(startInput, std::memory_order_relaxed);
    ++newLap;
  }
  uint8_t* copy = storage_.get() + at;
  if (length > 0) std::memcpy(copy, source, static_cast<size_t>(length));
  beforePublish(copy, length);
  writeSide_.store(pack(at + length, newLap), std::memory_order_release);
  return true;
}

}  // namespace brovana
