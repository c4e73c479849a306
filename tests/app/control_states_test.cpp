// The controls' start state at each run, the parking group that follows its
// two options, the automatic range, the counters and the wait for traffic.

#include <filesystem>
#include <fstream>

#include "command_fixture.h"
#include "engine/engine_lists.h"
#include "engine/user_position.h"
#include "feed/query_box.h"
#include "feed/rtdirect/traffic_reader.h"
#include "feed/traffic_clock.h"

namespace tavo::test {
namespace {

using ControlStatesTest = CommandTest;

TEST_F(ControlStatesTest, InitControlsSetsEachControlByTheSettingsOfTheRun) {
    struct Row {
        const GuiControl* control;
        int plain, other;  // enabled after the start with the defaults, and with the other settings
    };
    const Row rows[] = {
        {&OBJECTID_LIST, 1, 1}, {&RT_CHOISE, 0, 0}, {&QNH_UNIT, 1, 1}, {&GUID_CHANGES, 1, 1},
        {&SKIP_LIVERIES_SCAN, 1, 1}, {&TbloButton, 0, 1}, {&HELICOPTERS, 1, 1}, {&RANGE, 0, 1},
        {&AUTO_RANGE, 1, 1}, {&MATCHING_DEPTH, 1, 1}, {&TCAS_FL, 0, 0}, {&BlockButton, 0, 0},
        {&UnblockButton, 0, 1}, {&COLLISION_USER_AIR, 1, 1}, {&ParkButton, 0, 0}, {&MAX_LIVE_SEL, 1, 1},
        {&ALL_AIR_GND_SELECTOR, 1, 1}, {&AircraftButton, 0, 0}, {&AIRCRAFT_SELECTOR, 0, 0},
        {&STAND_SELECTOR, 0, 0}, {&AEROWINX, 0, 1}, {&AI_PACKAGE_SELECTOR, 1, 0}, {&SIM_CHOICE, 1, 1},
        {&DESTINATION, 1, 1}, {&AIRP_HEIGHT, 1, 1}, {&parking_percentage, 1, 0}, {&MAX_FIT_FL, 0, 1},
        {&WEEK, 0, 1}, {&PARK_SOFT, 0, 1}, {&FlushButton, 0, 0}, {&AUTO_PARK, 1, 0}, {&RT_PARKTRAFFIC_ONLY, 1, 1},
        {&SetButton, 0, 0},
    };
    for (const bool other : {false, true}) {
        if (other) {
            // A block left by the last run, an archive waiting, the RT App, and
            // the parking and range options the other way round.
            AUTO_RANGE.setValue(false);
            BLOCK_AIRCRAFT.setValue("AB1, REG, 3c6444, oid=2");
            std::filesystem::create_directories("tblo");
            std::ofstream("tblo/tblo.zip") << "zip";
            useRTApp(true);
            LIG_AUTOMATIC.setValue(false);
            RT_PARKTRAFFIC_ONLY.setValue(true);
            AUTO_PARK.setValue(false);
            MAX_FIT.set(5);
            QNH_UNIT.setValue("QNH inHg");
            TIME_SHIFT_HOURS.set(5);
        }
        for (const Row& row : rows) gf_enableControl(row.control->controlId, !(other ? row.other : row.plain));
        gf_enableControl(TCAS_FL.controlId, false);
        lf_initControls();
        for (const Row& row : rows) {
            EXPECT_EQ(enabled(row.control->controlId), other ? row.other : row.plain) << row.control->controlId;
        }
        EXPECT_EQ(g_tbloPending.load(), other);
        EXPECT_EQ(gf_gui().qnhInHg, other);
    }
    EXPECT_EQ(status(), "Push the Tblo button and mail the file \"tblo.zip\" to support@tavo-traffic.org, please (plain)");
    const auto fits = gf_comboItems(MAX_FIT_FL.controlId).value_or(std::vector<std::string>{});
    ASSERT_EQ(fits.size(), 48u);
    EXPECT_EQ(fits.front() + " " + fits[5] + " " + fits.back(), "0.5 3.0 24.0");
    EXPECT_EQ(gf_comboSelection(MAX_FIT_FL.controlId), 5);
    EXPECT_EQ(MAX_FIT_FL.value(), 3.0f);
    EXPECT_EQ(gf_comboSelectedText(RANGE.controlId), "40");
    // The time shift in force shows before its own step of the start (a start
    // may stop before it).
    EXPECT_EQ(gf_comboSelectedText(TIME_SHIFT_HOURS.controlId), "5");
}

TEST_F(ControlStatesTest, TimeShiftGroupAtTheStart) {
    const std::vector<ControlId> group{TIME_SHIFT_DAYS.controlId, TIME_SHIFT_HOURS.controlId,
                                       TIME_SHIFT_MINS.controlId, SIM_TIME.controlId, KEEP_SIM_TIME_PAR.controlId};
    const auto groupEnabled = [&] {
        std::string out;
        for (const ControlId id : group) out += enabled(id) ? '1' : '0';
        return out + (enabled(SetButton.controlId) ? "/set" : "");
    };
    // The RT App: all disabled, labels grey.
    useRTApp(true);
    gf_enableControl(SetButton.controlId, true);
    lf_initTimeShiftControls();
    EXPECT_EQ(groupEnabled(), "00000");
    EXPECT_FALSE(gf_gui().settingsLabelsActive);

    // RT Direct: a stored shift is applied without a restart.
    useRTApp(false);
    TIME_SHIFT_HOURS.set(2);
    gf_publishAllParameters();
    lf_initTimeShiftControls();
    EXPECT_EQ(groupEnabled(), "11111");
    EXPECT_TRUE(g_timeShiftActive.load());
    EXPECT_EQ(gf_comboSelectedText(TIME_SHIFT_HOURS.controlId), "2");
    EXPECT_EQ(pendingStop(), "none");

    // SIM_TIME on, not yet published: the shift goes back to 0 (restarting, as
    // one was active) and the simulator's clock is remembered.
    SIM_TIME.setValue(true);
    g_simTimeEpoch.store(1'700'000'000);
    lf_initTimeShiftControls();
    EXPECT_EQ(TIME_SHIFT_HOURS.value(), 0);
    EXPECT_EQ(pendingStop(), "3/0");
    EXPECT_EQ(gf_lastSeenSimTime(), 1'700'000'000);
    // Published: the main loop measures the shift at its next second.
    gf_publishParameter(SIM_TIME);
    lf_initTimeShiftControls();
    EXPECT_EQ(gf_lastSeenSimTime(), 0);
    g_simTimeEpoch.store(kSimTimeInvalid);
}

TEST_F(ControlStatesTest, ParkingGroupFollowsParkedOnlyAndAutoPark) {
    // parking_percentage AUTO_PARK WEEK PARK_SOFT MAX_FIT_FL MAX_PARK_SEL Flush Park
    const std::vector<const GuiControl*> shown{&parking_percentage, &AUTO_PARK,    &WEEK,        &PARK_SOFT,
                                               &MAX_FIT_FL,         &MAX_PARK_SEL, &FlushButton, &ParkButton};
    const auto state = [&] {
        std::string out;
        for (const GuiControl* c : shown) out += enabled(c->controlId) ? '1' : '0';
        return out;
    };
    const auto run = [&](void (*operation)(), bool startEnabled) {
        for (const GuiControl* c : shown) gf_enableControl(c->controlId, startEnabled);
        operation();
        return state();
    };
    struct Row {
        bool rtOnly, autoPark;
        const char *apply, *enableWithStands, *enableWithout;
    };
    const Row rows[] = {
        {false, false, "11111000", "11111111", "11111101"},
        {false, true, "11000000", "11000111", "11000101"},
        {true, false, "00111000", "00111111", "00111101"},  // the auto-park rule runs last
        {true, true, "00001000", "00001111", "00001101"},
    };
    for (const Row& row : rows) {
        RT_PARKTRAFFIC_ONLY.setValue(row.rtOnly);
        AUTO_PARK.setValue(row.autoPark);
        EXPECT_EQ(run(&gf_applyParkingOptions, false), row.apply);
        hasStands = true;
        EXPECT_EQ(run(&gf_enableParkingControls, false), row.enableWithStands);
        hasStands = false;
        EXPECT_EQ(run(&gf_enableParkingControls, false), row.enableWithout);
        EXPECT_EQ(run(&gf_disableParkingControls, true), "00000000");
    }
    EXPECT_TRUE(generatingEnded);
    EXPECT_EQ(gf_gui().parkingIntervalMinutes, 20);
}

TEST(AutoRange, FollowsTheAltitudeAlongTheThreeLevels) {
    const AutoRangeLevels levels{100, 200, 300, 10, 20, 40, 50, 60};
    struct Row {
        bool onGround;
        double feet;
        double range;
    };
    const Row rows[] = {
        {true, 20000, 10}, {false, 5000, 15},  {false, 0, 10},     {false, 15000, 30},
        {false, 25000, 45}, {false, 30000, 50}, {false, 30100, 60}, {false, 90000, 60},
        {false, -2000, 10},  // below sea level: the ground range, not less
    };
    for (const Row& row : rows) EXPECT_DOUBLE_EQ(lf_autoRangeFor(row.onGround, row.feet, levels), row.range) << row.feet;
    EXPECT_DOUBLE_EQ(lf_autoRangeFor(false, 0, AutoRangeLevels{0, 200, 300, 10, 20, 40, 50, 60}), 20);
}

TEST_F(ControlStatesTest, AutoRangeSetsTheRangeAndMovesTheQueryBoxOnlyWhenItChanged) {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    UserAircraftState user;
    user.latitude = -33.5;
    user.longitude = 151.25;
    gf_publishUserAircraftState(user);
    g_userAltitudeFt.store(5000);
    gf_autoRange();
    EXPECT_EQ(fmt::format("{} {}", RANGE.value(), settingsSnapshot.load()->RANGE), "15 15");
    EXPECT_EQ(reader.queryBox(), gf_boxAround(LaLo{-33.5, 151.25}, 15));
    user.latitude = -34.5;
    gf_publishUserAircraftState(user);
    g_userAltitudeFt.store(5100);  // still 15 NM
    gf_autoRange();
    EXPECT_EQ(reader.queryBox(), gf_boxAround(LaLo{-33.5, 151.25}, 15));
    g_userOnGround.store(true);
    gf_autoRange();
    EXPECT_EQ(reader.queryBox(), gf_boxAround(LaLo{-34.5, 151.25}, 10));
    g_userOnGround.store(false);
    g_userAltitudeFt.store(40000);
    gf_autoRange();
    EXPECT_EQ(RANGE.value(), 60);

    // AUTO_RANGE off goes back to the range the user chose.
    gf_updateSettings([](SettingsSnapshot& s) {
        s.AUTO_RANGE = 0;
        s.MANUAL_RANGE = 33;
    });
    gf_applyRangeMode();
    EXPECT_EQ(fmt::format("{} {}", RANGE.value(), settingsSnapshot.load()->RANGE), "33 33");
    EXPECT_TRUE(enabled(RANGE.controlId));
}

TEST_F(ControlStatesTest, WaitForFirstTrafficGivesUpAfter15Seconds) {
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(5);
    auto now = start;
    std::chrono::steady_clock::time_point trafficAt = start + std::chrono::hours(1);
    gf_setShellWaitClock({[&] { return now; },
                          [&](auto until) {
                              now = until;
                              if (now >= trafficAt) g_rtDirectTrafficTime.store(1'700'000'000);
                          }});
    lf_waitForFirstTraffic();
    EXPECT_EQ(now - start, std::chrono::seconds(15));
    EXPECT_EQ(logCount("No traffic in this region\n"), 1u);

    now = start;
    trafficAt = start + std::chrono::milliseconds(2300);
    lf_waitForFirstTraffic();
    EXPECT_EQ(now - start, std::chrono::milliseconds(2300));
    EXPECT_EQ(logCount("No traffic in this region\n"), 1u);
    g_rtDirectTrafficTime.store(0);

    now = start;
    requestStop(StopReason::UserClosedSim, 0);
    lf_waitForFirstTraffic();
    EXPECT_EQ(now, start);
    EXPECT_EQ(logCount("No traffic in this region\n"), 1u);
}

TEST_F(ControlStatesTest, LiveAircraftCountsLeaveOutTheParkedAndTheNotYetCreated) {
    for (const auto& [state, phase] : {std::pair{AcSimState::active, AcPhase::flying},
                                       std::pair{AcSimState::active, AcPhase::taxi},
                                       std::pair{AcSimState::active, AcPhase::parked},
                                       std::pair{AcSimState::adding2sim, AcPhase::flying}}) {
        LiveAc& ac = g_liveAircraft.emplace_back(std::deque<StreamPoint>{}, AcInfo{}, 0.0);
        ac.simState = state;
        ac.phase = phase;
    }
    gf_showLiveAircraftCounts();
    g_liveAircraft.clear();
    const Gui& gui = gf_gui();
    EXPECT_EQ(fmt::format("{} {} {}", gui.liveAircraftCount, gui.liveParkedCount, gui.staticCount), "2 3 4");
}

}  // namespace
}  // namespace tavo::test
