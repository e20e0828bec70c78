#pragma once

namespace vorn::platform {

// Puts the calling thread at the highest priority it may have: SCHED_FIFO at its
// top priority where permitted, else the lowest nice value allowed.
// Answers false when neither could be set.
bool setTimeCriticalPriority();

// Returns the calling thread to the ordinary time-sharing policy.
bool setNormalPriority();

}  // namespace vorn::platform
