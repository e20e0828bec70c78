#pragma once

#include "bench/CapacityProbe.h"

namespace vorn::probe {

class ProbeIo;

// The full probe (see CapacityProbe.h) on a prepared, armed device.
ProbeStatus probeFull(ProbeIo& io, CapacityResult& result);

}  // namespace vorn::probe
