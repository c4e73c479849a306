// The facility reader used from more than one thread: reads are serialised
// on the one connection, and a stop request from another thread ends a wait.

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "simlink/facility_fixture.h"

namespace {

using tavo::test::addRunway;
using tavo::test::emptyAirport;

class FacilityThreadsTest : public tavo::test::FacilityTest {
protected:
    void SetUp() override {
        FacilityTest::SetUp();
        gf_setFacilityReaderClock({});  // real time: these tests are about threads
        auto a = emptyAirport();
        addRunway(a, 9, 27, 90.0f);
        SimTaxiParking p;
        p.biasXM = 50.0f;
        a.parkings.push_back(p);
        gf_simModelAddAirport(a);
        gf_simModelStart(SimVersion::MSFS2020);
    }
};

TEST_F(FacilityThreadsTest, ConcurrentStandAndRunwayReadsAllSucceedOnOneConnection) {
    std::atomic<int> standFailures{0};
    std::atomic<int> runwayFailures{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                if ((i + t) % 2 == 0) {
                    Airport airport;
                    std::uint32_t helipads = 0;
                    if (!gf_readFacilityStands("EDDX", airport, helipads) || airport.stands.size() != 1)
                        ++standFailures;
                } else {
                    const auto set = gf_readRunwayHeadings("EDDX");
                    if (!set || set->runways.size() != 1) ++runwayFailures;
                }
            }
        });
    }
    threads.clear();  // joins
    EXPECT_EQ(standFailures.load(), 0);
    EXPECT_EQ(runwayFailures.load(), 0);
    EXPECT_EQ(gf_simModelOpenConnectionCount(), 1);
    EXPECT_EQ(reader().facilityDefinitions.size(), 2u) << "each definition made once";
}

TEST_F(FacilityThreadsTest, AStopRequestFromAnotherThreadEndsAWaitingRead) {
    gf_simModelSetWithholdFacilityEnd(true);
    const auto start = std::chrono::steady_clock::now();
    std::jthread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        requestStop(StopReason::NewFlight, 60);
    });
    Airport airport;
    std::uint32_t helipads = 0;
    EXPECT_FALSE(gf_readFacilityStands("EDDX", airport, helipads));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(40));
    EXPECT_LT(waited, std::chrono::seconds(5)) << "not the 30 s time-out";
    EXPECT_FALSE(readerOpen());
}

}  // namespace
