#include "broadcast/stream_recorder.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "diag/logger.h"

namespace brovana {
namespace {

// Opened without waiting: a named pipe that nobody reads is an error, not a hang. The writes
// that follow wait as long as the file needs.
int openFile(const std::string& path, int mode) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | mode, 0644);
  if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::string errorText(int error) {
  return std::generic_category().message(error);
}

}  // namespace

bool StreamRecorder::start(const std::string& named, std::string& error) {
  stop();
  int split = splitMinutes_;
  base_ = named;
  started_ = std::time(nullptr);
  parts_ = 0;
  splitter_ = split > 0 ? std::make_unique<Mp3Splitter>(split * 60) : nullptr;
  const std::string path = split > 0 ? partName(named, started_) : named;
  int fd = openFile(path, O_TRUNC);
  if (fd < 0) {
    error = errorText(errno);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    path_ = path;
    stopping_ = dropLogged_ = failureLogged_ = false;
    droppedBytes_ = writtenBytes_ = 0;
  }
  Logger::log("Recording the stream to %s\n", path.c_str());
  writer_ = std::thread(&StreamRecorder::writerThread, this, fd);
  return true;
}

void StreamRecorder::stop() {
  {
    std::lock_guard lock(mutex_);
    if (path_.empty()) return;
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
  std::lock_guard lock(mutex_);
  Logger::log("Recording to %s ended: %lld bytes kept, %lld left out\n", path_.c_str(), writtenBytes_,
              droppedBytes_);
  path_.clear();
}

std::string StreamRecorder::path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

bool StreamRecorder::recording() const {
  std::lock_guard lock(mutex_);
  return !path_.empty();
}

void StreamRecorder::sent(const uint8_t* bytes, size_t length, int login) {
  std::unique_lock lock(mutex_);
  if (path_.empty() || stopping_) return;
  if (queuedBytes_ + length <= queueLimit_) {
    queue_.push_back({std::vector<uint8_t>(bytes, bytes + length), login});
    queuedBytes_ += length;
    lock.unlock();
    wake_.notify_one();
    return;
  }
  droppedBytes_ += static_cast<long long>(length);
  if (std::exchange(dropLogged_, true)) return;
  std::string path = path_;
  lock.unlock();
  Logger::log("Recording to %s falls behind the stream; what does not fit is left out of the file\n",
              path.c_str());
}

void StreamRecorder::writerThread(int fd) {
  // A pipe whose reader went away must fail the write, not end the program.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

  std::unique_lock lock(mutex_);
  std::string path = path_;
  int fileLogin = -1;  // the login whose stream the file holds; the first block names it
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;
    // Only this thread takes blocks off the queue, and adding more leaves this one in place.
    const Block& block = queue_.front();
    lock.unlock();
    const bool relinked = fileLogin != -1 && block.login != fileLogin;
    if (relinked || (fd >= 0 && fileGone(fd, path))) {
      fd = reopen(fd, path);
      if (fd >= 0)
        Logger::log(relinked ? "Recording to %s goes on after the reconnect\n"
                             : "Recording to %s: the file was deleted or moved; writing goes on in a new "
                               "file at that path\n",
                    path.c_str());
    }
    fileLogin = block.login;
    size_t left = splitter_ ? cutPart(fd, path, block) : block.bytes.size();
    size_t written = block.bytes.size() - left;
    if (fd >= 0) written += writeAll(fd, block.bytes.data() + written, left);
    lock.lock();
    writtenBytes_ += static_cast<long long>(written);
    droppedBytes_ += static_cast<long long>(block.bytes.size() - written);
    queuedBytes_ -= block.bytes.size();
    queue_.pop_front();
  }
  lock.unlock();
  if (fd >= 0) ::close(fd);
}

size_t StreamRecorder::cutPart(int& fd, std::string& path, const Block& block) {
  size_t cut = splitter_->cutIn(block.bytes);
  if (cut == std::string::npos) return block.bytes.size();
  if (fd >= 0) {
    writeAll(fd, block.bytes.data(), cut);
    ::close(fd);
  }
  // Named by where the part begins in the stream, so that the names follow one another in order.
  path = partName(base_, started_ + static_cast<std::time_t>(++parts_) * splitter_->partSeconds());
  fd = openFile(path, O_TRUNC);
  if (fd < 0) failed("cannot open", errno);
  Logger::log("Recording goes on in %s\n", path.c_str());
  {
    std::lock_guard lock(mutex_);
    path_ = path;
  }
  return block.bytes.size() - cut;
}

size_t StreamRecorder::writeAll(int fd, const uint8_t* bytes, size_t length) {
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed("cannot write", n < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

// Written on, a deleted or moved file would take the rest of the show where nobody finds it.
// Checked at every block: two system calls beside a block's write are nothing.
bool StreamRecorder::fileGone(int fd, const std::string& path) {
  struct stat opened = {};
  struct stat named = {};
  if (::fstat(fd, &opened) != 0) return false;
  if (::stat(path.c_str(), &named) != 0) return errno == ENOENT;
  return named.st_ino != opened.st_ino || named.st_dev != opened.st_dev;
}

// The file is opened again at its path and appended to: after a reconnect, a file moved away or
// a disk freed meanwhile takes the rest.
int StreamRecorder::reopen(int fd, const std::string& path) {
  if (fd >= 0) ::close(fd);
  fd = openFile(path, O_APPEND);
  if (fd < 0) failed("cannot open", errno);
  return fd;
}

void StreamRecorder::failed(const char* what, int error) {
  std::string path;
  {
    std::lock_guard lock(mutex_);
    if (std::exchange(failureLogged_, true)) return;
    path = path_;
  }
  Logger::log("Recording to %s: %s (%s); the broadcast goes on, the file misses what is not written\n",
              path.c_str(), what, errorText(error).c_str());
}

}  // namespace brovana
