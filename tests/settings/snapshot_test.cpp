// The settings snapshot: defaults, which parameter feeds which field, the
// whole-record publication, the blocked-aircraft group and the start-up choice.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings_test_support.h"

namespace {

using tavo::test::SettingsTest;

SettingsSnapshotPtr current() { return settingsSnapshot.load(); }

TEST_F(SettingsTest, DefaultRecordDiffersFromThePublishedDefaultsOnlyWhereItShould) {
    const SettingsSnapshot unpublished;
    EXPECT_EQ(unpublished.TWO_PROPS, 0) << "off in an unpublished record, although its parameter is on";
    EXPECT_EQ(unpublished.RANGE_METERS, 74080);
    EXPECT_EQ(unpublished.RANGE_SQUARED, 1600.0);
    // Every other field equals what the table's defaults publish (the table
    // test checks those), before the start-up check: MSFS 2024 with RT Direct.
    EXPECT_FALSE(isMSFS2020());
    EXPECT_TRUE(isRTDirect());
    EXPECT_EQ(gf_liveriesScannedFilePath(), "output/LiveriesScanned_MSFS2024.xml");
    gf_publishAllParameters();
    SettingsSnapshot expected = unpublished;
    expected.TWO_PROPS = 1;
    expected.RANGE_METERS = 74080 + 10000;  // RT Direct reaches 10 km further
    EXPECT_EQ(*current(), expected);

    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{1, 1}));
    EXPECT_TRUE(isMSFS2020());
    EXPECT_FALSE(isRTDirect());
    EXPECT_EQ(gf_liveriesScannedFilePath(), "output/LiveriesScanned_MSFS2020.xml");
    gf_publishAllParameters();
    EXPECT_EQ(current()->RANGE_METERS, 74080) << "RT App adds nothing";
}

struct FlagCase {
    GuiBoolParameter* parameter;
    std::uint8_t SettingsSnapshot::*field;
};

TEST_F(SettingsTest, EachFlagPublishesIntoItsOwnFieldOnly) {
    const std::vector<FlagCase> cases{
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
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(c.parameter->name);
        for (const bool value : {true, false}) {
            SettingsSnapshot expected = *current();
            expected.*c.field = value ? 1 : 0;
            c.parameter->setValue(value);
            gf_publishParameter(*c.parameter);
            EXPECT_EQ(*current(), expected);
        }
    }
}

struct IntCase {
    NumericListOption* parameter;
    std::int32_t SettingsSnapshot::*field;
    std::int32_t value;
};

TEST_F(SettingsTest, EachIntegerPublishesIntoItsOwnFieldOnly) {
    const std::vector<IntCase> cases{
        {&MATCHING_DEPTH, &SettingsSnapshot::MATCHING_DEPTH, 6},
        {&HOLDING_THRESHOLD_METERS, &SettingsSnapshot::HOLDING_THRESHOLD_METERS, 600},
        {&MAX_HOLDING_MINUTES, &SettingsSnapshot::MAX_HOLDING_MINUTES, 17},
        {&TCAS_FL, &SettingsSnapshot::TCAS_FL, 440},
        {&AIRP_RANGE, &SettingsSnapshot::AIRP_RANGE, 5},
        {&AIRP_HEIGHT, &SettingsSnapshot::AIRP_HEIGHT, 36000},
        {&parking_percentage, &SettingsSnapshot::parking_percentage, 85},
        {&MAX_PARK_SEL, &SettingsSnapshot::MAX_PARK_SEL, 0},
        {&MAX_LIVE_SEL, &SettingsSnapshot::MAX_LIVE_SEL, 75},
        {&PARKING_INTERVAL_MINUTES, &SettingsSnapshot::PARKING_INTERVAL_MINUTES, 1440},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.parameter->name);
        SettingsSnapshot expected = *current();
        expected.*c.field = c.value;
        c.parameter->set(c.value);
        gf_publishParameter(*c.parameter);
        EXPECT_EQ(*current(), expected);
    }
}

TEST_F(SettingsTest, GroupedDerivedAndUnmappedParametersPublish) {
    // MAX_FIT and MAX_FIT_FL both publish MAX_FIT's index.
    MAX_FIT.set(3);
    MAX_FIT_FL.set(12.0f);
    gf_publishParameter(MAX_FIT_FL);
    EXPECT_EQ(current()->MAX_FIT, 3);

    // Any one of the three time-shift keys publishes all three.
    TIME_SHIFT_DAYS.set(2);
    TIME_SHIFT_HOURS.set(5);
    TIME_SHIFT_MINS.set(45);
    gf_publishParameter(TIME_SHIFT_HOURS);
    EXPECT_EQ(current()->TIME_SHIFT_DAYS, 2);
    EXPECT_EQ(current()->TIME_SHIFT_MINS, 45);

    // Any one of the four block keys publishes the whole group with the action's flag.
    BLOCK_AIRCRAFT.setValue("DLH4_, D-AIBC, 3c6444");
    BLOCK_CALLSIGN.setValue("DLH4_");
    BLOCK_REGCODE.setValue("D-AIBC");
    BLOCK_HEXIDDEC.set(0x3c6444);
    g_blockedCallsignPrefix.store(1);
    gf_publishParameter(BLOCK_REGCODE);
    EXPECT_EQ(current()->blocked, (BlockedAircraft{"DLH4_, D-AIBC, 3c6444", "DLH4_", "D-AIBC", 0x3c6444, 1}));

    for (const auto& [text, code] : std::vector<std::pair<std::string, int>>{
             {"Airborne only", 1}, {"Ground only", 2}, {"ground only", 0}, {"", 0}}) {
        gf_updateSettings([](SettingsSnapshot& s) { s.ALL_AIR_GND_SELECTOR = 9; });
        ALL_AIR_GND_SELECTOR.setValue(text);
        gf_publishParameter(ALL_AIR_GND_SELECTOR);
        EXPECT_EQ(current()->ALL_AIR_GND_SELECTOR, code) << text;
    }

    // Parameters that feed no field leave the record as it is.
    const SettingsSnapshotPtr before = current();
    RANGE.set(80);
    for (const Parameter* p : std::vector<const Parameter*>{&RANGE, &PORT_NUMBER, &QNH_UNIT, &RANGE_1, &FlushButton}) {
        gf_publishParameter(*p);
        EXPECT_EQ(current(), before) << p->name;
    }
}

TEST_F(SettingsTest, PublishAllDerivesTheRangeFields) {
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1}));
    RANGE.set(100);
    WEEK.setValue(true);
    MAX_FIT.set(10);
    gf_publishAllParameters();
    const SettingsSnapshotPtr s = current();
    EXPECT_EQ(s->RANGE, 100.0);
    EXPECT_EQ(s->RANGE_SQUARED, 10000.0);
    EXPECT_EQ(s->RANGE_METERS, 185200);
    EXPECT_EQ(s->MANUAL_RANGE, 100);
    EXPECT_EQ(s->WEEK, 1);
    EXPECT_EQ(s->MAX_FIT, 10);
}

TEST_F(SettingsTest, AdoptedIdentityStaysInTheSnapshotWhileTheSameAircraftIsBlocked) {
    auto block = [](const std::string& text, const std::string& callsign, const std::string& reg, std::int32_t hexid) {
        BLOCK_AIRCRAFT.setValue(text);
        BLOCK_CALLSIGN.setValue(callsign);
        BLOCK_REGCODE.setValue(reg);
        BLOCK_HEXIDDEC.set(hexid);
    };
    block("BAW1, G-ABCD, 400001", "BAW1", "G-ABCD", 0x400001);
    gf_publishParameter(BLOCK_AIRCRAFT);

    // Traffic with the same registration and another hexid matched it.
    gf_adoptBlockedHexidRegcode(0x400777, "G-ABCD");
    EXPECT_EQ(current()->blocked.BLOCK_HEXIDDEC, 0x400777);
    EXPECT_EQ(BLOCK_HEXIDDEC.value(), 0x400001) << "the parameter keeps what the user blocked";
    gf_publishAllParameters();
    EXPECT_EQ(current()->blocked.BLOCK_HEXIDDEC, 0x400777) << "unchanged BLOCK_AIRCRAFT keeps the adopted hexid";

    g_blockedCallsignPrefix.store(1);
    gf_publishParameter(BLOCK_CALLSIGN);
    gf_adoptBlockedIdentity("BAW1A", 0x1400123, "G-EFGH");
    EXPECT_EQ(current()->blocked, (BlockedAircraft{"BAW1, G-ABCD, 400001", "BAW1A", "G-EFGH", 0x400123, 0}));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "BAW1");
    g_blockedCallsignPrefix.store(0);

    // Another aircraft blocked: the group is built from the parameters again.
    block("EZY2, G-EZAA, 400002", "EZY2", "G-EZAA", 0x400002);
    gf_publishAllParameters();
    EXPECT_EQ(current()->blocked, (BlockedAircraft{"EZY2, G-EZAA, 400002", "EZY2", "G-EZAA", 0x400002, 0}));

    // Nothing blocked: an empty text never keeps adopted identity.
    block("", "", "", 0);
    gf_updateSettings([](SettingsSnapshot& s) { s.blocked.BLOCK_HEXIDDEC = 77; });
    gf_publishAllParameters();
    EXPECT_EQ(current()->blocked, BlockedAircraft{});
}

TEST_F(SettingsTest, ExchangeFailsAgainstAStaleRecordAndHandsBackTheCurrentOne) {
    SettingsSnapshotPtr stale = current();
    gf_updateSettings([](SettingsSnapshot& s) { s.MAX_LIVE_SEL = 15; });
    const SettingsSnapshotPtr now = current();
    SettingsSnapshotPtr expected = stale;
    EXPECT_FALSE(gf_exchangeSettings(expected, gf_copySettings(*stale)));
    EXPECT_EQ(expected, now);
    auto replacement = gf_copySettings(*expected);
    replacement->MAX_PARK_SEL = 5;
    EXPECT_TRUE(gf_exchangeSettings(expected, replacement));
    EXPECT_EQ(current()->MAX_PARK_SEL, 5);
    EXPECT_EQ(current()->MAX_LIVE_SEL, 15);
    EXPECT_EQ(stale->MAX_LIVE_SEL, 500) << "a record someone still holds never changes";
}

}  // namespace
