#pragma once
// The studio's commands that may wait on the network, the service, the sound card or a plug-in
// run here, on one thread of their own, one after another in the order they were given, so that
// the windows never wait for a server that does not answer.
//
// post() hands a command over and returns at once. await() runs one and returns when it is done;
// meanwhile the front end's waiter keeps the front end alive (the windows paint, take reports and
// ask the command's questions). From the worker's own thread, await() runs the command at once.
//
// Locking: one mutex covers the queue and the flags; commands run without it.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace brovana {

// How a thread that needs a command's end waits for it.
class CommandWaiter {
 public:
  virtual ~CommandWaiter() = default;
  // Returns once `done` says true; may return earlier, the worker then waits without it.
  virtual void waitUntil(const std::function<bool()>& done) = 0;
  // From the worker: `done` may have changed.
  virtual void wake() = 0;
};

class CommandWorker {
 public:
  using Command = std::function<void()>;

  // `finished` is told on the worker after every command, for the windows' marks.
  explicit CommandWorker(Command finished = {});
  ~CommandWorker();
  CommandWorker(const CommandWorker&) = delete;
  CommandWorker& operator=(const CommandWorker&) = delete;

  // None: a waiting thread blocks. The waiter must outlive the worker or be taken away first.
  void setWaiter(CommandWaiter* waiter);
  void post(Command command);
  void await(const Command& command);
  // Drops what is queued, takes nothing more, and waits for the command under way.
  void close();
  // A command is queued or under way.
  bool busy() const;
  bool onWorker() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void run();
  // Waits, through the waiter, until `done` says true under the lock.
  void waitFor(const std::function<bool()>& done);

  Command finished_;
  std::atomic<CommandWaiter*> waiter_{nullptr};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Command> queue_;
  bool running_ = false;  // a command is under way
  bool closing_ = false;
  std::thread thread_;  // last: it starts once the rest is made
};

}  // namespace brovana
