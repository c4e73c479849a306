#include "support/loaded_airport.h"

#include "airports/current_airport.h"
#include "airports/loaded_airport.h"

namespace tavo::test {

void loadTestAirport(const std::filesystem::path& learnedPath) {
    gf_setCurrentAirport(AirportListEntry{IcaoCode("LOWI"), IataCode("INN"), LaLo{47.26, 11.34}, 1906});
    LoadedAirport loaded;
    loaded.fileLoaded = true;
    loaded.name = "Innsbruck";
    loaded.publisher = "simaddon";
    loaded.altitude = 1906;
    loaded.learnedPath = learnedPath;
    gf_setLoadedAirport(loaded);
}

void unloadTestAirport() {
    gf_clearLoadedAirport();
    gf_clearCurrentAirport();
}

}  // namespace tavo::test
