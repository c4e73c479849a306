#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/services.h"
#include "engine/user_position.h"
#include "settings/snapshot.h"

namespace {

class EngineServices : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = settingsSnapshot.load();
        gf_publishStandSnapshot({});
        gf_resetAircraftTables();
    }
    void TearDown() override {
        settingsSnapshot.store(m_saved);
        gf_publishStandSnapshot({});
        gf_publishUserAircraftState(UserAircraftState{});
        gf_resetAircraftTables();
    }
    SettingsSnapshotPtr m_saved;
};

}  // namespace

TEST_F(EngineServices, AirlineFromCallsignNeedsThreeLettersAndADigit) {
    FlightIdentity id;
    id.callsign = "klm1A";
    EXPECT_TRUE(gf_setAirlineFromCallsign(id));
    EXPECT_EQ(gf_airlineCodeAt(id.key.airline), "KLM");
    for (std::string cs : {"KLM", "KLMA1", "K1M1", "N123AB", "KL12"}) {
        FlightIdentity other;
        other.callsign = cs;
        other.key.airline = 7;
        EXPECT_FALSE(gf_setAirlineFromCallsign(other)) << cs;
        EXPECT_EQ(other.key.airline, 7) << cs;
    }
}

TEST_F(EngineServices, CategorySwitches) {
    auto s = std::make_shared<SettingsSnapshot>();
    s->LIGHT_AIRCRAFT = 0;
    s->TWO_PROPS = 1;
    s->HIGH_PERF_AIRCRAFT = 0;
    s->HELICOPTERS = 1;
    settingsSnapshot.store(s);
    EXPECT_TRUE(gf_isCategoryIncluded(Bizjet));
    EXPECT_TRUE(gf_isCategoryIncluded(Large));
    EXPECT_TRUE(gf_isCategoryIncluded(Heavy));
    EXPECT_FALSE(gf_isCategoryIncluded(Light));
    EXPECT_TRUE(gf_isCategoryIncluded(TwoProps));
    EXPECT_FALSE(gf_isCategoryIncluded(HighPerf));
    EXPECT_TRUE(gf_isCategoryIncluded(Rotorcraft));
    EXPECT_FALSE(gf_isCategoryIncluded(7));
    EXPECT_FALSE(gf_isCategoryIncluded(-1));
}

TEST_F(EngineServices, StandNameWithin20Metres) {
    EXPECT_FALSE(gf_standNameAtPosition(LaLo{52.0, 4.0}));  // nothing published
    gf_publishStandSnapshot({StandMark{"A1", LaLo{52.0, 4.0}}, StandMark{"A2", LaLo{52.0, 4.0005}}});
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0}), std::optional<std::string>("A1"));
    // 0.0005 degree of longitude at 52N is about 34 m: A2 is nearer from between.
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0004}), std::optional<std::string>("A2"));
    // 25 m north of A1: no stand.
    EXPECT_FALSE(gf_standNameAtPosition(LaLo{52.0 + 25.0 / 1852.0 / 60.0, 4.0}));
    // A new snapshot is not hidden by the cache.
    gf_publishStandSnapshot({StandMark{"B7", LaLo{52.0 + 25.0 / 1852.0 / 60.0, 4.0}}});
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0 + 25.0 / 1852.0 / 60.0, 4.0}), std::optional<std::string>("B7"));
}

TEST_F(EngineServices, UserStateIsPublishedAsACopy) {
    EXPECT_TRUE(gf_isUnknownPosition(gf_userPosition().latitude, gf_userPosition().longitude));
    UserAircraftState s;
    s.latitude = 52.1;
    s.longitude = 4.2;
    s.altitude = 1234.0;
    gf_publishUserAircraftState(s);
    s.latitude = 0.0;
    const auto published = userPositionSnapshot.load();
    EXPECT_EQ(published->latitude, 52.1);
    EXPECT_EQ(g_userAltitudeFt.load(), 1234.0);
    EXPECT_FALSE(gf_isUnknownPosition(published->latitude, published->longitude));
    EXPECT_TRUE(gf_isUnknownPosition(0.00009, -0.0001));
    EXPECT_FALSE(gf_isUnknownPosition(0.0, 0.00011));
}

TEST(EngineState, QnhStartsAt1013AndTicksCount) {
    EXPECT_EQ(g_qnh.load(), 1013u);
    const auto before = tickCount.load();
    gf_advanceTickCount();
    EXPECT_EQ(tickCount.load(), before + 1);
}
