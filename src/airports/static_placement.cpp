// Minimal body until the parked-traffic planner places static aircraft: the
// item is taken off the list and nothing is created. The issue that builds
// the planner replaces this file.

#include "airports/static_placement.h"

std::vector<StaticToPlace> staticsToPlace;
std::vector<StaticRemoval> staticRemovals;

void gf_placeNextStaticAircraft() {
    if (!staticsToPlace.empty()) staticsToPlace.pop_back();
}

void gf_clearStaticsToPlace() { staticsToPlace.clear(); }
