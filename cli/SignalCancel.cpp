#include "cli/SignalCancel.h"

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "cli/CliSupport.h"

namespace vorn::cli {
namespace {

std::atomic<int> g_signal{0};
// Only a lock-free atomic may be written from a signal handler.
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kCancelSignals)];

extern "C" void onCancelSignal(int number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, number);
}

constexpr auto kSleepSlice = std::chrono::milliseconds(10);

}  // namespace

CancelOnSignals::CancelOnSignals() {
    struct sigaction action = {};
    action.sa_handler = onCancelSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a question waiting on the terminal ends at the signal.
    action.sa_flags = 0;
    for (size_t i = 0; i < std::size(kCancelSignals); ++i) {
        sigaction(kCancelSignals[i], &action, &g_previous[i]);
    }
}

CancelOnSignals::~CancelOnSignals() {
    for (size_t i = 0; i < std::size(kCancelSignals); ++i) {
        sigaction(kCancelSignals[i], &g_previous[i], nullptr);
    }
}

const std::atomic<int>& cancelSignal() {
    return g_signal;
}

void sleepUnlessCancelled(uint32_t milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!cancelRequested() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(kSleepSlice);
    }
}

Wake waitReadableUnlessCancelled(int fd, int milliseconds) {
    // The signals stay blocked up to ppoll, which lets them in while it waits: one
    // that comes between the check and the wait still ends the wait.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (const int number : kCancelSignals) {
        sigaddset(&blocked, number);
    }
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    int ready = 0;
    if (!cancelRequested()) {
        pollfd wanted = {fd, POLLIN, 0};
        const timespec limit = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        ready = ppoll(&wanted, 1, milliseconds < 0 ? nullptr : &limit, &previous);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (cancelRequested()) {
        return Wake::Cancelled;
    }
    // An interrupted wait counts as readable: the caller reads nothing and waits again.
    return ready == 0 ? Wake::TimedOut : Wake::Readable;
}

int cancelledExit(const char* command) {
    const int number = g_signal.load();
    const char* name = number == SIGINT    ? "SIGINT"
                       : number == SIGTERM ? "SIGTERM"
                       : number == SIGHUP  ? "SIGHUP"
                                           : "a signal";
    return failWith(command, std::string("cancelled by ") + name, 128 + number);
}

}  // namespace vorn::cli
