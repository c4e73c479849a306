#pragma once
// The stand searches of one plan or adjustment of the parked traffic: which
// stands get a static aircraft and which aircraft that is. Three sources, in
// this order of preference: the traffic service's parked aircraft, statics
// already standing that may stay, and the flight options of the airport file
// (real ones learned from traffic, soft ones generated).
//
// A search takes a stand with gf_claimStand and stops at the first claim that
// reaches the wanted number. Everything here runs on the engine's thread and
// works on the engine's stand table, static list and the statics-to-place
// list; the traffic service's parked list is read under the feed's mutex.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport.h"
#include "engine/records.h"
#include "feed/records.h"
#include "foundation/time.h"

// The direction toggle: every stand pass flips it and walks the stand table
// backwards when it was false before the flip, so repeated passes do not
// always favour the same end of the table.
extern bool g_standWalkToggle;
// A week search ("real/week") was used by the last plan; the average stay of
// the statics is then not shown.
extern bool g_weekSearchUsed;

// Both back to their start (engine reset): the first pass walks backwards.
void gf_resetStandSearches();

// What one named search found.
struct SearchCounters {
    std::int64_t rtPositions = 0;    // parked aircraft of the traffic service
    std::int64_t stayers = 0;        // statics (or live aircraft) that may stay
    std::int64_t filePositions = 0;  // flight options of the airport file
};

// The week time `slots` half-hour slots before `now` (across midnight and the
// end of the week: day 1 goes back to day 7).
WeekTime gf_weekTimeBefore(WeekTime now, std::int32_t slots);

// The named searches in order: "real", then "real/week", "soft" and
// "soft/week" as the switches allow while fewer stands than wanted are taken.
void lf_searchAllStands(WeekTime now, std::int64_t wanted);
// One named search over its offsets, with its report; true when the wanted
// number was reached.
bool lf_searchAndReport(WeekTime now, bool thisDay, bool real, std::int64_t wanted);
// One pass over the stand table at one offset; true when the wanted number
// was reached.
bool lf_searchStands(WeekTime now, std::int32_t offset, bool thisDay, bool real, SearchCounters& counters,
                     std::int64_t wanted);
// The statics from the airport file that may stay at this offset; true when
// the wanted number was reached.
bool lf_keepFileStatics(WeekTime now, std::int32_t offset, bool anyDay, SearchCounters& counters,
                        std::int64_t wanted);
// Whether the stand lists the static's flight between now and `offset` slots
// before (not across midnight), on today or (anyDay) any day.
bool lf_staticMatchesOption(WeekTime now, std::int32_t offset, bool anyDay, std::int32_t standId, const AcBase& ac);
// The traffic service's parked aircraft of one age class (half-hour slots),
// from the active source's list; true when the wanted number was reached.
bool lf_placeRtParkedByAge(std::int32_t ageClass, SearchCounters& counters, std::int64_t wanted);
// With only the traffic service's parked traffic: places the prepared list
// (youngest first) until the wanted number is reached or a record is older
// than MAX_FIT. Called by the hand-over with the source's mutex held.
void gf_searchRtParkPositions(std::vector<ParkedRecord>& parkedList, std::uint32_t wanted);

// The user's stands (the park airport's reserved one, and the one the user
// aircraft stands on) and the stands they exclude are blocked for statics.
void lf_blockUserStands();
void lf_blockStandForStatics(std::string_view kind, std::string_view name);

// True when a equals b, or stand a (a valid id) lists b among its excludes.
bool lf_standExcludes(std::int32_t a, std::int32_t b);
// A static, a live stayer or a planned static on another stand that
// excludes this one.
bool lf_isNeighbourInUse(std::int32_t standId);
// The aircraft with this registration or callsigns is planned, live, staying
// or kept already.
bool lf_isIdentityInUse(std::string_view registration, std::string_view callsign1, std::string_view callsign2);
// The callsign, or the callsign followed by "_", is in the live traffic's
// hand-over names.
bool lf_isLiveName(std::string_view callsign);
// A live aircraft has the record's callsign (or it followed by "_"), or its
// registration.
bool lf_isLiveCallsignOrRegistration(const FlightIdentity& record);
// The option names the aircraft: same registration and the same key (airline,
// operator, model, cargo flag).
bool lf_optionIsSameAircraft(const StandOption& option, const AcInfo& ac);
// The option's flight still stands at the stand in the half-hour after now:
// the option covers the next slot of today, or after the day's last slot the
// stand has a usable option of the same aircraft for slot 0 of the next day.
bool gf_staysIntoNextSlot(const Stand& stand, const StandOption& option, WeekTime now);
// Airline, operator, model and cargo flag equal (the database flag aside).
bool gf_sameAircraftKey(const AcKey& a, const AcKey& b);
