// Every fault knob of the simulator model fires, and the simulator's own
// failures (quit, version switch) reach the client as it would see them.

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"

using namespace tavo::test;

TEST_F(SimModelTest, CallFaultsByArgumentNthCallIdAndConnection) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    // By argument: one variable name is refused, every time; nothing is sent.
    gf_simModelAddCallFault({.call = SimCall::AddToDataDefinition, .text = "Plane Bank degrees"});
    DWORD before = 0, after = 0;
    SimConnect_GetLastSentPacketID(h, &before);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), E_FAIL);
    SimConnect_GetLastSentPacketID(h, &after);
    EXPECT_EQ(after, before) << "a refused call sends no packet";
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Pitch degrees", "radian"), S_OK);
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), E_FAIL);
    // By n-th call.
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
    // Open itself, by name.
    gf_simModelAddCallFault({.call = SimCall::Open, .text = "PARKING_DATA_RDR", .times = 1});
    HANDLE refused = nullptr;
    EXPECT_EQ(SimConnect_Open(&refused, "PARKING_DATA_RDR", nullptr, 0, nullptr, 0), E_FAIL);
    EXPECT_EQ(refused, nullptr);
    gf_simModelClearFaults();
    EXPECT_EQ(SimConnect_AddToDataDefinition(h, 402, "Plane Bank degrees", "radian"), S_OK);
}

TEST_F(SimModelTest, FailingCallDispatchAndTruncatedRecords) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    gf_simModelAddCallFault({.call = SimCall::CallDispatch, .times = 1});
    Received r;
    EXPECT_EQ(SimConnect_CallDispatch(h, collectProc, &r), E_FAIL);
    EXPECT_TRUE(r.records.empty());
    EXPECT_EQ(drain(h).records.size(), 1u) << "OPEN still there";

    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "Plane Latitude", "degree"), S_OK);
    gf_simModelAddRecordFault({.recvId = SIMCONNECT_RECV_ID_SIMOBJECT_DATA, .requestId = 109u, .truncateTo = 44, .times = 1});
    for (DWORD request : {108u, 109u, 109u}) {
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, request, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    }
    r = drain(h);
    ASSERT_EQ(r.sizes.size(), 3u);
    EXPECT_EQ(r.sizes[0], 48u) << "another request id is not cut";
    EXPECT_EQ(r.sizes[1], 44u);
    EXPECT_EQ(field<DWORD>(r.records[1], 0), 44u) << "dwSize agrees";
    EXPECT_EQ(r.sizes[2], 48u) << "spent after one";
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
    EXPECT_EQ(exceptionOf(r.records[0]), 5u);
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
    EXPECT_EQ(exceptionOf(r.records[0]), 19u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), packet);
    EXPECT_NE(gf_simModelUserAircraft().pose.latitudeDeg, 1.0) << "nothing applied";
    // 24: an AI operation on an object of another client.
    const DWORD id = createAircraft(other);
    ASSERT_EQ(SimConnect_AIRemoveObject(h, id, 105), S_OK);
    EXPECT_EQ(exceptionOf(drain(h).records.at(0)), 24u);
    EXPECT_TRUE(gf_simModelObject(id));
}

TEST_F(SimModelTest, SimulatorQuitsWithQuitAndThenRefusesCalls) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    drain(h);
    gf_simModelFrames(1);
    gf_simModelStop();
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
    EXPECT_EQ(recvId(drain(h).records.at(0)), SIMCONNECT_RECV_ID_QUIT);
    SimConnect_Close(h);
    EXPECT_EQ(text(drain(open()).records.at(0), 12, 256), "SunRise");
    EXPECT_GE(gf_simModelUserObjectId(), 0x0A000000u);
}
