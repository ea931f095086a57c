#include "audio/byte_ring.h"

#include <algorithm>

#include "diag/logger.h"

namespace brovana {

ByteRing::ByteRing(int capacity)
    : capacity_(std::max(0, capacity)),
      storage_(std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(capacity_))),
      eod_(capacity_) {}

bool ByteRing::addData(const uint8_t* source, int length, bool verbose) {
  if (length > capacity_) {
    if (verbose) Logger::debug(1, "CircBuff::addData - block of %d bytes refused\n", length);
    return false;
  }
  if (verbose)
    Logger::debug(1, "CircBuff::addData ccc - gStartInput=%d,gStartOutput=%d\n", startInput(),
                  position(readSide_.load(std::memory_order_relaxed)));
  return writeBlock(source, length, [](uint8_t*, int) {});
}

bool ByteRing::roomFor(bool wrap, int length, uint64_t write, uint64_t read) {
  int startInput = position(write), startOutput = position(read);
  bool sameLap = lap(write) == lap(read);
  // To the start: only over bytes the reader has passed in its current lap.
  if (wrap) return sameLap && length <= startOutput;
  // Behind the last block, same lap: everything up to dataEnd was read in the reader's last lap.
  if (sameLap) return true;
  // One lap ahead: up to the reader's position.
  return startInput + length <= startOutput;
}

bool ByteRing::overFlow(int length) const {
  uint64_t write = writeSide_.load(std::memory_order_acquire);
  uint64_t read = readSide_.load(std::memory_order_acquire);
  bool wrap = position(write) + length > eod_.load(std::memory_order_acquire);
  return !roomFor(wrap, length, write, read);
}

bool ByteRing::overflowFound(bool verbose) {
  if (verbose) {
    Logger::debug(1, "CircBuff::addData - ERROR! Circular buffer overflow!, resetting\n");
    Logger::debug(
        1, "CircBuff::addData - ERROR! startInput=%d, inputLap=%d, startOutput=%d, outputLap=%d, EOD=%d\n",
        startInput(), inputLap(), position(readSide_.load()), lap(readSide_.load()), dataEnd());
  }
  if (tryOwn(kWriterOwns)) {
    resetOwned();
    release();
  } else {
    resetPending_.store(true, std::memory_order_release);
  }
  return false;
}

bool ByteRing::settlePendingReset() {
  if (!tryOwn(kWriterOwns)) return false;
  if (resetPending_.load(std::memory_order_relaxed)) resetOwned();
  release();
  return true;
}

void ByteRing::resetOwned() {
  writeSide_.store(0, std::memory_order_relaxed);
  eod_.store(capacity_, std::memory_order_relaxed);
  readPos_.store(0, std::memory_order_relaxed);
  readSide_.store(0, std::memory_order_relaxed);
  resets_.fetch_add(1, std::memory_order_relaxed);
  // Last: a writer that sees the flag clear sees the emptied ring.
  resetPending_.store(false, std::memory_order_release);
}

int ByteRing::getData(uint8_t* destination, int maxLength, int trigger, bool verbose) {
  if (!tryOwn(kReaderOwns)) return 0;  // the writer is emptying the ring this instant
  if (resetPending_.load(std::memory_order_acquire)) {
    resetOwned();
    readEpoch_ = resets_.load(std::memory_order_relaxed);
    release();
    return 0;
  }
  readEpoch_ = resets_.load(std::memory_order_relaxed);
  uint64_t read = readPos_.load(std::memory_order_relaxed);

  uint64_t write = writeSide_.load(std::memory_order_acquire);
  int startOutput = position(read), outputLap = lap(read);
  int startInput = position(write), inputLap = lap(write);
  bool writerAhead = inputLap != outputLap;
  int eod = eod_.load(std::memory_order_relaxed);
  int bytesBehind = startInput - startOutput;
  int bytesLeftToEnd = eod - startOutput;
  int unread = writerAhead ? bytesLeftToEnd + startInput : bytesBehind;
  // The writer is never more than a lap ahead; should the positions ever say otherwise, nothing
  // is copied from them.
  bool consistent = writerAhead
                        ? (inputLap == outputLap + 1 && startInput <= startOutput && bytesLeftToEnd >= 0)
                        : bytesBehind >= 0;
  if (verbose)
    Logger::debug(1, "CircBuff::getData  - bytesBehind=%d, inLap=%d, outlap=%d, size=%d\n", bytesBehind,
                  inputLap, outputLap, capacity_);
  int count = std::min(std::max(maxLength, 0), unread);
  if (!consistent || count < trigger || count <= 0) {
    release();
    return 0;
  }

  const uint8_t* storage = storage_.get();
  if (!writerAhead || bytesLeftToEnd > count) {
    std::memcpy(destination, storage + startOutput, static_cast<size_t>(count));
  } else {
    if (verbose) Logger::debug(1, "CircBuff::getData aaa - SPLIT COPY!!\n");
    std::memcpy(destination, storage + startOutput, static_cast<size_t>(bytesLeftToEnd));
    std::memcpy(destination + bytesLeftToEnd, storage, static_cast<size_t>(count - bytesLeftToEnd));
  }

  startOutput += count;
  // A reader that stops exactly at dataEnd stays there and wraps with its next read.
  if (writerAhead && startOutput > eod) {
    if (verbose) Logger::debug(1, "CircBuff::getData ddd - bumping up lap\n");
    startOutput -= eod;
    ++outputLap;
  }
  read = pack(startOutput, outputLap);
  readPos_.store(read, std::memory_order_relaxed);
  readSide_.store(read, std::memory_order_release);
  release();
  return count;
}

int ByteRing::unread() const {
  uint64_t write = writeSide_.load(std::memory_order_acquire);
  uint64_t read = readPos_.load(std::memory_order_relaxed);
  if (lap(write) == lap(read)) return std::max(0, position(write) - position(read));
  return std::max(0, dataEnd() - position(read) + position(write));
}

void ByteRing::clear() {
  if (capacity_ > 0) std::memset(storage_.get(), 0, static_cast<size_t>(capacity_));
  writeSide_.store(pack(capacity_ / 4, 0), std::memory_order_relaxed);
  eod_.store(capacity_, std::memory_order_relaxed);
  readPos_.store(0, std::memory_order_relaxed);
  readSide_.store(0, std::memory_order_relaxed);
  resetPending_.store(false, std::memory_order_release);
}

void ByteRing::zeroStorage() {
  if (capacity_ > 0) std::memset(storage_.get(), 0, static_cast<size_t>(capacity_));
}

}  // namespace brovana
