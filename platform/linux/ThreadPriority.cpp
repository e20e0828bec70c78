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

// The lowest nice value the thread may take. A real-time policy would outrank the
// kernel's own I/O threads (the loop worker, the kworkers that complete USB and
// block requests) and so delay the very completions being timed: measured side by
// side on a loop device, SCHED_FIFO made 4 KB reads markedly slower than fio.
bool setTimeCriticalPriority() {
    if (setNice(-20)) {
        return true;
    }
    // Without the privilege, RLIMIT_NICE (which holds 20 - nice) says how far we may go.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return false;
    }
    const int lowest = 20 - static_cast<int>(limit.rlim_cur);
    return lowest < 0 && setNice(lowest);
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
