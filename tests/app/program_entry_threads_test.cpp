// The program's own entry in the test process, as the run command starts it:
// a copy of the installation folder, the sample settings the run command
// seeds, the sample scenario, a RealTraffic application on loopback, every
// service real, the headless window.

#include <cstdlib>

#include "airports/airports_list.h"
#include "liveries/dbase.h"
#include "main_thread_fixture.h"
#include "support/source_paths.h"

namespace tavo::test {
namespace {

namespace fs = std::filesystem;

class ProgramEntryTest : public MainThreadTest {
protected:
    void SetUp() override {
        MainThreadTest::SetUp();
        // The entry makes its own window, on a window layer of its own.
        resetProgramState();
        backend = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend);
        gf_setNeighbourServices(std::nullopt);
        gf_unloadAirportsForTests();
        for (const fs::directory_entry& entry : fs::directory_iterator(installDir())) {
            if (entry.path().filename() == "tavo") continue;  // the program itself is not needed
            fs::copy(entry.path(), dir() / entry.path().filename(), fs::copy_options::recursive);
        }
    }
    void TearDown() override {
        gf_unloadAirportsForTests();
        gf_resetAircraftDatabaseForTest();
        MainThreadTest::TearDown();
    }
    // The settings as the run command seeds them, with the TCP port moved to
    // a free one.
    void seedSampleProfile(std::uint16_t port) {
        const std::string command = fmt::format("'{}' '{}' '{}' '{}' >/dev/null",
                                                (sourceDir() / "scripts" / "sample-profile").string(),
                                                TestAppDataFolder::path().string(), (dir() / "local").string(),
                                                dir().string());
        ASSERT_EQ(std::system(command.c_str()), 0);
        pugi::xml_document document;
        ASSERT_TRUE(document.load_file(parametersFilePath().c_str()));
        pugi::xml_node port_ = gf_findParametersNode(document).append_child("parameter");
        port_.append_attribute("name") = "PORT_NUMBER";
        port_.append_attribute("value") = std::to_string(port).c_str();
        ASSERT_TRUE(document.save_file(parametersFilePath().c_str()));
    }
};

TEST_F(ProgramEntryTest, TheSampleWorldReachesTheMainLoopAndTheCloseButtonEndsItWithItsPlaceSaved) {
    const std::uint16_t port = freeTcpPort();
    seedSampleProfile(port);
    gf_simModelLoadScenario((sourceDir() / "data" / "scenarios" / "sample.xml").string());
    startPeer(port);

    std::atomic<bool> reached{false};
    std::thread user([&] {
        // The run's start disables the Aircraft button, the main loop enables it.
        auto aircraftButton = [](bool enabled) {
            return [enabled] { return gf_isControlEnabled(AircraftButton.controlId) == std::optional<bool>(enabled); };
        };
        reached.store(eventually(aircraftButton(false), 60s) && eventually(aircraftButton(true), 60s));
        const WindowHandle main = g_mainWindow.load();
        gf_setWindowPos(main, std::pair{123, 45}, std::nullopt);
        gf_postMessage(main, WM_CLOSE);
    });
    ProgramSetup setup;
    setup.dataFolder = programDataFolder();
    setup.lockFolder = dir();
    const int code = gf_programMain({"tavo"}, setup);
    user.join();

    EXPECT_TRUE(reached.load()) << "the main loop enables the Aircraft button";
    EXPECT_EQ(code, 0);
    const std::string log = readText("Log.txt");
    EXPECT_TRUE(inOrder(log, {"The park airport is KSEA", "RealTraffic connected", "Exiting: USER CLOSED SIM",
                              "Shutdown cleanup completed; posting MSG_EXIT"}))
        << log;
    EXPECT_EQ(storedValue("MSFS_INSTALL_PATH"), (dir() / "sample_packages").string()) << "found through UserCfg.opt";
    EXPECT_EQ(storedValue("MAIN_WINDOW_X"), "123");
    EXPECT_EQ(storedValue("MAIN_WINDOW_Y"), "45");
}

}  // namespace
}  // namespace tavo::test
