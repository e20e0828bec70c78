#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/DriveEvents.h"

namespace vorn::test {

// Readable while a fired event waits; the drain answers what the events were.
class PipeDriveEvents : public platform::I_DriveEvents {
public:
    PipeDriveEvents() {
        if (pipe2(ends_, O_NONBLOCK | O_CLOEXEC) != 0) {
            ends_[0] = ends_[1] = -1;
        }
    }
    ~PipeDriveEvents() override {
        close(ends_[0]);
        close(ends_[1]);
    }
    PipeDriveEvents(const PipeDriveEvents&) = delete;
    PipeDriveEvents& operator=(const PipeDriveEvents&) = delete;

    void fire(bool changesDrives) {
        pending_ = pending_ || changesDrives;
        const char byte = 1;
        EXPECT_EQ(write(ends_[1], &byte, 1), 1);
    }
    int fd() const override { return ends_[0]; }
    bool drain() override {
        char bytes[64];
        while (read(ends_[0], bytes, sizeof bytes) > 0) {
        }
        ++drains;
        const bool changed = pending_;
        pending_ = false;
        return changed;
    }
    int drains = 0;

private:
    int ends_[2] = {-1, -1};
    bool pending_ = false;
};

}  // namespace vorn::test
