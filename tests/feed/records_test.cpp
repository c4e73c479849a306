#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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
// Time, position and range

class TrafficTimeAndRange : public RecordsWorld {};

TEST_F(TrafficTimeAndRange, BadTimesThrowWithTheTime) {
    auto f = airliner();
    const auto own = ownAt();
    f.time = 0.0;
    EXPECT_EQ(lf_errorOf(f, own), "timestamp outside range: 0.000");
    f.time = -12.5;
    EXPECT_EQ(lf_errorOf(f, own), "timestamp outside range: -12.500");
    f.time = kNaN;
    EXPECT_EQ(lf_errorOf(f, own), "timestamp outside range: nan");
    f.time = 9223372036854775808.0;  // 2^63
    EXPECT_THAT(lf_errorOf(f, own), ::testing::StartsWith("timestamp outside range: 9223372036854775808"));
}

TEST_F(TrafficTimeAndRange, PositionsNearZeroOrOffTheEarthThrow) {
    auto f = airliner();
    const auto own = ownAt();
    f.position = LaLo{0.0, 0.0};
    EXPECT_EQ(lf_errorOf(f, own), "invalid lalo: 0.000000,0.000000");
    f.position = LaLo{0.00005, -0.00009};
    EXPECT_EQ(lf_errorOf(f, own), "invalid lalo: 0.000050,-0.000090");
    f.position = LaLo{90.5, 4.0};
    EXPECT_EQ(lf_errorOf(f, own), "invalid lalo: 90.500000,4.000000");
}

TEST_F(TrafficTimeAndRange, TimeIsRoundedAndRangeIsInclusive) {
    auto f = airliner();
    f.time = 1704067200.5;
    auto check = gf_checkTimeAndPosition(f, ownAt());
    EXPECT_EQ(check.roundedTime, 1704067201);
    EXPECT_TRUE(check.inRange);

    // The default range is 40 NM; 40 NM due north is still inside.
    f.position = LaLo{52.0 + 40.0 / 60.0, 4.0};
    EXPECT_TRUE(gf_checkTimeAndPosition(f, ownAt()).inRange);
    f.position = LaLo{52.0 + 40.01 / 60.0, 4.0};
    EXPECT_FALSE(gf_checkTimeAndPosition(f, ownAt()).inRange);
}

TEST_F(TrafficTimeAndRange, WithoutSettingsNothingIsChecked) {
    auto f = airliner();
    f.time = kNaN;
    auto own = ownAt();
    own.settings.reset();
    auto check = gf_checkTimeAndPosition(f, own);
    EXPECT_EQ(check.roundedTime, 0);
    EXPECT_FALSE(check.inRange);
}

TEST_F(TrafficTimeAndRange, RangeIsMeasuredTheShortWayAcrossTheDateLine) {
    auto f = airliner();
    f.position = LaLo{10.0, -179.9};
    EXPECT_TRUE(gf_checkTimeAndPosition(f, ownAt(10.0, 179.9)).inRange);
}

TEST_F(TrafficTimeAndRange, OutOfRangeNeverThrowsForItsIdentity) {
    auto f = airliner();
    f.position = LaLo{55.0, 4.0};
    f.origin = "TOOLONG";
    const auto result = gf_buildTrafficRecord(f, ownAt());
    EXPECT_FALSE(result.record);
    EXPECT_EQ(result.roundedTime, 1704067200);
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

TEST(IataCodeTest, PacksFoldsAndRefuses) {
    IataCode ams("ams");
    EXPECT_TRUE(ams.isSet());
    EXPECT_EQ(ams.text(), "AMS");
    EXPECT_EQ(ams.packed(), (std::uint32_t{'A'} << 16) | (std::uint32_t{'M'} << 8) | 'S');
    EXPECT_EQ(IataCode("A1Z").text(), "A1Z");
    EXPECT_FALSE(IataCode("null").isSet());
    EXPECT_FALSE(IataCode("").isSet());
    EXPECT_EQ(IataCode("").text(), "");
    for (std::string_view bad : {"AM", "AMST", "A-S", "NUL ", "Null"}) {
        try {
            IataCode code(bad);
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' IataCode: invalid string");
        }
    }
}

class TrafficIdentity : public RecordsWorld {};

TEST_F(TrafficIdentity, EmptyOriginOrDestinationMeansAbsentAndKeepsTheAircraft) {
    auto f = airliner();
    f.origin = "";
    f.destination = "null";
    const auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_FALSE(result.record->identity.origin.isSet());
    EXPECT_FALSE(result.record->identity.destination.isSet());
}

TEST_F(TrafficIdentity, BadOriginThrowsTheCodeError) {
    auto f = airliner();
    f.origin = "AM";
    EXPECT_EQ(lf_errorOf(f, ownAt()), "'AM' IataCode: invalid string");
}

TEST_F(TrafficIdentity, HexidLimit) {
    auto f = airliner();
    f.hexid = 10000;
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record);
    f.hexid = 10001;
    const auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_EQ(result.record->hexid, 10001u);
}

TEST_F(TrafficIdentity, RegistrationNullOrBadLengthIsEmptied) {
    auto f = airliner();
    for (std::string_view reg : {"null", "AB", "ABCDEFGHIJKLM"}) {
        f.registration = reg;
        const auto result = gf_buildTrafficRecord(f, ownAt());
        ASSERT_TRUE(result.record) << reg;
        EXPECT_EQ(result.record->identity.registration, "") << reg;
    }
    f.registration = "ABCDEFGHIJKL";
    EXPECT_EQ(gf_buildTrafficRecord(f, ownAt()).record->identity.registration, "ABCDEFGHIJKL");
}

TEST_F(TrafficIdentity, RecordCarriesTheCleanedIdentity) {
    auto f = airliner();
    f.callsign = ".KLM12";
    const auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    const auto& id = result.record->identity;
    EXPECT_EQ(id.callsign, "KLM12");
    EXPECT_EQ(id.registration, "PH-BXA");
    EXPECT_EQ(id.origin.text(), "AMS");
    EXPECT_EQ(id.destination.text(), "LHR");
    EXPECT_EQ(gf_airlineCodeAt(id.key.airline), "KLM");
    EXPECT_EQ(gf_modelCodeAt(id.key.type), "B738");
    EXPECT_EQ(id.value, 0u);
    EXPECT_TRUE(id.identity2.empty());
    EXPECT_TRUE(id.identity3.empty());
}

TEST_F(TrafficIdentity, TypeAndCategoryFilters) {
    for (std::string_view type : {"", "null", "0", "ZZZZ", "A", "ABCDE", "GLID", "BALL", "TWR", "SF25", "FOX"}) {
        auto f = airliner();
        f.aircraftType = type;
        EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record) << "type '" << type << "'";
    }
    for (std::string_view emitter : {"B1", "B2", "B4", "C1", "C2"}) {
        auto f = airliner();
        f.emitterCategory = emitter;
        EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record) << "emitter " << emitter;
    }
    auto f = airliner();
    f.emitterCategory = "B3";
    f.aircraftType = "XY";
    EXPECT_TRUE(gf_buildTrafficRecord(f, ownAt()).record);
}

TEST_F(TrafficIdentity, TypeFixAppliesBeforeTheFilters) {
    auto f = airliner();
    f.aircraftType = "EC135";  // five characters, fixed to EC35
    f.groundSpeed = 0.0;        // a hovering helicopter stays
    const auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_EQ(gf_modelCodeAt(result.record->identity.key.type), "EC35");
}

TEST_F(TrafficIdentity, AirlineFromTextOrCallsignAndCargoTriple7) {
    auto f = airliner();
    f.airline = "";
    f.callsign = "dlh4AB";
    auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_EQ(gf_airlineCodeAt(result.record->identity.key.airline), "DLH");

    f.callsign = "N123AB";  // no three-letter prefix
    result = gf_buildTrafficRecord(f, ownAt());
    EXPECT_EQ(result.record->identity.key.airline, 0);

    f.airline = "FDX";
    f.aircraftType = "B777";
    result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_EQ(gf_modelCodeAt(result.record->identity.key.type), "B77F");
    EXPECT_EQ(result.record->identity.key.cargo, 1);

    f.airline = "BAW";
    result = gf_buildTrafficRecord(f, ownAt());
    EXPECT_EQ(gf_modelCodeAt(result.record->identity.key.type), "B777");
    EXPECT_EQ(result.record->identity.key.cargo, 0);
}

TEST_F(TrafficIdentity, NeitherCallsignNorRegistrationIsDroppedButHandedOverFirstWithRtApp) {
    auto f = airliner();
    f.callsign = "null";
    f.registration = "null";
    auto own = ownAt();
    auto result = gf_buildTrafficRecord(f, own);
    EXPECT_FALSE(result.record);
    ASSERT_TRUE(result.handOver);
    EXPECT_EQ(result.handOver->callsign, "");
    EXPECT_EQ(result.handOver->hexid, 0x4840D6u);

    own.handOverBeforeFilters = false;
    result = gf_buildTrafficRecord(f, own);
    EXPECT_FALSE(result.handOver);

    own.collectHandOver = false;
    own.handOverBeforeFilters = true;
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).handOver);
}

// ---------------------------------------------------------------------------
// Motion values

class TrafficMotion : public RecordsWorld {};

TEST_F(TrafficMotion, TrueHeadingOnlyFromAdsbIcao) {
    auto f = airliner();
    f.dataSource = "adsb_icao";
    f.trueHeading = 0.0;
    f.track = 0.0;
    auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_TRUE(result.record->point.hasTrueHeading);
    EXPECT_DOUBLE_EQ(result.record->point.trueHeading, 2.0 * std::numbers::pi);
    EXPECT_DOUBLE_EQ(result.record->point.trackDeg, 360.0);

    f.trueHeading = 90.0;
    f.track = 85.0;
    result = gf_buildTrafficRecord(f, ownAt());
    EXPECT_DOUBLE_EQ(result.record->point.trueHeading, std::numbers::pi / 2.0);
    EXPECT_DOUBLE_EQ(result.record->point.trackDeg, 85.0);

    f.trueHeading = -1.0;
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record->point.hasTrueHeading);

    f.trueHeading = 360.5;
    EXPECT_EQ(lf_errorOf(f, ownAt()), "true heading: 360.50");

    f.dataSource = "adsb_icao ";
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record->point.hasTrueHeading);
}

TEST_F(TrafficMotion, TasRowsUseTheReportedAltitude) {
    struct Row {
        double altitude, tas;
    };
    for (const Row& row : {Row{1500, 180}, Row{2000, 180}, Row{2001, 220}, Row{5000, 220}, Row{10000, 250},
                           Row{20000, 350}, Row{20001, 430}}) {
        auto f = airliner();
        f.trueAirspeed = -1.0;
        f.altitude = row.altitude;
        const auto result = gf_buildTrafficRecord(f, ownAt());
        ASSERT_TRUE(result.record);
        EXPECT_DOUBLE_EQ(result.record->point.tasKt, row.tas) << row.altitude;
    }
    auto f = airliner();
    EXPECT_DOUBLE_EQ(gf_buildTrafficRecord(f, ownAt()).record->point.tasKt, 260.0);
}

TEST_F(TrafficMotion, RollVerticalSpeedAndAirborne) {
    auto f = airliner();
    f.roll = 10.0;
    f.verticalSpeed = kNaN;
    auto result = gf_buildTrafficRecord(f, ownAt());
    ASSERT_TRUE(result.record);
    EXPECT_TRUE(result.record->point.hasRoll);
    EXPECT_DOUBLE_EQ(result.record->point.roll, -10.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(result.record->point.verticalSpeed, 0.0);
    EXPECT_TRUE(result.record->point.airborne);
    EXPECT_EQ(result.record->point.playTick, 0);
    EXPECT_FALSE(result.record->point.stationary);

    for (double roll : {-1.0, 90.5, kNaN}) {
        f.roll = roll;
        EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record->point.hasRoll) << roll;
    }
}

TEST_F(TrafficMotion, AirborneWithoutGroundSpeedIsDroppedExceptRotorcraft) {
    auto f = airliner();
    f.groundSpeed = 0.0;
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record);
    f.groundSpeed = kNaN;
    EXPECT_FALSE(gf_buildTrafficRecord(f, ownAt()).record);
    f.aircraftType = "EC35";
    EXPECT_TRUE(gf_buildTrafficRecord(f, ownAt()).record);
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
    void userTrueAndIndicated(double trueAlt, double indicated) {
        UserAircraftState s;
        s.latitude = 52.0;
        s.longitude = 4.0;
        s.altitude = trueAlt;
        s.indicatedAltitude = indicated;
        gf_publishUserAircraftState(s);
    }
};

TEST_F(QnhCorrection, BlendAt18000DiffersBySource) {
    userTrueAndIndicated(5100.0, 5000.0);  // the user's true altitude is 100 ft above indicated
    const double d = (1023.0 - 1013.25) * 30.0;
    // RT App: low part as reported, high part less d plus the user's difference.
    EXPECT_NEAR(corrected(18000.0, 1023, false), 0.75 * 18000.0 + 0.25 * (18000.0 - d + 100.0), 1e-9);
    // RT Direct: low part plus d, high part plus the user's difference.
    EXPECT_NEAR(corrected(18000.0, 1023, true), 0.75 * (18000.0 + d) + 0.25 * 18100.0, 1e-9);
}

TEST_F(QnhCorrection, LowAndHighEnds) {
    userTrueAndIndicated(5100.0, 5000.0);
    const double d = (1023.0 - 1013.25) * 30.0;
    EXPECT_DOUBLE_EQ(corrected(17000.0, 1023, false), 17000.0);
    EXPECT_DOUBLE_EQ(corrected(17000.0, 1023, true), 17000.0 + d);
    EXPECT_DOUBLE_EQ(corrected(19000.0, 1023, false), 19000.0 - d + 100.0);
    EXPECT_DOUBLE_EQ(corrected(19000.0, 1023, true), 19100.0);
    EXPECT_EQ(corrected(0.0, 1023, true), 0.0);
    EXPECT_EQ(corrected(-50.0, 1023, true), 0.0);
    EXPECT_EQ(corrected(kNaN, 1023, true), 0.0);
    // A low QNH never pushes the altitude below 0.
    EXPECT_EQ(corrected(100.0, 950, true), 0.0);
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
    auto result = gf_buildTrafficRecord(f, own);
    ASSERT_TRUE(result.record);
    EXPECT_EQ(result.record->point.altitudeFt, 0.0);
    EXPECT_FALSE(result.record->point.airborne);
    EXPECT_FALSE(result.record->point.hasRoll);

    f.position = LaLo{52.0 + 5.01 / 60.0, 4.0};
    EXPECT_FALSE(gf_buildTrafficRecord(f, own).record);  // more than 5 NM from the airport
}

TEST_F(QnhCorrection, Code0000GroundTargetsDroppedOnlyWhenAsked) {
    setAirportAt(52.0, 4.0);
    auto f = airliner();
    f.altitude = 0.0;
    f.groundSpeed = 5.0;
    f.position = LaLo{52.01, 4.0};
    f.code = "0000";
    auto own = ownAt();
    EXPECT_TRUE(gf_buildTrafficRecord(f, own).record);
    own.dropGround0000 = true;
    own.handOverBeforeFilters = false;
    const auto result = gf_buildTrafficRecord(f, own);
    EXPECT_FALSE(result.record);
    EXPECT_FALSE(result.handOver);
    f.altitude = 3000.0;  // airborne targets keep their code
    EXPECT_TRUE(gf_buildTrafficRecord(f, own).record);
}

// ---------------------------------------------------------------------------
// The blocked aircraft

class BlockedAircraftMatch : public RecordsWorld {
protected:
    void block(std::string callsign, std::string reg, std::int32_t hexid, bool prefix = false) {
        changeSettings([&](SettingsSnapshot& s) {
            s.blocked.BLOCK_AIRCRAFT = "selected";
            s.blocked.BLOCK_CALLSIGN = callsign;
            s.blocked.BLOCK_REGCODE = reg;
            s.blocked.BLOCK_HEXIDDEC = hexid;
            s.blocked.callsignPrefix = prefix ? 1 : 0;
        });
    }
    static const BlockedAircraft& current() { return settingsSnapshot.load()->blocked; }
};

TEST_F(BlockedAircraftMatch, SameHexidIsDroppedAndANullRegistrationIsAdopted) {
    block("KLM1234", "null", 0x4840D6);
    const auto before = settingsSnapshot.load();
    EXPECT_FALSE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_NE(settingsSnapshot.load(), before);  // a new snapshot was published
    EXPECT_EQ(current().BLOCK_REGCODE, "PH-BXA");
    EXPECT_EQ(current().BLOCK_HEXIDDEC, 0x4840D6);
}

TEST_F(BlockedAircraftMatch, SameRegistrationOtherHexidAdoptsTheHexid) {
    block("XXX1", "PH-BXA", 0x111111);
    EXPECT_FALSE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_EQ(current().BLOCK_HEXIDDEC, 0x4840D6);
    EXPECT_EQ(current().BLOCK_CALLSIGN, "XXX1");
}

TEST_F(BlockedAircraftMatch, SameCallsignAdoptsHexidAndRegistration) {
    block("KLM1234", "PH-ZZZ", 0x111111);
    EXPECT_FALSE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_EQ(current().BLOCK_HEXIDDEC, 0x4840D6);
    EXPECT_EQ(current().BLOCK_REGCODE, "PH-BXA");
}

TEST_F(BlockedAircraftMatch, UnderscoreCallsignAdoptsTheWholeIdentityAndClearsTheFlag) {
    block("KLM1234_", "PH-ZZZ", 0x111111, true);
    EXPECT_FALSE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_EQ(current().BLOCK_CALLSIGN, "KLM1234");
    EXPECT_EQ(current().BLOCK_HEXIDDEC, 0x4840D6);
    EXPECT_EQ(current().BLOCK_REGCODE, "PH-BXA");
    EXPECT_EQ(current().callsignPrefix, 0);
}

TEST_F(BlockedAircraftMatch, OtherAircraftPassAndNothingIsPublished) {
    block("DLH1", "D-AIBA", 0x3C4B26);
    const auto before = settingsSnapshot.load();
    EXPECT_TRUE(gf_buildTrafficRecord(airliner(), ownAt()).record);
    EXPECT_EQ(settingsSnapshot.load(), before);
}

// ---------------------------------------------------------------------------
// Aircraft selection text

TEST(AircraftSelection, ParsesTheSelectorEntry) {
    auto sel = gf_parseAircraftSelection("KLM1234, PH-BXA, 4840d6, oid=12");
    ASSERT_TRUE(sel);
    EXPECT_EQ(sel->callsign, "KLM1234");
    EXPECT_EQ(sel->registration, "PH-BXA");
    EXPECT_EQ(sel->hexid, 0x4840D6u);
    sel = gf_parseAircraftSelection("A,,FFFFFFFF,");
    ASSERT_TRUE(sel);
    EXPECT_EQ(sel->hexid, 0xFFFFFFFFu);
    EXPECT_EQ(sel->registration, "");
}

TEST(AircraftSelection, RefusesOtherTexts) {
    for (std::string_view text : {"KLM1, PH-BXA, 4840d6", "KLM1,PH,4840d6,x,y", ",PH,4840d6,x", "KLM1,PH,,x",
                                  "KLM1,PH,48g0,x", "KLM1,PH,100000000,x", "KLM1,PH,-1,x", ""})
        EXPECT_FALSE(gf_parseAircraftSelection(text)) << text;
}
