// Whole runs of the main thread: start to the main loop, the close button,
// restarts after their countdowns, the start-up's own ends, and the faults of
// the flight-plan folder and a stored destination.

#include <fmt/format.h>

#include "airports/destination_services.h"
#include "feed/credential.h"
#include "main_thread_fixture.h"

namespace tavo::test {
namespace {

// The main loop enables the Aircraft button (disabled at every run's start).
bool inMainLoop() { return gf_isControlEnabled(AircraftButton.controlId).value_or(false); }

// The stored destination is no airport code (an older version, a hand-edited
// file): it is forgotten, and the run goes on.
TEST_F(MainThreadTest, ARunReachesTheMainLoopAndTheCloseButtonClosesDownInOrder) {
    const std::uint16_t port = freeTcpPort();
    writeParameters({{"PSX_SERVER_HERE", "true"},
                     {"PORT_NUMBER", std::to_string(port)},
                     {"DESTINATION", "ED-F"},
                     {"BLOCK_AIRCRAFT", "DLH4, D-AIBA, 3c4b26, oid=7"},
                     {"BLOCK_CALLSIGN", "DLH4"},
                     {"BLOCK_REGCODE", "D-AIBA"},
                     {"BLOCK_HEXIDDEC", "3951398"}});
    startSimulator();
    startPeer(port);
    const int code = runProgram([&] {
        if (loopsEntered() == 1 && inMainLoop() && !closed) {
            // An aircraft the liveries could not serve, for the last list.
            gf_addNoMatch("B738 DLH D-AIBA");
            closeOnce();
        }
    });
    EXPECT_EQ(code, 0);
    const std::string log = readText("Log.txt");
    EXPECT_TRUE(peer->waitForLine("Qs999=version", 0ms)) << "the RealTraffic application was linked";
    EXPECT_TRUE(inOrder(log, {"==> The stored destination is no airport code ('ED-F' IcaoCode: invalid string), it is "
                              "cleared",
                              "User aircraft on the ground at EDDF", "The park airport is EDDF",
                              "Exiting: USER CLOSED SIM", "Shutdown cleanup: waiting for SimClient",
                              "Shutdown cleanup: SimClient stopped", "Shutdown cleanup: stopping readers",
                              "Shutdown cleanup: waiting for weather reader", "Shutdown cleanup: weather reader stopped",
                              "Shutdown cleanup: waiting for traffic reader", "Shutdown cleanup: traffic reader stopped",
                              "Shutdown cleanup: closing RT App server", "Shutdown cleanup: RT App server closed",
                              "No match found for:", "Shutdown cleanup completed; posting MSG_EXIT"}))
        << log;
    EXPECT_EQ(callsOf({"statics dropped", "remove at airport", "parked traffic reset", "park airports written",
                       "no-match list", "no-match cleared"}),
              (std::vector<std::string>{"statics dropped", "remove at airport", "parked traffic reset",
                                        "park airports written", "no-match list", "no-match cleared"}));
    EXPECT_FALSE(gf_currentAirport().has_value()) << "the park airport of the run is gone";
    for (const char* key : {"DESTINATION", "BLOCK_AIRCRAFT", "BLOCK_CALLSIGN", "BLOCK_REGCODE"}) {
        EXPECT_EQ(storedValue(key), "") << key;
    }
    EXPECT_EQ(storedValue("BLOCK_HEXIDDEC"), "0");
    EXPECT_NE(storedValue("MAIN_WINDOW_X"), "<none>") << "MSG_EXIT saved the window's place";
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_EXIT), 1u);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 1u);
}

// A run that cannot start shows why and ends the program after 25 s, or at
// once when the window is closed meanwhile: started outside the installation
// folder (no docs/), or with a flight-plan folder that cannot be made (the
// run used to end silently, exit code 0 and the window gone).
struct ErrorRow {
    const char* name;
    bool noDocs;
    bool closeEarly;
    friend void PrintTo(const ErrorRow& row, std::ostream* os) { *os << row.name; }
};

class StartError : public MainThreadTest, public ::testing::WithParamInterface<ErrorRow> {};

TEST_P(StartError, TheErrorStandsUntilTheWaitEndsOrTheWindowCloses) {
    const ErrorRow& row = GetParam();
    writeParameters();
    startSimulator();
    if (row.noDocs) std::filesystem::remove_all(dir() / "docs");
    if (!row.noDocs) std::ofstream(dir() / "orig_dest") << "a file where the folder belongs";
    // The user closes the window while the error's wait is under way: its
    // first step lasts until the window is closed. (Closing any earlier would
    // end the run before the wait or as the user's close, not the error's.)
    std::atomic<bool> waiting{false};
    if (row.closeEarly) {
        duringSleep = [&waiting](std::chrono::milliseconds d) {
            if (d != 100ms) return;
            waiting.store(true);
            eventually([] { return g_exiting.load(); }, 5000ms);
        };
    }
    EXPECT_EQ(runProgram([&] {
                  if (waiting.load() && !gf_gui().errorText.empty()) closeOnce();
              }),
              0);
    EXPECT_EQ(gf_gui().errorText,
              row.noDocs ? "41: TAVO must be run from the TAVO folder!"
                         : fmt::format("The flight plan folder '{}' cannot be used", gf_pathToUtf8(dir() / "orig_dest")));
    EXPECT_NE(readText("Log.txt").find("Exiting: SYSTEM ERROR"), std::string::npos);
    EXPECT_EQ(sleepsOf(100ms), row.closeEarly ? 1 : 250) << "25 s in 100 ms steps";
    EXPECT_FALSE(g_simClientThread.joinable()) << "no simulator was waited for";
}

INSTANTIATE_TEST_SUITE_P(Rows, StartError,
                         ::testing::Values(ErrorRow{"NoDocs", true, false}, ErrorRow{"NoDocsClosed", true, true},
                                           ErrorRow{"FlightPlanFolder", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A start that stops on a choice of the user (a traffic source without a
// licence, a simulator without an install path, liveries of AI packages that
// are not installed) waits with its error; the other choice made in the
// window meanwhile ends the wait at once, and the program starts again with
// it instead of ending.
struct WaitChoiceRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    std::string error;  // the start of the error line
    const char* exiting;
    ControlId control;
    std::string chosen;  // the list's entry chosen; empty: the box is clicked
    const char* key;
    const char* stored;
    friend void PrintTo(const WaitChoiceRow& row, std::ostream* os) { *os << row.name; }
};

class ChoiceInTheErrorWait : public MainThreadTest, public ::testing::WithParamInterface<WaitChoiceRow> {
protected:
    static constexpr std::string_view kInstalledPackages = "AIG, FSLTL, JF, MTL";
    // Only the packages of one kind are installed: an automatic scan of
    // another finds nothing, as the real scan of an empty Community folder.
    void installPackagesOfOneKind() {
        NeighbourServices s = *gf_neighbourServices();
        s.scanLiveries = [this] {
            note("liveries scan");
            if (LIG_AUTOMATIC.value() && AI_PACKAGE_SELECTOR.value() != kInstalledPackages)
                throw tavo::UserRelatedException(148, "Automatic scan has not found any AI packages, choose a "
                                                      "different selection, or de-select automatic");
        };
        gf_setNeighbourServices(std::move(s));
    }
};

TEST_P(ChoiceInTheErrorWait, EndsTheWaitAtOnceAndStartsAgainWithTheChoice) {
    const WaitChoiceRow& row = GetParam();
    writeParameters(row.settings);
    installPackagesOfOneKind();
    startSimulator();
    std::atomic<bool> waiting{false};
    std::atomic<bool> chosen{false};
    std::atomic<int> errorWaits{0};
    duringSleep = [&](std::chrono::milliseconds d) {
        // The error's wait: its first step lasts until the user chose.
        if (d != 100ms || g_simClientThread.joinable() || ++errorWaits != 1) return;
        waiting.store(true);
        eventually([&] { return chosen.load(); }, 5000ms);
    };
    std::string errorSeen;
    EXPECT_EQ(runProgram([&] {
                  // The user acts on the error once the window shows it.
                  if (waiting.load() && !chosen.load() && !gf_gui().errorText.empty()) {
                      errorSeen = gf_gui().errorText;
                      if (row.chosen.empty()) {
                          backend->clickControl(row.control);
                      } else {
                          const auto items = gf_comboItems(row.control).value_or(std::vector<std::string>{});
                          const auto at = std::find(items.begin(), items.end(), row.chosen);
                          if (at != items.end()) backend->chooseComboItem(row.control, static_cast<int>(at - items.begin()));
                      }
                      chosen.store(true);
                  }
                  if (loopsEntered() == 1 && inMainLoop()) closeOnce();
              }),
              0);
    EXPECT_TRUE(errorSeen.starts_with(row.error)) << errorSeen;
    EXPECT_EQ(storedValue(row.key), row.stored);
    EXPECT_EQ(errorWaits.load(), 1) << "the wait ended with the choice, not 25 s later";
    EXPECT_EQ(loopsEntered(), 1) << "the start with the other choice reached the main loop";
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 2u);
    EXPECT_TRUE(inOrder(readText("Log0.txt"), {row.exiting, "Restart cleanup completed; posting MSG_START"}));
    EXPECT_TRUE(inOrder(readText("Log.txt"), {"Exiting: USER CLOSED SIM", "posting MSG_EXIT"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ChoiceInTheErrorWait,
    ::testing::Values(WaitChoiceRow{"SourceAfterTheLicenceEntryWasCancelled",
                                    {{"RT_CHOISE", "RT Direct"}},
                                    "899: No valid RT license",
                                    "Exiting: SYSTEM ERROR",
                                    RT_CHOISE.controlId,
                                    "RT App",
                                    "RT_CHOISE",
                                    "RT App"},
                      WaitChoiceRow{"SimulatorAfterThePickerWasCancelled",
                                    {{"SIM_CHOICE", "MSFS 2024"}},
                                    "TAVO cannot find the MSFS2024 install path",
                                    "Exiting: INSTALL PATH MISSING",
                                    SIM_CHOICE.controlId,
                                    "MSFS 2020",
                                    "SIM_CHOICE",
                                    "MSFS 2020"},
                      WaitChoiceRow{"AutomaticLiveriesTurnedOff",
                                    {{"LIG_AUTOMATIC", "true"}, {"AI_PACKAGE_SELECTOR", "MTL, JF, FSLTL, AIG"}},
                                    "148: Automatic scan has not found any AI packages",
                                    "Exiting: SYSTEM ERROR",
                                    LIG_AUTOMATIC.controlId,
                                    "",
                                    "LIG_AUTOMATIC",
                                    "false"},
                      WaitChoiceRow{"TheInstalledAIPackagesChosen",
                                    {{"LIG_AUTOMATIC", "true"}, {"AI_PACKAGE_SELECTOR", "MTL, JF, FSLTL, AIG"}},
                                    "148: Automatic scan has not found any AI packages",
                                    "Exiting: SYSTEM ERROR",
                                    AI_PACKAGE_SELECTOR.controlId,
                                    "AIG, FSLTL, JF, MTL",
                                    "AI_PACKAGE_SELECTOR",
                                    "AIG, FSLTL, JF, MTL"}),
    [](const auto& info) { return std::string(info.param.name); });

// A parameters.xml that cannot be read is kept aside and the settings start
// from their defaults. The start-up's own status lines replace each other
// before anyone could read such a line: the run's start-up tells the user in
// a box before it goes on, once (the run started again after the user chose
// another traffic source does not tell it again).
TEST_F(MainThreadTest, SettingsResetToTheirDefaultsAreToldInABoxOnceBeforeTheRunGoesOn) {
    std::filesystem::create_directories(programDataFolder());
    std::ofstream(parametersFilePath()) << "<root><parameters><parameter name=\"SIM_CHOICE\" value=\"MSF";
    // As the start-up reads it before the window opens.
    gf_readWindowPosition();
    const std::filesystem::path kept = parametersFilePath().parent_path() / "parameters0.xml";
    ASSERT_TRUE(std::filesystem::exists(kept));
    const std::string notice = "The settings could not be read and were reset to their defaults; the old file is "
                               "kept as '" + gf_pathToUtf8(kept) + "'";
    // The default source, the web API, stops the first run without a
    // licence; the user chooses the RealTraffic application while it waits.
    std::atomic<bool> waiting{false};
    std::atomic<bool> chosen{false};
    duringSleep = [&](std::chrono::milliseconds d) {
        if (d != 100ms || g_simClientThread.joinable() || waiting.exchange(true)) return;
        eventually([&] { return chosen.load(); }, 5000ms);
    };
    std::size_t boxesBeforeTheError = 0;
    EXPECT_EQ(runProgram([&] {
                  if (!waiting.load() || chosen.load()) return;
                  boxesBeforeTheError = backend->messageBoxes().size();
                  backend->chooseComboItem(RT_CHOISE.controlId, 1);  // "RT App"
                  chosen.store(true);
              }),
              0);
    const std::vector<MessageBoxRecord> boxes = backend->messageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxesBeforeTheError, 1u) << "the first run told it before its error";
    EXPECT_EQ(boxes.front().text, notice);
    EXPECT_EQ(boxes.front().caption, "TAVO");
    EXPECT_EQ(boxes.front().icon, MessageBoxIcon::Warning);
    EXPECT_EQ(boxes.front().owner, window);
    EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(), [&](const MessageBoxRecord& b) { return b.text == notice; }), 1);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 2u) << "a second run started";
    EXPECT_TRUE(inOrder(readText("Log0.txt"), {notice + "\n", "Exiting: SYSTEM ERROR", "posting MSG_START"}));
}

// A choice made in an earlier run restarted that run; it does not turn a
// later run's error into a restart (which would repeat at every start).
TEST_F(MainThreadTest, AChoiceOfAnEarlierRunLetsALaterErrorEndTheProgram) {
    writeParameters();
    startSimulator();
    std::atomic<int> errorWaits{0};
    duringSleep = [&](std::chrono::milliseconds d) {
        if (d == 100ms && !g_simClientThread.joinable()) ++errorWaits;
    };
    bool switched = false;
    EXPECT_EQ(runProgram([&] {
                  if (!switched && loopsEntered() == 1 && inMainLoop()) {
                      switched = true;
                      backend->chooseComboItem(RT_CHOISE.controlId, 0);  // "RT Direct", without a licence
                  }
              }),
              0);
    EXPECT_TRUE(switched);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 2u);
    EXPECT_EQ(errorWaits.load(), 250) << "the error's whole wait";
    EXPECT_TRUE(inOrder(readText("Log.txt"), {"Exiting: SYSTEM ERROR", "Shutdown cleanup completed; posting MSG_EXIT"}));
}

// Closing down forgets the destination; the next run's window shows that,
// not the field and the stands of the run before.
TEST_F(MainThreadTest, AfterARestartTheWindowShowsNoDestinationAndNoStands) {
    writeParameters({{"DESTINATION", "EDDF"}});
    startSimulator();
    gf_setDestinationServices(DestinationServices{
        [](const IcaoCode&) -> ApfStandNames { return std::vector<std::string>{"A1", "B2"}; },
        [](const IcaoCode&) -> std::optional<std::string> { return std::nullopt; },
        [](const IcaoCode&, const LaLo&) {}});
    std::optional<std::string> fieldBefore;
    std::optional<std::string> fieldAfter;
    std::vector<std::string> standsAfter{"<not seen>"};
    bool standsEnabledAfter = true;
    EXPECT_EQ(runProgram([&] {
                  if (!inMainLoop()) return;
                  if (loopsEntered() == 1 && !fieldBefore) {
                      fieldBefore = gf_controlText(DESTINATION.controlId);
                      requestStop(StopReason::NewSettings, 0);
                  }
                  if (loopsEntered() == 2 && !closed) {
                      fieldAfter = gf_controlText(DESTINATION.controlId);
                      standsAfter = gf_comboItems(STAND_SELECTOR.controlId).value_or(std::vector<std::string>{});
                      standsEnabledAfter = enabled(STAND_SELECTOR.controlId);
                      closeOnce();
                  }
              }),
              0);
    gf_setDestinationServices(std::nullopt);
    EXPECT_EQ(fieldBefore, "EDDF");
    EXPECT_EQ(fieldAfter, "");
    EXPECT_EQ(standsAfter, std::vector<std::string>{""});
    EXPECT_FALSE(standsEnabledAfter);
}

// At the program's end the time shift goes back to none with the web API,
// unless the user keeps the simulator's time; the RT App keeps it anyway.
// (The runs stop early: without a licence, or without an install path.)
struct TimeShiftEndRow {
    const char* name;
    const char* source;
    const char* keep;
    const char* hoursAfter;
    friend void PrintTo(const TimeShiftEndRow& row, std::ostream* os) { *os << row.name; }
};

class TimeShiftAtTheEnd : public MainThreadTest, public ::testing::WithParamInterface<TimeShiftEndRow> {};

TEST_P(TimeShiftAtTheEnd, GoesBackToNoneUnlessKept) {
    const TimeShiftEndRow& row = GetParam();
    writeParameters(
        {{"RT_CHOISE", row.source}, {"KEEP_SIM_TIME_PAR", row.keep}, {"TIME_SHIFT_HOURS", "2"}, {"MSFS_INSTALL_PATH", ""}});
    EXPECT_EQ(runProgram(), 0);
    EXPECT_NE(readText("Log.txt").find("Shutdown cleanup completed; posting MSG_EXIT"), std::string::npos);
    EXPECT_EQ(storedValue("TIME_SHIFT_HOURS"), row.hoursAfter);
}

INSTANTIATE_TEST_SUITE_P(Rows, TimeShiftAtTheEnd,
                         ::testing::Values(TimeShiftEndRow{"WebApi", "RT Direct", "false", "0"},
                                           TimeShiftEndRow{"WebApiKept", "RT Direct", "true", "2"},
                                           TimeShiftEndRow{"RTApp", "RT App", "false", "2"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The user closes the window while the restart's phases run: the program
// ends there instead of starting the next run.
TEST_F(MainThreadTest, ACloseDuringTheRestartPhasesEndsTheProgram) {
    writeParameters();
    startSimulator();
    NeighbourServices s = *gf_neighbourServices();
    s.resetTrafficEngine = [] {
        requestStop(StopReason::UserClosedSim, 0);
        gf_resetTrafficEngine();
    };
    gf_setNeighbourServices(std::move(s));
    bool requested = false;
    EXPECT_EQ(runProgram([&] {
                  if (!requested && loopsEntered() == 1 && inMainLoop()) {
                      requested = true;
                      requestStop(StopReason::NewSettings, 0);
                  }
              }),
              0);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 1u) << "no next run";
    EXPECT_TRUE(inOrder(readText("Log.txt"), {"Exiting: NEW SETTINGS", "Restart phase: reinitializing traffic state",
                                              "Shutdown cleanup completed; posting MSG_EXIT"}));
}

TEST_F(MainThreadTest, AnExceptionInClosingDownIsReportedAndStillEndsWithExit) {
    writeParameters();
    startSimulator();
    onResetParkedTraffic = [] { throw std::runtime_error("planner gone"); };
    EXPECT_EQ(runProgram([&] {
                  if (loopsEntered() == 1 && inMainLoop()) requestStop(StopReason::NewSettings, 0);
              }),
              0);
    const std::string log = readText("Log.txt");
    EXPECT_NE(log.find("==> lf_closingDown exception: planner gone"), std::string::npos);
    EXPECT_NE(log.find("Shutdown cleanup completed; posting MSG_EXIT"), std::string::npos);
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 1u) << "no restart after the failure";
    EXPECT_FALSE(g_restartUnderWay.load());
}

// A change of the traffic source restarts at once: the five phases, a new
// Log.txt, no second update check or data-file read, and the web API's
// cooldown holds the next start.
TEST_F(MainThreadTest, NewSettingsRestartsAtOnceWithoutUpdateCheckOrDataFilesAndHoldsForTheCooldown) {
    writeParameters();
    std::ofstream(rtLicenseFile) << R"({"License":"ABCD-1234"})";
    startSimulator();
    duringSleep = [](std::chrono::milliseconds d) {
        // The cooldown's wait lasts until the window is closed.
        if (d <= 100ms && gf_rtApiCooldownDeadline() && isRTDirect() && g_simState.load() == SIM_RUNNING &&
            g_userInfoFlags.load() == 3)
            eventually([] { return g_exiting.load(); }, 5000ms);
    };
    bool switched = false;
    const std::int64_t before = gf_systemSeconds();
    EXPECT_EQ(runProgram([&] {
                  if (!switched && loopsEntered() == 1 && inMainLoop()) {
                      switched = true;
                      backend->chooseComboItem(RT_CHOISE.controlId, 0);  // "RT Direct"
                  }
                  if (gf_gui().statusLine.starts_with("Holding for ")) closeOnce();
              }),
              0);
    const std::string first = readText("Log0.txt");
    const std::string second = readText("Log.txt");
    EXPECT_TRUE(inOrder(first, {"Exiting: NEW SETTINGS", "Restart phase: reinitializing SimConnect state",
                                "Restart phase: reinitializing traffic state",
                                "Restart phase: reinitializing GUI state", "Restart phase: reinitializing main state",
                                "Restart phase: state reinitialization completed",
                                "Restart cleanup completed; posting MSG_START"}))
        << first;
    EXPECT_TRUE(countdownLines().empty());
    EXPECT_EQ(second.find("Exiting: NEW SETTINGS"), std::string::npos) << "the second run writes a new Log.txt";
    EXPECT_NE(second.find("(RT API cooldown)"), std::string::npos) << second;
    EXPECT_EQ(gf_countMessages(backend->postedMessages(), MSG_START), 2u);
    EXPECT_EQ(server.requestCount("/downloads/versions.json"), 1u);
    EXPECT_EQ(dbaseReads.load(), 1);
    const std::int64_t saved = std::stoll(storedValue("LAST_EPOCH_TIME:"));
    EXPECT_GE(saved, before);
    EXPECT_LE(saved, gf_systemSeconds());
}

struct CountdownRow {
    const char* name;
    StopReason reason;
    std::uint32_t countdown;
    enum { none, unblock, close } action;
    std::vector<std::string> lines;  // the countdown lines the window showed
    bool restarted;
    friend void PrintTo(const CountdownRow& row, std::ostream* os) { *os << row.name; }
};

class RestartCountdown : public MainThreadTest, public ::testing::WithParamInterface<CountdownRow> {};

TEST_P(RestartCountdown, CountsDownOnTheStatusLineAndRestartsOrEnds) {
    const CountdownRow& row = GetParam();
    writeParameters();
    startSimulator();
    bool requested = false;
    bool unblockEnabled = false;
    onCountdownLine = [&](const std::string&) {
        unblockEnabled = gf_isControlEnabled(UnblockButton.controlId).value_or(false);
        if (row.action == CountdownRow::unblock) backend->clickControl(UnblockButton.controlId);
        if (row.action == CountdownRow::close) closeOnce();
        onCountdownLine = {};
    };
    EXPECT_EQ(runProgram([&] {
                  if (!requested && loopsEntered() == 1 && inMainLoop()) {
                      requested = true;
                      requestStop(row.reason, row.countdown);
                  }
                  if (loopsEntered() == 2 && inMainLoop()) closeOnce();
              }),
              0);
    EXPECT_EQ(countdownLines(), row.lines);
    EXPECT_EQ(unblockEnabled, row.countdown > 15) << "Unblock is offered on long countdowns only";
    EXPECT_EQ(sleepsOf(1000ms), static_cast<int>(row.lines.size()));
    EXPECT_EQ(loopsEntered(), row.restarted ? 2 : 1);
    const std::string first = readText(row.restarted ? "Log0.txt" : "Log.txt");
    EXPECT_EQ(first.find("Restart phase:") != std::string::npos, row.restarted);
    EXPECT_EQ(first.find("Restart countdown finished") != std::string::npos, row.action == CountdownRow::none);
}

std::vector<std::string> countdownFrom(int seconds, std::string_view hint) {
    std::vector<std::string> lines;
    for (int s = seconds; s >= 1; --s) lines.push_back(fmt::format("Restarting after {} second{}{}", s, s == 1 ? "" : "s", hint));
    return lines;
}

constexpr std::string_view kHint = "              ( or push Unblock to re-start )";

INSTANTIATE_TEST_SUITE_P(
    Reasons, RestartCountdown,
    ::testing::Values(CountdownRow{"SimConnectError", StopReason::SimConnectError, 9, CountdownRow::none,
                                   countdownFrom(9, ""), true},
                      CountdownRow{"NewFlightUnblocked", StopReason::NewFlight, 60, CountdownRow::unblock,
                                   {fmt::format("Restarting after 60 seconds{}", kHint)}, true},
                      CountdownRow{"ClosedDuringCountdown", StopReason::ReaderError, 15, CountdownRow::close,
                                   {"Restarting after 15 seconds"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavo::test

namespace tavo::test {
namespace {

struct StartUpRow {
    const char* name;
    std::string installPath;       // below the test folder
    bool scannedFileThere;
    std::string expectedInstallPath;
    std::size_t scans;
    friend void PrintTo(const StartUpRow& row, std::ostream* os) { *os << row.name; }
};

class StartUpRuns : public MainThreadTest, public ::testing::WithParamInterface<StartUpRow> {};

// The start-up's install path and the liveries step; the run is closed once
// the livery tables are built.
TEST_P(StartUpRuns, TheInstallPathAndTheLiveriesScanFollowTheSettings) {
    const StartUpRow& row = GetParam();
    writeParameters({{"MSFS_INSTALL_PATH", (dir() / row.installPath).string()}, {"SKIP_LIVERIES_SCAN", "true"}});
    if (row.scannedFileThere) {
        std::filesystem::create_directories(dir() / "output");
        std::ofstream(dir() / "output" / "LiveriesScanned_MSFS2020.xml") << "<root/>";
    }
    EXPECT_EQ(runProgram([&] {
                  if (callCount("livery tables") == 1) closeOnce();
              }),
              0);
    EXPECT_EQ(storedValue("MSFS_INSTALL_PATH"), (dir() / row.expectedInstallPath).string());
    EXPECT_EQ(callCount("liveries scan"), row.scans);
    EXPECT_EQ(callCount("livery tables"), 1u);
    EXPECT_TRUE(gf_isControlEnabled(LIG_AUTOMATIC.controlId).value_or(false)) << "the scan controls are back";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartUpRuns,
    ::testing::Values(StartUpRow{"CommunityFolderAndNoScannedFile", "packages/Community", false, "packages", 1},
                      StartUpRow{"TrailingSeparatorKeptAndScanSkipped", "packages/Community/", true,
                                 "packages/Community/", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainThreadTest, NoInstallPathAndACancelledPickerEndTheProgram) {
    writeParameters({{"MSFS_INSTALL_PATH", ""}});
    EXPECT_EQ(runProgram(), 0);
    const auto boxes = backend->messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "TAVO cannot find the MSFS install path.\n\nPlease select the MSFS Community folder.");
    EXPECT_EQ(boxes[0].caption, "TAVO");
    EXPECT_EQ(boxes[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(backend->folderPickerCalls().size(), 1u);
    const std::string log = readText("Log.txt");
    // The status line reaches Log.txt when the window drains it, which may be
    // after the main thread went on closing down.
    EXPECT_NE(log.find("TAVO cannot find the MSFS install path, please select the MSFS Community folder"),
              std::string::npos)
        << log;
    EXPECT_TRUE(inOrder(log, {"Exiting: INSTALL PATH MISSING", "Shutdown cleanup completed; posting MSG_EXIT"})) << log;
    EXPECT_EQ(gf_gui().errorText, "TAVO cannot find the MSFS install path: no MSFS Community folder was selected");
}

// "--production": the data files and the airports list are read, the job is
// logged, no simulator is contacted, and the exit code says whether it
// worked.
class ProductionRun : public MainThreadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ProductionRun, ReadsTheDataFilesAndEndsWithTheJobsExitCode) {
    const bool dataFilesRead = GetParam();
    writeParameters();
    startSimulator();
    g_production.store(true);
    NeighbourServices s = *gf_neighbourServices();
    s.readDbase = [this, dataFilesRead] {
        ++dbaseReads;
        return dataFilesRead;
    };
    gf_setNeighbourServices(std::move(s));
    EXPECT_EQ(runProgram(), dataFilesRead ? 0 : 1);
    EXPECT_EQ(dbaseReads.load(), 1);
    const std::string log = readText("Log.txt");
    EXPECT_EQ(log.find("Command line job:\nproduction\n") != std::string::npos, dataFilesRead) << log;
    EXPECT_EQ(callCount("airports list"), dataFilesRead ? 1u : 0u);
    EXPECT_TRUE(inOrder(log, {dataFilesRead ? "Exiting: NOT YET SET" : "Exiting: SYSTEM ERROR",
                              "Shutdown cleanup completed; posting MSG_EXIT"}));
    EXPECT_EQ(log.find("Shutdown cleanup: stopping readers"), std::string::npos) << "nothing to clean up";
    EXPECT_EQ(callCount("engine set-up"), 0u);
    EXPECT_FALSE(gf_simModelConnection("TAVO").found) << "no simulator contacted";
}

INSTANTIATE_TEST_SUITE_P(DataFiles, ProductionRun, ::testing::Bool());

}  // namespace
}  // namespace tavo::test
