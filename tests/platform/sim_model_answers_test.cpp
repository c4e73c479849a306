// The simulator model's timing knobs: an AI object the simulator removes by
// itself, answers to creates and one-time requests that come frames late,
// and the clock that stamps the journal.

#include <gtest/gtest.h>

#include <atomic>

#include "sim_test_util.h"

using namespace tavo::test;

namespace {

std::atomic<std::int64_t> g_clockNs{0};
std::int64_t lf_clock() { return g_clockNs.load(); }

DWORD lf_removedObject(const Received& r) {
    for (const auto& rec : r.records)
        if (recvId(rec) == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE && field<DWORD>(rec, 16) == 3)
            return field<DWORD>(rec, 20);
    return 0;
}

}  // namespace

TEST_F(SimModelTest, TheSimulatorRemovesAnOwnAiObjectAndTellsItsOwner) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 3, "ObjectRemoved"), S_OK);
    gf_simModelSetAcceptAnyTitle(true);
    const DWORD id = createAircraft(h);
    const std::uint32_t traffic = gf_simModelAddTraffic({});
    drain(h);

    EXPECT_FALSE(gf_simModelRemoveAiObject(traffic)) << "not an AI object of a client";
    EXPECT_FALSE(gf_simModelRemoveAiObject(gf_simModelUserObjectId()));
    EXPECT_FALSE(gf_simModelRemoveAiObject(9999));
    ASSERT_TRUE(gf_simModelRemoveAiObject(id));
    EXPECT_FALSE(gf_simModelObject(id));
    EXPECT_EQ(lf_removedObject(drain(h)), id);
    const auto journal = gf_simModelJournal(id);
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().kind, SimJournalKind::Removed);
    EXPECT_EQ(journal.back().id, 0u) << "no request of the client";
    EXPECT_FALSE(gf_simModelRemoveAiObject(id)) << "gone already";
}

TEST_F(SimModelTest, AnswersToCreatesAndOneTimeRequestsComeFramesLate) {
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelAddTitle({"Jet", "B738", 7.0, 0.0});
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 4, "Frame"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 405, "Static CG to Ground", "feet"), S_OK);
    drain(h);
    gf_simModelSetAnswerDelay(2);

    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Jet", "N1", initAt(47, 8, 1000), 10000), S_OK);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Unknown", "N2", initAt(47, 8, 1000), 10001), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 102, 405, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE),
              S_OK);
    EXPECT_TRUE(drain(h).records.empty());
    gf_simModelFrames(1);
    const auto first = drain(h);
    ASSERT_EQ(first.records.size(), 1u);
    EXPECT_EQ(recvId(first.records[0]), static_cast<DWORD>(SIMCONNECT_RECV_ID_EVENT_FRAME));
    gf_simModelFrames(1);
    // Due now, and queued ahead of the frame that brought them.
    const auto second = drain(h);
    ASSERT_EQ(second.records.size(), 4u);
    EXPECT_EQ(recvId(second.records[0]), static_cast<DWORD>(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID));
    EXPECT_EQ(exceptionOf(second.records[1]), static_cast<DWORD>(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED));
    EXPECT_EQ(recvId(second.records[2]), static_cast<DWORD>(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
    EXPECT_EQ(recvId(second.records[3]), static_cast<DWORD>(SIMCONNECT_RECV_ID_EVENT_FRAME));

    // Held answers leave with a closed connection.
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Jet", "N3", initAt(47, 8, 1000), 10002), S_OK);
    ASSERT_EQ(SimConnect_Close(h), S_OK);
    HANDLE again = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(again, 4, "Frame"), S_OK);
    drain(again);
    gf_simModelFrames(3);
    EXPECT_TRUE(ofKind(drain(again), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).empty());
}

TEST_F(SimModelTest, EveryJournalEntryCarriesTheModelsClockTime) {
    gf_simModelSetClock(&lf_clock);
    gf_simModelStart(SimVersion::MSFS2020);
    gf_simModelSetAcceptAnyTitle(true);
    HANDLE h = open();
    g_clockNs.store(5'000);
    const DWORD id = createAircraft(h);
    g_clockNs.store(9'000);
    ASSERT_EQ(SimConnect_AIReleaseControl(h, id, 104), S_OK);
    ASSERT_EQ(SimConnect_AIRemoveObject(h, id, 105), S_OK);
    const auto journal = gf_simModelJournal(id);
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].timeNs, 5'000);
    EXPECT_EQ(journal[1].timeNs, 9'000);
    EXPECT_EQ(journal[2].timeNs, 9'000);

    gf_simModelSetClock({});  // the steady clock again
    const DWORD next = createAircraft(h, "Any", 10001);
    const auto stamped = gf_simModelJournal(next);
    ASSERT_EQ(stamped.size(), 1u);
    EXPECT_GT(stamped[0].timeNs, 9'000);
}
