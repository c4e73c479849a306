// The liveries scan runs on the main thread while the GUI thread pumps the
// window: the status line reaches the window while the scan still walks, the
// livery count once the search is done.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "../settings/parameters_file_test_support.h"
#include "foundation/files.h"
#include "liveries/liveries_scan.h"
#include "liveries/scanned_liveries.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "support/aircraft_cfg_builder.h"
#include "support/dbase_builder.h"

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

class LiveriesScanThreads : public tavo::test::ParametersFileTest {
protected:
    void TearDown() override {
        gf_setLiveriesScanRootHookForTest({});
        scannedLiveries.clear();
        gf_gui().reset();
        ParametersFileTest::TearDown();
    }
};

TEST_F(LiveriesScanThreads, TheWindowShowsTheStatusLineWhileTheScanWalksAndTheCountAfterIt) {
    tavo::test::resetToSmallDbase();
    tavo::test::AircraftCfgBuilder cfg;
    cfg.version().general({{"icao_type_designator", "A320"}});
    for (int i = 0; i < 3; ++i) {
        cfg.fltsim(
            i, {{"title", "Threaded " + std::to_string(i)}, {"icao_airline", "DLH"}, {"atc_parking_types", "GATE"}});
    }
    cfg.write(dir() / "pkg" / "aircraft.cfg");
    fs::create_directories(outputDir);  // made at every start
    lfolder0.setValue((dir() / "pkg").string());
    gf_updateSettings([](SettingsSnapshot& s) { s.LIG_AUTOMATIC = 0; });
    gf_clearStopMailbox();
    gf_gui().liveriesCount = 0;

    std::atomic<bool> windowReady{false}, statusShown{false}, countShown{false}, done{false};
    std::uint64_t countWhileScanning = 99;  // written by the GUI thread before statusShown
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
        for (const ControlId id : {SKIP_LIVERIES_SCAN.controlId, AI_PACKAGE_SELECTOR.controlId}) {
            ControlSpec control;
            control.id = id;
            control.kind = ControlKind::CheckBox;
            gf_createControl(window, control);
        }
        gf_gui().attachWindow(window);
        windowReady.store(true);
        while (!done.load()) {
            backend->waitAndPump(std::chrono::milliseconds(5));
            const Gui& state = gf_gui();
            if (!statusShown.load() && state.statusLine == "Scanning for liveries ...") {
                countWhileScanning = state.liveriesCount;
                statusShown.store(true);
            }
            if (state.liveriesCount == 3) countShown.store(true);
        }
        gf_gui().close();
        gf_gui().window.store(WindowHandle::None);
        backend->destroyWindow(window);
    });
    ASSERT_TRUE(waitFor(windowReady));

    bool shownDuringWalk = false, onGuiThread = true;
    gf_setLiveriesScanRootHookForTest([&](const fs::path&) {
        onGuiThread = gf_gui().isGuiThread();
        // The scan holds here, inside its walk, until the window has shown
        // its line: a scan that waited for the GUI thread, or a line that
        // waited for the scan's end, never gets past this.
        shownDuringWalk = waitFor(statusShown);
    });
    EXPECT_NO_THROW(gf_scanLiveries());
    const bool countAfterScan = waitFor(countShown);
    const auto selectorEnabled = gf_isControlEnabled(AI_PACKAGE_SELECTOR.controlId);
    const auto skipEnabled = gf_isControlEnabled(SKIP_LIVERIES_SCAN.controlId);
    done.store(true);
    gui.join();

    EXPECT_FALSE(onGuiThread);
    EXPECT_TRUE(shownDuringWalk);
    EXPECT_EQ(countWhileScanning, 0u) << "no count before the search is done";
    EXPECT_TRUE(countAfterScan);
    EXPECT_EQ(selectorEnabled, false);
    EXPECT_EQ(skipEnabled, true);
    gf_gui().attachGuiThread();  // reopens the queue the GUI thread closed
}

}  // namespace
