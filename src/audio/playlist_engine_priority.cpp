// The playlist engine's worker priority, apart from the track routine.

#include "audio/playlist_engine.h"
#include "core/thread_priority.h"

namespace brovana {

bool PlaylistEngine::setPriorityClass(int priorityClass) {
  switch (priorityClass) {
    case kPriorityClassNormal:
      return setPriority(kPriorityNormal);
    case kPriorityClassHigh:
      return setPriority(kPriorityAboveNormal);
    case kPriorityClassRealtime:
      return setPriority(kPriorityHighest);
    default:
      return applyPriority();
  }
}

bool PlaylistEngine::setPriority(int priority) {
  if (priority < kPriorityNormal || priority > kPriorityHighest) return false;
  priority_.store(priority);
  return applyPriority();
}

bool PlaylistEngine::applyPriority() {
  long thread = workerThreadId_.load();
  if (thread == 0) return true;
  return setThreadPriority(thread, priority_.load());
}

}  // namespace brovana
