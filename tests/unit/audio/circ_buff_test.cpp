#include "audio/circ_buff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace brovana {
namespace {

using Bytes = std::vector<uint8_t>;

// Bytes `from` to `to` of block k, whose bytes say where they came from: k*16, k*16+1, ...
Bytes block(int k, int to, int from = 0) {
  Bytes b;
  for (int i = from; i < to; ++i) b.push_back(static_cast<uint8_t>(k * 16 + i));
  return b;
}
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
bool write(CircBuff& ring, int k, int length) {
  return ring.addData(block(k, length).data(), length);
}
Bytes read(CircBuff& ring, int max, int trigger = 0, bool hold = false) {
  Bytes out(std::max(max, 1), 0xee);
  out.resize(ring.getData(out.data(), max, trigger, false, hold));
  return out;
}
// The ring's positions: end of data, write offset and lap, read offset and lap, unread bytes.
std::vector<int> state(const CircBuff& ring) {
  return {ring.EOD(),         ring.startInput(), ring.inputLap(),
          ring.startOutput(), ring.outputLap(),  ring.unread()};
}

TEST(CircBuffTest, ReadsWaitForTheTriggerAndSkipTheDeadTailAtTheWrap) {
  CircBuff ring(100);
  EXPECT_EQ(ring.getData(nullptr, 100, 0), 0) << "fresh ring";
  ASSERT_TRUE(write(ring, 1, 60));
  EXPECT_TRUE(read(ring, 100, 61).empty());
  EXPECT_EQ(read(ring, 100, 60), block(1, 60));
  // A block that does not fit before the end goes to the start.
  ASSERT_TRUE(write(ring, 2, 50));
  EXPECT_EQ(state(ring), (std::vector{60, 50, 1, 60, 0, 50}));
  EXPECT_EQ(read(ring, 100), block(2, 50));
  EXPECT_EQ(state(ring), (std::vector{60, 50, 1, 50, 1, 0}));
}

TEST(CircBuffTest, ReadAcrossTheWrapIsSplitOrStopsAtTheEndAndTheWrapPointMovesDownButNeverUp) {
  for (int max : {50, 20}) {
    CircBuff ring(100);
    write(ring, 1, 50), write(ring, 2, 40), read(ring, 70);
    ASSERT_TRUE(write(ring, 3, 30));
    EXPECT_EQ(ring.EOD(), 90);
    if (max == 50) {
      EXPECT_EQ(read(ring, 50), block(2, 40, 20) + block(3, 30));
    } else {
      // A reader that stops at the end stays at EOD and wraps with its next read.
      EXPECT_EQ(read(ring, 20), block(2, 40, 20));
      EXPECT_EQ(std::pair(ring.startOutput(), ring.outputLap()), std::pair(90, 0));
      EXPECT_EQ(read(ring, 100), block(3, 30));
    }
    EXPECT_EQ(std::pair(ring.startOutput(), ring.outputLap()), std::pair(30, 1));
    ASSERT_TRUE(write(ring, 4, 50));
    read(ring, 50);
    ASSERT_TRUE(write(ring, 5, 20));
    EXPECT_EQ(std::pair(ring.EOD(), ring.startInput()), std::pair(80, 20))
        << "wrapped although the storage ends at 100";
    EXPECT_EQ(read(ring, 100), block(5, 20));
  }
}

TEST(CircBuffTest, BlockThatWouldLandOnUnreadBytesEmptiesTheRingAndOneTooLongIsRefused) {
  for (auto [steps, fits, overflowing] :
       {std::tuple{std::vector{60, 30}, 10, 20},    // wrap onto the unread start
        {std::vector{60, -60, 60}, 0, 1},           // a wrapped block that ends at the reader fills the ring
        {std::vector{60, 30, -50, 40}, 10, 60},     // a second wrap while a lap ahead
        {std::vector{60, 30, -50, 40}, 10, 11}}) {  // a lap ahead, one byte into the reader
    SCOPED_TRACE(overflowing);
    CircBuff ring(100);
    for (int step : steps) ASSERT_TRUE(step < 0 ? !read(ring, -step).empty() : write(ring, 1, step));
    EXPECT_FALSE(ring.overFlow(0) || ring.overFlow(fits)) << "up to the reader fits";
    EXPECT_TRUE(ring.overFlow(overflowing));
    EXPECT_FALSE(write(ring, 2, overflowing));
    EXPECT_EQ(ring.resets(), 1);
    EXPECT_EQ(std::pair(ring.unread(), ring.EOD()), std::pair(0, 100));
    ASSERT_TRUE(write(ring, 9, 10));
    EXPECT_EQ(ring.startInput(), 10) << "a new history from offset 0";
    EXPECT_EQ(read(ring, 100), block(9, 10));
  }
  CircBuff ring(100);
  write(ring, 1, 30);
  EXPECT_FALSE(write(ring, 2, 101));
  EXPECT_EQ(std::pair(ring.startInput(), ring.resets()), std::pair(30, 0));
  EXPECT_TRUE(write(ring, 2, 70)) << "exactly the rest fits";
  EXPECT_EQ(read(ring, 200), block(1, 30) + block(2, 70));
}

TEST(CircBuffTest, ClearPrimesAQuarterOfSilence) {
  CircBuff ring(1'000'000);
  write(ring, 1, 5000);
  ring.clear();
  EXPECT_EQ(read(ring, 1'000'000, 250'000), Bytes(250'000, 0));
}

// The undone read's bytes coming again is the stress test's; here the writer's side of it.
TEST(CircBuffTest, AHeldReadKeepsTheWriterOffAndUndoAfterAnOverflowDoesNothing) {
  for (auto [hold, readAgain, wrapStored] :
       {std::tuple{false, false, true}, {true, false, false}, {true, true, true}}) {
    CircBuff ring(100);
    write(ring, 1, 60), write(ring, 2, 40), read(ring, 30, 0, hold);
    if (readAgain) read(ring, 0);  // a later read gives held bytes up
    // Wrapping onto 0..19, over bytes the last read handed out.
    EXPECT_EQ(write(ring, 3, 20), wrapStored) << hold << readAgain;
  }
  CircBuff ring(100);
  write(ring, 1, 60), read(ring, 30), write(ring, 2, 40);
  EXPECT_FALSE(write(ring, 3, 40));  // wraps onto 30 unread bytes: empties the ring
  ring.undoGetData();
  ASSERT_TRUE(write(ring, 4, 10));
  EXPECT_EQ(read(ring, 100), block(4, 10));
}

// One writer, one reader, blocks of varying size carrying their sequence number and a
// checksummed payload. Every byte read must be a byte written, in order, except across an
// overflow, which the reader must see as such.
TEST(CircBuffStressTest, ReaderSeesTheWritersBytesInOrderUntilAnOverflow) {
  constexpr uint32_t kBlocks = 40'000, kEnd = 0xffffffffu;
  CircBuff ring(64 * 1024);
  auto payload = [](uint32_t seq, uint32_t i) { return static_cast<uint8_t>(seq * 131 + i * 7 + (i >> 8)); };
  std::thread writer([&] {
    std::mt19937 random(1);
    for (uint32_t seq = 0; seq <= kBlocks; ++seq) {
      uint32_t length = seq == kBlocks ? 0 : random() % 4 == 0 ? random() % 9000 : random() % 700;
      uint32_t head[2] = {seq == kBlocks ? kEnd : seq, length};
      Bytes b(8 + length);
      std::memcpy(b.data(), head, 8);
      for (uint32_t i = 0; i < length; ++i) b[8 + i] = payload(seq, i);
      while (!ring.addData(b.data(), static_cast<int>(b.size())) && seq == kBlocks) std::this_thread::yield();
      // Pauses of both sides let the writer catch up with the reader, and the reader find the
      // ring in every state, the fullest ones included.
      if (random() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
    }
  });

  int64_t lastSeq = -1;
  bool gapAllowed = true, ended = false;
  int epoch = 0, epochChanges = 0, byteErrors = 0, orderErrors = 0, undoErrors = 0;
  Bytes pending, chunk(20'000);
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
    bool hold = random() % 4 == 0;
    int n = ring.getData(chunk.data(), max, random() % 3 == 0 ? static_cast<int>(random() % max) : 0, false,
                         hold);
    noteEpoch();
    if (n > 0 && hold && random() % 2 == 0) {
      // Put the bytes back and take them again: the same bytes, unless an overflow came.
      Bytes first(chunk.begin(), chunk.begin() + n);
      ring.undoGetData();
      int again = ring.getData(chunk.data(), n, 0);
      bool sameHistory = ring.readEpoch() == epoch;
      noteEpoch();
      undoErrors += sameHistory && (again != n || !std::equal(first.begin(), first.end(), chunk.begin()));
      n = again;
    }
    if (random() % 24 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + std::max(n, 0));
    size_t at = 0;
    for (uint32_t head[2]; !ended && pending.size() - at >= 8; at += 8 + head[1]) {
      std::memcpy(head, pending.data() + at, 8);
      ended = head[0] == kEnd;
      if (ended) break;
      if (head[0] >= kBlocks || head[1] > 9000) {
        ADD_FAILURE() << "garbled block header after " << lastSeq;
        ended = true;
        break;
      }
      if (pending.size() - at < 8 + head[1]) break;
      for (uint32_t i = 0; i < head[1]; ++i) byteErrors += pending[at + 8 + i] != payload(head[0], i);
      orderErrors += gapAllowed ? head[0] <= lastSeq : head[0] != lastSeq + 1;
      lastSeq = head[0];
      gapAllowed = false;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(std::min(at, pending.size())));
  }
  writer.join();

  EXPECT_EQ(byteErrors, 0);
  EXPECT_EQ(orderErrors, 0) << "a gap without an overflow, or a block twice";
  EXPECT_EQ(undoErrors, 0) << "an undone read handed out other bytes";
  EXPECT_GT(ring.resets(), 0) << "the reader was never overtaken; the test proved nothing about overflows";
  EXPECT_EQ(epochChanges, ring.resets()) << "every reset was seen by the reader";
}

}  // namespace
}  // namespace brovana
