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

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
  size_t writeAll(int fd, const std::vector<uint8_t>& bytes);
  static bool fileGone(int fd, const std::string& path);
  int reopen(int fd, const std::string& path);
  void failed(const char* what, int error);

  const size_t queueLimit_;

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
