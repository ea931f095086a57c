#include "broadcast/stream_recorder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "support/log_tail.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// Block n of a stream: its bytes all carry n, so a file shows which blocks it kept.
std::vector<uint8_t> block(int n, size_t size = 1024) {
  return std::vector<uint8_t>(size, static_cast<uint8_t>(n));
}

void send(StreamRecorder& recorder, const std::vector<uint8_t>& bytes, int login) {
  recorder.sent(bytes.data(), bytes.size(), login);
}

TEST(StreamRecorderTest, WriterStuckOnTheDiskNeverHoldsUpTheSenderAndKeepsWholeBlocksInOrder) {
  test::TempFolder folder;
  std::string pipe = folder.file("stuck");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Nobody reads yet: the writer fills the pipe and then stays in write().
  int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  test::LogTail log;
  StreamRecorder recorder(16 * 1024);
  std::string error;
  ASSERT_TRUE(recorder.start(pipe, error)) << error;

  // The conversion thread's part: each call returns although the writer is stuck (a sender
  // that waited for the disk would hang here).
  constexpr int kBlocks = 250;
  std::thread conversion([&] {
    for (int n = 0; n < kBlocks; ++n) send(recorder, block(n), 1);
  });
  conversion.join();

  std::string kept;
  std::thread drain([&] {
    fcntl(reader, F_SETFL, 0);
    char buffer[4096];
    for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) kept.append(buffer, got);
  });
  recorder.stop();
  drain.join();
  close(reader);

  ASSERT_EQ(kept.size() % 1024, 0u);
  size_t blocks = kept.size() / 1024;
  EXPECT_GT(blocks, 0u);
  EXPECT_LT(blocks, static_cast<size_t>(kBlocks)) << "the pipe and the queue hold far less than was sent";
  int previous = -1;
  for (size_t i = 0; i < blocks; ++i) {
    std::string expected(1024, kept[i * 1024]);
    ASSERT_EQ(kept.substr(i * 1024, 1024), expected) << "block " << i << " is whole";
    int n = static_cast<uint8_t>(kept[i * 1024]);
    EXPECT_GT(n, previous) << "in order";
    previous = n;
  }
  EXPECT_EQ(log.count("falls behind the stream"), 1) << log.text();
  EXPECT_TRUE(log.contains(std::to_string(blocks * 1024) + " bytes kept")) << log.text();
}

TEST(StreamRecorderTest, NewLoginReopensThePathAndAppends) {
  test::TempFolder folder;
  std::string path = folder.file("show.mp3");
  test::LogTail log;
  StreamRecorder recorder;
  std::string error;
  folder.write("show.mp3", "an older recording");
  ASSERT_TRUE(recorder.start(path, error)) << error;

  send(recorder, block('a', 4), 1);
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (folder.read("show.mp3") != "aaaa" && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  // The member moves the file away while the link is down; the same link still writes there.
  ASSERT_EQ(std::rename(path.c_str(), folder.file("moved.mp3").c_str()), 0);
  send(recorder, block('b', 4), 1);
  send(recorder, block('c', 4), 2);
  send(recorder, block('d', 4), 2);
  recorder.stop();

  EXPECT_EQ(folder.read("moved.mp3"), "aaaabbbb");
  EXPECT_EQ(folder.read("show.mp3"), "ccccdddd");
  EXPECT_EQ(log.count("goes on after the reconnect"), 1) << log.text();
}

TEST(StreamRecorderTest, FullDiskIsLoggedOnceAndUnopenableFileRefused) {
  test::LogTail log;
  StreamRecorder recorder;
  std::string error;
  EXPECT_FALSE(recorder.start("/nonexistent-folder/show.mp3", error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  EXPECT_FALSE(recorder.recording());

  ASSERT_TRUE(recorder.start("/dev/full", error)) << error;
  for (int n = 0; n < 20; ++n) send(recorder, block(n), 1);
  recorder.stop();
  EXPECT_EQ(log.count("No space left on device"), 1) << log.text();
  EXPECT_TRUE(log.contains(": 0 bytes kept")) << log.text();
}

}  // namespace
}  // namespace brovana
