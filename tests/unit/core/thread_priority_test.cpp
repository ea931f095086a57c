#include "core/thread_priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <future>

namespace brovana {
namespace {

int niceOf(long thread) {
  return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

TEST(ThreadPriorityTest, LevelsBecomeNiceValuesWherePermitted) {
  // On a thread of its own, so that the test program's thread keeps its priority.
  std::async(std::launch::async, [] {
    long self = currentThreadId();
    struct Case {
      int level;
      int nice;
    };
    for (Case c : {Case{kPriorityAboveNormal, -5}, Case{kPriorityHighest, -10}, Case{kPriorityNormal, 0}}) {
      SCOPED_TRACE(c.level);
      // Raising needs the right to; without it the answer is false and nothing changes.
      int before = niceOf(self);
      bool applied = setThreadPriority(self, c.level);
      EXPECT_EQ(niceOf(self), applied ? c.nice : before);
    }
  }).get();
}

TEST(ThreadPriorityTest, UnknownLevelsAndThreadsAreRefused) {
  long self = currentThreadId();
  EXPECT_GT(self, 0);
  EXPECT_FALSE(setThreadPriority(self, -1));
  EXPECT_FALSE(setThreadPriority(self, 3));
  EXPECT_FALSE(setThreadPriority(0, kPriorityNormal));
  EXPECT_FALSE(setThreadPriority(-4, kPriorityNormal));
}

}  // namespace
}  // namespace brovana
