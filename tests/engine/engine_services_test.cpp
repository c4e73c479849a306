#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/services.h"
#include "engine/user_position.h"
#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"

namespace {

class EngineServices : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = settingsSnapshot.load();
        gf_publishStandSnapshot({});
        tavo::test::resetToSmallDbase();
    }
    void TearDown() override {
        settingsSnapshot.store(m_saved);
        gf_publishStandSnapshot({});
        gf_publishUserAircraftState(UserAircraftState{});
        tavo::test::resetToSmallDbase();
    }
    SettingsSnapshotPtr m_saved;
};

}  // namespace

TEST_F(EngineServices, CategorySwitchesExcludeOnlyTheirOwnCategory) {
    auto s = std::make_shared<SettingsSnapshot>();
    s->LIGHT_AIRCRAFT = 0;
    s->TWO_PROPS = 1;
    s->HIGH_PERF_AIRCRAFT = 0;
    s->HELICOPTERS = 1;
    settingsSnapshot.store(s);
    for (int category : {int(Bizjet), int(Large), int(Heavy), int(TwoProps), int(Rotorcraft)}) {
        EXPECT_TRUE(gf_isCategoryIncluded(category)) << category;
    }
    for (int category : {int(Light), int(HighPerf), 7, -1}) EXPECT_FALSE(gf_isCategoryIncluded(category)) << category;
}

TEST_F(EngineServices, StandNameWithin20Metres) {
    const LaLo north25m{52.0 + 25.0 / 1852.0 / 60.0, 4.0};
    EXPECT_FALSE(gf_standNameAtPosition(LaLo{52.0, 4.0}));  // nothing published
    gf_publishStandSnapshot({StandMark{"A1", LaLo{52.0, 4.0}}, StandMark{"A2", LaLo{52.0, 4.0005}}});
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0}), std::optional<std::string>("A1"));
    // 0.0005 degree of longitude at 52N is about 34 m: A2 is nearer from between.
    EXPECT_EQ(gf_standNameAtPosition(LaLo{52.0, 4.0004}), std::optional<std::string>("A2"));
    EXPECT_FALSE(gf_standNameAtPosition(north25m));
    // A new snapshot is not hidden by the cache.
    gf_publishStandSnapshot({StandMark{"B7", north25m}});
    EXPECT_EQ(gf_standNameAtPosition(north25m), std::optional<std::string>("B7"));
}

TEST_F(EngineServices, PositionsNearZeroAreUnknown) {
    EXPECT_TRUE(gf_isUnknownPosition(gf_userPosition().latitude, gf_userPosition().longitude));
    EXPECT_TRUE(gf_isUnknownPosition(0.00009, -0.0001));
    EXPECT_FALSE(gf_isUnknownPosition(0.0, 0.00011));
}
