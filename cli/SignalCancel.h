#pragma once

#include <atomic>
#include <cstdint>

namespace vorn::cli {

// SIGINT, SIGTERM and SIGHUP ask the running command to stop at its next transfer,
// as the progress window's Cancel button does: the medium is left as after a failed
// step, the logs are written, and the command exits 128 + the signal's number.
// Installed for the length of a command; the previous handlers come back after it.
class CancelOnSignals {
public:
    CancelOnSignals();
    ~CancelOnSignals();
    CancelOnSignals(const CancelOnSignals&) = delete;
    CancelOnSignals& operator=(const CancelOnSignals&) = delete;
};

// The number of the first cancelling signal received, 0 while none was. Worker
// threads may read it.
const std::atomic<int>& cancelSignal();
inline bool cancelRequested() {
    return cancelSignal().load() != 0;
}

// Sleeps up to `milliseconds`, waking early once a cancel was asked for.
void sleepUnlessCancelled(uint32_t milliseconds);

// What ended a wait on a descriptor.
enum class Wake { Readable, TimedOut, Cancelled };
// Waits up to `milliseconds` (-1: without end) for `fd` to turn readable, ending at
// once when a cancelling signal comes, also one that came just before the wait.
Wake waitReadableUnlessCancelled(int fd, int milliseconds);

// Prints "qkvorn-cli: <command>: cancelled by SIGxxx" and answers 128 + its number.
int cancelledExit(const char* command);

}  // namespace vorn::cli
