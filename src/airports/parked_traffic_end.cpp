#include "airports/parked_traffic_end.h"

#include <atomic>

#include "airports/parked_planner.h"

namespace {

std::atomic<ParkedTrafficEnd> l_parkedTrafficEnd{nullptr};

}  // namespace

void gf_setParkedTrafficEnd(ParkedTrafficEnd end) { l_parkedTrafficEnd.store(end); }

void gf_endParkedTraffic() {
    if (const ParkedTrafficEnd end = l_parkedTrafficEnd.load()) {
        end();
        return;
    }
    gf_endParkedTrafficAtAirport();
}
