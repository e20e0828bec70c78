#include "view/AxisTicks.h"

#include <cmath>

namespace vorn {
namespace {

// Division leaves 1.0 / 0.2 a hair either side of 5: values this close to a tick are
// on it.
constexpr double kOnTick = 1e-9;

// k times a step of 1, 2 or 5 times 10^exponent, as the nearest double to the round
// value (0.3, not 0.30000000000000004).
double multiple(double k, double step) {
    const double exponent = std::floor(std::log10(step) + kOnTick);
    const double mantissa = std::round(step / std::pow(10.0, exponent));
    const double value = exponent < 0 ? k * mantissa / std::pow(10.0, -exponent)
                                      : k * mantissa * std::pow(10.0, exponent);
    return value + 0.0;  // a first tick at ceil(-tiny) is 0, not "-0"
}

}  // namespace

double niceStep(double span, int about) {
    if (!(span > 0) || about <= 0 || !std::isfinite(span)) {
        return 0;
    }
    const double raw = span / about;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw * (1 - kOnTick)) {
            return m * power;
        }
    }
    return 10 * power;
}

std::vector<double> niceTicks(double from, double to, int about) {
    std::vector<double> ticks;
    const double step = niceStep(to - from, about);
    if (step <= 0) {
        return ticks;
    }
    // Each tick as a whole multiple of the step: adding steps up would drift.
    const double first = std::ceil(from / step - kOnTick);
    const double last = std::floor(to / step + kOnTick);
    for (double k = first; k <= last; ++k) {
        ticks.push_back(multiple(k, step));
    }
    return ticks;
}

double niceAbove(double value, int about) {
    const double step = niceStep(value, about);
    if (step <= 0) {
        return 1;
    }
    return multiple(std::floor(value / step + kOnTick) + 1, step);
}

}  // namespace vorn
