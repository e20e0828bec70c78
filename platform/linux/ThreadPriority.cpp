#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vorn::platform {
namespace {

// setpriority with PRIO_PROCESS and a thread id changes just that thread on Linux.
bool setNice(int value) {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, value) == 0;
}

}  // namespace

bool setTimeCriticalPriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
        return true;
    }
    rlimit limit{};
    int lowest = 0;
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        // RLIMIT_NICE holds 20 - nice.
        lowest = 20 - static_cast<int>(limit.rlim_cur);
    }
    if (geteuid() == 0) {
        lowest = -20;
    }
    return lowest < 0 ? setNice(lowest) : false;
}

bool setNormalPriority() {
    sched_param param{};
    param.sched_priority = 0;
    const bool policy = pthread_setschedparam(pthread_self(), SCHED_OTHER, &param) == 0;
    // Lowering the nice value back to 0 after raising it needs no privilege only when
    // it was raised by us under RLIMIT_NICE; a failure here is harmless.
    setNice(0);
    return policy;
}

}  // namespace vorn::platform
