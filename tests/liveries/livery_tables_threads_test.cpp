// The category switch-off against other threads: a setting published on
// another thread while the build republishes the snapshot, and a load of
// parameters.xml racing the switch-off's set and save.

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "../settings/parameters_file_test_support.h"
#include "liveries/livery_tables.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/scanned_liveries_builder.h"

namespace {

class LiveryTablesThreads : public tavo::test::ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        tavo::test::ScannedLiveriesBuilder b;
        b.livery("DLH", "A388", "Lufthansa A388");  // heavy only: the small categories go off
        b.writeToOutput();
    }
    void TearDown() override {
        gf_publishAllParameters();
        ParametersFileTest::TearDown();
    }
};

TEST_F(LiveryTablesThreads, ASettingPublishedDuringTheSwitchOffIsKept) {
    for (int run = 0; run < 20; ++run) {
        LIGHT_AIRCRAFT.setValue(true);
        gf_publishAllParameters();
        gf_updateSettings([](SettingsSnapshot& s) { s.RANDOM = 1; });
        std::atomic<bool> done{false};
        std::latch start(2);
        std::thread publisher([&] {
            start.arrive_and_wait();
            // Keeps publishing until the build is over, so that its compare-
            // exchange loop meets a changed snapshot; the last change is off.
            bool on = false;
            do {
                on = !on;
                gf_updateSettings([on](SettingsSnapshot& s) { s.RANDOM = on ? 1 : 0; });
            } while (!done.load());
            gf_updateSettings([](SettingsSnapshot& s) { s.RANDOM = 0; });
        });
        start.arrive_and_wait();
        gf_processScannedLiveries();
        done = true;
        publisher.join();
        const SettingsSnapshotPtr snapshot = settingsSnapshot.load();
        ASSERT_EQ(snapshot->RANDOM, 0) << "run " << run;
        ASSERT_EQ(snapshot->LIGHT_AIRCRAFT, 0) << "run " << run;
        ASSERT_EQ(snapshot->HELICOPTERS, 0) << "run " << run;
    }
}

TEST_F(LiveryTablesThreads, ALoadRacingTheSwitchOffNeverLeavesTheOptionOn) {
    for (int run = 0; run < 200; ++run) {
        LIGHT_AIRCRAFT.setValue(true);
        tavo::test::writeFile(file(), tavo::test::parametersXml({{"LIGHT_AIRCRAFT", "true"}}));
        std::latch start(2);
        std::thread loader([&] {
            start.arrive_and_wait();
            gf_loadParameters();
        });
        start.arrive_and_wait();
        gf_processScannedLiveries();
        loader.join();
        ASSERT_FALSE(LIGHT_AIRCRAFT.value()) << "run " << run;
        pugi::xml_document saved;
        ASSERT_TRUE(saved.load_file(file().c_str()));
        ASSERT_EQ(gf_readBoolXmlParameter(saved, "LIGHT_AIRCRAFT"), false) << "run " << run;
    }
}

}  // namespace
