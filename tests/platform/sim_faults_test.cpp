// Every fault knob of the simulator model fires, and the simulator's own
// failures (quit, version switch) reach the client as it would see them.

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"

using namespace tavo::test;

TEST_F(SimModelTest, CallFaultsByFunctionNthCallTextAndId) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    // By argument: one variable name is refused, the others pass; nothing is sent.
    gf_simModelAddCallFault({.call = SimCall::AddToDataDefinition, .text = "Plane Bank degrees"});
    DWORD before = 0, after = 0;
    SimConnect_GetLastSentPacketID(h, &before);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), E_FAIL);
    SimConnect_GetLastSentPacketID(h, &after);
    EXPECT_EQ(after, before) << "a refused call sends no packet";
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Pitch degrees", "radian"), S_OK);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), E_FAIL) << "unlimited";

    // By n-th call, once.
    gf_simModelAddCallFault({.call = SimCall::MapClientEventToSimEvent, .nth = 2, .result = E_INVALIDARG});
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h, 1, "A"), S_OK);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h, 2, "B"), E_INVALIDARG);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h, 3, "C"), S_OK);

    // By id and connection, a limited number of times.
    HANDLE reader = open("PARKING_DATA_RDR");
    gf_simModelAddCallFault({.call = SimCall::SubscribeToSystemEvent, .id = 204u, .connection = "TAVO", .times = 1});
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(reader, 204, "Frame"), S_OK);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 205, "FlightLoaded"), S_OK);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), E_FAIL);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK) << "spent after one";

    // Open itself, by name; and GetLastSentPacketID.
    gf_simModelAddCallFault({.call = SimCall::Open, .text = "PARKING_DATA_RDR", .times = 1});
    HANDLE refused = nullptr;
    EXPECT_EQ(SimConnect_Open(&refused, "PARKING_DATA_RDR", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(refused, nullptr);
    gf_simModelAddCallFault({.call = SimCall::GetLastSentPacketID, .times = 1});
    EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &after), E_FAIL);

    // The call log shows the failed calls with their results.
    const auto info = gf_simModelConnection("TAVO");
    int failed = 0;
    for (const auto& c : info.calls) failed += FAILED(c.result) ? 1 : 0;
    EXPECT_EQ(failed, 4);

    gf_simModelClearFaults();
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), S_OK);
}

TEST_F(SimModelTest, FailingCallDispatchKeepsTheRecords) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    gf_simModelAddCallFault({.call = SimCall::CallDispatch, .times = 2});
    Received r;
    EXPECT_EQ(SimConnect_CallDispatch(h, collectProc, &r), E_FAIL);
    EXPECT_EQ(SimConnect_CallDispatch(h, collectProc, &r), E_FAIL);
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(drain(h).records.size(), 1u) << "OPEN still there";
}

TEST_F(SimModelTest, TruncatedRecordsAreDeliveredCut) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "Plane Latitude", "degree"), S_OK);
    gf_simModelAddRecordFault({.recvId = SIMCONNECT_RECV_ID_SIMOBJECT_DATA, .requestId = 109u, .truncateTo = 44, .times = 1});
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.sizes.size(), 3u);
    EXPECT_EQ(r.sizes[0], 48u) << "another request id is not cut";
    EXPECT_EQ(r.sizes[1], 44u);
    EXPECT_EQ(field<DWORD>(r.records[1], 0), 44u) << "dwSize agrees";
    EXPECT_EQ(r.sizes[2], 48u) << "spent after one";

    gf_simModelAddRecordFault({.recvId = SIMCONNECT_RECV_ID_OPEN, .truncateTo = 100});
    HANDLE h2 = open("X");
    EXPECT_EQ(drain(h2).sizes.at(0), 100u);
}

TEST_F(SimModelTest, ExceptionsFiveNineteenAndTwentyFour) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    HANDLE other = open("OTHER");
    drain(h);
    drain(other);
    gf_simModelSendException("TAVO", SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, 7);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 5u);
    EXPECT_EQ(field<DWORD>(r.records[0], 20), 7u);
    EXPECT_TRUE(drain(other).records.empty()) << "only the named connection";

    // 19: a pose of the wrong size is refused after the fact.
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Latitude", "degree"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Longitude", "degree"), S_OK);
    double pose[3] = {1, 2, 3};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 402, 0, 0, 0, 24, pose), S_OK);
    DWORD packet = 0;
    SimConnect_GetLastSentPacketID(h, &packet);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 19u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), packet);
    EXPECT_NE(gf_simModelUserAircraft().pose.latitudeDeg, 1.0) << "nothing applied";

    // 24: an AI operation on an object of another client.
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(other, "Any", "N", {1, 1, 0, 0, 0, 0, 1, 0}, 1), S_OK);
    const DWORD id = field<DWORD>(ofKind(drain(other), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0), 16);
    ASSERT_EQ(SimConnect_AIRemoveObject(h, id, 105), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 24u);
    EXPECT_TRUE(gf_simModelObject(id));

    // Any record, as it is.
    std::vector<std::byte> raw(16, std::byte{0});
    raw[8] = std::byte{27};
    gf_simModelQueueRawRecord("", raw);
    EXPECT_EQ(recvId(drain(h).records.at(0)), 27u);
    EXPECT_EQ(recvId(drain(other).records.at(0)), 27u);
}

TEST_F(SimModelTest, SimulatorQuitsWithQuitAndThenRefusesCalls) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "N", {1, 1, 0, 0, 0, 0, 1, 0}, 1), S_OK);
    drain(h);
    gf_simModelFrames(1);
    gf_simModelStop();
    EXPECT_FALSE(gf_simModelIsRunning());
    EXPECT_TRUE(gf_simModelObjects().empty());
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EVENT_FRAME);
    EXPECT_EQ(recvId(r.records[1]), SIMCONNECT_RECV_ID_QUIT);
    Received none;
    EXPECT_EQ(SimConnect_CallDispatch(h, collectProc, &none), E_FAIL) << "the connection is gone";
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(h, 1, "Sim"), E_FAIL);
    HANDLE again = nullptr;
    EXPECT_EQ(SimConnect_Open(&again, "TAVO", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(SimConnect_Close(h), S_OK);
}

TEST_F(SimModelTest, SimulatorSwitchesVersion) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    gf_simModelSwitchVersion();
    EXPECT_EQ(gf_simModelVersion(), SimVersion::MSFS2024);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_QUIT);
    SimConnect_Close(h);
    h = open();
    EXPECT_EQ(text(drain(h).records.at(0), 12, 256), "SunRise");
    EXPECT_GE(gf_simModelUserObjectId(), 0x0A000000u);
}

TEST_F(SimModelTest, ResetDropsConnectionsAndWorld) {
    gf_simModelStart(SimVersion::MSFS2024);
    HANDLE h = open();
    gf_simModelAddCallFault({.call = SimCall::Close});
    gf_simModelReset();
    EXPECT_FALSE(gf_simModelIsRunning());
    EXPECT_EQ(gf_simModelVersion(), SimVersion::MSFS2020);
    EXPECT_EQ(gf_simModelOpenConnectionCount(), 0);
    EXPECT_EQ(SimConnect_Close(h), E_HANDLE);
    EXPECT_FALSE(gf_simModelConnection("TAVO").found);
}
