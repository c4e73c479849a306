#include "airports/loaded_airport.h"

#include <mutex>

namespace {

std::mutex l_loadedAirportMutex;
LoadedAirport l_loadedAirport;

}  // namespace

LoadedAirport gf_loadedAirport() {
    const std::lock_guard lock(l_loadedAirportMutex);
    return l_loadedAirport;
}

void gf_setLoadedAirport(const LoadedAirport& airport) {
    const std::lock_guard lock(l_loadedAirportMutex);
    l_loadedAirport = airport;
}

void gf_clearLoadedAirportTexts() {
    const std::lock_guard lock(l_loadedAirportMutex);
    l_loadedAirport.name.clear();
    l_loadedAirport.publisher.clear();
    l_loadedAirport.displayText.clear();
}

void gf_clearLoadedAirport() {
    const std::lock_guard lock(l_loadedAirportMutex);
    l_loadedAirport = LoadedAirport{};
}
