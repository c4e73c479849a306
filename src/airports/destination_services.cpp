#include "airports/destination_services.h"

#include <mutex>
#include <utility>

#include "airports/current_airport.h"

namespace {

std::mutex l_servicesMutex;
std::optional<DestinationServices> l_services;

}  // namespace

DestinationServices gf_destinationServices() {
    DestinationServices services;
    {
        std::lock_guard lock(l_servicesMutex);
        if (l_services) services = *l_services;
    }
    if (!services.readApfForStands) services.readApfForStands = &gf_readApfForStands;
    if (!services.findParkAirportUserStand) services.findParkAirportUserStand = &gf_findParkAirportUserStand;
    if (!services.makeCurrentParkAirport) services.makeCurrentParkAirport = &gf_makeCurrentParkAirport;
    return services;
}

void gf_setDestinationServices(std::optional<DestinationServices> services) {
    std::lock_guard lock(l_servicesMutex);
    l_services = std::move(services);
}
