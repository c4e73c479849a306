// The simulator model with threads: the ticker, connections on several
// threads at once, waiting until drained, and the scenario file (whose loader
// starts the ticker).

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include <pugixml.hpp>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"
#include "support/source_paths.h"
#include "support/temp_dir.h"

using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

struct FrameCounter {
    std::atomic<int> frames{0};
    std::atomic<int> seconds{0};
};

void countProc(SIMCONNECT_RECV* data, DWORD size, void* ctx) {
    auto* c = static_cast<FrameCounter*>(ctx);
    if (size < 12) return;
    if (data->dwID == SIMCONNECT_RECV_ID_EVENT_FRAME) ++c->frames;
    if (data->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) ++c->seconds;
}

std::string samplePath() { return tavo::test::sourceDir().string() + "/data/scenarios/sample.xml"; }

}  // namespace

TEST_F(SimModelTest, TickerDrivesFramesAndSecondsUntilStopped) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_SECOND), S_OK);
    gf_simModelStartTicker(2ms, 10ms);
    FrameCounter counter;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((counter.frames < 10 || counter.seconds < 3) && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(SimConnect_CallDispatch(h, countProc, &counter), S_OK);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(counter.frames.load(), 10);
    EXPECT_GE(counter.seconds.load(), 3);
    gf_simModelStopTicker();
    const auto frames = gf_simModelFrameCount();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(gf_simModelFrameCount(), frames) << "no frames after the stop";
}

TEST_F(SimModelTest, ConnectionsOnSeveralThreadsEachGetTheirOwnFifo) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2024);
    constexpr int kThreads = 4;
    constexpr int kCreates = 50;
    std::atomic<bool> stop{false};
    std::atomic<int> ready{0};
    std::vector<std::vector<DWORD>> assigned(kThreads);
    std::vector<std::vector<DWORD>> packets(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HANDLE h = nullptr;
            if (SimConnect_Open(&h, ("C" + std::to_string(t)).c_str(), nullptr, 0, nullptr, 0) != S_OK) return;
            SimConnect_SubscribeToSystemEvent(h, 204, "Frame");
            ++ready;
            Received r;
            while (!stop) {
                if (packets[t].size() < kCreates) {
                    SimConnect_AICreateNonATCAircraft(h, "Any", "N", initAt(1, 1, 0),
                                                      static_cast<DWORD>(t * 1000 + packets[t].size()));
                    DWORD p = 0;
                    SimConnect_GetLastSentPacketID(h, &p);
                    packets[t].push_back(p);
                }
                SimConnect_CallDispatch(h, collectProc, &r);
                std::this_thread::yield();
            }
            for (const auto& rec : ofKind(r, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID))
                assigned[t].push_back(field<DWORD>(rec, 12));
            SimConnect_Close(h);
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ready < kThreads && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    gf_simModelStartTicker(1ms, 5ms);
    while (gf_simModelObjects().size() < kThreads * kCreates + 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    gf_simModelStopTicker();
    EXPECT_TRUE(gf_simModelWaitDrained(5s));
    stop = true;
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(assigned[t].size(), static_cast<std::size_t>(kCreates)) << "thread " << t;
        for (int i = 0; i < kCreates; ++i) {
            EXPECT_EQ(assigned[t][i], static_cast<DWORD>(t * 1000 + i)) << "in order, only its own";
            if (i > 0) {
                EXPECT_GT(packets[t][i], packets[t][i - 1]) << "packet ids rise per connection";
            }
        }
    }
    EXPECT_EQ(gf_simModelObjects().size(), 1u) << "closing took every AI object along";
}

TEST_F(SimModelTest, WaitDrainedWaitsForTheClientThread) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    gf_simModelFrames(20);
    EXPECT_FALSE(gf_simModelWaitDrained(10ms));
    FrameCounter counter;
    std::thread client([&] {
        auto slow = [](SIMCONNECT_RECV* d, DWORD s, void* c) {
            std::this_thread::sleep_for(1ms);
            countProc(d, s, c);
        };
        SimConnect_CallDispatch(h, slow, &counter);
    });
    EXPECT_TRUE(gf_simModelWaitDrained(5s));
    EXPECT_EQ(counter.frames.load(), 20) << "drained means every record was handled";
    client.join();
}

TEST_F(SimModelTest, SampleScenarioFromTheEnvironmentStartsARunningSimulatorWithItsWorld) {
    ::unsetenv("TAVO_SIM_SCENARIO");
    EXPECT_FALSE(gf_simModelStartFromEnvironment());
    EXPECT_FALSE(gf_simModelIsRunning());
    ::setenv("TAVO_SIM_SCENARIO", samplePath().c_str(), 1);
    EXPECT_TRUE(gf_simModelStartFromEnvironment());
    ::unsetenv("TAVO_SIM_SCENARIO");
    EXPECT_TRUE(gf_simModelIsRunning());
    EXPECT_TRUE(gf_simModelTickerRunning());
    EXPECT_EQ(gf_simModelUserAircraft().title, "Boeing 737-800 Sample");
    EXPECT_NEAR(gf_simModelUserAircraft().pose.altitudeFt, 433.0, 1e-9) << "on the terrain of the area";
    EXPECT_EQ(gf_simModelObjects().size(), 2u) << "user and one traffic aircraft";

    HANDLE h = open("PARKING_DATA_RDR");
    for (const char* e : {"OPEN AIRPORT", "N_TAXI_PARKINGS", "N_HELIPADS", "CLOSE AIRPORT"})
        ASSERT_EQ(SimConnect_AddToFacilityDefinition(h, 1, e), S_OK);
    ASSERT_EQ(SimConnect_RequestFacilityData(h, 1, 2, "KSEA"), S_OK);
    Received r;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ofKind(r, SIMCONNECT_RECV_ID_FACILITY_DATA_END).empty() && std::chrono::steady_clock::now() < deadline) {
        ASSERT_EQ(SimConnect_CallDispatch(h, collectProc, &r), S_OK);
        std::this_thread::sleep_for(1ms);
    }
    const auto blocks = ofKind(r, SIMCONNECT_RECV_ID_FACILITY_DATA);
    ASSERT_EQ(blocks.size(), 1u);
    // Every parking of the scenario's airport, vehicle parkings included.
    pugi::xml_document scenario;
    ASSERT_TRUE(scenario.load_file(samplePath().c_str()));
    const auto parkings = scenario.child("scenario").child("airport").children("parking");
    EXPECT_EQ(field<std::int32_t>(blocks[0], 40), std::distance(parkings.begin(), parkings.end()));
    EXPECT_EQ(field<std::int32_t>(blocks[0], 44), 1);
    gf_simModelReset();
    EXPECT_FALSE(gf_simModelTickerRunning());
}

TEST_F(SimModelTest, BadScenarioFilesAreRefusedByName) {
    ScopedTempDir dir;
    const std::string cases[][2] = {
        {"broken.xml", "<scenario><user"},
        {"badsim.xml", "<scenario simulator=\"2030\"><user lat=\"1\" lon=\"1\"/></scenario>"},
        {"badpos.xml", "<scenario><user lat=\"91\" lon=\"1\"/></scenario>"},
        {"badzulu.xml", "<scenario zulu=\"2024-13-01T00:00:00Z\"><user lat=\"1\" lon=\"1\"/></scenario>"},
    };
    for (const auto& c : cases) {
        const auto path = (dir.path() / c[0]).string();
        std::ofstream(path) << c[1];
        try {
            gf_simModelLoadScenario(path);
            ADD_FAILURE() << c[0] << " was accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_FALSE(gf_simModelIsRunning()) << c[0];
        EXPECT_FALSE(gf_simModelTickerRunning()) << c[0];
    }
}
