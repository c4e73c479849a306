#include "engine/user_position.h"

#include <cmath>

AtomicSharedPtr<const UserAircraftState> userPositionSnapshot{std::make_shared<const UserAircraftState>()};

std::atomic<double> g_userAltitudeFt{0.0};

void gf_publishUserAircraftState(const UserAircraftState& state) {
    g_userAltitudeFt.store(state.altitude);
    userPositionSnapshot.store(std::make_shared<const UserAircraftState>(state));
}

UserAircraftState gf_userPosition() {
    auto state = userPositionSnapshot.load();
    return state ? *state : UserAircraftState{};
}

bool gf_isUnknownPosition(double latitude, double longitude) {
    return std::abs(latitude) <= 0.0001 && std::abs(longitude) <= 0.0001;
}
