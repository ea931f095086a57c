#include "audio/byte_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace brovana {
namespace {

using Bytes = std::vector<uint8_t>;

// Bytes of block k, whose bytes say where they came from: k*16, k*16+1, ...
Bytes block(int k, int length) {
  Bytes b;
  for (int i = 0; i < length; ++i) b.push_back(static_cast<uint8_t>(k * 16 + i));
  return b;
}
Bytes read(ByteRing& ring, int max, int trigger = 0) {
  Bytes out(std::max(max, 1), 0xee);
  out.resize(ring.getData(out.data(), max, trigger));
  return out;
}

// Steps on a ring of 100 bytes: wN writes the next block, N bytes long (+ stored, - refused); oN
// asks whether N bytes would overflow (! or .); rN reads at most N bytes;
// tN reads at most 100 once N are there; cN clears the ring, then reads. A read shows
// its length and its first byte. Then the end of data, the write offset and lap, the read offset and lap, the
// unread bytes and the resets.
std::string play(const std::string& steps) {
  ByteRing ring(100);
  std::istringstream in(steps);
  std::string out;
  int blocks = 0;
  for (std::string step; in >> step;) {
    const int n = std::atoi(step.c_str() + 1);
    if (step[0] == 'w') out += ring.addData(block(++blocks, n).data(), n) ? "+ " : "- ";
    if (step[0] == 'o') out += ring.overFlow(n) ? "! " : ". ";
    if (step[0] == 'c') ring.clear();
    if (step[0] == 'w' || step[0] == 'o') continue;
    Bytes got = step[0] == 't' ? read(ring, 100, n) : read(ring, n);
    out += std::to_string(got.size()) + (got.empty() ? " " : "@" + std::to_string(got[0]) + " ");
  }
  for (int at : {ring.dataEnd(), ring.startInput(), ring.inputLap(), ring.startOutput(), ring.outputLap(),
                 ring.unread(), ring.resets()})
    out += " " + std::to_string(at);
  return out;
}

TEST(ByteRingTest, StepsKeepTheOrderAcrossTheWrapAndABlockOnUnreadBytesEmptiesTheRing) {
  const std::pair<const char*, const char*> cases[] = {
      // A read waits for its trigger; a block that does not fit before the end goes to the start.
      {"r100 w60 t61 t60 w50 r100", "0 + 0 60@16 + 50@32  60 50 1 50 1 0 0"},
      // A read across the wrap is split, or stops at the end and wraps with the next read; the
      // wrap point moves down but never up.
      {"w50 w40 r70 w30 r50 w50 r50 w20 r100", "+ + 70@16 + 50@52 + 50@64 + 20@80  80 20 2 20 2 0 0"},
      {"w50 w40 r70 w30 r20 r100 w50 r50 w20 r100",
       "+ + 70@16 + 20@52 30@48 + 50@64 + 20@80  80 20 2 20 2 0 0"},
      // A block that would land on unread bytes empties the ring, and the history starts anew:
      // wrapped onto the unread start; a wrapped block ending at the reader fills the ring; a second
      // wrap while a lap ahead; a lap ahead, one byte into the reader. One too long is refused, and
      // exactly the rest fits.
      {"w60 w30 o0 o10 o20 w20 w10 r100", "+ + . . ! - + 10@64  100 10 0 10 0 0 1"},
      {"w60 r60 w60 o0 o1 w1 w10 r100", "+ 60@16 + . ! - + 10@64  100 10 0 10 0 0 1"},
      {"w60 w30 r50 w40 o10 o60 w60 w10 r100", "+ + 50@16 + . ! - + 10@80  100 10 0 10 0 0 1"},
      {"w60 w30 r50 w40 o10 o11 w11 w10 r100", "+ + 50@16 + . ! - + 10@80  100 10 0 10 0 0 1"},
      {"w30 w101 w70 r200", "+ - + 100@16  100 100 0 100 0 0 0"},
      // Bytes read are the writer's again at once.
      {"w60 w40 r30 w20", "+ + 30@16 +  100 20 1 30 0 90 0"},
      {"w50 c100", "+ 25@0  100 25 0 25 0 0 0"},  // a cleared ring starts with a quarter of silence
  };
  for (const auto& [steps, outcome] : cases) EXPECT_EQ(play(steps), outcome) << steps;
}

// One writer, one reader, blocks of varying size carrying their sequence number and a
// checksummed payload. Every byte read must be a byte written, in order, except across an
// overflow, which the reader must see as such.
TEST(ByteRingStressTest, ReaderSeesTheWritersBytesInOrderUntilAnOverflow) {
  constexpr uint32_t kBlocks = 40'000, kEnd = 0xffffffffu;
  ByteRing ring(64 * 1024);
  auto payload = [](uint32_t seq, uint32_t i) { return static_cast<uint8_t>(seq * 131 + i * 7 + (i >> 8)); };
  std::atomic<bool> readerDone{false};
  std::thread writer([&] {
    std::mt19937 random(1);
    for (uint32_t seq = 0; seq <= kBlocks; ++seq) {
      uint32_t length = seq == kBlocks ? 0 : random() % 4 == 0 ? random() % 9000 : random() % 700;
      uint32_t head[2] = {seq == kBlocks ? kEnd : seq, length};
      Bytes b(8 + length);
      std::memcpy(b.data(), head, 8);
      for (uint32_t i = 0; i < length; ++i) b[8 + i] = payload(seq, i);
      // The end mark waits for room, unless the reader gave up on a garbled block.
      while (!ring.addData(b.data(), static_cast<int>(b.size())) && seq == kBlocks && !readerDone)
        std::this_thread::yield();
      // Pauses of both sides let the writer catch up with the reader, and the reader find the
      // ring in every state, the fullest ones included.
      if (random() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
    }
  });

  int64_t lastSeq = -1;
  bool gapAllowed = true, ended = false;
  int epoch = 0, epochChanges = 0, byteErrors = 0, orderErrors = 0;
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
    int n = ring.getData(chunk.data(), max, random() % 3 == 0 ? static_cast<int>(random() % max) : 0);
    noteEpoch();
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
  readerDone = true;
  writer.join();

  EXPECT_EQ(byteErrors, 0);
  EXPECT_EQ(orderErrors, 0) << "a gap without an overflow, or a block twice";
  EXPECT_GT(ring.resets(), 0) << "the reader was never overtaken; the test proved nothing about overflows";
  EXPECT_EQ(epochChanges, ring.resets()) << "every reset was seen by the reader";
}

}  // namespace
}  // namespace brovana
