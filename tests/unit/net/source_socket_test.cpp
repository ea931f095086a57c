#include "net/source_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/scripted_peer.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ScriptedPeer;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SourceSocketTest, ConnectsByAddressOrNameAndSendsEveryByte) {
  ScriptedPeer peer(ScriptedPeer::Script{{"OK-and-more"}});
  std::string block(200000, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 % 251);
  int connection = 0;
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SourceSocket socket;
    ASSERT_TRUE(socket.open());
    ASSERT_TRUE(socket.connect(host, peer.port())) << host;
    ASSERT_EQ(socket.sendAll("pw\n", 3), 3);
    char answer[3] = {};
    int n = 0;
    while (n < 2) {
      int got = socket.receive(answer + n, 2 - n);
      ASSERT_GT(got, 0);
      n += got;
    }
    EXPECT_STREQ(answer, "OK");
    EXPECT_EQ(socket.sendAll(block.data(), block.size()), static_cast<int>(block.size()));
    ASSERT_TRUE(peer.waitForBytes(connection, 3 + block.size()));
    EXPECT_EQ(peer.received(connection), "pw\n" + block);
    socket.close();
    EXPECT_FALSE(socket.isOpen());
    ++connection;
  }
}

TEST(SourceSocketTest, FailuresGiveFalseOrTheirResultCodes) {
  int closedPort = test::freeLoopbackPort();
  SourceSocket socket;
  EXPECT_EQ(socket.sendAll("x", 1), -1) << "no socket";
  char buffer[2];
  EXPECT_EQ(socket.receive(buffer, 2), 0) << "no socket";
  EXPECT_FALSE(socket.connect("127.0.0.1", closedPort)) << "no socket";

  ASSERT_TRUE(socket.open());
  EXPECT_FALSE(socket.connect("127.0.0.1", closedPort)) << "refused";
  EXPECT_EQ(socket.sendAll("x", 1), -1) << "not connected";
  EXPECT_EQ(socket.receive(buffer, 2), 0) << "not connected";
  ASSERT_TRUE(socket.open());
  EXPECT_FALSE(socket.connect("127.0.0.1", 0));
  EXPECT_FALSE(socket.connect("127.0.0.1", 70000));
  EXPECT_EQ(socket.sendAll("", 0), 0) << "nothing to write";
}

// A peer that closes is LiveConnect's log-in test; here one that never answers.
TEST(SourceSocketTest, ReceiveEndsWhenThePeerStaysSilent) {
  ScriptedPeer silent(ScriptedPeer::Script{{}});
  SourceSocket socket;
  socket.setTimeouts(1s, 300ms);
  ASSERT_TRUE(socket.open());
  ASSERT_TRUE(socket.connect("127.0.0.1", silent.port()));
  socket.sendAll("pw\n", 3);
  char buffer[2];
  auto start = Clock::now();
  EXPECT_EQ(socket.receive(buffer, 2), 0) << "nothing within the time-out";
  EXPECT_LT(secondsSince(start), 5.0);
}

// A listener whose accept queue is full drops further connection requests, so a connect to it
// hangs until our own time-out ends it.
TEST(SourceSocketTest, ConnectGivesUpAfterItsTimeOut) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(100ms);

  SourceSocket source;
  source.setTimeouts(700ms, 1s);
  ASSERT_TRUE(source.open());
  auto start = Clock::now();
  EXPECT_FALSE(source.connect("127.0.0.1", ntohs(address.sin_port)));
  double took = secondsSince(start);
  EXPECT_GE(took, 0.5) << "the attempt waited for the server";
  EXPECT_LT(took, 5.0);
  for (int fd : fillers) close(fd);
  close(listener);
}

}  // namespace
}  // namespace brovana
