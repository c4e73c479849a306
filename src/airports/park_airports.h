#pragma once
// The park airports: the airports at which the user wants parked traffic,
// named in airports/my_park_airports.txt (each optionally with the stand at
// which the user's own aircraft parks there) and completed by the user's
// handmade airports. They are kept as a queue whose front is the park airport
// that matters now: the nearest one while the user flies, or the one a new
// destination or the user's position made current. This file also decides
// when the current airport comes within reach or falls out of it, and which
// airport becomes current when the user aircraft stands on the ground.

#include <cstddef>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/files.h"
#include "foundation/lalo.h"

struct ParkAirport {
    std::string userStand;  // the user aircraft's stand here; empty when none is known
    // The airport's reference point from the airports list, or the position
    // given when it was made current (degrees).
    double latitude = 0.0;
    double longitude = 0.0;
    IcaoCode icao;
};

// Guards the park airports and their bookkeeping (preserved lines, reading
// flags, last check position, re-check radius); the park airport's file load
// holds it around its look at the front entry, and the stand selector around
// its change of a user stand. No other lock is taken while it is held.
extern std::mutex g_parkAirportsMutex;
// The queue; the front is the current park airport. Under g_parkAirportsMutex.
extern std::deque<ParkAirport> g_parkAirports;

// The distance the user must move from the last check before the nearest park
// airport is looked for again, at least.
inline constexpr double kParkAirportRecheckRadiusNm = 4.0;
// More park airports than this cost noticeable time at every check.
inline constexpr std::size_t kParkAirportsWarningCount = 3000;

// airports/my_park_airports.txt
const std::filesystem::path& gf_myParkAirportsFilePath();

// Start-up, after the airports list is loaded: reads the file and builds the
// queue (with the handmade airports). The reading counts as completed even
// when the file is missing or unreadable, so that the shutdown writes back
// what is known then; an exception while reading leaves the queue as it was
// and the reading not completed, so that the file is not overwritten.
void gf_readMyParkAirportsFile();
// Shutdown: writes the queue and the preserved lines back, once per reading.
// Without park airports and preserved lines the file is not touched.
void gf_writeMyParkAirportsFile();
// Appends the handmade airports (files of airports/my_thirdparty whose stem is
// a known code not yet in the queue); the number appended.
std::size_t lf_addMyThirdpartyParkAirports(std::deque<ParkAirport>& queue);

// Exactly four characters A-Z or 0-9 once a-z are upper-cased; never throws.
std::optional<IcaoCode> lf_parseIcao(std::string_view text);

// A copy of the front entry.
std::optional<ParkAirport> lf_getCurrentParkAirport();
// The front entry's code and position.
std::optional<std::pair<IcaoCode, LaLo>> gf_currentParkAirportPosition();
// The front entry's user stand; nothing when the queue is empty or the stand is.
std::optional<std::string> gf_getParkAirportUserStand();
// The user stand of the park airport with that code (current or not).
std::optional<std::string> gf_findParkAirportUserStand(const IcaoCode& icao);
// When the front entry has that code, its user stand becomes the name (true).
bool gf_setParkAirportUserStand(const IcaoCode& icao, const std::string& standName);
// Moves the park airport with that code to the front with the position (the
// others keep their order), or puts a new one there; the next nearest check
// then runs at once with the re-check radius back at 4 NM.
void gf_makeCurrentParkAirport(const IcaoCode& icao, const LaLo& position);
// The same, and the entry's user stand becomes the name.
void gf_makeCurrentParkAirportWithStand(const IcaoCode& icao, const LaLo& position, const std::string& standName);
// Empties the queue and its bookkeeping, as before the file was read.
void gf_clearParkAirports();

// While the user flies: once the user has moved the re-check radius from the
// last check, the nearest park airport is swapped to the front and the radius
// becomes half its distance (at least 4 NM).
void lf_moveNearestParkAirportToFront(const LaLo& user);
// Not above AIRP_HEIGHT feet, and within AIRP_RANGE NM of the airport.
bool lf_isWithinReach(const LaLo& user, const LaLo& airport);
// No current airport: in the air, the front park airport when it is within
// reach; on the ground, the airport at the user's position.
void lf_selectParkAirportOnGround(const LaLo& user);
// In the air with a current airport: its parked traffic ends when it is out
// of reach, or when another park airport is within reach and at least as near.
void lf_checkParkAirportReach(const LaLo& user);
