#include "support/user_aircraft.h"

#include <array>
#include <cstring>

#include "simlink/sim_link.h"
#include "simlink/sim_link_internal.h"

namespace tavo::test {

void placeUserAircraft(LaLo position, double altitudeFt, bool onGround) {
    gf_resetUserAircraft();
    UserAircraftState state;
    state.latitude = position.lat;
    state.longitude = position.lon;
    state.altitude = altitudeFt;
    // The position reply: the record's header, then the state from byte 40.
    constexpr std::size_t kDataOffset = 40;
    alignas(SIMCONNECT_RECV_SIMOBJECT_DATA) std::array<unsigned char, kDataOffset + sizeof(UserAircraftState)> reply{};
    std::memcpy(reply.data() + kDataOffset, &state, sizeof(state));
    gf_onUserPosition(reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(reply.data()),
                      static_cast<DWORD>(reply.size()));
    g_userOnGround.store(onGround);
}

void resetUserAircraft() { gf_resetUserAircraft(); }

}  // namespace tavo::test
