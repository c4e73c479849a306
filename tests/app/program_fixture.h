#pragma once
// The program's own Gui and main window on a headless backend, with the data
// folder in a temporary folder (through the settings tests' AppData folder),
// fake work areas and every piece of process state the start-up and the
// window procedure touch put back before and after each test.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/program.h"
#include "services/gui.h"
#include "services/shell.h"
#include "services/stop.h"
#include "settings/parameters_file_test_support.h"
#include "window_fixture.h"

namespace tavo::test {

// The saves that reached the file layer, as "KEY=value", in order.
inline std::vector<std::string>& gf_recordedSaves() {
    static std::vector<std::string> saves;
    return saves;
}
inline void lf_recordSave(const Parameter& parameter) noexcept {
    try {
        std::string value;
        if (const auto* p = dynamic_cast<const IntParameter*>(&parameter)) value = std::to_string(p->value());
        if (const auto* p = dynamic_cast<const BoolParameter*>(&parameter)) value = p->value() ? "1" : "0";
        if (const auto* p = dynamic_cast<const StringParameter*>(&parameter)) value = p->value();
        gf_recordedSaves().push_back(parameter.name + "=" + value);
    } catch (...) {
    }
}

inline void resetProgramState() {
    Gui& gui = gf_gui();
    gui.close();
    gui.window.store(WindowHandle::None);
    gui.compact = false;
    gui.expandedOnlyControls.clear();
    gui.expandBox = {};
    gui.dpi = 96;
    gui.controlsFontDpi.reset();
    gui.parkAirport = IcaoCode{};
    gui.reset();
    g_mainWindow.store(WindowHandle::None);
    g_exiting.store(false);
    gf_clearStopMailbox();
    g_exitCode.store(0);
    g_production.store(false);
    gf_setMainThreadFunction({});
    gf_setCommandHandler({});
    gf_setModalDialogRefusal(nullptr);  // installed by the program's start-up
    (void)gf_takeStartNotice();         // kept for a run a test did not start
    if (g_mainThread.joinable()) g_mainThread.join();
    gf_recordedSaves().clear();
}

class ProgramTest : public ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        resetWindowContentState();
        resetProgramState();
    }
    void TearDown() override {
        resetProgramState();
        resetWindowContentState();
        ParametersFileTest::TearDown();
    }
    // Opens the main window as the start-up does, saves recorded.
    WindowHandle open() {
        EXPECT_TRUE(initInstance(kProgramTitle));
        gf_installParameterFileWriter(&lf_recordSave);
        return g_mainWindow.load();
    }
    std::vector<std::string>& saves() { return gf_recordedSaves(); }
};

}  // namespace tavo::test
