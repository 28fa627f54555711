#include "../ThreadPriorityProbe.h"

#include <windows.h>

int CurrentThreadPriority() { return GetThreadPriority(GetCurrentThread()); }
const int kLowestThreadPriority = THREAD_PRIORITY_LOWEST;
