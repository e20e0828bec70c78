#pragma once

#include <vector>

namespace vorn {

// Round values for an axis, so it reads at a glance: 1, 2 or 5 times a power of ten.

// The round step that puts about `about` ticks across `span` (at least as large as
// span / about); 0 for a span or count that is not positive.
double niceStep(double span, int about);

// The multiples of niceStep(to - from, about) from `from` to `to`, both ends included
// (within a hair of rounding), ascending; empty for an empty range.
std::vector<double> niceTicks(double from, double to, int about);

// The first multiple of niceStep(value, about) above `value`, so the largest value
// lies inside the axis rather than on its edge; 1 for a value that is not positive.
double niceAbove(double value, int about);

}  // namespace vorn
