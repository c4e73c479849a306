// The main window's buttons, check boxes and drop-down lists, driven as
// WM_COMMAND through the window procedure.

#include <filesystem>
#include <fstream>

#include "command_fixture.h"

namespace tavo::test {
namespace {

using CommandHandlersTest = CommandTest;

int l_parkedTrafficAsked = 0;

TEST_F(CommandHandlersTest, EveryCheckBoxTogglesSavesAndSaysWhatItsRowSays) {
    const std::string objectIdList = gf_pathToUtf8(std::filesystem::absolute(objectIdListFile));
    struct Row {
        GuiBoolParameter* flag;
        std::string whenOff, whenOn;  // the bottom line after each switch; "-" untouched, "" restored
        bool repaints;
    };
    const Row rows[] = {
        {&LIG_AUTOMATIC, "The liveries defined by your lfolder parameters will be scanned (plain)", "", false},
        {&LIG_PRIORITIZE, "", "Liveries, for airl+model, in lower lfolders that are already available will be skipped (plain)", false},
        {&COLLISION_USER_GND, "Be aware, user aircraft may collide with (run through) live aircraft and static parked on the ground (plain)", "", false},
        {&COLLISION_USER_AIR, "Be aware, user aircraft may collide with (run through) live aircraft in the air (plain)", "", false},
        {&RT_PARKTRAFFIC_ONLY, "-", "-", true},
        {&AUTO_PARK, "-", "-", true},
        {&RANDOM, "Be aware: no randomness in matching or parking! (This mode is meant for multi Sims)", "", true},
        {&ALWAYS_ON_TOP, "", "TAVO's window will remain visible (plain)", true},
        {&FLIGHT_MESSAGES, "-", "-", false},
        {&GUID_CHANGES, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc! (plain)", "", true},
        {&SIM_TIME, "-", "-", true},
        {&PARK_SOFT, "-", "-", false},
        {&WEEK, "-", "-", false},
        {&NAV_LIGHTS_WHILE_PARKED, "-", "-", false},
        {&OBJECTID_LIST, "", "Every minute info about all active live aircraft is written to the file " + objectIdList, true},
        {&SKIP_AIRPORT_SCAN, "-", "-", false},
        {&SKIP_LIVERIES_SCAN, "-", "-", false},
        {&KEEP_SIM_TIME_PAR, "-", "-", false},
        {&TWO_PROPS, "-", "-", false},
        {&LIGHT_AIRCRAFT, "-", "-", false},
        {&HELICOPTERS, "-", "-", false},
        {&HIGH_PERF_AIRCRAFT, "-", "-", false},
        {&AUTO_RANGE, "-", "-", false},
    };
    for (const Row& row : rows) {
        gf_setControlCheck(row.flag->controlId, true);
        for (const bool on : {false, true}) {
            Gui::addStatusLine("-", true);
            saves().clear();
            backend->clearRecords();
            EXPECT_TRUE(command(row.flag->controlId)) << row.flag->name;
            EXPECT_EQ(checked(row.flag->controlId), on) << row.flag->name;
            EXPECT_EQ(row.flag->value(), on) << row.flag->name;
            EXPECT_EQ(saves().empty() ? "" : saves().front(), row.flag->name + (on ? "=1" : "=0"));
            EXPECT_EQ(status(), on ? row.whenOn : row.whenOff) << row.flag->name;
            EXPECT_EQ(settingsRepaints() > 0, row.repaints) << row.flag->name;
        }
    }
    // What the rows leave for others: published values, the box state
    // elsewhere, and the requests of the categories switched off (and on again).
    EXPECT_EQ(settingsSnapshot.load()->RANDOM, 1);
    EXPECT_TRUE(enabled(AI_PACKAGE_SELECTOR.controlId));
    EXPECT_TRUE(backend->isTopmost(window));
    EXPECT_EQ(g_pendingNavLights.load(), 1);
    for (auto* flag : {&g_categoryOffTwoProps, &g_categoryOffLight, &g_categoryOffRotorcraft, &g_categoryOffHighPerf}) {
        EXPECT_TRUE(flag->exchange(false));
    }
    command(TWO_PROPS.controlId);  // on -> off
    EXPECT_TRUE(g_categoryOffTwoProps.exchange(false));
    command(TWO_PROPS.controlId);  // off -> on: nothing is asked for
    EXPECT_FALSE(g_categoryOffTwoProps.load());
    command(LIG_AUTOMATIC.controlId);
    EXPECT_FALSE(enabled(AI_PACKAGE_SELECTOR.controlId));
    command(NAV_LIGHTS_WHILE_PARKED.controlId);
    EXPECT_EQ(g_pendingNavLights.load(), 0);
}

TEST_F(CommandHandlersTest, RowsOfTheOtherTrafficSourceFallThroughUnhandled) {
    const auto untouched = [&](ControlId id, std::uint16_t code) {
        saves().clear();
        EXPECT_FALSE(command(id, code)) << id;
        EXPECT_TRUE(saves().empty()) << id;
    };
    useRTApp(true);
    for (const ControlId id : {SIM_TIME.controlId, KEEP_SIM_TIME_PAR.controlId}) untouched(id, BN_CLICKED);
    for (const auto* list : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        gf_setComboItems(list->controlId, {"0", "1"});
        gf_setComboSelection(list->controlId, 1);
        untouched(list->controlId, CBN_SELCHANGE);
    }
    useRTApp(false);
    untouched(AEROWINX.controlId, BN_CLICKED);
    gf_setControlCheck(AEROWINX.controlId, false);
    useRTApp(true);
    EXPECT_TRUE(command(AEROWINX.controlId));
    EXPECT_EQ(status(), "Note: This mode is for Aerowinx PSX users only, please re-start TAVO (plain)");
    EXPECT_FALSE(command(0x7FFF));
}

TEST_F(CommandHandlersTest, SimTimeOnOrOffResetsTheShiftAndRestarts) {
    for (const bool on : {true, false}) {
        gf_clearStopMailbox();
        TIME_SHIFT_DAYS.set(2);
        TIME_SHIFT_MINS.set(7);
        gf_enableControl(SetButton.controlId, true);
        command(SIM_TIME.controlId);
        EXPECT_EQ(SIM_TIME.value(), on);
        EXPECT_EQ(TIME_SHIFT_DAYS.value() + TIME_SHIFT_HOURS.value() + TIME_SHIFT_MINS.value(), 0);
        EXPECT_EQ(settingsSnapshot.load()->TIME_SHIFT_DAYS, 0);
        EXPECT_FALSE(enabled(SetButton.controlId));
        EXPECT_EQ(pendingStop(), "3/0");
    }
}

TEST_F(CommandHandlersTest, ParkedOnlyAsksForARefreshingReplanWhereParkedTrafficRuns) {
    for (const bool parkedTrafficRuns : {false, true}) {
        setUp = parkedTrafficRuns;
        command(RT_PARKTRAFFIC_ONLY.controlId);  // on
        const ParkingRequest request = g_parkingRequest;
        EXPECT_EQ(request.refreshRequested, true);
        EXPECT_EQ(request.requestId, parkedTrafficRuns ? 3 : 1);
        EXPECT_EQ(request.requestCount, parkedTrafficRuns ? 1u : 0u);
        EXPECT_EQ(status(), parkedTrafficRuns ? "TAVO will update static parking soon ... (plain)" : "");
        // The re-plan takes the parking group away until it is done.
        EXPECT_EQ(enabled(MAX_PARK_SEL.controlId), !parkedTrafficRuns);
        gf_enableControl(MAX_PARK_SEL.controlId, true);
        command(RT_PARKTRAFFIC_ONLY.controlId);  // off again
        EXPECT_FALSE(g_parkingRequest.refreshRequested);
    }
}

TEST_F(CommandHandlersTest, Buttons) {
    // Aircraft asks for the selector's refill; Flush for the removal of the statics.
    gf_enableControl(BlockButton.controlId, true);
    EXPECT_TRUE(command(AircraftButton.controlId));
    EXPECT_TRUE(g_aircraftListRefreshRequested.load());
    EXPECT_FALSE(enabled(BlockButton.controlId));
    gf_enableControl(FlushButton.controlId, true);
    EXPECT_TRUE(command(FlushButton.controlId));
    EXPECT_EQ(status(), "All static parked aircraft will be removed ... (plain)");
    EXPECT_TRUE(g_removeAllStaticsRequested.load());
    EXPECT_FALSE(enabled(FlushButton.controlId));
    EXPECT_TRUE(command(BlockButton.controlId));
    EXPECT_EQ(status(), "Nothing to block ...");

    // Park does nothing until parked traffic runs; then (RT App) asks for the
    // service's parked traffic again, announces the re-plan, shows the interval.
    l_parkedTrafficAsked = 0;
    gf_setRTAppReaderHooks(RTAppReaderHooks{nullptr, [] { ++l_parkedTrafficAsked; }});
    useRTApp(true);
    EXPECT_TRUE(command(ParkButton.controlId));
    EXPECT_EQ(g_parkingRequest.requestCount, 0u);
    setUp = true;
    command(ParkButton.controlId);
    EXPECT_EQ(l_parkedTrafficAsked, 1);
    EXPECT_EQ(g_parkingRequest.requestCount, 1u);
    EXPECT_EQ(g_pendingParkingInterval.load(), 20);
    EXPECT_EQ(gf_gui().parkingIntervalMinutes, 20);
    useRTApp(false);
    command(ParkButton.controlId);
    EXPECT_EQ(l_parkedTrafficAsked, 1);
    EXPECT_EQ(g_parkingRequest.requestCount, 2u);
    gf_setRTAppReaderHooks(RTAppReaderHooks{});

    // Tblo opens the archive's folder; a file manager that fails gives the
    // warning box, and the command counts as not handled.
    std::filesystem::create_directories("tblo");
    std::ofstream("tblo/tblo.zip") << "zip";
    for (const bool works : {true, false}) {
        fileManagerWorks = works;
        g_tbloPending.store(true);
        gf_enableControl(TbloButton.controlId, true);
        EXPECT_EQ(command(TbloButton.controlId), works);
        EXPECT_FALSE(g_tbloPending.load());
        EXPECT_FALSE(enabled(TbloButton.controlId));
    }
    EXPECT_EQ(opened, std::vector<std::string>(2, std::filesystem::absolute("tblo").string()));
    ASSERT_EQ(backend->messageBoxes().size(), 1u);
    const MessageBoxRecord box = backend->messageBoxes()[0];
    EXPECT_EQ(box.text + "|" + box.caption, "Could not open File Explorer at tblo.zip.|TAVO");
    EXPECT_EQ(box.icon, MessageBoxIcon::Warning);
}

TEST_F(CommandHandlersTest, ChoiceLists) {
    // The simulator: the same one does nothing, the other restarts after 3 s.
    gf_setComboItems(SIM_CHOICE.controlId, SIM_CHOICE.choices());
    EXPECT_TRUE(choose(SIM_CHOICE.controlId, 1));
    EXPECT_FALSE(g_userSwitchedSim.load());
    EXPECT_EQ(pendingStop(), "none");
    choose(SIM_CHOICE.controlId, 0);
    EXPECT_TRUE(g_userSwitchedSim.load());
    EXPECT_EQ(status(), "Switching MSFS version in TAVO");
    EXPECT_EQ(pendingStop(), "3/3");
    EXPECT_EQ(saves(), std::vector<std::string>{"SIM_CHOICE=MSFS 2020"});

    // The traffic source: a run waiting for the RT App is let go.
    gf_clearStopMailbox();
    useRTApp(true);
    RT_CHOISE.setValue("RT App");
    g_rtAppServer.listen("0");
    g_waitingForRTApp.store(true);
    gf_setComboItems(RT_CHOISE.controlId, RT_CHOISE.choices());
    choose(RT_CHOISE.controlId, 0);
    EXPECT_EQ(g_rtAppServer.listenPort(), 0);
    EXPECT_FALSE(enabled(RT_CHOISE.controlId));
    EXPECT_EQ(pendingStop(), "3/0");

    gf_setComboItems(QNH_UNIT.controlId, QNH_UNIT.choices());
    choose(QNH_UNIT.controlId, 1);
    EXPECT_TRUE(gf_gui().qnhInHg);
    gf_setComboItems(AI_PACKAGE_SELECTOR.controlId, {"AIG, FSLTL, JF, MTL", "AIG"});
    choose(AI_PACKAGE_SELECTOR.controlId, 1);
    EXPECT_EQ(status(), "If you want to make this choice effective, you must start a Scan for liveries");
    gf_setComboItems(ALL_AIR_GND_SELECTOR.controlId, ALL_AIR_GND_SELECTOR.choices());
    choose(ALL_AIR_GND_SELECTOR.controlId, 2);
    EXPECT_EQ(settingsSnapshot.load()->ALL_AIR_GND_SELECTOR, 2);

    // The selectors: their first entries change nothing.
    gf_enableControl(BlockButton.controlId, false);
    gf_setComboItems(AIRCRAFT_SELECTOR.controlId, {"select an aircraft", "AB1, REG, 3c6444, oid=2"});
    EXPECT_TRUE(choose(AIRCRAFT_SELECTOR.controlId, 0));
    EXPECT_EQ(AIRCRAFT_SELECTOR.value(), "");
    EXPECT_FALSE(enabled(BlockButton.controlId));
    choose(AIRCRAFT_SELECTOR.controlId, 1);
    EXPECT_EQ(AIRCRAFT_SELECTOR.value(), "AB1, REG, 3c6444, oid=2");
    EXPECT_TRUE(enabled(BlockButton.controlId));

    gf_setComboItems(STAND_SELECTOR.controlId, {"select a stand", "A1"});
    EXPECT_TRUE(choose(STAND_SELECTOR.controlId, 0));
    EXPECT_EQ(STAND_SELECTOR.value(), "");
    gf_makeCurrentParkAirport(IcaoCode("EDDF"), LaLo{50.03, 8.57});
    for (const char* destination : {"LOWI", "no code", "EDDF"}) {
        DESTINATION.setValue(destination);
        choose(STAND_SELECTOR.controlId, 1);
        EXPECT_EQ(status(), fmt::format("selected stand 'A1' at airport '{}'", destination));
        EXPECT_EQ(logHas(fmt::format("could not update stand A1 in airport {}\n", destination)),
                  std::string(destination) != "EDDF");
    }
    EXPECT_EQ(gf_findParkAirportUserStand(IcaoCode("EDDF")), "A1");
    EXPECT_EQ(STAND_SELECTOR.value(), "A1");
}

TEST_F(CommandHandlersTest, NumberListsSaveAndPublishTheEntryAndRaiseTheirRequests) {
    struct Row {
        NumericListOption* list;
        int index;
        std::int32_t value;
        std::atomic<bool>* request;
    };
    const Row rows[] = {
        {&MATCHING_DEPTH, 5, 6, &g_forgetFailedLiveriesRequested}, {&MATCHING_DEPTH, 1, 2, nullptr},
        {&TCAS_FL, 12, 440, nullptr},
        {&parking_percentage, 20, 100, &g_parkingPercentageChanged},
        {&HOLDING_THRESHOLD_METERS, 0, 10, nullptr},   {&MAX_HOLDING_MINUTES, 59, 60, nullptr},
        {&AIRP_RANGE, 1, 10, nullptr},                 {&AIRP_HEIGHT, 10, 48000, nullptr},
        {&PARKING_INTERVAL_MINUTES, 9, 1440, nullptr}, {&MAX_PARK_SEL, 1, 5, &g_parkingPercentageChanged},
        {&MAX_LIVE_SEL, 12, 100, &g_liveMaximumChanged},
        {&TIME_SHIFT_HOURS, 5, 5, nullptr},
    };
    for (const Row& row : rows) {
        row.list->fillCombo();
        saves().clear();
        EXPECT_TRUE(choose(row.list->controlId, row.index));
        EXPECT_EQ(saves(), std::vector<std::string>{fmt::format("{}={}", row.list->name, row.value)});
        if (row.request) EXPECT_TRUE(row.request->exchange(false)) << row.list->name;
    }
    EXPECT_FALSE(g_forgetFailedLiveriesRequested.load());  // a lower depth forgets nothing
    const auto settings = settingsSnapshot.load();
    EXPECT_EQ(fmt::format("{} {} {} {} {}", settings->TCAS_FL, settings->parking_percentage,
                          settings->MAX_LIVE_SEL, settings->TIME_SHIFT_HOURS, gf_gui().parkingIntervalMinutes),
              "440 100 100 5 1440");
    EXPECT_TRUE(enabled(SetButton.controlId));

    // The range the user chooses is the range in force and the one to go back to.
    RANGE.fillCombo();
    choose(RANGE.controlId, 3);
    EXPECT_EQ(fmt::format("{} {} {}", RANGE.value(), settingsSnapshot.load()->MANUAL_RANGE,
                          settingsSnapshot.load()->RANGE),
              "5 5 5");
    // Hours of MAX_FIT_FL are stored as their index.
    gf_setComboItems(MAX_FIT_FL.controlId, std::vector<std::string>(48, "x"));
    choose(MAX_FIT_FL.controlId, 3);
    EXPECT_EQ(saves().back(), "MAX_FIT=3");
    EXPECT_EQ(settingsSnapshot.load()->MAX_FIT, 3);
}

TEST_F(CommandHandlersTest, AnIndexOutsideTheListIsLoggedAndNotHandled) {
    gf_setComboItems(MATCHING_DEPTH.controlId, {"1", "2", "3", "4", "5", "6", "7", "8"});
    EXPECT_FALSE(choose(MATCHING_DEPTH.controlId, 7));
    EXPECT_TRUE(logHas("lf_HandleWMCOMMAND exception configuration option index is out of range\n"));
    EXPECT_EQ(MATCHING_DEPTH.value(), 4);
    // Only a selection change of an existing entry counts.
    gf_setComboSelection(MATCHING_DEPTH.controlId, 2);
    EXPECT_FALSE(command(MATCHING_DEPTH.controlId, 9));
    gf_setComboSelection(MATCHING_DEPTH.controlId, -1);
    EXPECT_FALSE(command(MATCHING_DEPTH.controlId, CBN_SELCHANGE));
    EXPECT_TRUE(saves().empty());
}

}  // namespace
}  // namespace tavo::test
