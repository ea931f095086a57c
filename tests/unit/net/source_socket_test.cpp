#include "net/source_socket.h"

#include <gtest/gtest.h>

#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using test::ScriptedPeer;

TEST(SourceSocketTest, ConnectsByNameAndSendsEveryByte) {
  ScriptedPeer peer(ScriptedPeer::Script{{"OK-and-more"}});
  std::string block(200000, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 % 251);
  SourceSocket socket;
  EXPECT_EQ(socket.sendAll("x", 1), -1) << "no socket yet";
  ASSERT_TRUE(socket.open() && socket.connect("localhost", peer.port()));
  ASSERT_EQ(socket.sendAll("pw\n", 3), 3);
  char answer[3] = {};
  for (int n = 0, got = 1; n < 2 && got > 0; n += got) got = socket.receive(answer + n, 2 - n);
  EXPECT_STREQ(answer, "OK");
  EXPECT_EQ(socket.sendAll(block.data(), block.size()), static_cast<int>(block.size()));
  ASSERT_TRUE(peer.waitForBytes(0, 3 + block.size()));
  EXPECT_EQ(peer.received(0), "pw\n" + block);
}

// A peer that closes is ServerLink's log-in test; here one that never answers.
TEST(SourceSocketTest, ReceiveEndsWithItsTimeOut) {
  ScriptedPeer silent(ScriptedPeer::Script{{}});
  SourceSocket socket;
  socket.setTimeouts(700ms, 300ms);
  ASSERT_TRUE(socket.open() && socket.connect("127.0.0.1", silent.port()));
  socket.sendAll("pw\n", 3);
  char buffer[2];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(socket.receive(buffer, 2), 0) << "nothing within the time-out";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
}  // namespace brovana
