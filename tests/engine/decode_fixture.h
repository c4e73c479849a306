#pragma once
// Message decoding against recording fakes of the identity check and the
// motion calls, with the engine's lists emptied around every test.

#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "engine/decode.h"
#include "engine/engine_lists.h"
#include "engine/engine_state.h"
#include "engine/mailbox.h"
#include "engine/reports.h"
#include "foundation/geodesy.h"
#include "liveries/code_tables.h"
#include "motion/runways.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

namespace tavo::test {

// What the fakes answer, and every call they saw ("roll 1", "towed", ...).
struct DecodeRecorder {
    bool identityOk = true;
    bool accept = true;
    bool extend = true;
    bool heldOnRunway = false;
    double refSpeed = std::numeric_limits<double>::quiet_NaN();
    bool throwOnExtend = false;
    std::function<void(const StreamPoint&)> onAccept;
    std::function<void(const LiveAc&)> onExtend;
    std::vector<std::string> calls;
};

inline DecodeCalls recordingCalls(DecodeRecorder& r) {
    DecodeCalls c;
    c.checkIdentityChange = [&r](LiveAc&, const AcInfo&) { return r.identityOk; };
    c.acceptNewStreamPoint = [&r](LiveAc&, StreamPoint& p) {
        if (r.onAccept) r.onAccept(p);
        return r.accept;
    };
    c.checkExtendingSituations = [&r](LiveAc& ac, StreamPoint&) {
        if (r.onExtend) r.onExtend(ac);
        if (r.throwOnExtend) throw std::runtime_error("boom");
        return r.extend;
    };
    c.isTaxiPointOnRunway = [&r](LiveAc&, const StreamPoint&) { return r.heldOnRunway; };
    c.refSpeedKt = [&r](const LiveAc&, std::uint8_t) { return r.refSpeed; };
    c.startTakeoffRoll = [&r](LiveAc&, std::uint8_t flag) { r.calls.push_back("roll " + std::to_string(flag)); };
    c.startTowedTakeoffRoll = [&r](LiveAc&) { r.calls.push_back("towed"); };
    return c;
}

inline LaLo northOf(LaLo from, double metres) {
    return gf_destinationPoint(from, {metres < 0 ? pi : 0.0, std::fabs(metres) * feetPerMetre});
}

inline StreamPoint streamPoint(LaLo at, double gs = 10.0, bool airborne = false, std::int32_t tick = 0,
                               double altitudeFt = 0.0, double trackDeg = 0.0) {
    StreamPoint p;
    p.lat = at.lat;
    p.lon = at.lon;
    p.groundSpeedKt = gs;
    p.airborne = airborne ? 1 : 0;
    p.playTick = tick;
    p.altitudeFt = altitudeFt;
    p.trackDeg = trackDeg;
    return p;
}

inline TrafficRecord report(std::uint32_t hexid, const StreamPoint& point, double time, const char* type = "B738",
                            const char* callsign = "KLM1234") {
    TrafficRecord r;
    r.hexid = hexid;
    r.point = point;
    r.time = time;
    r.identity.callsign = callsign;
    r.identity.registration = "XX-TEST";
    r.identity.key.model = gf_internModelCode(type);
    return r;
}

class DecodeTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        resetToSmallDbase();
        m_settings = settingsSnapshot.load();
        gf_updateSettings([](SettingsSnapshot& s) { s.TWO_PROPS = 1; });
        m_tick = tickCount.load();
        tickCount.store(1000);
        lf_clearEngine();
        gf_setDecodeCalls(recordingCalls(rec));
        gf_resetTrafficExceptionCount();
        newLogLines();
    }
    void TearDown() override {
        gf_setDecodeCalls({});
        lf_clearEngine();
        tickCount.store(m_tick);
        settingsSnapshot.store(m_settings);
        gf_resetTrafficExceptionCount();
        LogFileTest::TearDown();
    }

    // A live aircraft of the list (Large unless the type says otherwise),
    // active with object id 77 unless the state says otherwise.
    static LiveAc& aircraft(std::uint32_t hexid, AcPhase phase, std::deque<StreamPoint> stream,
                            AcSimState state = AcSimState::active, const char* type = "B738") {
        AcInfo info;
        info.hexid = hexid;
        info.callsign = "KLM" + std::to_string(hexid);
        info.key.model = gf_internModelCode(type);
        info.category = gf_getModelCategory(info.key.model);
        LiveAc& ac = g_liveAircraft.emplace_back(std::move(stream), info, 1000.0);
        ac.phase = phase;
        ac.simState = state;
        ac.objectId = state == AcSimState::buffer ? 0 : 77;
        ac.onGround = 1;
        return ac;
    }

    DecodeRecorder rec;

private:
    static void lf_clearEngine() {
        g_liveAircraft.clear();
        quarantine.clear();
        toldLowNewcomers.clear();
        removeQueue.clear();
        liveCreateQueue.clear();
        staticCreateQueue.clear();
        g_staticsChanged = false;
        gf_clearRunwayTable();
        gf_clearCurrentAirport();
        gf_resetTrafficMailbox();
    }

    SettingsSnapshotPtr m_settings;
    std::int32_t m_tick = 0;
};

}  // namespace tavo::test
