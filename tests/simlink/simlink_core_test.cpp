// The link's setup, per-frame issuing and results against the simulator model.

#include <algorithm>
#include <ostream>

#include <gmock/gmock.h>

#include "simlink_fixture.h"

using namespace tavo::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using SetupTest = SimLinkTest;

template <typename Pairs>
std::vector<std::uint32_t> firstsOf(const Pairs& pairs) {
    std::vector<std::uint32_t> out;
    for (const auto& p : pairs) out.push_back(p.first);
    return out;
}

TEST_F(SetupTest, RegistersEveryIdentifierInOrder) {
    connect();
    EXPECT_TRUE(setupOk);
    const auto c = gf_simModelConnection("TAVO");
    ASSERT_TRUE(c.found);
    EXPECT_THAT(firstsOf(c.subscriptions), ElementsAre(201u, 202u, 203u, 205u, 204u));
    EXPECT_THAT(firstsOf(c.dataDefinitions), ElementsAre(407u, 408u, 409u, 402u, 403u, 405u, 406u, 404u, 401u));
    for (const auto& [id, names] : c.dataDefinitions) {
        if (id == 402) {
            EXPECT_THAT(names, ElementsAre("Plane Latitude", "Plane Longitude", "Plane Pitch degrees",
                                           "Plane Bank degrees", "Plane Heading degrees true", "Plane Altitude",
                                           "Vertical Speed", "Airspeed True"));
        } else if (id == 403) {
            ASSERT_EQ(names.size(), 15u);
            EXPECT_EQ(names[10], "ZULU TIME");
        } else if (id == 404) {
            EXPECT_THAT(names, ElementsAre("Plane Alt Above Ground", "Ground Altitude", "SIM ON GROUND", "ATC ID"));
        }
    }
    EXPECT_THAT(firstsOf(c.mappedEvents), ElementsAre(219u, 220u, 221u, 222u, 217u, 218u, 207u, 206u, 210u, 208u,
                                                      209u, 212u, 211u, 213u, 214u, 215u, 216u));
    // Sixteen events in the group: ENGINE_AUTO_START (220) is mapped but not grouped.
    ASSERT_EQ(c.groups.size(), 1u);
    EXPECT_EQ(c.groups[0].first, 301u);
    EXPECT_THAT(c.groups[0].second, ElementsAre(207u, 206u, 210u, 208u, 209u, 212u, 211u, 213u, 217u, 218u, 219u,
                                                221u, 222u, 214u, 215u, 216u));
    EXPECT_THAT(c.groupPriorities, ElementsAre(std::pair<std::uint32_t, std::uint32_t>{
                                       301u, SIMCONNECT_GROUP_PRIORITY_HIGHEST}));
    EXPECT_EQ(countOccurrences(logText(), "SimConnect setup failed"), 0u);
    // The OPEN answer was recognised and the "Sim" state followed.
    EXPECT_EQ(g_simState.load(), SIM_RUNNING);
    gf_simModelSetFlightRunning(false);
    dispatch();
    EXPECT_EQ(g_simState.load(), SIM_STOPPED);
}

struct RejectedCall {
    std::string name;  // of the test case: the rejected call in a few words
    SimCallFault fault;
    std::string text;
};

// The case's own name, not a dump of its bytes, in test and ctest names.
void PrintTo(const RejectedCall& call, std::ostream* out) { *out << call.name; }

class SetupFailureTest : public SimLinkTest, public ::testing::WithParamInterface<RejectedCall> {};

TEST_P(SetupFailureTest, OneRejectedCallGivesOneLineAndEveryOtherCallIsStillMade) {
    gf_simModelAddCallFault(GetParam().fault);
    connect();
    EXPECT_FALSE(setupOk);
    const std::string log = logText();
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
        RejectedCall{"PitchInThePoseDefinition", {SimCall::AddToDataDefinition, 0, "Plane Pitch degrees", 402u},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_LATLONPIBAHEALVSTAS, "
                     "\"Plane Pitch degrees\", kUnitRadian)"},
        RejectedCall{"ZuluTime", {SimCall::AddToDataDefinition, 0, "ZULU TIME"},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_LATLONPIBAVSHETRALTGSZULI, "
                     "\"ZULU TIME\", \"Seconds\", SIMCONNECT_DATATYPE_INT64)"},
        RejectedCall{"Title", {SimCall::AddToDataDefinition, 0, "TITLE"},
                     "SimConnect_AddToDataDefinition(l_hsimconnect, DEFINITION_USER_AC_GET_TITLE, \"TITLE\", "
                     "nullptr, SIMCONNECT_DATATYPE_STRINGV)"},
        RejectedCall{"FrameSubscription", {SimCall::SubscribeToSystemEvent, 0, "Frame"},
                     "SimConnect_SubscribeToSystemEvent(l_hsimconnect, EVENT_FRAME, \"Frame\")"},
        RejectedCall{"OneGroupEvent", {SimCall::AddClientEventToNotificationGroup, 3},
                     "SimConnect_AddClientEventToNotificationGroup( l_hsimconnect, TRAFFIC_APP, eventId, TRUE)"},
        RejectedCall{"GroupPriority", {SimCall::SetNotificationGroupPriority},
                     "SimConnect_SetNotificationGroupPriority( l_hsimconnect, TRAFFIC_APP, "
                     "SIMCONNECT_GROUP_PRIORITY_HIGHEST)"}),
    [](const ::testing::TestParamInfo<RejectedCall>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Per-frame issuing

using FrameTest = SimLinkTest;

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
    create.hexid = 0xABC003;
    gf_queueAiCreate(create);
    gf_queueFlightPlan(a, dir() / "1.pln");
    gf_queueClientEvent(a, FLAPS_SET, 3072);
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    gf_simModelFrames(1);
    dispatch();

    EXPECT_THAT(callsSince(mark), ElementsAre(SimCall::RequestDataOnSimObject, SimCall::AIReleaseControl,
                                              SimCall::TransmitClientEvent, SimCall::AIReleaseControl,
                                              SimCall::AISetAircraftFlightPlan, SimCall::AICreateNonATCAircraft,
                                              SimCall::AIRemoveObject, SimCall::SetDataOnSimObject));
    const auto objectA = gf_simModelObject(a);
    ASSERT_TRUE(objectA.has_value());
    EXPECT_DOUBLE_EQ(objectA->spoilersPct, 100.0);
    EXPECT_DOUBLE_EQ(objectA->throttle1Pct, -100.0);
    EXPECT_FALSE(gf_simModelObject(b).has_value());
    EXPECT_FALSE(gf_simLink().ownedObjects.contains(b));
}

// Flaps are set with the simulator's AI let go for the event and taken back
// after it; an event that could not be sent changed nothing, so control is
// not taken back a second time.
TEST_F(FrameTest, AFailedFlapsEventIsNotFollowedByASecondRelease) {
    connect();
    const auto a = createObject(0xABC011);
    results();
    gf_simModelAddCallFault({.call = SimCall::TransmitClientEvent, .times = 1});
    std::size_t mark = calls().size();
    gf_queueClientEvent(a, FLAPS_SET, 3072);
    frame();
    EXPECT_THAT(callsSince(mark), ElementsAre(SimCall::AIReleaseControl, SimCall::TransmitClientEvent));
    mark = calls().size();
    gf_queueClientEvent(a, FLAPS_SET, 3072);
    frame();
    EXPECT_THAT(callsSince(mark),
                ElementsAre(SimCall::AIReleaseControl, SimCall::TransmitClientEvent, SimCall::AIReleaseControl));
}

TEST_F(FrameTest, CreateRequestIdsStartAt10000AndRiseAcrossReconnections) {
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
    reopen();
    ASSERT_TRUE(setupOk);
    EXPECT_EQ(gf_simModelJournal(createObject(0x222222)).front().id, first + 1);
}

TEST_F(FrameTest, FailedCreateIsTiedToItsCreateByThePacketId) {
    connect();
    gf_simModelAddTitle({"Known Title", "B738"});
    SimCreateCommand good;
    good.title = "Known Title";
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
    const auto failed =
        std::find_if(r.begin(), r.end(), [](const SimCommand& c) { return c.kind == SIM_RESULT_CREATE_FAILED; });
    ASSERT_NE(failed, r.end());
    EXPECT_EQ(failed->hexid, 0x3C0002u);
    EXPECT_DOUBLE_EQ(failed->payload[0], static_cast<double>(badRequest));
    EXPECT_THAT(logText(), HasSubstr(fmt::format("requestId:{} hexid:3c0002 tailnumber:D-BAD", badRequest)));
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
    EXPECT_THAT(callsSince(mark), ElementsAre(SimCall::RequestDataOnSimObject));
    EXPECT_EQ(g_simState.load(), SIM_QUITTING);
    const auto stop = gf_pendingStopRequest();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::SimConnectError));
    EXPECT_EQ(stop->countdown, 9u);
    EXPECT_EQ(gf_gui().statusLine, "SimConnect request error");
    EXPECT_THAT(logText(), HasSubstr("==> SimConnect request user ac position fails"));
    // While quitting nothing more is issued and the lists are emptied.
    gf_queueSimRequest(SIM_REQUEST_USER_POSITION);
    frame();
    EXPECT_EQ(calls().size(), mark + 1);
    std::lock_guard lock(g_simCommandBuffers.mutex);
    EXPECT_TRUE(g_simCommandBuffers.requests.empty());
}

TEST_F(FrameTest, RemovingTheUserAircraftMakesNoCall) {
    connect();
    gf_simLink().userObjectId.store(gf_simModelUserObjectId());
    const std::size_t mark = calls().size();
    gf_removeAiAircraft(gf_simModelUserObjectId());
    gf_processFrameCommands();
    EXPECT_EQ(calls().size(), mark);
    EXPECT_THAT(logText(), HasSubstr("==> SimConnect call to remove ac with objectid 1"));
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
    EXPECT_DOUBLE_EQ(r[1].payload[2], 50.0);    // latitude
    EXPECT_DOUBLE_EQ(r[1].payload[7], 1000.0);  // altitude
}

}  // namespace
