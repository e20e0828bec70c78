#pragma once

namespace vorn {

// The sustained-write curve's reader and text (WriteCurve.cpp) are not built into
// vorn_results yet. Until they are, results read no curve and show none; set this to
// true once they are, and everything that shows the curve takes it up.
inline constexpr bool kWriteCurveBuiltIn = false;

}  // namespace vorn
