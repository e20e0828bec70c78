#pragma once

namespace vorn::platform {

// Puts the calling thread at the highest ordinary priority it may have: the lowest
// nice value allowed. Answers false when it could not be raised.
bool setTimeCriticalPriority();

// Returns the calling thread to the ordinary time-sharing policy.
bool setNormalPriority();

}  // namespace vorn::platform
