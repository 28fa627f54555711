// The priority the system gives the calling thread, as the thread tests observe it.
#pragma once

// POSIX: the thread's nice value; Windows: GetThreadPriority.
int CurrentThreadPriority();
// What tpLowest becomes.
extern const int kLowestThreadPriority;
