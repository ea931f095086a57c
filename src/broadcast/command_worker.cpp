#include "broadcast/command_worker.h"

namespace brovana {

CommandWorker::CommandWorker(Command finished) : finished_(std::move(finished)), thread_([this] { run(); }) {}

CommandWorker::~CommandWorker() {
  close();
  thread_.join();
}

void CommandWorker::setWaiter(CommandWaiter* waiter) {
  waiter_ = waiter;
}

void CommandWorker::post(Command command) {
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    queue_.push_back(std::move(command));
  }
  changed_.notify_all();
}

void CommandWorker::await(const Command& command) {
  if (onWorker()) {
    command();
    return;
  }
  bool done = false;  // under the lock
  post([this, &command, &done] {
    command();
    std::lock_guard lock(mutex_);
    done = true;
  });
  // A command dropped by close() never runs.
  waitFor([&] { return done || (closing_ && !running_ && queue_.empty()); });
}

void CommandWorker::close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (!onWorker()) waitFor([this] { return !running_; });
}

bool CommandWorker::busy() const {
  std::lock_guard lock(mutex_);
  return running_ || !queue_.empty();
}

void CommandWorker::waitFor(const std::function<bool()>& done) {
  auto locked = [&] {
    std::lock_guard lock(mutex_);
    return done();
  };
  if (CommandWaiter* waiter = waiter_.load()) waiter->waitUntil(locked);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, done);
}

void CommandWorker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) break;
    Command command = std::move(queue_.front());
    queue_.pop_front();
    running_ = true;
    lock.unlock();
    command();
    if (finished_) finished_();
    lock.lock();
    running_ = false;
    changed_.notify_all();
    if (CommandWaiter* waiter = waiter_.load()) waiter->wake();
  }
}

}  // namespace brovana
