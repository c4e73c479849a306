#pragma once
// The common ground of the RT App UDP reader tests: Log.txt in a working
// folder of its own, default settings with RT App as the source, the user at
// 52N 4E, fresh aircraft tables, both readers reset, and every batch the
// traffic reader hands on kept in posted_.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "airports/current_airport.h"
#include "engine/engine_state.h"
#include "engine/user_position.h"
#include "feed/handover.h"
#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/traffic_reader.h"
#include "feed/traffic_clock.h"
#include "liveries/code_tables.h"
#include "support/dbase_builder.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/snapshot.h"
#include "support/rtapp_peer.h"
#include "support/temp_dir.h"

namespace tavo::test {

struct PostedBatch {
    std::uint32_t delay = 0;
    std::vector<TrafficRecord> records;
};

class RTAppUdpTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        savedSettings_ = settingsSnapshot.load();
        savedChoice_ = startupChoice.load();
        savedPorts_ = gf_rtAppUdpPorts();
        savedTiming_ = gf_rtAppUdpTiming();
        settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1}));
        gf_publishUserAircraftState(UserAircraftState{});
        gf_clearCurrentAirport();
        clearShared();
        g_trafficReader.setOwnPosition(52.0, 4.0);
        g_trafficReader.qnh.store(1013);
        g_trafficReader.clearTrafficMaps();
        g_trafficReader.setBatchPoster([this](std::vector<TrafficRecord>& batch, std::uint32_t delay) {
            posted_.push_back({delay, std::move(batch)});
            batch.clear();
        });
        newLogLines();
    }

    void TearDown() override {
        g_trafficReader.setBatchPoster(nullptr);
        gf_setRTAppUdpPorts(savedPorts_);
        gf_setRTAppUdpTiming(savedTiming_);
        gf_setRTAppReaderHooks({});
        settingsSnapshot.store(savedSettings_);
        startupChoice.store(savedChoice_);
        clearShared();
        LogFileTest::TearDown();
    }

    static void clearShared() {
        gf_clearParkedTrafficSources();
        tavo::test::resetToSmallDbase();
        gf_clearStopMailbox();
        gf_gui().drain();
        gf_gui().reset();
        g_bufferRequestPending.store(false);
        g_qnh.store(1013);
        gf_resetRTAppReaders();
    }

    std::vector<PostedBatch> posted_;

private:
    SettingsSnapshotPtr savedSettings_;
    std::shared_ptr<const StartupChoice> savedChoice_;
    RTAppUdpPorts savedPorts_;
    RTAppUdpTiming savedTiming_;
};

}  // namespace tavo::test
