#include "../ThreadPriorityProbe.h"

#include <sys/resource.h>
#include <unistd.h>

int CurrentThreadPriority() { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); }
const int kLowestThreadPriority = 10;
