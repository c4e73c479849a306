#pragma once
// The engine tests' fixture: a fresh working folder with Log.txt, and the
// engine harness (clean engine, link and simulator model on fake clocks).
// Helpers add live and static records directly and read what the engine
// queued for the simulator link without a frame taking it.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/records.h"
#include "engine/sim_commands.h"
#include "liveries/code_tables.h"
#include "simlink/sim_link.h"
#include "support/engine_harness.h"
#include "support/temp_dir.h"

namespace tavo::test {

class EngineTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        harness = std::make_unique<EngineHarness>(options());
    }
    void TearDown() override {
        harness.reset();
        LogFileTest::TearDown();
    }
    virtual EngineHarness::Options options() const { return {}; }

    static StreamPoint point(double lat, double lon, double altitudeFt = 0.0, bool airborne = false,
                             std::int32_t playTick = 0) {
        StreamPoint p;
        p.lat = lat;
        p.lon = lon;
        p.altitudeFt = altitudeFt;
        p.airborne = airborne ? 1 : 0;
        p.playTick = playTick;
        p.groundSpeedKt = airborne ? 250.0 : 10.0;
        p.tasKt = airborne ? 250.0 : 0.0;
        return p;
    }

    // A live record appended to the list (the reference stays valid until
    // the list changes).
    static LiveAc& addLive(std::uint32_t hexid, AcSimState state = AcSimState::active, std::uint32_t objectId = 0,
                           std::deque<StreamPoint> stream = {}, const std::string& callsign = "KLM1234") {
        if (stream.empty()) stream = {point(50.0, 8.0, 5000.0, true), point(50.0, 8.01, 5000.0, true, 100)};
        FlightIdentity id;
        id.key.airline = gf_internAirlineCode("KLM");
        id.key.model = gf_internModelCode("B738");
        id.callsign = callsign;
        id.registration = "PH-BXA";
        AcInfo info = gf_makeAcInfo(id);
        info.hexid = hexid;
        info.liveryTitle = "KLM B738";
        g_liveAircraft.emplace_back(std::move(stream), info, 1.7e9);
        LiveAc& ac = g_liveAircraft.back();
        ac.simState = state;
        ac.objectId = objectId;
        ac.onGround = ac.stream.front().airborne != 0 ? 0 : 1;
        ac.phase = ac.onGround != 0 ? AcPhase::taxi : AcPhase::flying;
        ac.pose.latitude = ac.stream.front().lat;
        ac.pose.longitude = ac.stream.front().lon;
        ac.pose.altitude = ac.stream.front().altitudeFt;
        return ac;
    }

    static AcBase& addStatic(std::uint32_t hexid, AcSimState state, std::uint32_t objectId = 0) {
        FlightIdentity id;
        id.key.model = gf_internModelCode("B738");
        id.callsign = "STA" + std::to_string(hexid);
        AcInfo info = gf_makeAcInfo(id);
        info.hexid = hexid;
        info.liveryTitle = "KLM B738";
        AcBase ac;
        static_cast<AcInfo&>(ac) = info;
        ac.simState = state;
        ac.objectId = objectId;
        g_staticAircraft.push_back(ac);
        return g_staticAircraft.back();
    }

    static SimCommand result(std::uint32_t kind, std::uint32_t objectId, std::uint32_t hexid = 0) {
        SimCommand c;
        c.kind = kind;
        c.objectId = objectId;
        c.hexid = hexid;
        return c;
    }

    // What the engine queued for the link since the last take.
    static std::vector<SimClientEventCommand> takeEvents() {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        return std::exchange(g_simCommandBuffers.clientEvents, {});
    }
    static std::vector<SimRequestCommand> takeRequests() {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        return std::exchange(g_simCommandBuffers.requests, {});
    }
    static std::vector<SimCreateCommand> takeCreates() {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        return std::exchange(g_simCommandBuffers.creates, {});
    }
    static std::vector<std::uint32_t> takeRemovals() {
        std::lock_guard lock(g_simCommandBuffers.mutex);
        return std::exchange(g_simCommandBuffers.removals, {});
    }

    static AiCreateRequest request(std::uint32_t hexid) {
        AiCreateRequest r;
        r.hexid = hexid;
        return r;
    }

    std::unique_ptr<EngineHarness> harness;
};

inline std::size_t countOf(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
    return n;
}

}  // namespace tavo::test
