#include "audio/circ_buff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace brovana {
namespace {

// A block whose bytes say where they came from: block k holds k*16, k*16+1, ...
std::vector<uint8_t> block(int length, int k) {
  std::vector<uint8_t> b(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(k * 16 + i);
  return b;
}

bool write(CircBuff& ring, int length, int k = 0) {
  auto b = block(length, k);
  return ring.addData(b.data(), length);
}

std::vector<uint8_t> read(CircBuff& ring, int max, int trigger = 0, bool hold = false) {
  std::vector<uint8_t> out(static_cast<size_t>(std::max(max, 1)), 0xee);
  int n = ring.getData(out.data(), max, trigger, false, hold);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& v, int from, int to) {
  return {v.begin() + from, v.begin() + to};
}

TEST(CircBuffTest, ReadWaitsForTheTrigger) {
  CircBuff ring(100);
  EXPECT_EQ(ring.getData(nullptr, 100, 0), 0) << "fresh ring";
  ASSERT_TRUE(write(ring, 60, 1));
  EXPECT_TRUE(read(ring, 100, 61).empty());
  EXPECT_EQ(ring.startOutput(), 0);
  EXPECT_EQ(read(ring, 100, 60), block(60, 1));
  EXPECT_EQ(ring.startOutput(), 60);
}

TEST(CircBuffTest, BlockThatDoesNotFitBeforeTheEndGoesToTheStart) {
  CircBuff ring(100);
  write(ring, 60, 1);
  read(ring, 60);
  ASSERT_TRUE(write(ring, 50, 2));
  EXPECT_EQ(ring.EOD(), 60);
  EXPECT_EQ(ring.inputLap(), 1);
  EXPECT_EQ(ring.startInput(), 50);
  EXPECT_EQ(read(ring, 100), block(50, 2)) << "the reader skips the dead tail";
  EXPECT_EQ(ring.startOutput(), 50);
  EXPECT_EQ(ring.outputLap(), 1);
}

TEST(CircBuffTest, ReadAcrossTheWrapIsSplitOrStopsAtTheEnd) {
  for (int max : {50, 20}) {
    SCOPED_TRACE(max);
    CircBuff ring(100);
    write(ring, 50, 1);
    write(ring, 40, 2);
    read(ring, 70);
    ASSERT_TRUE(write(ring, 30, 3));
    EXPECT_EQ(ring.EOD(), 90);
    if (max == 50) {
      EXPECT_EQ(read(ring, 50), concat(slice(block(40, 2), 20, 40), block(30, 3)));
      EXPECT_EQ(ring.startOutput(), 30);
    } else {
      // A reader that stops at the end stays at EOD and wraps with its next read.
      EXPECT_EQ(read(ring, 20), slice(block(40, 2), 20, 40));
      EXPECT_EQ(ring.startOutput(), 90);
      EXPECT_EQ(ring.outputLap(), 0);
      EXPECT_EQ(read(ring, 100), block(30, 3));
    }
    EXPECT_EQ(ring.outputLap(), 1);
  }
}

TEST(CircBuffTest, WrappingBlockThatEndsAtTheReadPositionFillsTheRing) {
  CircBuff ring(100);
  write(ring, 60, 1);
  read(ring, 60);
  ASSERT_TRUE(write(ring, 60, 2));
  EXPECT_EQ(ring.unread(), 60) << "a full ring, not an empty one";
  EXPECT_FALSE(write(ring, 1, 3)) << "nothing more fits";
  EXPECT_EQ(ring.resets(), 1);
  EXPECT_TRUE(read(ring, 100).empty()) << "the overflow emptied it";
}

TEST(CircBuffTest, WrapPointMovesDownButNeverUp) {
  CircBuff ring(100);
  write(ring, 50);
  write(ring, 40);
  read(ring, 90);
  write(ring, 30);  // EOD 90
  read(ring, 30);
  ASSERT_TRUE(write(ring, 50, 4));
  EXPECT_EQ(ring.startInput(), 80);
  read(ring, 50);
  ASSERT_TRUE(write(ring, 20, 5));
  EXPECT_EQ(ring.EOD(), 80) << "wrapped although the storage ends at 100";
  EXPECT_EQ(ring.startInput(), 20);
  EXPECT_EQ(read(ring, 100), block(20, 5));
}

TEST(CircBuffTest, BlockThatWouldLandOnUnreadBytesEmptiesTheRing) {
  struct Case {
    const char* name;
    std::vector<int> steps;  // > 0 writes that many bytes, < 0 reads that many
    int overflowing;
  };
  const Case cases[] = {
      {"wrap onto the unread start", {60, 30}, 20},
      {"second wrap while a lap ahead", {60, 30, -50, 40}, 60},
      {"a lap ahead, up into the reader", {60, 30, -50, 40}, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CircBuff ring(100);
    int k = 0;
    for (int step : c.steps) {
      if (step > 0)
        ASSERT_TRUE(write(ring, step, ++k));
      else
        read(ring, -step);
    }
    EXPECT_FALSE(ring.overFlow(0));
    EXPECT_TRUE(ring.overFlow(c.overflowing));
    EXPECT_FALSE(write(ring, c.overflowing, ++k));
    EXPECT_EQ(ring.resets(), 1);
    EXPECT_EQ(ring.unread(), 0);
    EXPECT_EQ(ring.EOD(), 100);
    ASSERT_TRUE(write(ring, 10, 9));
    EXPECT_EQ(ring.startInput(), 10) << "a new history from offset 0";
    EXPECT_EQ(read(ring, 100), block(10, 9));
  }
}

TEST(CircBuffTest, BlockLongerThanTheRingIsRefused) {
  CircBuff ring(100);
  write(ring, 30, 1);
  EXPECT_FALSE(write(ring, 101));
  EXPECT_EQ(ring.startInput(), 30);
  EXPECT_EQ(ring.resets(), 0);
  EXPECT_TRUE(write(ring, 70, 2)) << "exactly the rest fits";
  EXPECT_EQ(read(ring, 200), concat(block(30, 1), block(70, 2)));
}

TEST(CircBuffTest, ClearPrimesAQuarterOfSilence) {
  CircBuff ring(1'000'000);
  write(ring, 5000, 1);
  ring.clear();
  std::vector<uint8_t> out(1'000'000, 0xff);
  ASSERT_EQ(ring.getData(out.data(), 1'000'000, 250'000), 250'000);
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 250'000, [](uint8_t b) { return b == 0; }));
}

TEST(CircBuffTest, UndoHandsTheSameBytesOutAgain) {
  for (bool hold : {false, true}) {
    SCOPED_TRACE(hold ? "held read" : "plain read");
    CircBuff ring(100);
    write(ring, 40, 1);
    write(ring, 20, 2);
    auto first = read(ring, 50, 0, hold);
    ASSERT_TRUE(write(ring, 30, 3)) << "a block between the read and its undo";
    ring.undoGetData();
    EXPECT_EQ(ring.startOutput(), 0);
    EXPECT_EQ(read(ring, 100), concat(concat(block(40, 1), block(20, 2)), block(30, 3)));
    EXPECT_EQ(slice(concat(block(40, 1), block(20, 2)), 0, 50), first);
  }
}

TEST(CircBuffTest, HeldReadKeepsTheWriterOffItsBytesUntilTheNextRead) {
  struct Case {
    bool hold;
    bool readAgain;  // a later read gives held bytes up
    bool wrapStored;
  };
  for (const Case& c : {Case{false, false, true}, Case{true, false, false}, Case{true, true, true}}) {
    SCOPED_TRACE(::testing::Message() << "hold " << c.hold << ", read again " << c.readAgain);
    CircBuff ring(100);
    write(ring, 60, 1);
    write(ring, 40, 2);
    read(ring, 30, 0, c.hold);
    if (c.readAgain) read(ring, 0);
    // Wrapping onto 0..19, over bytes the last read handed out.
    EXPECT_EQ(write(ring, 20, 3), c.wrapStored);
  }
}

TEST(CircBuffTest, UndoAfterAnOverflowDoesNothing) {
  CircBuff ring(100);
  write(ring, 60, 1);
  read(ring, 30);
  int epoch = ring.readEpoch();
  write(ring, 40, 2);
  EXPECT_FALSE(write(ring, 40, 3));  // wraps onto 30 unread bytes: empties the ring
  ring.undoGetData();
  EXPECT_EQ(ring.unread(), 0);
  ASSERT_TRUE(write(ring, 10, 4));
  EXPECT_EQ(read(ring, 100), block(10, 4));
  EXPECT_NE(ring.readEpoch(), epoch);
}

// One writer, one reader, blocks of varying size carrying their sequence number and a
// checksummed payload. Every byte read must be a byte written, in order, except across an
// overflow, which the reader must see as such.
TEST(CircBuffStressTest, ReaderSeesTheWritersBytesInOrderUntilAnOverflow) {
  constexpr int kBlocks = 40'000;
  constexpr uint32_t kEnd = 0xffffffffu;
  CircBuff ring(64 * 1024);

  auto payloadByte = [](uint32_t seq, uint32_t i) {
    return static_cast<uint8_t>(seq * 131 + i * 7 + (i >> 8));
  };
  std::vector<char> dropped(kBlocks + 1, 0);
  std::atomic<bool> writerDone{false};

  std::thread writer([&] {
    std::mt19937 random(1);
    std::vector<uint8_t> b;
    auto make = [&](uint32_t seq, uint32_t length) {
      b.resize(8 + length);
      std::memcpy(b.data(), &seq, 4);
      std::memcpy(b.data() + 4, &length, 4);
      for (uint32_t i = 0; i < length; ++i) b[8 + i] = payloadByte(seq, i);
    };
    for (uint32_t seq = 0; seq < kBlocks; ++seq) {
      uint32_t length = random() % 4 == 0 ? random() % 9000 : random() % 700;
      make(seq, length);
      if (!ring.addData(b.data(), static_cast<int>(b.size()))) dropped[seq] = 1;
      // Pauses of both sides let the writer catch up with the reader, and the reader find the
      // ring in every state, the fullest ones included.
      if (random() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
    }
    make(kEnd, 0);
    while (!ring.addData(b.data(), static_cast<int>(b.size()))) std::this_thread::yield();
    writerDone = true;
  });

  std::vector<char> seen(kBlocks + 1, 0);
  int64_t lastSeq = -1;
  bool gapAllowed = true;
  int epoch = 0, epochChanges = 0;
  int byteErrors = 0, orderErrors = 0, undoErrors = 0;
  bool ended = false;
  std::vector<uint8_t> pending;
  std::vector<uint8_t> chunk(20'000);
  std::mt19937 random(2);
  auto noteEpoch = [&] {
    if (ring.readEpoch() == epoch) return;
    epochChanges += ring.readEpoch() - epoch;
    epoch = ring.readEpoch();
    pending.clear();  // the rest of a block cut by the overflow is gone
    gapAllowed = true;
  };
  while (!ended) {
    int max = 1 + static_cast<int>(random() % chunk.size());
    int trigger = random() % 3 == 0 ? static_cast<int>(random() % static_cast<uint32_t>(max)) : 0;
    bool hold = random() % 4 == 0;
    int n = ring.getData(chunk.data(), max, trigger, false, hold);
    noteEpoch();
    if (n > 0 && hold && random() % 2 == 0) {
      // Put the bytes back and take them again: the same bytes, unless an overflow came.
      std::vector<uint8_t> first(chunk.begin(), chunk.begin() + n);
      ring.undoGetData();
      int again = ring.getData(chunk.data(), n, 0);
      bool sameHistory = ring.readEpoch() == epoch;
      noteEpoch();
      if (sameHistory && (again != n || !std::equal(first.begin(), first.end(), chunk.begin()))) ++undoErrors;
      n = again;
    }
    if (random() % 24 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    if (n <= 0) continue;
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + n);
    size_t at = 0;
    while (pending.size() - at >= 8) {
      uint32_t seq, length;
      std::memcpy(&seq, pending.data() + at, 4);
      std::memcpy(&length, pending.data() + at + 4, 4);
      if (seq == kEnd) {
        ended = true;
        break;
      }
      if (seq >= kBlocks || length > 9000) {
        ADD_FAILURE() << "garbled block header at sequence " << lastSeq;
        return writer.join();
      }
      if (pending.size() - at < 8 + length) break;
      for (uint32_t i = 0; i < length; ++i)
        if (pending[at + 8 + i] != payloadByte(seq, i)) ++byteErrors;
      if (gapAllowed ? static_cast<int64_t>(seq) <= lastSeq : static_cast<int64_t>(seq) != lastSeq + 1)
        ++orderErrors;
      seen[seq] = 1;
      lastSeq = seq;
      gapAllowed = false;
      at += 8 + length;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
  }
  writer.join();

  EXPECT_EQ(byteErrors, 0);
  EXPECT_EQ(orderErrors, 0) << "a gap without an overflow, or a block twice";
  EXPECT_EQ(undoErrors, 0) << "an undone read handed out other bytes";
  int droppedCount = 0, readDropped = 0;
  for (int i = 0; i < kBlocks; ++i) {
    droppedCount += dropped[i];
    readDropped += dropped[i] && seen[i];
  }
  EXPECT_EQ(readDropped, 0) << "a dropped block was handed out";
  EXPECT_GT(ring.resets(), 0) << "the reader was never overtaken; the test proved nothing about overflows";
  EXPECT_GT(droppedCount, 0);
  EXPECT_EQ(epochChanges, ring.resets()) << "every reset was seen by the reader";
}

}  // namespace
}  // namespace brovana
