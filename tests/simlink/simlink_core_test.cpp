// The link's setup, per-frame issuing and results against the simulator model.

#include <algorithm>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using SetupTest = SimLinkTest;

TEST_F(SetupTest, RegistersEveryIdentifierInOrder) {
    connect();
    EXPECT_TRUE(setupOk);
    const auto c = gf_simModelConnection("TAVO");
    ASSERT_TRUE(c.found);
    std::vector<std::uint32_t> subscribed;
    for (const auto& s : c.subscriptions) subscribed.push_back(s.first);
    EXPECT_THAT(subscribed, ElementsAre(201u, 202u, 203u, 205u, 204u));

    std::vector<std::uint32_t> definitionOrder;
    for (const auto& d : c.dataDefinitions) definitionOrder.push_back(d.first);
    EXPECT_THAT(definitionOrder, ElementsAre(407u, 408u, 409u, 402u, 403u, 405u, 406u, 404u, 401u));
    for (const auto& [id, names] : c.dataDefinitions) {
        if (id == 402) {
            EXPECT_THAT(names, ElementsAre("Plane Latitude", "Plane Longitude", "Plane Pitch degrees",
                                           "Plane Bank degrees", "Plane Heading degrees true", "Plane Altitude",
                                           "Vertical Speed", "Airspeed True"));
        }
        if (id == 403) {
            ASSERT_EQ(names.size(), 15u);
            EXPECT_EQ(names[10], "ZULU TIME");
            EXPECT_EQ(names[14], "GPS Ground True Track");
        }
        if (id == 404) {
            EXPECT_THAT(names, ElementsAre("Plane Alt Above Ground", "Ground Altitude", "SIM ON GROUND", "ATC ID"));
        }
    }

    std::vector<std::uint32_t> mapped;
    for (const auto& m : c.mappedEvents) mapped.push_back(m.first);
    EXPECT_THAT(mapped, ElementsAre(219u, 220u, 221u, 222u, 217u, 218u, 207u, 206u, 210u, 208u, 209u, 212u, 211u,
                                    213u, 214u, 215u, 216u));
    ASSERT_EQ(c.groups.size(), 1u);
    EXPECT_EQ(c.groups[0].first, 301u);
    EXPECT_THAT(c.groups[0].second, ElementsAre(207u, 206u, 210u, 208u, 209u, 212u, 211u, 213u, 217u, 218u, 219u,
                                                221u, 222u, 214u, 215u, 216u));
    EXPECT_EQ(std::count(c.groups[0].second.begin(), c.groups[0].second.end(), 220u), 0);
    ASSERT_EQ(c.groupPriorities.size(), 1u);
    EXPECT_EQ(c.groupPriorities[0], (std::pair<std::uint32_t, std::uint32_t>{301u, SIMCONNECT_GROUP_PRIORITY_HIGHEST}));
    EXPECT_EQ(countOccurrences(readLogFile(), "SimConnect setup failed"), 0u);
    // The OPEN answer was recognised and the "Sim" state followed.
    EXPECT_EQ(g_simState.load(), SIM_RUNNING);
    EXPECT_EQ(gf_gui().simulatorName, "MSFS 2020");
    gf_simModelSetFlightRunning(false);
    dispatch();
    EXPECT_EQ(g_simState.load(), SIM_STOPPED);
    EXPECT_FALSE(gf_gui().simulatorReady);
}

struct RejectedCall {
    SimCallFault fault;
    std::string text;
};

class SetupFailureTest : public SimLinkTest, public ::testing::WithParamInterface<RejectedCall> {};

TEST_P(SetupFailureTest, OneRejectedCallGivesOneLineAndEveryOtherCallIsStillMade) {
    gf_simModelAddCallFault(GetParam().fault);
    connect();
    EXPECT_FALSE(setupOk);
    const std::string log = readLogFile();
    EXPECT_EQ(countOccurrences(log, "SimConnect setup failed"), 1u) << log;
    EXPECT_THAT(log, HasSubstr("SimConnect setup failed: " + GetParam().text + " (hr=0x80004005)"));
    const auto all = calls();
    const auto setupCalls = std::count_if(all.begin(), all.end(), [](const SimCallRecord& r) {
        return r.call != SimCall::Open && r.call != SimCall::Close;
    });
    EXPECT_EQ(setupCalls, 5 + 36 + 17 + 16 + 1);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const SimCallRecord& r) { return r.result < 0; }), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SetupFailureTest,
    ::testing::Values(
        RejectedCall{{SimCall::AddToDataDefinition, 0, "Plane Pitch degrees", 402u},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_LATLONPIBAHEALVSTAS, "
                     "\"Plane Pitch degrees\", kUnitRadian)"},
        RejectedCall{{SimCall::AddToDataDefinition, 0, "ZULU TIME"},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_LATLONPIBAVSHETRALTGSZULI, "
                     "\"ZULU TIME\", \"Seconds\", SIMCONNECT_DATATYPE_INT64)"},
        RejectedCall{{SimCall::AddToDataDefinition, 0, "TITLE"},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_USER_AC_GET_TITLE, \"TITLE\", "
                     "nullptr, SIMCONNECT_DATATYPE_STRINGV)"},
        RejectedCall{{SimCall::SubscribeToSystemEvent, 0, "Frame"},
                     "SimConnect_SubscribeToSystemEvent(l_hsimconnect, EVENT_FRAME, \"Frame\")"},
        RejectedCall{{SimCall::AddClientEventToNotificationGroup, 3},
                     "SimConnect_AddClientEventToNotificationGroup( l_hsimconnect, TRAFFIC_APP, eventId, TRUE)"},
        RejectedCall{{SimCall::SetNotificationGroupPriority},
                     "SimConnect_SetNotificationGroupPriority( l_hsimconnect, TRAFFIC_APP, "
                     "SIMCONNECT_GROUP_PRIORITY_HIGHEST)"}));

// ---------------------------------------------------------------------------
// Per-frame issuing

using FrameTest = SimLinkTest;

std::vector<SimCall> callsAfter(const std::vector<SimCallRecord>& all, std::size_t from) {
    std::vector<SimCall> out;
    for (std::size_t i = from; i < all.size(); ++i) out.push_back(all[i].call);
    return out;
}

TEST_F(FrameTest, IssuesTheListsInTheirFixedOrder) {
    connect();
    const auto a = createObject(0xABC001);
    const auto b = createObject(0xABC002);
    results();
    const std::size_t mark = calls().size();

    gf_setAiReverseThrust(a, true, true);
    gf_removeAiAircraft(b);
    SimCreateCommand create;
    create.title = "Another";
    create.tailNumber = "D-NEXT";
    create.hexid = 0xABC003;
    gf_queueAiCreate(create);
    gf_queueFlightPlan(a, dir() / "1.pln");
    gf_queueClientEvent(a, FLAPS_SET, 3072);
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    gf_simModelFrames(1);
    dispatch();

    const auto issued = callsAfter(calls(), mark);
    EXPECT_THAT(issued, ElementsAre(SimCall::RequestDataOnSimObject, SimCall::AIReleaseControl,
                                    SimCall::TransmitClientEvent, SimCall::AIReleaseControl,
                                    SimCall::AISetAircraftFlightPlan, SimCall::AICreateNonATCAircraft,
                                    SimCall::AIRemoveObject, SimCall::SetDataOnSimObject));
    const auto objectA = gf_simModelObject(a);
    ASSERT_TRUE(objectA.has_value());
    EXPECT_DOUBLE_EQ(objectA->spoilersPct, 100.0);
    EXPECT_DOUBLE_EQ(objectA->throttle1Pct, -100.0);
    EXPECT_DOUBLE_EQ(objectA->throttle2Pct, -100.0);
    EXPECT_FALSE(gf_simModelObject(b).has_value());
    EXPECT_FALSE(gf_simLink().ownedObjects.contains(b));
}

TEST_F(FrameTest, AssignedObjectIsReleasedFrozenAndReportedWithItsHexid) {
    connect();
    const auto live = createObject(0x4CA123);
    const auto parked = createObject(42);
    const auto info = gf_simModelObject(live);
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->released);
    EXPECT_TRUE(info->freezeLatLon && info->freezeAltitude && info->freezeAttitude);
    EXPECT_TRUE(gf_simLink().staticObjects.contains(parked));
    EXPECT_FALSE(gf_simLink().staticObjects.contains(live));
    // A parked object that becomes live leaves the static set at the next frame.
    gf_releaseStaticObjectId(parked);
    frame();
    EXPECT_FALSE(gf_simLink().staticObjects.contains(parked));
}

TEST_F(FrameTest, CreateRequestIdsRiseAcrossReconnections) {
    connect();
    const std::uint32_t first = gf_peekNextCreateRequestId();
    EXPECT_GE(first, 10000u);
    const auto id = createObject(0x111111);
    const auto journal = gf_simModelJournal(id);
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.front().kind, SimJournalKind::Created);
    EXPECT_EQ(journal.front().id, first);

    SimConnect_Close(gf_simHandle());
    gf_resetSimClient();
    HANDLE h = nullptr;
    ASSERT_EQ(SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0), S_OK);
    gf_simLink().handle.store(h);
    ASSERT_TRUE(gf_setupSimConnect());
    dispatch();
    const auto second = createObject(0x222222);
    EXPECT_EQ(gf_simModelJournal(second).front().id, first + 1);
}

TEST_F(FrameTest, FailedCreateIsTiedToItsCreateByThePacketId) {
    connect();
    gf_simModelAddTitle({"Known Title", "B738"});
    SimCreateCommand good;
    good.title = "Known Title";
    good.tailNumber = "D-GOOD";
    good.hexid = 0x3C0001;
    SimCreateCommand bad = good;
    bad.title = "Not Installed";
    bad.tailNumber = "D-BAD";
    bad.hexid = 0x3C0002;
    const std::uint32_t badRequest = gf_peekNextCreateRequestId() + 1;
    gf_queueAiCreate(good);
    gf_queueAiCreate(bad);
    frame();
    const auto r = results();
    ASSERT_EQ(r.size(), 2u);
    const auto failed = std::find_if(r.begin(), r.end(), [](const SimCommand& c) { return c.kind == SIM_RESULT_CREATE_FAILED; });
    ASSERT_NE(failed, r.end());
    EXPECT_EQ(failed->hexid, 0x3C0002u);
    EXPECT_EQ(failed->objectId, 0u);
    EXPECT_DOUBLE_EQ(failed->payload[0], static_cast<double>(badRequest));
    EXPECT_THAT(readLogFile(), HasSubstr(fmt::format("requestId:{} hexid:3c0002 tailnumber:D-BAD", badRequest)));
    EXPECT_TRUE(gf_simLink().pendingCreates.empty());
    EXPECT_TRUE(gf_simLink().createRequestByPacket.empty());
}

TEST_F(FrameTest, FailedRequestEndsTheFrameSetsQuittingAndPostsTheStop) {
    connect();
    gf_simModelAddCallFault({SimCall::RequestDataOnSimObject, 1});
    const std::size_t mark = calls().size();
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    gf_queueSimRequest(SIM_REQUEST_USER_ON_GROUND);
    gf_queueClientEvent(1, GEAR_SET, 1);
    SimCreateCommand create;
    create.title = "X";
    create.hexid = 0x777777;
    gf_queueAiCreate(create);
    gf_simModelFrames(1);
    dispatch();
    const auto issued = callsAfter(calls(), mark);
    EXPECT_THAT(issued, ElementsAre(SimCall::RequestDataOnSimObject));
    EXPECT_EQ(g_simState.load(), SIM_QUITTING);
    const auto stop = gf_pendingStopRequest();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::SimConnectError));
    EXPECT_EQ(stop->countdown, 9u);
    EXPECT_EQ(gf_gui().statusLine, "SimConnect request error");
    EXPECT_THAT(readLogFile(), HasSubstr("==> SimConnect request user ac position fails"));
    // While quitting nothing more is issued and the lists are emptied.
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    frame();
    EXPECT_EQ(calls().size(), mark + 1);
    std::lock_guard lock(g_simCommandBuffers.mutex);
    EXPECT_TRUE(g_simCommandBuffers.requests.empty());
}

TEST_F(FrameTest, FailedTitleRequestStillAsksForTheModel) {
    connect();
    gf_simModelAddCallFault({SimCall::RequestDataOnSimObject, 1});
    const std::size_t mark = calls().size();
    gf_queueSimRequest(SIM_REQUEST_USER_TITLE_AND_MODEL);
    gf_processFrameCommands();
    const auto all = calls();
    ASSERT_EQ(all.size(), mark + 2);
    EXPECT_EQ(all[mark].id, 106u);
    EXPECT_LT(all[mark].result, 0);
    EXPECT_EQ(all[mark + 1].id, 107u);
}

TEST_F(FrameTest, FlapsAreSetBetweenTwoReleasesAndAFailedTransmitSkipsTheSecond) {
    connect();
    const auto id = createObject(0x500001);
    std::size_t mark = calls().size();
    gf_queueClientEvent(id, FLAPS_SET, 10240);
    gf_processFrameCommands();
    EXPECT_THAT(callsAfter(calls(), mark),
                ElementsAre(SimCall::AIReleaseControl, SimCall::TransmitClientEvent, SimCall::AIReleaseControl));
    gf_simModelAddCallFault({SimCall::TransmitClientEvent, 1});
    mark = calls().size();
    gf_queueClientEvent(id, FLAPS_SET, 0);
    gf_processFrameCommands();
    EXPECT_THAT(callsAfter(calls(), mark), ElementsAre(SimCall::AIReleaseControl, SimCall::TransmitClientEvent));
    EXPECT_NE(g_simState.load(), SIM_QUITTING);  // client events are not reported
}

TEST_F(FrameTest, LightsGoOutAsSevenEventsInTheirOrder) {
    connect();
    const auto id = createObject(0x500002);
    const std::size_t mark = calls().size();
    gf_setAiLights(id, {1, 0, 1, 0, 1, 0, 1});
    gf_processFrameCommands();
    const auto all = calls();
    std::vector<std::uint32_t> events;
    for (std::size_t i = mark; i < all.size(); ++i) events.push_back(all[i].id2);
    EXPECT_THAT(events, ElementsAre(207u, 206u, 210u, 208u, 209u, 212u, 211u));
    EXPECT_EQ(gf_simModelObject(id)->lightStates, 0x1 | 0x4 | 0x10 | 0x200);
}

TEST_F(FrameTest, RemovingTheUserAircraftMakesNoCall) {
    connect();
    gf_simLink().userObjectId.store(gf_simModelUserObjectId());
    const std::size_t mark = calls().size();
    gf_removeAiAircraft(gf_simModelUserObjectId());
    gf_processFrameCommands();
    EXPECT_EQ(calls().size(), mark);
    EXPECT_THAT(readLogFile(), HasSubstr("==> SimConnect call to remove ac with objectid 1"));
    EXPECT_NE(g_simState.load(), SIM_QUITTING);
}

TEST_F(FrameTest, FlightPlansAreDroppedWithMsfs2024) {
    selectSimulator(SimVersion::MSFS2024);
    connect(SimVersion::MSFS2024);
    const auto id = createObject(0x600001);
    const std::size_t mark = calls().size();
    gf_queueFlightPlan(id, dir() / "1.pln");
    gf_processFrameCommands();
    EXPECT_EQ(calls().size(), mark);
    std::lock_guard lock(g_simCommandBuffers.mutex);
    EXPECT_TRUE(g_simCommandBuffers.flightPlans.empty());
}

TEST_F(FrameTest, RequestsGoToTheirDefinitionsAndAnswersBecomeResults) {
    gf_simModelAddTitle({"CG Title", "A320", 7.5, 0.02});
    connect();
    const auto id = createObject(0x700001, "CG Title");
    gf_requestAiStaticCg(id);
    gf_requestAiInitialPose(id);
    frame();
    const auto r = results();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].kind, SIM_RESULT_STATIC_CG);
    EXPECT_EQ(r[0].objectId, id);
    EXPECT_DOUBLE_EQ(r[0].payload[0], 7.5);
    EXPECT_DOUBLE_EQ(r[0].payload[1], 0.02);
    EXPECT_EQ(r[1].kind, SIM_RESULT_INITIAL_POSE);
    EXPECT_DOUBLE_EQ(r[1].payload[0], 0.0);
    EXPECT_DOUBLE_EQ(r[1].payload[2], 50.0);  // latitude
    EXPECT_DOUBLE_EQ(r[1].payload[3], 8.0);   // longitude
    EXPECT_DOUBLE_EQ(r[1].payload[7], 1000.0);  // altitude
}

}  // namespace
