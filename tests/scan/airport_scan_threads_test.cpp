// The airport scan runs on a start thread while the GUI thread pumps the
// window: the file counts reach the window while the scan still walks, and
// the final counts and the send button once it is done.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "../settings/parameters_file_test_support.h"
#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "platform/os/os.h"
#include "scan/airport_generation.h"
#include "scan/airport_scan.h"
#include "scan/publishers.h"
#include "scan/scan_log.h"
#include "scan/tblo_archive.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "support/scenery_tree.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the flag, at most a generous bound (a stuck thread fails the
// test instead of hanging it).
bool waitFor(const std::atomic<bool>& flag) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!flag.load()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

class AirportScanThreads : public tavo::test::ParametersFileTest {
protected:
    void TearDown() override {
        gf_osSetFaultHook({});
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        gf_clearPublisherData();
        g_airportScanLog.clear();
        g_tbloPending.store(false);
        gf_gui().reset();
        ParametersFileTest::TearDown();
    }
};

TEST_F(AirportScanThreads, CountsReachThePumpedWindowWhileTheScanWalks) {
    const tavo::test::SceneryTree tree = tavo::test::makeSceneryTree(dir() / "scenery", {false, 2, 3});
    tree.writeDataFiles(dir());
    gf_unloadAirportsForTests();
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{1, 0}));
    MSFS_INSTALL_PATH.setValue(tree.installPath);
    gf_clearStopMailbox();
    gf_gui().thirdpartyCount = 0;

    std::atomic<bool> windowReady{false}, countShown{false}, done{false}, finalShown{false};
    std::atomic<std::uint64_t> expectedFinal{~0ull};
    std::thread gui([&] {
        gf_gui().attachGuiThread();
        MainWindowSpec setup;
        setup.title = "TAVO";
        setup.width = 900;
        setup.height = 768;
        setup.proc = [](WindowHandle w, std::uint32_t msg, std::uint64_t wp, std::int64_t lp) -> std::int64_t {
            if (msg == MSG_GUI_UPDATE) {
                gf_gui().drain();
                return 0;
            }
            return gf_defaultWindowProc(w, msg, wp, lp);
        };
        const WindowHandle window = gf_createMainWindow(setup);
        for (const ControlId id : {SKIP_AIRPORT_SCAN.controlId, TbloButton.controlId}) {
            ControlSpec control;
            control.id = id;
            control.kind = ControlKind::Button;
            gf_createControl(window, control);
        }
        gf_gui().attachWindow(window);
        windowReady.store(true);
        while (!done.load()) {
            backend->waitAndPump(std::chrono::milliseconds(5));
            const Gui& state = gf_gui();
            if (state.thirdpartyCount >= 1) countShown.store(true);
            if (state.thirdpartyCount == expectedFinal.load() && state.statusLine.find("tblo.zip") != std::string::npos)
                finalShown.store(true);
        }
        gf_gui().close();
        gf_gui().window.store(WindowHandle::None);
        backend->destroyWindow(window);
    });
    ASSERT_TRUE(waitFor(windowReady));

    // The scan holds in its walk, after the first thirdparty airport was
    // written, until the window shows a count: a count that waited for the
    // end of the scan never gets it past this.
    std::atomic<bool> shownDuringWalk{false}, onGuiThread{false};
    gf_osSetFaultHook([&](OsOperation op, const fs::path& from, const fs::path&) {
        if (op == OsOperation::listFolder && from.filename() == "otherdev-egkk") {
            onGuiThread.store(gf_gui().isGuiThread());
            shownDuringWalk.store(waitFor(countShown));
        }
        return std::error_code();
    });
    std::thread start([] { gf_scanAirports(); });
    start.join();
    expectedFinal.store(gf_countAirportFiles(myThirdpartyDir));
    const bool finalCounts = waitFor(finalShown);
    const auto sendEnabled = gf_isControlEnabled(TbloButton.controlId);
    done.store(true);
    gui.join();

    EXPECT_FALSE(onGuiThread.load());
    EXPECT_TRUE(shownDuringWalk.load());
    EXPECT_TRUE(finalCounts);
    EXPECT_EQ(expectedFinal.load(), tree.expectedFiles(false).size() - 3) << "three files are my_simaddon's";
    EXPECT_EQ(sendEnabled, true);
    gf_gui().attachGuiThread();  // reopens the queue the GUI thread closed
}

}  // namespace
