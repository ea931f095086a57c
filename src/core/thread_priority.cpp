#include "core/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/log_sink.h"
#include "core/text.h"

namespace brovana {

long currentThreadId() {
  return static_cast<long>(syscall(SYS_gettid));
}

bool setThreadPriority(long threadId, int priority) {
  // Nice values per level; on Linux a thread id names the one thread.
  static constexpr int kNice[] = {0, -5, -10};
  if (threadId <= 0 || priority < kPriorityNormal || priority > kPriorityHighest) return false;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), kNice[priority]) == 0) return true;
  logLine(formatText("Cannot set the thread priority to %d: %s\n", priority, std::strerror(errno)));
  return false;
}

bool lowerCurrentThreadToBackground() {
  sched_param none{};
  bool idle = pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) == 0;
  bool nice = setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()), 19) == 0;
  return idle || nice;
}

}  // namespace brovana
