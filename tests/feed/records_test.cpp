#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

namespace {

constexpr double kNaNField = std::numeric_limits<double>::quiet_NaN();

std::string lf_errorOf(const TrafficFields& f, const OwnPositionSnapshot& own) {
    try {
        gf_buildTrafficRecord(f, own);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

// ---------------------------------------------------------------------------
// Errors, time and range

class TrafficRecords : public RecordsWorld {
protected:
    // The record built from the airliner with one change, or nothing.
    std::optional<TrafficRecord> build(const std::function<void(TrafficFields&)>& change) {
        auto f = airliner();
        change(f);
        return gf_buildTrafficRecord(f, ownAt()).record;
    }
};

TEST_F(TrafficRecords, EachBadFieldThrowsItsOwnText) {
    struct Case {
        std::function<void(TrafficFields&)> change;
        std::string error;
    };
    const Case cases[] = {
        {[](TrafficFields& f) { f.time = 0.0; }, "timestamp outside range: 0.000"},
        {[](TrafficFields& f) { f.time = -12.5; }, "timestamp outside range: -12.500"},
        {[](TrafficFields& f) { f.time = kNaNField; }, "timestamp outside range: nan"},
        {[](TrafficFields& f) { f.time = 9223372036854775808.0; },  // 2^63
         "timestamp outside range: 9223372036854775808.000"},
        {[](TrafficFields& f) { f.position = LaLo{0.00005, -0.00009}; }, "invalid lalo: 0.000050,-0.000090"},
        {[](TrafficFields& f) { f.position = LaLo{90.5, 4.0}; }, "invalid lalo: 90.500000,4.000000"},
        {[](TrafficFields& f) { f.origin = "AM"; }, "'AM' IataCode: invalid string"},
        {[](TrafficFields& f) {
             f.dataSource = "adsb_icao";
             f.trueHeading = 360.5;
         },
         "true heading: 360.50"},
    };
    for (const Case& c : cases) {
        auto f = airliner();
        c.change(f);
        EXPECT_EQ(lf_errorOf(f, ownAt()), c.error);
    }
}

TEST_F(TrafficRecords, TimeIsRoundedAndRangeIsInclusiveTheShortWay) {
    auto f = airliner();
    f.time = 1704067200.5;
    EXPECT_EQ(gf_checkTimeAndPosition(f, ownAt()).roundedTime, 1704067201);
    // The default range is 40 NM; 40 NM due north is still inside.
    f.position = LaLo{52.0 + 40.0 / 60.0, 4.0};
    EXPECT_TRUE(gf_checkTimeAndPosition(f, ownAt()).inRange);
    f.position = LaLo{52.0 + 40.01 / 60.0, 4.0};
    EXPECT_FALSE(gf_checkTimeAndPosition(f, ownAt()).inRange);
    f.position = LaLo{10.0, -179.9};
    EXPECT_TRUE(gf_checkTimeAndPosition(f, ownAt(10.0, 179.9)).inRange);

    // Out of range the identity is never looked at, so it cannot throw.
    f.position = LaLo{55.0, 4.0};
    f.origin = "TOOLONG";
    const auto result = gf_buildTrafficRecord(f, ownAt());
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.roundedTime, 1704067201);

    // Without settings nothing is checked at all.
    f.time = kNaNField;
    auto own = ownAt();
    own.settings.reset();
    EXPECT_FALSE(gf_checkTimeAndPosition(f, own).inRange);
}

// ---------------------------------------------------------------------------
// Identity

TEST(CleanCallsign, Table) {
    struct Row {
        std::string_view in, out;
    };
    const Row rows[] = {
        {"", ""},           {"null", ""},       {"AB@C1", ""},       {"AB000001", ""}, {"0000", "0000"},
        {"AB", ""},         {".AB", ""},        {".ABC", "ABC"},     {"ABCDEFGHI", ""}, {"ABCDEFGH", "ABCDEFGH"},
        {"DLH123", "DLH123"}, {"..AB", ".AB"},  {"KLM00000", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(gf_cleanCallsign(row.in), row.out) << "input '" << row.in << "'";
}

TEST(IataCodeTest, FoldsAndTreatsEmptyAndNullAsAbsent) {
    EXPECT_EQ(IataCode("ams").text(), "AMS");
    EXPECT_EQ(IataCode("A1Z").packed(), (std::uint32_t{'A'} << 16) | (std::uint32_t{'1'} << 8) | 'Z');
    EXPECT_FALSE(IataCode("null").isSet());
    EXPECT_FALSE(IataCode("").isSet());
    for (std::string_view bad : {"AM", "AMST", "A-S", "Null"}) EXPECT_THROW(IataCode{bad}, std::invalid_argument);
}

TEST_F(TrafficRecords, RecordCarriesTheCleanedIdentityAndEmptyCodesMeanAbsent) {
    auto record = build([](TrafficFields& f) { f.callsign = ".KLM12"; });
    ASSERT_TRUE(record);
    const auto& id = record->identity;
    EXPECT_EQ(id.callsign, "KLM12");
    EXPECT_EQ(id.registration, "PH-BXA");
    EXPECT_EQ(id.origin.text(), "AMS");
    EXPECT_EQ(gf_airlineCodeAt(id.key.airline), "KLM");
    EXPECT_EQ(gf_modelCodeAt(id.key.model), "B738");

    record = build([](TrafficFields& f) {
        f.origin = "";
        f.destination = "null";
    });
    ASSERT_TRUE(record) << "an empty code must not drop the aircraft";
    EXPECT_FALSE(record->identity.origin.isSet());
    EXPECT_FALSE(record->identity.destination.isSet());

    for (std::string_view reg : {"null", "AB", "ABCDEFGHIJKLM"}) {
        record = build([reg](TrafficFields& f) { f.registration = reg; });
        ASSERT_TRUE(record) << reg;
        EXPECT_EQ(record->identity.registration, "") << reg;
    }
    EXPECT_EQ(build([](TrafficFields& f) { f.registration = "ABCDEFGHIJKL"; })->identity.registration,
              "ABCDEFGHIJKL");
}

TEST_F(TrafficRecords, HexidTypeAndCategoryFilters) {
    EXPECT_FALSE(build([](TrafficFields& f) { f.hexid = 10000; }));
    EXPECT_TRUE(build([](TrafficFields& f) { f.hexid = 10001; }));
    for (std::string_view type : {"", "null", "0", "ZZZZ", "A", "ABCDE", "GLID", "BALL", "TWR", "SF25", "FOX"}) {
        EXPECT_FALSE(build([type](TrafficFields& f) { f.aircraftType = type; })) << "type '" << type << "'";
    }
    for (std::string_view emitter : {"B1", "B2", "B4", "C1", "C2"}) {
        EXPECT_FALSE(build([emitter](TrafficFields& f) { f.emitterCategory = emitter; })) << emitter;
    }
    EXPECT_TRUE(build([](TrafficFields& f) {
        f.emitterCategory = "B3";
        f.aircraftType = "XY";
    }));
    // The type fix applies before the filters: EC135 becomes EC35, and a
    // hovering helicopter stays while a fixed-wing aircraft without ground speed goes.
    const auto heli = build([](TrafficFields& f) {
        f.aircraftType = "EC135";
        f.groundSpeed = 0.0;
    });
    ASSERT_TRUE(heli);
    EXPECT_EQ(gf_modelCodeAt(heli->identity.key.model), "EC35");
    EXPECT_FALSE(build([](TrafficFields& f) { f.groundSpeed = 0.0; }));
    EXPECT_FALSE(build([](TrafficFields& f) { f.groundSpeed = kNaNField; }));
}

TEST_F(TrafficRecords, AirlineFromTextOrCallsignAndCargoTriple7) {
    auto f = airliner();
    f.airline = "";
    f.callsign = "dlh4AB";
    EXPECT_EQ(gf_airlineCodeAt(gf_buildTrafficRecord(f, ownAt()).record->identity.key.airline), "DLH");
    f.callsign = "N123AB";  // no three-letter prefix
    EXPECT_EQ(gf_buildTrafficRecord(f, ownAt()).record->identity.key.airline, 0);

    f.airline = "FDX";
    f.aircraftType = "B777";
    auto key = gf_buildTrafficRecord(f, ownAt()).record->identity.key;
    EXPECT_EQ(gf_modelCodeAt(key.model), "B77F");
    EXPECT_EQ(key.cargo, 1);
    f.airline = "BAW";
    key = gf_buildTrafficRecord(f, ownAt()).record->identity.key;
    EXPECT_EQ(gf_modelCodeAt(key.model), "B777");
    EXPECT_EQ(key.cargo, 0);
}

TEST_F(TrafficRecords, NeitherCallsignNorRegistrationIsDroppedButHandedOverFirstWithRtApp) {
    auto f = airliner();
    f.callsign = "null";
    f.registration = "null";
    auto own = ownAt();
    auto result = gf_buildTrafficRecord(f, own);
    EXPECT_FALSE(result.record);
    ASSERT_TRUE(result.handOver);
    EXPECT_EQ(result.handOver->hexid, 0x4840D6u);
    own.handOverBeforeFilters = false;
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).handOver);
    own.collectHandOver = false;
    own.handOverBeforeFilters = true;
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).handOver);
}

// ---------------------------------------------------------------------------
// Motion values

TEST_F(TrafficRecords, TrueHeadingOnlyFromAdsbIcaoAndZeroBecomesTwoPi) {
    auto f = airliner();
    f.dataSource = "adsb_icao";
    f.trueHeading = 0.0;
    f.track = 0.0;
    auto point = gf_buildTrafficRecord(f, ownAt()).record->point;
    EXPECT_TRUE(point.hasTrueHeading);
    EXPECT_DOUBLE_EQ(point.trueHeading, 2.0 * std::numbers::pi);
    EXPECT_DOUBLE_EQ(point.trackDeg, 360.0);
    f.trueHeading = 90.0;
    EXPECT_DOUBLE_EQ(gf_buildTrafficRecord(f, ownAt()).record->point.trueHeading, std::numbers::pi / 2.0);
    f.trueHeading = -1.0;
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record->point.hasTrueHeading);
    f.trueHeading = 90.0;
    f.dataSource = "adsb_icao ";
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record->point.hasTrueHeading);
}

TEST_F(TrafficRecords, TasRowsUseTheReportedAltitude) {
    for (const auto& [reported, tas] : {std::pair{1500.0, 180.0}, {2000.0, 180.0}, {2001.0, 220.0}, {10000.0, 250.0},
                                       {20000.0, 350.0}, {20001.0, 430.0}}) {
        const double altitude = reported;
        const auto record = build([altitude](TrafficFields& f) {
            f.trueAirspeed = -1.0;
            f.altitude = altitude;
        });
        ASSERT_TRUE(record);
        EXPECT_DOUBLE_EQ(record->point.tasKt, tas) << altitude;
    }
    EXPECT_DOUBLE_EQ(build([](TrafficFields&) {})->point.tasKt, 260.0);
}

TEST_F(TrafficRecords, RollAndVerticalSpeed) {
    const auto record = build([](TrafficFields& f) {
        f.roll = 10.0;
        f.verticalSpeed = kNaNField;
    });
    ASSERT_TRUE(record);
    EXPECT_DOUBLE_EQ(record->point.roll, -10.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(record->point.verticalSpeed, 0.0);
    for (double roll : {-1.0, 90.5, kNaNField}) {
        EXPECT_FALSE(build([roll](TrafficFields& f) { f.roll = roll; })->point.hasRoll) << roll;
    }
}

// ---------------------------------------------------------------------------
// QNH correction and the ground clamp

class QnhCorrection : public RecordsWorld {
protected:
    static double corrected(double altitude, std::int32_t qnh, bool rtDirect, std::optional<double> elevation = {},
                            double gs = 250.0) {
        StreamPoint p;
        p.altitudeFt = altitude;
        p.groundSpeedKt = gs;
        EXPECT_TRUE(gf_correctAltitudeForQnh(p, elevation, qnh, rtDirect));
        return p.altitudeFt;
    }
    void SetUp() override {
        RecordsWorld::SetUp();
        UserAircraftState s;  // the user's true altitude is 100 ft above indicated
        s.latitude = 52.0;
        s.longitude = 4.0;
        s.altitude = 5100.0;
        s.indicatedAltitude = 5000.0;
        gf_publishUserAircraftState(s);
    }
    const double d = (1023.0 - 1013.25) * 30.0;
};

TEST_F(QnhCorrection, BlendAt18000DiffersBySource) {
    // RT App: low part as reported, high part less d plus the user's difference.
    EXPECT_NEAR(corrected(18000.0, 1023, false), 0.75 * 18000.0 + 0.25 * (18000.0 - d + 100.0), 1e-9);
    // RT Direct: low part plus d, high part plus the user's difference.
    EXPECT_NEAR(corrected(18000.0, 1023, true), 0.75 * (18000.0 + d) + 0.25 * 18100.0, 1e-9);
    EXPECT_DOUBLE_EQ(corrected(17000.0, 1023, false), 17000.0);
    EXPECT_DOUBLE_EQ(corrected(17000.0, 1023, true), 17000.0 + d);
    EXPECT_DOUBLE_EQ(corrected(19000.0, 1023, false), 19000.0 - d + 100.0);
    EXPECT_DOUBLE_EQ(corrected(19000.0, 1023, true), 19100.0);
    for (double never : {0.0, -50.0, kNaNField}) EXPECT_EQ(corrected(never, 1023, true), 0.0) << never;
    EXPECT_EQ(corrected(100.0, 950, true), 0.0) << "a low QNH never pushes the altitude below 0";
}

TEST_F(QnhCorrection, GroundClampBySpeed) {
    const std::optional<double> elevation = 100.0;
    EXPECT_EQ(corrected(180.0, 1013, false, elevation, 40.0), 0.0);     // 80 ft up at 40 kt: on the ground
    EXPECT_EQ(corrected(190.0, 1013, false, elevation, 43.0), 0.0);     // 90 ft is the limit up to 43 kt
    EXPECT_EQ(corrected(191.0, 1013, false, elevation, 43.0), 191.0);
    EXPECT_EQ(corrected(180.0, 1013, false, elevation, 130.0), 180.0);  // above 120 kt only h <= 0
    EXPECT_EQ(corrected(100.0, 1013, false, elevation, 130.0), 0.0);
    EXPECT_EQ(corrected(60.0, 1013, false, elevation, 130.0), 0.0);     // below the elevation
    // Between: 45 + 45 (120 - 81.5) / 77 = 67.5 ft
    EXPECT_EQ(corrected(167.0, 1013, false, elevation, 81.5), 0.0);
    EXPECT_EQ(corrected(168.0, 1013, false, elevation, 81.5), 168.0);
    // No elevation, or 14000 ft and above: no clamp.
    EXPECT_EQ(corrected(180.0, 1013, false, std::nullopt, 40.0), 180.0);
    EXPECT_EQ(corrected(14000.0, 1013, false, 13950.0, 40.0), 14000.0);
}

TEST_F(QnhCorrection, ClampedTargetBecomesAGroundTargetNeedingTheAirport) {
    auto f = airliner();
    f.altitude = 150.0;
    f.groundSpeed = 20.0;
    f.position = LaLo{52.0 + 3.0 / 60.0, 4.0};
    auto own = ownAt();
    own.airportElevationFt = 100.0;
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).record);  // no current airport

    setAirportAt(52.0, 4.0);
    const auto record = gf_buildTrafficRecord(f, own).record;
    ASSERT_TRUE(record);
    EXPECT_EQ(record->point.altitudeFt, 0.0);
    EXPECT_FALSE(record->point.airborne);

    f.position = LaLo{52.0 + 5.01 / 60.0, 4.0};
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).record);  // more than 5 NM from the airport

    // A squawk of 0000 on the ground is dropped only when asked.
    f.position = LaLo{52.01, 4.0};
    f.altitude = 0.0;
    f.code = "0000";
    EXPECT_TRUE(gf_buildTrafficRecord(f, own).record);
    own.dropGround0000 = true;
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).record);
    f.altitude = 3000.0;  // airborne targets keep their code
    EXPECT_TRUE(gf_buildTrafficRecord(f, own).record);
}

// ---------------------------------------------------------------------------
// The blocked aircraft

TEST_F(TrafficRecords, BlockedAircraftIsDroppedAndItsNewIdentityAdoptedAndPublished) {
    struct Case {
        std::string callsign, reg;
        std::int32_t hexid;
        std::uint8_t prefix;
        BlockedAircraft adopted;
    };
    const Case cases[] = {
        {"KLM1234", "null", 0x4840D6, 0, {"selected", "KLM1234", "PH-BXA", 0x4840D6, 0}},
        {"XXX1", "PH-BXA", 0x111111, 0, {"selected", "XXX1", "PH-BXA", 0x4840D6, 0}},
        {"KLM1234", "PH-ZZZ", 0x111111, 0, {"selected", "KLM1234", "PH-BXA", 0x4840D6, 0}},
        {"KLM1234_", "PH-ZZZ", 0x111111, 1, {"selected", "KLM1234", "PH-BXA", 0x4840D6, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callsign + " " + c.reg);
        changeSettings([&](SettingsSnapshot& s) {
            s.blocked = BlockedAircraft{"selected", c.callsign, c.reg, c.hexid, c.prefix};
        });
        const auto before = settingsSnapshot.load();
        EXPECT_FALSE(gf_buildTrafficRecord(airliner(), ownAt()).record);
        EXPECT_NE(settingsSnapshot.load(), before) << "the adoption publishes a new snapshot";
        EXPECT_EQ(settingsSnapshot.load()->blocked, c.adopted);
    }
    changeSettings([](SettingsSnapshot& s) { s.blocked = BlockedAircraft{"selected", "DLH1", "D-AIBA", 0x3C4B26, 0}; });
    const auto before = settingsSnapshot.load();
    EXPECT_TRUE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_EQ(settingsSnapshot.load(), before);
}

// A blocked aircraft whose registration or callsign is unknown blocks only
// itself: records that lack the same text are not taken for it, keep their
// place, and publish nothing.
TEST_F(TrafficRecords, EmptyBlockedIdentityTextsMatchNoRecordThatLacksThem) {
    struct Case {
        std::string what;
        BlockedAircraft blocked;
        std::function<void(TrafficFields&)> change;
    };
    const Case cases[] = {
        {"no registration on either side", {"selected", "DLH1", "", 0x3C4B26, 0},
         [](TrafficFields& f) { f.registration = "null"; }},
        {"no callsign on either side", {"selected", "", "D-AIBA", 0x3C4B26, 0},
         [](TrafficFields& f) { f.callsign = ""; }},
        {"a callsign of 9 characters is cleaned to none", {"selected", "", "D-AIBA", 0x3C4B26, 0},
         [](TrafficFields& f) { f.callsign = "KLM123456"; }},
        {"a blocked prefix of nothing", {"selected", "_", "D-AIBA", 0x3C4B26, 1},
         [](TrafficFields& f) { f.callsign = "@"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        changeSettings([&](SettingsSnapshot& s) { s.blocked = c.blocked; });
        const auto before = settingsSnapshot.load();
        EXPECT_TRUE(build(c.change));
        EXPECT_EQ(settingsSnapshot.load(), before);
    }
}

TEST(AircraftSelection, ParsesTheSelectorEntryAndRefusesOtherTexts) {
    const auto sel = gf_parseAircraftSelection("KLM1234, PH-BXA, 4840d6, oid=12");
    ASSERT_TRUE(sel);
    EXPECT_EQ(sel->callsign, "KLM1234");
    EXPECT_EQ(sel->registration, "PH-BXA");
    EXPECT_EQ(sel->hexid, 0x4840D6u);
    EXPECT_EQ(gf_parseAircraftSelection("A,,FFFFFFFF,")->hexid, 0xFFFFFFFFu);
    for (std::string_view text : {"KLM1, PH-BXA, 4840d6", "KLM1,PH,4840d6,x,y", ",PH,4840d6,x", "KLM1,PH,48g0,x",
                                  "KLM1,PH,100000000,x", "KLM1,PH,-1,x"})
        EXPECT_FALSE(gf_parseAircraftSelection(text)) << text;
}
