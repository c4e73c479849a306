#include "foundation/lalo.h"

#include <cmath>

bool gf_isValidLaLo(LaLo lalo) noexcept {
    if (!(lalo.lat >= -90.0 && lalo.lat <= 90.0 && lalo.lon >= -180.0 && lalo.lon <= 180.0)) {
        return false;
    }
    return !(std::fabs(lalo.lat) < 0.0001 && std::fabs(lalo.lon) < 0.0001);
}
