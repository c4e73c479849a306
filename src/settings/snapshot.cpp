#include "settings/snapshot.h"

#include <utility>

#include "foundation/files.h"
#include "settings/parameters.h"

// settingsSnapshot and startupChoice are defined with the parameter table
// (table.cpp), ahead of the parameter objects, so that they exist from static
// initialisation on.

std::atomic<std::uint8_t> g_blockedCallsignPrefix{0};

namespace {

struct FlagField {
    const BoolParameter* parameter;
    std::uint8_t SettingsSnapshot::*field;
};

struct IntField {
    const IntParameter* parameter;
    std::int32_t SettingsSnapshot::*field;
};

// Flags that feed a field of their own.
const std::vector<FlagField>& lf_flagFields() {
    static const std::vector<FlagField> fields{
        {&RT_PARKTRAFFIC_ONLY, &SettingsSnapshot::RT_PARKTRAFFIC_ONLY},
        {&AUTO_PARK, &SettingsSnapshot::AUTO_PARK},
        {&WEEK, &SettingsSnapshot::WEEK},
        {&PARK_SOFT, &SettingsSnapshot::PARK_SOFT},
        {&AUTO_RANGE, &SettingsSnapshot::AUTO_RANGE},
        {&COLLISION_USER_GND, &SettingsSnapshot::COLLISION_USER_GND},
        {&COLLISION_USER_AIR, &SettingsSnapshot::COLLISION_USER_AIR},
        {&RANDOM, &SettingsSnapshot::RANDOM},
        {&FLIGHT_MESSAGES, &SettingsSnapshot::FLIGHT_MESSAGES},
        {&GUID_CHANGES, &SettingsSnapshot::GUID_CHANGES},
        {&NAV_LIGHTS_WHILE_PARKED, &SettingsSnapshot::NAV_LIGHTS_WHILE_PARKED},
        {&OBJECTID_LIST, &SettingsSnapshot::OBJECTID_LIST},
        {&SIM_TIME, &SettingsSnapshot::SIM_TIME},
        {&KEEP_SIM_TIME_PAR, &SettingsSnapshot::KEEP_SIM_TIME_PAR},
        {&SKIP_AIRPORT_SCAN, &SettingsSnapshot::SKIP_AIRPORT_SCAN},
        {&SKIP_LIVERIES_SCAN, &SettingsSnapshot::SKIP_LIVERIES_SCAN},
        {&LIG_PRIORITIZE, &SettingsSnapshot::LIG_PRIORITIZE},
        {&LIG_AUTOMATIC, &SettingsSnapshot::LIG_AUTOMATIC},
        {&TWO_PROPS, &SettingsSnapshot::TWO_PROPS},
        {&LIGHT_AIRCRAFT, &SettingsSnapshot::LIGHT_AIRCRAFT},
        {&HELICOPTERS, &SettingsSnapshot::HELICOPTERS},
        {&HIGH_PERF_AIRCRAFT, &SettingsSnapshot::HIGH_PERF_AIRCRAFT},
    };
    return fields;
}

// Integers that feed a field of their own.
const std::vector<IntField>& lf_intFields() {
    static const std::vector<IntField> fields{
        {&MATCHING_DEPTH, &SettingsSnapshot::MATCHING_DEPTH},
        {&HOLDING_THRESHOLD_METERS, &SettingsSnapshot::HOLDING_THRESHOLD_METERS},
        {&MAX_HOLDING_MINUTES, &SettingsSnapshot::MAX_HOLDING_MINUTES},
        {&TCAS_FL, &SettingsSnapshot::TCAS_FL},
        {&AIRP_RANGE, &SettingsSnapshot::AIRP_RANGE},
        {&AIRP_HEIGHT, &SettingsSnapshot::AIRP_HEIGHT},
        {&parking_percentage, &SettingsSnapshot::parking_percentage},
        {&MAX_PARK_SEL, &SettingsSnapshot::MAX_PARK_SEL},
        {&MAX_LIVE_SEL, &SettingsSnapshot::MAX_LIVE_SEL},
        {&PARKING_INTERVAL_MINUTES, &SettingsSnapshot::PARKING_INTERVAL_MINUTES},
    };
    return fields;
}

bool lf_is(const Parameter& parameter, const Parameter& tableObject) {
    return &parameter == &tableObject;
}

std::uint8_t lf_airGroundCode(const std::string& text) {
    if (text == "Airborne only") return 1;
    if (text == "Ground only") return 2;
    return 0;
}

BlockedAircraft lf_blockedFromParameters() {
    BlockedAircraft blocked;
    blocked.BLOCK_AIRCRAFT = BLOCK_AIRCRAFT.value();
    blocked.BLOCK_CALLSIGN = BLOCK_CALLSIGN.value();
    blocked.BLOCK_REGCODE = BLOCK_REGCODE.value();
    blocked.BLOCK_HEXIDDEC = BLOCK_HEXIDDEC.value();
    blocked.callsignPrefix = g_blockedCallsignPrefix.load() != 0 ? 1 : 0;
    return blocked;
}

void lf_setRangeFields(SettingsSnapshot& record, std::int32_t range, bool rtDirect) {
    record.RANGE = static_cast<double>(range);
    record.RANGE_SQUARED = static_cast<double>(range) * static_cast<double>(range);
    record.RANGE_METERS = range * 1852 + (rtDirect ? 10000 : 0);
    record.MANUAL_RANGE = range;
}

}  // namespace

std::shared_ptr<SettingsSnapshot> gf_copySettings(const SettingsSnapshot& record) {
    return std::make_shared<SettingsSnapshot>(record);
}

bool gf_exchangeSettings(SettingsSnapshotPtr& expected, SettingsSnapshotPtr replacement) {
    return settingsSnapshot.compare_exchange_strong(expected, std::move(replacement));
}

void gf_publishParameter(const Parameter& parameter) {
    for (const FlagField& entry : lf_flagFields()) {
        if (lf_is(parameter, *entry.parameter)) {
            const std::uint8_t value = entry.parameter->value() ? 1 : 0;
            gf_updateSettings([&](SettingsSnapshot& s) { s.*entry.field = value; });
            return;
        }
    }
    for (const IntField& entry : lf_intFields()) {
        if (lf_is(parameter, *entry.parameter)) {
            const std::int32_t value = entry.parameter->value();
            gf_updateSettings([&](SettingsSnapshot& s) { s.*entry.field = value; });
            return;
        }
    }
    if (lf_is(parameter, MAX_FIT) || lf_is(parameter, MAX_FIT_FL)) {
        const std::int32_t index = MAX_FIT.value();
        gf_updateSettings([&](SettingsSnapshot& s) { s.MAX_FIT = index; });
    } else if (lf_is(parameter, ALL_AIR_GND_SELECTOR)) {
        const std::uint8_t code = lf_airGroundCode(ALL_AIR_GND_SELECTOR.value());
        gf_updateSettings([&](SettingsSnapshot& s) { s.ALL_AIR_GND_SELECTOR = code; });
    } else if (lf_is(parameter, DESTINATION)) {
        const std::string destination = DESTINATION.value();
        gf_updateSettings([&](SettingsSnapshot& s) { s.DESTINATION = destination; });
    } else if (lf_is(parameter, BLOCK_AIRCRAFT) || lf_is(parameter, BLOCK_CALLSIGN) ||
               lf_is(parameter, BLOCK_REGCODE) || lf_is(parameter, BLOCK_HEXIDDEC)) {
        const BlockedAircraft blocked = lf_blockedFromParameters();
        gf_updateSettings([&](SettingsSnapshot& s) { s.blocked = blocked; });
    } else if (lf_is(parameter, TIME_SHIFT_DAYS) || lf_is(parameter, TIME_SHIFT_HOURS) ||
               lf_is(parameter, TIME_SHIFT_MINS)) {
        const std::int32_t days = TIME_SHIFT_DAYS.value();
        const std::int32_t hours = TIME_SHIFT_HOURS.value();
        const std::int32_t minutes = TIME_SHIFT_MINS.value();
        gf_updateSettings([&](SettingsSnapshot& s) {
            s.TIME_SHIFT_DAYS = days;
            s.TIME_SHIFT_HOURS = hours;
            s.TIME_SHIFT_MINS = minutes;
        });
    }
    // Every other parameter feeds no field.
}

void gf_publishAllParameters() {
    // Built afresh on every attempt and swapped in with a compare-exchange, so
    // that a change published by another thread while the record was being built
    // (a control handler, an adoption from traffic) is either in the parameters
    // read on the next attempt or lands on top of this record, never lost.
    const bool rtDirect = isRTDirect();
    SettingsSnapshotPtr expected = settingsSnapshot.load();
    for (;;) {
        auto record = std::make_shared<SettingsSnapshot>();
        for (const FlagField& entry : lf_flagFields()) {
            record.get()->*entry.field = entry.parameter->value() ? 1 : 0;
        }
        for (const IntField& entry : lf_intFields()) {
            record.get()->*entry.field = entry.parameter->value();
        }
        record->MAX_FIT = MAX_FIT.value();
        record->ALL_AIR_GND_SELECTOR = lf_airGroundCode(ALL_AIR_GND_SELECTOR.value());
        record->DESTINATION = DESTINATION.value();
        record->TIME_SHIFT_DAYS = TIME_SHIFT_DAYS.value();
        record->TIME_SHIFT_HOURS = TIME_SHIFT_HOURS.value();
        record->TIME_SHIFT_MINS = TIME_SHIFT_MINS.value();
        lf_setRangeFields(*record, RANGE.value(), rtDirect);

        // Identity adopted from traffic survives while the same aircraft stays blocked.
        const std::string blockedText = BLOCK_AIRCRAFT.value();
        if (!blockedText.empty() && blockedText == expected->blocked.BLOCK_AIRCRAFT) {
            record->blocked = expected->blocked;
        } else {
            record->blocked = lf_blockedFromParameters();
        }
        if (gf_exchangeSettings(expected, std::move(record))) return;
    }
}

void gf_adoptBlockedRegcode(std::string_view registration) {
    const std::string regcode(registration);
    gf_updateSettings([&](SettingsSnapshot& s) { s.blocked.BLOCK_REGCODE = regcode; });
}

void gf_adoptBlockedHexidRegcode(std::uint32_t hexid, std::string_view registration) {
    const std::string regcode(registration);
    const auto hexidValue = static_cast<std::int32_t>(hexid & 0xFFFFFFu);
    gf_updateSettings([&](SettingsSnapshot& s) {
        s.blocked.BLOCK_HEXIDDEC = hexidValue;
        s.blocked.BLOCK_REGCODE = regcode;
    });
}

void gf_adoptBlockedIdentity(std::string_view callsign, std::uint32_t hexid,
                             std::string_view registration) {
    const std::string callsignText(callsign);
    const std::string regcode(registration);
    const auto hexidValue = static_cast<std::int32_t>(hexid & 0xFFFFFFu);
    gf_updateSettings([&](SettingsSnapshot& s) {
        s.blocked.BLOCK_CALLSIGN = callsignText;
        s.blocked.BLOCK_HEXIDDEC = hexidValue;
        s.blocked.BLOCK_REGCODE = regcode;
        s.blocked.callsignPrefix = 0;
    });
}

bool isMSFS2020() {
    return startupChoice.load()->simulator == 1;
}

bool isRTDirect() {
    return startupChoice.load()->trafficSource == 0;
}

std::filesystem::path gf_liveriesScannedFilePath() {
    return isMSFS2020() ? liveriesScanned2020File : liveriesScanned2024File;
}
