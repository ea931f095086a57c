#include "broadcast/stream_recorder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "support/child_process.h"
#include "support/log_tail.h"
#include "support/mp3_bytes.h"
#include "support/temp_folder.h"

namespace brovana {
namespace {

using namespace std::chrono_literals;

// A writer stuck on its file (a pipe nobody reads yet) or failing on it (a full disk) never holds
// up the sender: blocks that do not fit are left out whole, the rest arrive in order, and each
// kind of trouble is logged once.
TEST(StreamRecorderTest, StuckOrFullDiskNeverHoldsUpTheSender) {
  test::TempFolder folder;
  std::string pipe = folder.file("stuck");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  // The pipe is full before the recording starts: its writer waits in write() until the test reads.
  int filler = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  size_t filled = 0;
  while (write(filler, std::string(4096, 'f').data(), 4096) > 0) filled += 4096;
  close(filler);
  test::LogTail log;
  StreamRecorder recorder(16 * 1024);
  std::string error;
  ASSERT_TRUE(recorder.start(pipe, error)) << error;
  // Block n is 1024 bytes of n. A sender that waited for the writer would hang in this thread.
  auto send = [&](int blocks) {
    for (int n = 0; n < blocks; ++n) recorder.sent(std::vector<uint8_t>(1024, n).data(), 1024, 1);
  };
  std::thread(send, 250).join();
  std::thread stop([&] { recorder.stop(); });
  fcntl(reader, F_SETFL, 0);
  std::string kept;
  char buffer[4096];
  for (ssize_t got; (got = read(reader, buffer, sizeof buffer)) > 0;) kept.append(buffer, got);
  stop.join();
  close(reader);
  kept.erase(0, filled);
  EXPECT_LT(kept.size(), 250 * 1024u) << "the pipe and the queue hold far less than was sent";
  for (size_t at = 0; at < kept.size(); at += 1024) {
    EXPECT_EQ(kept.substr(at, 1024), std::string(1024, kept[at]));
    EXPECT_TRUE(at == 0 || uint8_t(kept[at]) > uint8_t(kept[at - 1])) << "in order";
  }

  ASSERT_TRUE(recorder.start("/dev/full", error)) << error;
  send(8);
  recorder.stop();
  EXPECT_EQ(log.count("falls behind the stream"), 1) << log.text();
  EXPECT_EQ(log.count("No space left on device"), 1) << log.text();
  EXPECT_TRUE(log.contains("Recording to /dev/full ended: 0 bytes kept, 8192 left out\n")) << log.text();
}

// A recording file that goes away meanwhile is noticed at the next block: the blocks after it go
// to a new file at the path, and the summary counts every block as kept.
TEST(StreamRecorderTest, DeletedOrMovedFileIsRecreatedAtItsPath) {
  const std::pair<const char*, std::function<int(const std::string&)>> cases[] = {
      {"deleted", [](const std::string& path) { return unlink(path.c_str()); }},
      {"moved", [](const std::string& path) { return rename(path.c_str(), (path + ".old").c_str()); }},
  };
  for (const auto& [name, takeAway] : cases) {
    test::TempFolder folder;
    const std::string path = folder.file("show.mp3");
    test::LogTail log;
    StreamRecorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.start(path, error)) << error;
    recorder.sent(reinterpret_cast<const uint8_t*>("first|"), 6, 1);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(path) == "first|"; }, 10s)) << name;
    ASSERT_EQ(takeAway(path), 0) << name;
    recorder.sent(reinterpret_cast<const uint8_t*>("second|"), 7, 1);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(path) == "second|"; }, 10s)) << name;
    recorder.sent(reinterpret_cast<const uint8_t*>("third"), 5, 1);
    recorder.stop();
    EXPECT_EQ(test::readFile(path), "second|third") << name;
    EXPECT_EQ(log.count("Recording to " + path +
                        ": the file was deleted or moved; writing goes on in a "
                        "new file at that path\n"),
              1)
        << name << log.text();
    EXPECT_TRUE(log.contains("ended: 18 bytes kept, 0 left out\n")) << name;
  }
}

// Split at a minute, 75 s of a stream in blocks of five frames is two files named with their
// start times: the first a minute long within one frame, both of whole frames, and together the
// whole stream, nothing lost or doubled at the cut. MPEG-1 frames do not divide a minute; MPEG-2
// ones at 24 kHz do.
TEST(StreamRecorderTest, SplitRecordingIsPartsOfWholeFramesThatAddUpToTheStream) {
  const struct {
    test::FrameHeader header;
    int frameBytes;
    double frameSeconds;
  } cases[] = {
      {{.version = test::Mpeg::V1, .bitrateIndex = 9, .sampleRateIndex = 0}, 417, 1152.0 / 44100},
      {{.version = test::Mpeg::V2, .bitrateIndex = 6, .sampleRateIndex = 1}, 144, 576.0 / 24000},
  };
  for (const auto& c : cases) {
    test::TempFolder folder;
    StreamRecorder recorder(4 << 20);  // the whole stream fits: none of it is left out
    recorder.setSplit(1);
    std::string error;
    ASSERT_TRUE(recorder.start(folder.file("show.mp3"), error)) << error;
    const std::string block = test::frames(c.header, c.frameBytes, 5);
    const int blocks = static_cast<int>(75 / c.frameSeconds / 5);
    for (int n = 0; n < blocks; ++n)
      recorder.sent(reinterpret_cast<const uint8_t*>(block.data()), block.size(), 1);
    recorder.stop();
    std::set<std::string> parts;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      parts.insert(entry.path().filename().string());
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_TRUE(parts.begin()->starts_with("show-2") && parts.begin()->ends_with(".mp3")) << *parts.begin();
    size_t first = test::readFile(folder.file(*parts.begin())).size();
    size_t second = test::readFile(folder.file(*parts.rbegin())).size();
    EXPECT_EQ(first + second, block.size() * blocks);
    EXPECT_EQ(first % c.frameBytes, 0u);
    EXPECT_NEAR(first / c.frameBytes * c.frameSeconds, 60, c.frameSeconds);
  }
}

}  // namespace
}  // namespace brovana
