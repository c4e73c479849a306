#pragma once
// A simulator link driven by hand: a clean simulator model, the link's state
// reset, Log.txt in a fresh working folder, a fake pose clock, and helpers
// that open and set up a connection and run frames on the test's thread in
// place of the SimClient thread.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/sim_commands.h"
#include "feed/feed_state.h"
#include "foundation/log.h"
#include "platform/simconnect/sim_model.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "simlink/sim_link.h"
#include "simlink/sim_link_internal.h"
#include "support/temp_dir.h"

namespace tavo::test {

// One millisecond of the pose clock, which counts nanoseconds.
inline constexpr std::int64_t kMs = 1'000'000;

inline std::int64_t g_fakePoseNowNs = 0;
inline std::int64_t lf_fakePoseClock() { return g_fakePoseNowNs; }

inline std::size_t countOccurrences(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
    return n;
}

inline void selectSimulator(SimVersion version) {
    startupChoice.store(std::make_shared<const StartupChoice>(
        StartupChoice{version == SimVersion::MSFS2020 ? 1u : 2u, 0}));
}

class SimLinkTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_simModelReset();
        gf_clearStopMailbox();
        g_exiting.store(false);
        gf_gui().attachGuiThread();  // GUI updates of this thread apply at once
        gf_gui().reset();
        selectSimulator(SimVersion::MSFS2020);
        gf_resetSimClient();
        gf_initSimClient();
        gf_clearSimCommands();
        auto& link = gf_simLink();
        link.ownedObjects.clear();
        link.shutdownRemovals.clear();
        link.poseHistory.clear();
        link.shutdownInProgress = false;
        g_rtProfessional.store(false);
        g_userSwitchedSim.store(false);
        g_fakePoseNowNs = 1'000'000'000'000;
        gf_setPoseClock(&lf_fakePoseClock);
        gf_setFlightPlanBaseFolder(dir());
    }
    void TearDown() override {
        if (gf_simHandle() != nullptr) SimConnect_Close(gf_simHandle());
        gf_resetSimClient();
        gf_clearSimCommands();
        gf_simModelReset();
        gf_setPoseClock(nullptr);
        gf_setFlightPlanBaseFolder({});
        gf_clearStopMailbox();
        g_rtProfessional.store(false);
        gf_gui().reset();
        selectSimulator(SimVersion::MSFS2024);
        LogFileTest::TearDown();
    }

    // Starts the simulator, opens "TAVO", runs the setup and handles what the
    // simulator answered to it (OPEN, the "Sim" state).
    void connect(SimVersion version = SimVersion::MSFS2020) {
        gf_simModelStart(version);
        reopen();
    }
    void reopen() {
        HANDLE h = nullptr;
        ASSERT_EQ(SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0), S_OK);
        gf_simLink().handle.store(h);
        setupOk = gf_setupSimConnect();
        dispatch();
    }

    void dispatch() { ASSERT_GE(SimConnect_CallDispatch(gf_simHandle(), &gf_simDispatch, &context), 0); }

    // One simulator frame: poses and commands are issued, answers handled.
    void frame() {
        gf_simModelFrames(1);
        dispatch();
        dispatch();
    }

    std::vector<SimCallRecord> calls() { return gf_simModelConnection("TAVO").calls; }

    // The calls made since the journal had `from` entries.
    std::vector<SimCall> callsSince(std::size_t from) {
        const auto all = calls();
        std::vector<SimCall> out;
        for (std::size_t i = from; i < all.size(); ++i) out.push_back(all[i].call);
        return out;
    }

    std::vector<SimCommand> results() {
        std::vector<SimCommand> out;
        gf_takeSimCommands(out);
        return out;
    }

    // Creates a live AI object through the link and returns its object id.
    std::uint32_t createObject(std::uint32_t hexid, const std::string& title = "Test Title") {
        gf_simModelSetAcceptAnyTitle(true);
        SimCreateCommand create;
        create.position = {50.0, 8.0, 1000.0, 0, 0, 90.0, 0, 150};
        create.title = title;
        create.tailNumber = "D-TEST";
        create.hexid = hexid;
        gf_queueAiCreate(create);
        frame();
        for (const auto& r : results())
            if ((r.kind == SIM_RESULT_LIVE_ASSIGNED || r.kind == SIM_RESULT_STATIC_ASSIGNED) && r.hexid == hexid)
                return r.objectId;
        ADD_FAILURE() << "no object assigned for hexid " << hexid;
        return 0;
    }

    SimDispatchContext context;
    bool setupOk = false;
};

}  // namespace tavo::test
