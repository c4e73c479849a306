#pragma once
// What the destination airport of the main window needs of the airports
// subsystem: the stand names of an airport's file, the user stand recorded for
// a park airport, and making an airport the current park airport. The shell
// reaches them through one table, so that its tests can put recording fakes
// in place of the file reader and the park airports.

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "airports/airport_file_settings.h"
#include "foundation/files.h"
#include "foundation/lalo.h"

// The stand names of an airport's file in file order, or the reader's error
// text (gf_readApfForStands).
using ApfStandNames = StandNamesRead;

struct DestinationServices {
    std::function<ApfStandNames(const IcaoCode&)> readApfForStands;
    std::function<std::optional<std::string>(const IcaoCode&)> findParkAirportUserStand;
    std::function<void(const IcaoCode&, const LaLo&)> makeCurrentParkAirport;
};

// The table in force: the program's own (gf_readApfForStands,
// gf_findParkAirportUserStand, gf_makeCurrentParkAirport) unless a test set
// its fakes. Any thread.
DestinationServices gf_destinationServices();
// Tests: replaces the table; nullopt puts the program's own back. An empty
// member stands for the program's own function.
void gf_setDestinationServices(std::optional<DestinationServices> services);
