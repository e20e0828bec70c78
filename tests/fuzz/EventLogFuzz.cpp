// libFuzzer target over the timeline's reader of an "event.log": the model, the access
// histograms and percentiles the window and the terminal's picture draw from it.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "view/TimelineModel.h"

namespace {

// Enough rows to reach every kind of line; the limit itself is read as a row count.
constexpr size_t kRowLimit = 20000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream csv(std::string(reinterpret_cast<const char*>(data), size));
    const vorn::TimelineModel model = vorn::buildTimeline(csv, kRowLimit);
    if (model.points.size() > kRowLimit) {
        std::abort();
    }
    for (const vorn::TimelinePoint& point : model.points) {
        if (point.step >= model.steps.size()) {
            std::abort();
        }
    }
    (void)vorn::accessHistogram(model);
    (void)vorn::accessHistogram(model, 7, 2.5);
    (void)vorn::slowestAccessMs(model);
    (void)vorn::accessPercentileMs(model, 0.99);
    for (const vorn::TimelineStep& step : model.steps) {
        (void)vorn::stepDisplayName(step.name);
    }
    return 0;
}
