// What a new user sees after the run command: TAVO's own entry in its real
// window on the sample world (the simulator model's sample scenario, the
// settings the run command seeds, the sample RealTraffic traffic), with the
// window's pixels read back from the X server as the user's screen shows
// them: the header, the settings and, once the Aircraft button is pressed,
// a filled aircraft list, within a minute; and Log.txt with the connection,
// the aircraft created, landings and parkings. The world runs faster than
// real time on the sample world run's clock.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "engine/engine_lists.h"
#include "fltk_fixture.h"
#include "platform/simconnect/sim_model.h"
#include "screen_window.h"
#include "services/shell.h"
#include "settings/parameters.h"
#include "support/sample_world_run.h"

namespace tavo::test {
namespace {

using Steady = std::chrono::steady_clock;

class RunCommandTest : public ::testing::Test {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }
};

TEST_F(RunCommandTest, TheWindowShowsHeaderSettingsAndAircraftWithinAMinuteAndTheLogTheTraffic) {
    std::shared_ptr<FltkBackend> fltk = FltkBackend::open(FltkOptions{96});
    ASSERT_TRUE(fltk) << "no display (ctest runs these tests under scripts/with-xvfb)";
    SampleWorldOptions options;
    options.folder = std::filesystem::current_path() / "run_command_world";
    options.durationS = 420.0;
    options.recordMotion = false;
    options.window = fltk;
    SampleWorldRun run(options);

    const auto started = Steady::now();
    std::optional<double> shownAfterS;
    std::optional<ScreenImage> shown;
    bool pressed = false;
    int frames = 0;
    std::set<std::uint32_t> activeBefore;
    int removals = 0;
    run.onTick([&] {
        std::set<std::uint32_t> active;
        for (const LiveAc& ac : g_liveAircraft)
            if (ac.simState == AcSimState::active) active.insert(ac.hexid);
        for (std::uint32_t hexid : activeBefore) removals += active.count(hexid) == 0 ? 1 : 0;
        activeBefore = std::move(active);
    });
    run.onFrame([&] {
        // The screen is looked at twice a simulated second.
        if (shownAfterS || ++frames % 10 != 0 || g_mainWindow.load() == WindowHandle::None) return;
        const bool flying = gf_comboItems(AIRCRAFT_SELECTOR.controlId).value_or(std::vector<std::string>{}).size() > 1;
        if (!pressed && gf_isControlEnabled(AircraftButton.controlId) == std::optional<bool>(true)) {
            // The user presses the Aircraft button to fill the list.
            gf_postMessage(g_mainWindow.load(), WM_COMMAND, AircraftButton.controlId);
            pressed = true;
        }
        if (!flying) {
            // Pressed before any aircraft was there: again, as the user would.
            if (frames % 100 == 0) pressed = false;
            return;
        }
        const auto selector = gf_controlBounds(AIRCRAFT_SELECTOR.controlId);
        auto screen = gf_readScreenWindow("TAVO");
        if (!screen || !selector || screen->dark(*selector) < 20) return;
        shown = std::move(screen);
        shownAfterS = std::chrono::duration<double>(Steady::now() - started).count();
    });
    const int code = run.run();
    fltk->shutdown();
    gf_installWindowBackend(nullptr);

    EXPECT_EQ(code, 0);
    ASSERT_TRUE(shownAfterS.has_value()) << "the aircraft list never showed aircraft";
    EXPECT_LE(*shownAfterS, 60.0) << "the window showed its aircraft only after that many seconds";
    ASSERT_EQ(shown->width, 900);
    ASSERT_EQ(shown->height, 768);
    // The header: black, with its title and counts written on it.
    EXPECT_EQ(shown->at(350, 26), (Rgb{0, 0, 0})) << "header";
    EXPECT_GT(shown->differentFrom({0, 0, 900, 40}, Rgb{0, 0, 0}), 200) << "the header's texts";
    // The settings band: light blue, with its labels on it.
    EXPECT_EQ(shown->at(400, 120), (Rgb{153, 204, 255})) << "settings band";
    EXPECT_GT(shown->dark({0, 100, 900, 600}), 2000) << "the settings' labels";
    // The simulator and traffic lamps are green once both run.
    EXPECT_EQ(shown->at(420, 60), (Rgb{25, 150, 25})) << "the simulator lamp";
    EXPECT_EQ(shown->at(452, 60), (Rgb{25, 150, 25})) << "the traffic lamp";

    const std::string log = run.log();
    auto has = [&log](const char* text) { return log.find(text) != std::string::npos; };
    EXPECT_TRUE(has("RealTraffic connected")) << log;
    EXPECT_TRUE(has("=1= TAVO Sample")) << "aircraft created with their liveries\n" << log;
    EXPECT_TRUE(has(" touch down at SEA")) << "landings\n" << log;
    EXPECT_TRUE(has(" parked\n") || has(" arrived at stand\n")) << "parkings\n" << log;
    // The program writes no line when a departed or passing aircraft leaves:
    // its object was removed from the simulator while the world ran.
    EXPECT_GT(removals, 0) << "no aircraft was removed";
}

}  // namespace
}  // namespace tavo::test
