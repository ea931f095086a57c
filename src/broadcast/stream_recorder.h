#pragma once
// The recording of the outgoing stream ("-outfile FILE", "Save to file..."): every MP3 block the
// server took, byte for byte, written to a file by a thread of its own. The conversion thread
// only queues a copy, so a slow or full disk never holds up the broadcast: when the queue is full
// the block is left out of the file, as is whatever the file refuses; the summary counts both. After
// the link was lost and logged in again the file is opened anew and appended to, so a file that
// was moved away or a disk that was freed meanwhile takes the rest; a file deleted or moved while
// recording is noticed at the next block and started again at its path. Each kind of failure is
// logged once per recording.
//
// Threads: start and stop come from the user-interface thread, sent from the conversion thread;
// the queue and the counters sit under mutex_, the file belongs to the writer thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broadcast/recording_split.h"
#include "net/server_link.h"

namespace brovana {

class StreamRecorder final : public StreamTap {
 public:
  // About two and a half minutes of a 56 kbit/s stream.
  static constexpr size_t kDefaultQueueBytes = 1 << 20;

  explicit StreamRecorder(size_t queueBytes = kDefaultQueueBytes) : queueLimit_(queueBytes) {}
  ~StreamRecorder() override { stop(); }
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  // Starts a new recording into `path` (emptied first), ending the one before. False, with
  // `error` set, when the file cannot be opened.
  bool start(const std::string& path, std::string& error);
  // From the next start on: a new file every `minutes` of the stream's audio (0: one file), each
  // named with its start time (partName), cut between two frames.
  void setSplit(int minutes) { splitMinutes_ = minutes; }
  // Writes what is still queued, closes the file and logs what was kept.
  void stop();
  bool recording() const;
  // The file it records into; empty when not recording.
  std::string path() const;

  // StreamTap: queues a copy of the block; never waits for the disk.
  void sent(const uint8_t* bytes, size_t length, int login) override;

 private:
  struct Block {
    std::vector<uint8_t> bytes;
    int login;
  };

  void writerThread(int fd);
  // The bytes written; fewer when the file refused the rest.
  size_t writeAll(int fd, const uint8_t* bytes, size_t length);
  static bool fileGone(int fd, const std::string& path);
  int reopen(int fd, const std::string& path);
  void failed(const char* what, int error);
  // With a split, the block's bytes up to the cut go to the part under way and the file of the
  // next part is opened; the bytes of the block left for it.
  size_t cutPart(int& fd, std::string& path, const Block& block);

  const size_t queueLimit_;
  std::atomic<int> splitMinutes_{0};
  // Set by start, then the writer thread's: the split and where its parts are named from.
  std::unique_ptr<Mp3Splitter> splitter_;
  std::string base_;
  std::time_t started_ = 0;
  int parts_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::string path_;  // empty when not recording
  std::deque<Block> queue_;
  size_t queuedBytes_ = 0;  // queued and being written
  bool stopping_ = false;
  bool dropLogged_ = false;
  bool failureLogged_ = false;
  long long droppedBytes_ = 0;
  long long writtenBytes_ = 0;

  std::thread writer_;
};

}  // namespace brovana
