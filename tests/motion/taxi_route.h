#pragma once
// A taxiing Large (an A320 of DLH unless another type and airline are given,
// named after its hexid) for scripted ground streams on the motion harness.

#include <cstdint>

#include <fmt/format.h>

#include "foundation/lalo.h"
#include "support/motion_harness.h"

namespace tavo::test {

inline Route taxiRoute(std::uint32_t hexid, LaLo start, double headingDeg, double speedKt,
                       const char* type = "A320", const char* airline = "DLH") {
    Route r(hexid, start, headingDeg, speedKt, 0.0, false);
    r.identity(fmt::format("{}{}", airline, hexid % 1000), fmt::format("D-A{:03X}", hexid % 4096), type, airline);
    return r;
}

}  // namespace tavo::test
