#pragma once
// The settings that threads other than the GUI thread read. A reader takes the
// current record once and reads every field it needs from that one record:
//
//     const auto settings = settingsSnapshot.load();
//     if (settings->RANDOM) ...
//
// Records are immutable once published. A writer copies the current record,
// changes fields and compare-exchanges the copy in, retrying until no other
// writer came in between (gf_updateSettings does exactly that), so concurrent
// writers of different fields never lose each other's change.
//
// Beside it, StartupChoice fixes for one start which simulator is served and
// which traffic source is used (isMSFS2020, isRTDirect).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/atomic_shared_ptr.h"

class Parameter;

// The blocked aircraft, always written as a whole. The texts and the hexid are
// what the user blocked, or the identity adopted from traffic that matched it.
struct BlockedAircraft {
    std::string BLOCK_AIRCRAFT;       // the selector text; empty: nothing blocked
    std::string BLOCK_CALLSIGN;
    std::string BLOCK_REGCODE;
    std::int32_t BLOCK_HEXIDDEC = 0;  // 24-bit hexid
    // Set when the blocked callsign ended with "_" when it was blocked.
    std::uint8_t callsignPrefix = 0;

    bool operator==(const BlockedAircraft&) const = default;
};

// Field names are the keys that feed them. The defaults are those of a record
// built before anything was published (note TWO_PROPS: 0 here, while the
// parameter's default is on); the start-up step replaces all of them.
struct SettingsSnapshot {
    // Parking
    std::int32_t parking_percentage = 30;
    std::int32_t MAX_PARK_SEL = 500;
    std::int32_t MAX_LIVE_SEL = 500;  // 0 admits no new live aircraft; 500 means no limit
    std::int32_t MAX_FIT = 47;        // index 0..47 into MAX_FIT_FL (0.5 h .. 24.0 h)
    std::uint8_t RT_PARKTRAFFIC_ONLY = 0;
    std::uint8_t AUTO_PARK = 1;
    std::uint8_t WEEK = 0;
    std::uint8_t PARK_SOFT = 0;
    // Blocked aircraft
    BlockedAircraft blocked;
    // Traffic selection
    std::string DESTINATION;
    std::uint8_t ALL_AIR_GND_SELECTOR = 0;  // 0 all traffic, 1 airborne only, 2 ground only
    // The range in force (the automatic range may change it)...
    double RANGE = 40.0;                // nautical miles
    double RANGE_SQUARED = 1600.0;      // square nautical miles
    std::int32_t RANGE_METERS = 74080;  // RANGE x 1852, plus 10000 with RT Direct
    // ...and the range the user chose, to which switching AUTO_RANGE off returns.
    std::int32_t MANUAL_RANGE = 40;
    std::int32_t MATCHING_DEPTH = 4;
    std::int32_t HOLDING_THRESHOLD_METERS = 250;
    std::int32_t MAX_HOLDING_MINUTES = 3;
    std::int32_t TCAS_FL = 180;  // flight level, x 100 ft
    std::int32_t AIRP_RANGE = 20;
    std::int32_t AIRP_HEIGHT = 18000;
    std::int32_t TIME_SHIFT_DAYS = 0;
    std::int32_t TIME_SHIFT_HOURS = 0;
    std::int32_t TIME_SHIFT_MINS = 0;
    std::int32_t PARKING_INTERVAL_MINUTES = 20;
    // Switches
    std::uint8_t AUTO_RANGE = 1;
    std::uint8_t COLLISION_USER_GND = 1;
    std::uint8_t COLLISION_USER_AIR = 1;
    std::uint8_t RANDOM = 1;
    std::uint8_t FLIGHT_MESSAGES = 1;
    std::uint8_t GUID_CHANGES = 1;
    std::uint8_t NAV_LIGHTS_WHILE_PARKED = 1;
    std::uint8_t OBJECTID_LIST = 0;
    std::uint8_t SIM_TIME = 0;
    std::uint8_t KEEP_SIM_TIME_PAR = 0;
    std::uint8_t SKIP_AIRPORT_SCAN = 0;
    std::uint8_t SKIP_LIVERIES_SCAN = 0;
    std::uint8_t LIG_PRIORITIZE = 1;
    std::uint8_t LIG_AUTOMATIC = 1;
    std::uint8_t TWO_PROPS = 0;
    std::uint8_t LIGHT_AIRCRAFT = 1;
    std::uint8_t HELICOPTERS = 1;
    std::uint8_t HIGH_PERF_AIRCRAFT = 1;

    bool operator==(const SettingsSnapshot&) const = default;
};

using SettingsSnapshotPtr = std::shared_ptr<const SettingsSnapshot>;

// The current record. Never empty: it holds a default record from static
// initialisation on. load(), store() and compare_exchange_strong() as on an
// atomic shared pointer (see foundation/atomic_shared_ptr.h for why it is not
// std::atomic).
extern AtomicSharedPtr<const SettingsSnapshot> settingsSnapshot;

// A new shared record equal to the given one.
std::shared_ptr<SettingsSnapshot> gf_copySettings(const SettingsSnapshot& record);
// Compare-exchange of settingsSnapshot: true when the replacement went in; when
// false, expected now holds the current record.
bool gf_exchangeSettings(SettingsSnapshotPtr& expected, SettingsSnapshotPtr replacement);

// The copy, change and compare-exchange loop: calls change(record) on a fresh
// copy of the current record until the exchange succeeds (change may run more
// than once, so it must only set fields). Any thread.
template <class Change>
void gf_updateSettings(Change&& change) {
    SettingsSnapshotPtr expected = settingsSnapshot.load();
    for (;;) {
        std::shared_ptr<SettingsSnapshot> replacement = gf_copySettings(*expected);
        change(*replacement);
        if (gf_exchangeSettings(expected, std::move(replacement))) return;
    }
}

// Copies the parameter's current value into the field(s) it feeds. A parameter
// that feeds no field (RANGE among them: gf_setRange publishes the range)
// changes nothing. Call it after every change of a setting.
void gf_publishParameter(const Parameter& parameter);
// Builds a whole record from all parameters and publishes it. The blocked
// group of the current record is kept when BLOCK_AIRCRAFT is not empty and
// equal to its aircraft text, so that identity adopted from traffic survives.
void gf_publishAllParameters();

// The program-wide callsign-prefix flag of the main window's block action: set
// when the blocked callsign ends with "_", cleared by unblocking. Published with
// the blocked group.
extern std::atomic<std::uint8_t> g_blockedCallsignPrefix;

// The blocked aircraft adopts identity from a traffic record that matched it.
// Only the snapshot changes; the BLOCK_ parameters and parameters.xml keep
// what the user blocked.
void gf_adoptBlockedRegcode(std::string_view registration);
void gf_adoptBlockedHexidRegcode(std::uint32_t hexid, std::string_view registration);
// Callsign, hexid and registration; clears the callsign-prefix flag.
void gf_adoptBlockedIdentity(std::string_view callsign, std::uint32_t hexid,
                             std::string_view registration);

// ---------------------------------------------------------------------------
// Start-up choice

struct StartupChoice {
    std::uint32_t simulator = 2;     // 1 = "MSFS 2020", 2 = "MSFS 2024"
    std::uint8_t trafficSource = 0;  // 0 = "RT Direct", 1 = "RT App"
};

// {2, 0} (MSFS 2024, RT Direct) until the start-up check stores the user's choice.
extern AtomicSharedPtr<const StartupChoice> startupChoice;

// True when the current start serves MSFS 2020.
bool isMSFS2020();
// True when the current start takes traffic from RT Direct.
bool isRTDirect();
// The scanned-liveries file of the simulator chosen for this start.
std::filesystem::path gf_liveriesScannedFilePath();
