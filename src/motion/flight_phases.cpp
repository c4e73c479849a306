// Minimal body until the reference speeds are built: no speed is known (NaN),
// so no caller takes an aircraft for fast enough to take off. The issue that
// builds the reference speeds and phase changes replaces this file.

#include "motion/flight_phases.h"

#include <limits>

double refSpeedKt(const LiveAc& /*ac*/, std::uint8_t /*mode*/) { return std::numeric_limits<double>::quiet_NaN(); }
