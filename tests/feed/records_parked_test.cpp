#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "feed/records_fixture.h"

using tavo::test::RecordsWorld;

namespace {

// 2024-01-01 12:29:29 UTC
constexpr std::int64_t kNoonish = 1704067200 + 12 * 3600 + 29 * 60 + 29;

ParkedFields lf_parkedFields() {
    ParkedFields f;
    f.hexid = 0x4840D6;
    f.position = LaLo{52.31, 4.76};
    f.time = kNoonish;
    f.callsign = "KLM1234";
    f.aircraftType = "B738";
    f.registration = "PH-XYZ";
    f.standName = "D4";
    return f;
}

}  // namespace

class ParkedRecords : public RecordsWorld {};

TEST_F(ParkedRecords, BuildsTheRecordWithItsHalfHourSlot) {
    const auto r = gf_buildParkedRecord(lf_parkedFields());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->standName, "D4");
    EXPECT_EQ(r->identity.registration, "PH-XYZ");
    EXPECT_EQ(gf_airlineCodeAt(r->identity.key.airline), "KLM");
    EXPECT_EQ(gf_modelCodeAt(r->identity.key.model), "B738");
    // The slot turns at minute 29 second 30.
    EXPECT_EQ(r->slot, 24);
    auto f = lf_parkedFields();
    f.time = kNoonish + 1;
    EXPECT_EQ(gf_buildParkedRecord(f)->slot, 25);
    f.time = 1704067200 + 23 * 3600 + 59 * 60 + 59;
    EXPECT_EQ(gf_buildParkedRecord(f)->slot, 47);
}

TEST_F(ParkedRecords, RejectionsAndTheInvalidPositionError) {
    for (const auto& change : std::vector<std::function<void(ParkedFields&)>>{
             [](ParkedFields& f) { f.hexid = 10000; }, [](ParkedFields& f) { f.time = 0; },
             [](ParkedFields& f) { f.aircraftType = ""; },
             [](ParkedFields& f) { f.aircraftType = "QQQQ"; },  // not known to the database
             [](ParkedFields& f) { f.standName = ""; }}) {
        auto f = lf_parkedFields();
        change(f);
        EXPECT_FALSE(gf_buildParkedRecord(f));
    }
    auto f = lf_parkedFields();
    f.position = LaLo{0.0, 0.0};
    try {
        gf_buildParkedRecord(f);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "lalo: 0.000000,0.000000");
    }
}

TEST_F(ParkedRecords, RegistrationsFillTheKeyAndTheCallsign) {
    auto f = lf_parkedFields();
    f.registration = "DAIBA";  // found as D-AIBA, a dash after the first character
    f.callsign = "null";
    f.aircraftType = "QQQQ";   // the reported type is not used
    auto r = gf_buildParkedRecord(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(gf_airlineCodeAt(r->identity.key.airline), "DLH");
    EXPECT_EQ(gf_modelCodeAt(r->identity.key.model), "A319");
    EXPECT_EQ(r->identity.callsign, "DAIBA");

    // A callsign that is a known registration gives the operator.
    f = lf_parkedFields();
    f.registration = "null";
    f.callsign = "PH-EXA";
    f.aircraftType = "E190";
    r = gf_buildParkedRecord(f);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->identity.registration, "PH-EXA");
    EXPECT_EQ(gf_airlineCodeAt(r->identity.key.airline), "KLC");
}

TEST_F(ParkedRecords, CategorySwitchesApply) {
    auto f = lf_parkedFields();
    f.aircraftType = "C172";
    EXPECT_TRUE(gf_buildParkedRecord(f));
    changeSettings([](SettingsSnapshot& s) { s.LIGHT_AIRCRAFT = 0; });
    EXPECT_FALSE(gf_buildParkedRecord(f));
}

TEST_F(ParkedRecords, NeverOnTheUsersStand) {
    gf_makeCurrentParkAirport(IcaoCode("EHAM"), LaLo{52.31, 4.76});
    ASSERT_TRUE(gf_setParkAirportUserStand(IcaoCode("EHAM"), "D4"));
    EXPECT_FALSE(gf_buildParkedRecord(lf_parkedFields()));
    ASSERT_TRUE(gf_setParkAirportUserStand(IcaoCode("EHAM"), "D6"));
    EXPECT_TRUE(gf_buildParkedRecord(lf_parkedFields()));

    // The user aircraft stands at D4.
    tavo::test::setStandTable({{"D4", LaLo{52.3, 4.75}}});
    g_userOnGround.store(true);
    UserAircraftState user;
    user.latitude = 52.3;
    user.longitude = 4.75;
    gf_publishUserAircraftState(user);
    EXPECT_FALSE(gf_buildParkedRecord(lf_parkedFields()));
}
