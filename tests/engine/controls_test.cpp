#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/controls.h"
#include "engine/records.h"
#include "foundation/random.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"
#include "support/temp_dir.h"

namespace {

using Event = std::array<std::uint32_t, 3>;  // object id, event, data

class Controls : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        m_saved = settingsSnapshot.load();
        takeEvents();
    }
    void TearDown() override {
        settingsSnapshot.store(m_saved);
        takeEvents();
        LogFileTest::TearDown();
    }

    static std::vector<Event> takeEvents() {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        std::vector<Event> events;
        for (const auto& e : g_simCommandBuffers.clientEvents) events.push_back({e.objectId, e.eventId, e.data});
        g_simCommandBuffers.clientEvents.clear();
        return events;
    }

    static AcBase aircraft(ModelCategory category, std::uint32_t objectId = 42) {
        AcBase ac;
        ac.category = category;
        ac.objectId = objectId;
        return ac;
    }

    static void settings(bool navWhileParked, bool random) {
        auto s = std::make_shared<SettingsSnapshot>(*settingsSnapshot.load());
        s->NAV_LIGHTS_WHILE_PARKED = navWhileParked;
        s->RANDOM = random;
        settingsSnapshot.store(s);
    }

    SettingsSnapshotPtr m_saved;
};

}  // namespace

TEST_F(Controls, FirstFlapsAndThrottleZeroAreSentThenRepeatsAreNot) {
    AcBase ac = aircraft(Large);
    gf_setFlaps(ac, 0);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    gf_setThrottle(ac, 0);
    EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, FLAPS_SET, 0}, {42, THROTTLE_SET, 0}}));
}

TEST_F(Controls, StepTables) {
    struct Row {
        std::uint32_t step, flapsData, throttleData;
    };
    for (const Row& row : {Row{1, 3072, 4914}, Row{2, 10240, 8191}, Row{3, 16383, 11468}}) {
        AcBase ac = aircraft(Heavy);
        gf_setFlaps(ac, row.step);
        gf_setThrottle(ac, row.step);
        const std::vector<Event> want{{42, FLAPS_SET, row.flapsData}, {42, THROTTLE_SET, row.throttleData}};
        EXPECT_EQ(takeEvents(), want) << row.step;
    }
    AcBase ac = aircraft(Heavy);
    gf_setThrottle(ac, 4);
    EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, THROTTLE_SET, 16383}}));
}

TEST_F(Controls, FlapsFourSendsZeroFiveIsLoggedAndRemembered) {
    AcBase ac = aircraft(Large);
    gf_setFlaps(ac, 2);
    takeEvents();
    gf_setFlaps(ac, 4);
    EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, FLAPS_SET, 0}}));
    gf_setFlaps(ac, 5);
    EXPECT_TRUE(takeEvents().empty());
    EXPECT_EQ(ac.flapsIndex, 5u);
    EXPECT_THAT(newLogLines(), ::testing::HasSubstr("==> gf_setFlaps: invalid flaps index\n"));
    gf_setFlaps(ac, 5);  // remembered: no second line
    EXPECT_EQ(newLogLines(), "");
    // A throttle step above 4 sends nothing but is remembered too.
    gf_setThrottle(ac, 7);
    EXPECT_TRUE(takeEvents().empty());
    EXPECT_EQ(ac.throttleStep, 7u);
}

TEST_F(Controls, RotorcraftGetsThrottleOnly) {
    AcBase ac = aircraft(Rotorcraft);
    gf_setFlaps(ac, 1);
    gf_setSpoilers(ac, true);
    gf_setGear(ac, true);
    gf_setThrottle(ac, 4);
    EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, THROTTLE_SET, 16383}}));
    EXPECT_EQ(ac.flapsIndex, 4u);  // nothing was set
}

TEST_F(Controls, SpoilersAndGearAreSentOnEveryCall) {
    AcBase ac = aircraft(Bizjet);
    gf_setSpoilers(ac, true);
    gf_setSpoilers(ac, true);
    gf_setSpoilers(ac, false);
    gf_setGear(ac, false);
    gf_setGear(ac, true);
    gf_setGear(ac, true);
    EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, SPOILERS_SET, 16383},
                                                {42, SPOILERS_SET, 16383},
                                                {42, SPOILERS_SET, 0},
                                                {42, GEAR_SET, 0},
                                                {42, GEAR_SET, 1},
                                                {42, GEAR_SET, 1}}));
}

TEST_F(Controls, StaticCgKeepsOnlyPlausibleValues) {
    struct Row {
        double cgFt, pitchRad;
        double wantOffsetFt;
        bool fromSim;
        double wantPitchRad;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {6.5, 0.02, 6.5, true, 0.02},
        {0.0, 0.0, 8.0, false, 0.0},        // 0 ft keeps the Large default
        {36.0, 0.04363323129985824, 8.0, false, 0.04363323129985824},  // 2.5 degrees is kept
        {35.0, -0.017453292519943295, 35.0, true, 0.012217304763960306},  // -1 degree is not
        {-1.0, 0.05, -1.0, true, 0.012217304763960306},
        {-1.1, nan, 8.0, false, 0.012217304763960306},
        {nan, -0.017, 8.0, false, -0.017},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cgFt);
        AcBase ac = aircraft(Large);
        ac.groundOffsetFt = 99.0;
        ac.groundOffsetFromSim = 1;
        gf_applyStaticCg(ac, row.cgFt, row.pitchRad);
        EXPECT_EQ(ac.groundOffsetFt, row.wantOffsetFt);
        EXPECT_EQ(bool(ac.groundOffsetFromSim), row.fromSim);
        EXPECT_EQ(ac.staticPitchRad, row.wantPitchRad);
        EXPECT_EQ(ac.hasStaticCg, 1);
    }
}

TEST_F(Controls, ParkedControlsAndLights) {
    struct Row {
        bool nav, random, cargo;
        unsigned seed;
    };
    for (const Row& row : {Row{true, true, false, 5}, Row{false, true, false, 6}, Row{true, false, false, 7},
                           Row{true, true, true, 8}}) {
        SCOPED_TRACE(::testing::Message() << row.nav << row.random << row.cargo);
        settings(row.nav, row.random);
        AcBase ac = aircraft(Large);
        ac.isCargo = row.cargo;
        // The cabin light follows the same draw a fresh engine with that seed makes.
        std::mt19937 twin(row.seed);
        std::uniform_int_distribution<std::uint64_t> below10(0, 9);
        const std::uint32_t cabin = !row.cargo && row.random ? (below10(twin) < 9 ? 1 : 0) : 0;
        threadRandomEngine().engine.seed(row.seed);
        gf_setParkedControls(ac);
        const std::uint32_t nav = row.nav ? 1 : 0;
        EXPECT_EQ(takeEvents(), (std::vector<Event>{{42, THROTTLE_SET, 0},
                                                    {42, FLAPS_SET, 0},
                                                    {42, ENGINE_AUTO_SHUTDOWN, 0},
                                                    {42, NAV_LIGHTS_SET, nav},
                                                    {42, BEACON_LIGHTS_SET, 0},
                                                    {42, LANDING_LIGHTS_SET, 0},
                                                    {42, TAXI_LIGHTS_SET, 0},
                                                    {42, STROBES_SET, 0},
                                                    {42, LOGO_LIGHTS_SET, 1},
                                                    {42, CABIN_LIGHTS_SET, cabin}}));
    }
    // Over many draws the cabin is lit about nine times in ten, never always.
    settings(true, true);
    int lit = 0;
    threadRandomEngine().engine.seed(99);
    for (int i = 0; i < 400; ++i) {
        AcBase ac = aircraft(Large);
        gf_setParkedControls(ac);
        lit += takeEvents().back()[2];
    }
    EXPECT_GT(lit, 330);
    EXPECT_LT(lit, 400);
}
