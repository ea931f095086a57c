#include "net/source_socket.h"

#include <gtest/gtest.h>

#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using test::ScriptedPeer;

// Names, whole blocks and a peer that closes are ServerLink's log-in tests; here one that is silent.
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
