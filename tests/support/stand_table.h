#pragma once
// Stand tables for tests: the engine's table and name index filled from a few
// named positions, published for other threads.

#include <string>
#include <utility>
#include <vector>

#include "airports/airport.h"
#include "foundation/lalo.h"

namespace tavo::test {

struct StandSpec {
    StandSpec(std::string name_, LaLo position_, ParkingType type_ = ParkingType::GATE_MEDIUM,
              double radiusMetres_ = 30.0, std::vector<std::uint32_t> excludes_ = {}, bool cargo_ = false)
        : name(std::move(name_)),
          position(position_),
          type(type_),
          radiusMetres(radiusMetres_),
          excludes(std::move(excludes_)),
          cargo(cargo_) {}

    std::string name;
    LaLo position{};
    ParkingType type = ParkingType::GATE_MEDIUM;
    double radiusMetres = 30.0;
    std::vector<std::uint32_t> excludes;
    bool cargo = false;
};

// Replaces the engine's stand table (ids 1, 2, ... in the given order), its
// name index, and publishes the snapshot.
void setStandTable(const std::vector<StandSpec>& stands);
// Empties the table and the index and publishes the empty snapshot.
void clearStandTable();

}  // namespace tavo::test
