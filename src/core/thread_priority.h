#pragma once
// Worker thread priorities: 0 normal, 1 above normal, 2 highest. Applied as the thread's nice
// value; raising it needs the right to do so, and a refusal is only reported.

namespace brovana {

inline constexpr int kPriorityNormal = 0;
inline constexpr int kPriorityAboveNormal = 1;
inline constexpr int kPriorityHighest = 2;

// The calling thread's id, for setThreadPriority from another thread.
long currentThreadId();
// False when the system refused (the reason is in the log).
bool setThreadPriority(long threadId, int priority);
// Puts the calling thread below every normal one (idle scheduling, nice 19): for background work
// that must never take time from the broadcast. False when the system refused both.
bool lowerCurrentThreadToBackground();

}  // namespace brovana
