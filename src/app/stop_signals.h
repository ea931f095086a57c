#pragma once
// The signals that end a run of the studio, with or without windows: SIGINT, SIGTERM, and SIGHUP
// unless the program was started with hang-ups ignored (nohup). They are blocked in every thread
// and taken by a thread of the run's own, so that a stop is heard at any time, also while the
// start-up waits on the service or the server.

#include <functional>
#include <mutex>
#include <thread>

namespace brovana {

class Studio;

// Blocks the stop signals in the calling thread and in every thread it starts from then on; call it
// before any thread starts.
void blockStopSignals();

// Says on standard error that the signal ends the run.
void tellStopHeard(int signal);

// Takes the stop signals while it lives (they must be blocked). A signal asks the attached studio
// to stop, also one that came before the studio was attached, and is told to `heard` on the
// signal thread; `heard` must not wait for the thread that destroys this.
class StopSignals {
 public:
  explicit StopSignals(std::function<void(int signal)> heard);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // While it lives, a stop signal asks `studio` to stop.
  class Attachment {
   public:
    Attachment(StopSignals& stops, Studio& studio);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

   private:
    StopSignals& stops_;
  };

  // The last stop signal that came, 0 for none.
  int signal() const;

 private:
  void setStudio(Studio* studio);
  void takeSignals();

  std::function<void(int)> heard_;
  mutable std::mutex mutex_;  // the three fields below
  Studio* studio_ = nullptr;
  int signal_ = 0;
  bool closing_ = false;
  std::thread thread_;  // last: it starts once the rest is made
};

}  // namespace brovana
