#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/services.h"
#include "engine/stands.h"
#include "engine/user_position.h"
#include "liveries/code_tables.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

namespace {

class EngineServices : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = settingsSnapshot.load();
        tavo::test::clearStandTable();
        tavo::test::resetToSmallDbase();
    }
    void TearDown() override {
        settingsSnapshot.store(m_saved);
        tavo::test::clearStandTable();
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

TEST_F(EngineServices, PositionsNearZeroAreUnknown) {
    EXPECT_TRUE(gf_isUnknownPosition(gf_userPosition().latitude, gf_userPosition().longitude));
    EXPECT_TRUE(gf_isUnknownPosition(0.00009, -0.0001));
    EXPECT_FALSE(gf_isUnknownPosition(0.0, 0.00011));
}
