// The client API against the simulator model: connection, the setup the
// simulator link makes, creates, data, poses, events and removals.

#include <chrono>
#include <cmath>
#include <fstream>
#include <map>

#include "foundation/geodesy.h"
#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"
#include "support/temp_dir.h"

using namespace tavo::test;

namespace {


struct Datum {
    DWORD definition;
    const char* name;
    const char* unit;
    SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64;
};

// The subscriptions and the data definitions the simulator link makes.
void setUpLikeTheLink(HANDLE h) {
    const std::pair<DWORD, const char*> events[] = {
        {201, "Sim"}, {202, "ObjectAdded"}, {203, "ObjectRemoved"}, {205, "FlightLoaded"}, {204, "Frame"}};
    for (const auto& [id, name] : events) ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, id, name), S_OK);
    const Datum data[] = {
        {407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV},
        {408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32},
        {409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
        {403, "PLANE LATITUDE", "degree"},  // names are matched without case
        {403, "plane pitch DEGREES", "radian"},
        {403, "Plane Altitude", "feet"},
        {403, "Plane Alt Above Ground", "feet"},
        {403, "ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64},
        {403, "ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
        {403, "ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
        {403, "LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64},
        {403, "GPS Ground True Track", "degree"},
        {404, "Plane Alt Above Ground", "feet"},
        {404, "Ground Altitude", "feet"},
        {404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
        {404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32},
    };
    for (const Datum& d : data) ASSERT_EQ(SimConnect_AddToDataDefinition(h, d.definition, d.name, d.unit, d.type), S_OK);
}

}  // namespace

TEST_F(SimModelTest, OpenFailsWhileTheSimulatorIsDownAndNamesTheVersionWhenUp) {
    HANDLE h = reinterpret_cast<HANDLE>(1);
    EXPECT_LT(SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(h, nullptr);
    gf_simModelStart(SimVersion::MSFS2020);
    h = open();
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_OPEN);
    EXPECT_EQ(r.sizes[0], 308u);
    EXPECT_EQ(text(r.records[0], 12, 256), "KittyHawk");
    EXPECT_EQ(field<DWORD>(r.records[0], 268), 11u);
    EXPECT_EQ(SimConnect_Close(h), S_OK);
    EXPECT_EQ(SimConnect_Close(h), E_HANDLE) << "a closed handle is not a connection any more";
    gf_simModelStop();
    gf_simModelStart(SimVersion::MSFS2024);
    EXPECT_EQ(text(drain(open()).records.at(0), 12, 256), "SunRise");
}

TEST_F(SimModelTest, SetupSequenceGetsOpenSimStateAndFrames) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 207, "NAV_LIGHTS_SET"), S_OK);
    ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, 207, TRUE), S_OK);
    ASSERT_EQ(SimConnect_SetNotificationGroupPriority(h, 301, SIMCONNECT_GROUP_PRIORITY_HIGHEST), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 2u) << "OPEN, then the state of \"Sim\"";
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_OPEN);
    EXPECT_EQ(recvId(r.records[1]), SIMCONNECT_RECV_ID_EVENT);
    EXPECT_EQ(field<DWORD>(r.records[1], 16), 201u);
    EXPECT_EQ(field<DWORD>(r.records[1], 20), 1u) << "a flight runs";
    gf_simModelFrames(2);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 2u);
    for (const auto& rec : r.records) {
        EXPECT_EQ(recvId(rec), SIMCONNECT_RECV_ID_EVENT_FRAME);
        EXPECT_EQ(field<DWORD>(rec, 16), 204u);
    }
    gf_simModelSetFlightRunning(false);  // each change of state is sent
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 20), 0u);
    // Every call after Open sent one packet, with rising ids.
    const auto info = gf_simModelConnection("TAVO");
    DWORD last = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &last), S_OK);
    EXPECT_EQ(last, info.calls.size() - 1);
    EXPECT_EQ(info.groupPriorities.at(0).second, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

TEST_F(SimModelTest, CreateYieldsAssignedIdAndObjectAddedOrExceptionWithThePacketId) {
    gf_simModelAddTitle({"Airbus A320 Neo Asobo", "A20N", 6.5, 0.02});
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    HANDLE other = open("OTHER");
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(other, 7, "objectadded"), S_OK);
    drain(h);
    drain(other);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "airbus a320 neo asobo", "D-AINA", initAt(47, 8, 1400), 10000), S_OK);
    auto r = drain(h);
    auto assigned = ofKind(r, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    ASSERT_EQ(assigned.size(), 1u);
    EXPECT_EQ(field<DWORD>(assigned[0], 12), 10000u);
    const DWORD id = field<DWORD>(assigned[0], 16);
    EXPECT_LT(id, 0x10000u) << "2020 ids are small";
    auto added = ofKind(r, SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(field<DWORD>(added[0], 16), 202u);
    EXPECT_EQ(field<DWORD>(added[0], 20), id);
    auto addedOther = ofKind(drain(other), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(addedOther.size(), 1u) << "every subscriber hears of it";
    EXPECT_EQ(field<DWORD>(addedOther[0], 16), 7u);
    EXPECT_EQ(gf_simModelObject(id)->atcId, "D-AINA");

    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Not Installed", "N1", initAt(47, 8, 1400), 10001), S_OK);
    DWORD packet = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &packet), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(exceptionOf(r.records[0]), 22u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), packet);

    gf_simModelStop();
    gf_simModelStart(SimVersion::MSFS2024);
    EXPECT_GE(createAircraft(open(), "Airbus A320 Neo Asobo"), 0x0A000000u) << "2024 ids are large";
}

TEST_F(SimModelTest, OnceASecondDataArrivesEachSimulatedSecond) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    drain(h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 409, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND), S_OK);
    gf_simModelFrames(5);
    EXPECT_TRUE(ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty()) << "frames are not seconds";
    gf_simModelSeconds(3);
    auto data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 3u);
    for (const auto& d : data) {
        EXPECT_EQ(d.size(), 48u);
        EXPECT_EQ(field<DWORD>(d, 12), 108u);
        EXPECT_EQ(field<DWORD>(d, 16), gf_simModelUserObjectId()) << "replies carry the real id";
        EXPECT_EQ(field<std::int64_t>(d, 40), 1);
    }
    auto user = gf_simModelUserAircraft();
    user.onGround = false;
    gf_simModelSetUserAircraft(user);
    gf_simModelSeconds(1);
    EXPECT_EQ(field<std::int64_t>(ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).at(0), 40), 0);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_NEVER), S_OK);
    gf_simModelSeconds(2);
    EXPECT_TRUE(ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty()) << "period NEVER ends it";
}

TEST_F(SimModelTest, UserDataIsPackedInTheOrderAndTypesOfTheDefinitions) {
    SimUserAircraft u;
    u.title = "Boeing 737-800 Sample With A Long Title";
    u.atcModel = "ATCCOM.AC_MODEL B738.0.text";
    u.pose = {47.5, -122.25, 1000.0, 0.05, -0.1, 1.5, 500.0, 140.0, 130.0};
    u.lightStates = 0x105;
    gf_simModelSetUserAircraft(u);
    gf_simModelSetTerrain([](double, double) { return 400.0; });
    gf_simModelSetZuluTime(1735603200 + 3605);  // 2024-12-31 01:00:05, the last day of a leap year
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    drain(h);
    const std::pair<DWORD, DWORD> requests[] = {{106, 407}, {107, 408}, {109, 403}};
    for (const auto& [request, definition] : requests) {
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, request, definition, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    }
    auto data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].size(), 40 + u.title.size() + 1) << "STRINGV takes the text and its NUL";
    EXPECT_EQ(text(data[0], 40, 200), u.title);
    EXPECT_EQ(data[1].size(), 72u);
    EXPECT_EQ(text(data[1], 40, 32), u.atcModel);
    const auto& p = data[2];
    ASSERT_EQ(p.size(), 40u + 4 * 8 + 4 * 8 + 8);
    EXPECT_EQ(field<double>(p, 40), 47.5);
    EXPECT_EQ(field<double>(p, 48), 0.05);
    EXPECT_EQ(field<double>(p, 56), 1000.0);
    EXPECT_EQ(field<double>(p, 64), 600.0) << "above the terrain";
    EXPECT_EQ(field<std::int64_t>(p, 72), 3605);
    EXPECT_EQ(field<std::int64_t>(p, 80), 366);
    EXPECT_EQ(field<std::int64_t>(p, 88), 2024);
    EXPECT_EQ(field<std::int64_t>(p, 96), 0x105);
    EXPECT_NEAR(field<double>(p, 104), 1.5 * radiansToDegrees, 1e-9);
}

TEST_F(SimModelTest, ByTypeDataGivesEachAircraftWithinTheRadius) {
    gf_simModelSetAcceptAnyTitle(true);
    SimUserAircraft u;
    u.pose.latitudeDeg = 47.0;
    u.pose.longitudeDeg = 8.0;
    gf_simModelSetUserAircraft(u);
    gf_simModelSetTerrain([](double, double lon) { return lon > 8.05 ? 900.0 : 1400.0; });
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "OWN1", initAt(47.005, 8.0, 1406), 10000), S_OK);
    SimTrafficAircraft near;
    near.atcId = "FRGN1";
    near.pose.latitudeDeg = 47.0;
    near.pose.longitudeDeg = 8.06;  // about 4.6 km east
    near.pose.altitudeFt = 3400;
    const auto nearId = gf_simModelAddTraffic(near);
    SimTrafficAircraft far = near;
    far.pose.longitudeDeg = 9.5;
    gf_simModelAddTraffic(far);
    drain(h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
    auto data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    ASSERT_EQ(data.size(), 3u) << "user, own AI and the near traffic";
    EXPECT_EQ(field<DWORD>(data[0], 16), gf_simModelUserObjectId());
    for (std::size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(data[i].size(), 96u);
        EXPECT_EQ(field<DWORD>(data[i], 28), i + 1) << "entry number";
        EXPECT_EQ(field<DWORD>(data[i], 32), 3u) << "out of";
    }
    EXPECT_NEAR(field<double>(data[1], 40), 5.0, 1e-9);  // created on the ground: at its static CG over 1400 ft
    EXPECT_EQ(field<std::int64_t>(data[1], 56), 1);
    EXPECT_EQ(text(data[1], 64, 32), "OWN1");
    EXPECT_EQ(field<DWORD>(data[2], 16), nearId);
    EXPECT_EQ(field<double>(data[2], 48), 900.0);
    EXPECT_EQ(field<std::int64_t>(data[2], 56), 0);
    EXPECT_EQ(text(data[2], 64, 32), "FRGN1");
}

TEST_F(SimModelTest, AnAircraftCreatedOnOrIntoTheGroundStandsAtItsStaticCgOverTheTerrain) {
    gf_simModelAddTitle({"Heavy Title", "B744", 8.0, 0.01});
    SimUserAircraft user;
    user.pose.latitudeDeg = 47.0;
    user.pose.longitudeDeg = 8.0;
    gf_simModelSetUserAircraft(user);
    gf_simModelSetTerrain([](double, double) { return 433.0; });
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    drain(h);
    struct Row {
        DWORD onGround;
        double createdFt;
        double altitudeFt;  // where it stands
        double aboveGroundFt;
        std::int64_t reportedOnGround;
    };
    const Row rows[] = {
        {1, 0.0, 441.0, 8.0, 1},      // the on-ground flag
        {1, 900.0, 441.0, 8.0, 1},    // the flag wins over a height
        {0, 441.0, 441.0, 8.0, 1},    // exactly at terrain + CG
        {0, 300.0, 441.0, 8.0, 1},    // below the terrain
        {0, 441.5, 441.5, 8.5, 0},    // above: left in the air
    };
    std::map<DWORD, Row> byObject;
    DWORD request = 10000;
    for (const Row& row : rows) {
        auto at = initAt(47.0 + 0.001 * (request - 10000), 8.0, row.createdFt);
        at.OnGround = row.onGround;
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Heavy Title", "N1", at, request++), S_OK);
        const auto assigned = ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
        ASSERT_EQ(assigned.size(), 1u);
        const DWORD id = field<DWORD>(assigned[0], 16);
        byObject.emplace(id, row);
        EXPECT_DOUBLE_EQ(gf_simModelObject(id)->pose.altitudeFt, row.altitudeFt) << row.createdFt;
    }
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(h, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
    std::size_t seen = 0;
    for (const auto& data : ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE)) {
        const auto it = byObject.find(field<DWORD>(data, 16));
        if (it == byObject.end()) continue;
        ++seen;
        SCOPED_TRACE(it->second.createdFt);
        EXPECT_DOUBLE_EQ(field<double>(data, 40), it->second.aboveGroundFt);
        EXPECT_EQ(field<double>(data, 48), 433.0);
        EXPECT_EQ(field<std::int64_t>(data, 56), it->second.reportedOnGround);
    }
    EXPECT_EQ(seen, std::size(rows));
}

TEST_F(SimModelTest, PosesEventsReleaseAndRemovalGoIntoTheJournal) {
    gf_simModelAddTitle({"Jet", "B738", 7.0, 0.0});
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    HANDLE other = open("OTHER");
    const Datum pose412[] = {{412, "Plane Latitude", "degree"},      {412, "Plane Longitude", "degree"},
                             {412, "Plane Pitch degrees", "radian"}, {412, "Plane Bank degrees", "radian"},
                             {412, "Plane Heading degrees true", "radian"}, {412, "Plane Altitude", "feet"},
                             {412, "Vertical Speed", "feet per minute"},    {412, "Airspeed True", "knots"}};
    for (const Datum& d : pose412) ASSERT_EQ(SimConnect_AddToDataDefinition(h, d.definition, d.name, d.unit), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(other, 3, "ObjectRemoved"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 217, "FLAPS_SET"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 207, "NAV_LIGHTS_SET"), S_OK);
    const DWORD id = createAircraft(h, "Jet");
    drain(other);

    ASSERT_EQ(SimConnect_AIReleaseControl(h, id, 104), S_OK);
    gf_simModelFrames(1);
    double pose[8] = {47.001, 8.002, 0.01, 0.02, 1.0, 8.0, 0.0, 12.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 412, id, 0, 0, sizeof pose, pose), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 217, 2, 301, 0), S_OK);
    EXPECT_TRUE(drain(h).records.empty()) << "no complaint about any of these";
    auto obj = gf_simModelObject(id);
    ASSERT_TRUE(obj);
    EXPECT_TRUE(obj->released);
    EXPECT_EQ(obj->lightStates, 0x1);
    EXPECT_EQ(obj->pose.latitudeDeg, 47.001);
    EXPECT_TRUE(obj->onGround) << "8 ft over terrain 0 with CG 7 ft";

    ASSERT_EQ(SimConnect_AIRemoveObject(other, id, 105), S_OK) << "sent; refused later";
    EXPECT_EQ(exceptionOf(drain(other).records.at(0)), 24u) << "only its creator removes an AI object";
    ASSERT_EQ(SimConnect_AIRemoveObject(h, id, 105), S_OK);
    EXPECT_FALSE(gf_simModelObject(id));
    auto removed = ofKind(drain(other), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(field<DWORD>(removed[0], 16), 3u);
    EXPECT_EQ(field<DWORD>(removed[0], 20), id);

    const auto j = gf_simModelJournal(id);
    ASSERT_EQ(j.size(), 6u);
    EXPECT_EQ(j[0].kind, SimJournalKind::Created);
    EXPECT_EQ(j[1].kind, SimJournalKind::ReleaseControl);
    EXPECT_EQ(j[2].kind, SimJournalKind::SetData);
    EXPECT_EQ(j[2].frame, 1u);
    EXPECT_EQ(j[2].values, std::vector<double>(pose, pose + 8));
    EXPECT_EQ(j[3].text, "NAV_LIGHTS_SET");
    EXPECT_EQ(j[4].text, "FLAPS_SET");
    EXPECT_EQ(j[4].data, 2u);
    EXPECT_EQ(j[5].kind, SimJournalKind::Removed);
    // Calls on an object that is gone are refused after the fact; the user
    // aircraft cannot be removed.
    ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 412, id, 0, 0, sizeof pose, pose), S_OK);
    ASSERT_EQ(SimConnect_AIRemoveObject(h, gf_simModelUserObjectId(), 105), S_OK);
    const auto r = drain(h);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(exceptionOf(r.records[0]), 3u);
    EXPECT_EQ(exceptionOf(r.records[1]), 24u);
}

// A journal keeps the newest entries up to its limit, oldest first, however
// often it went round; a slot taken over by another kind of entry keeps
// nothing of the entry before; a changed limit keeps the newest.
TEST_F(SimModelTest, TheJournalKeepsTheNewestEntriesInOrderAcrossLimitChanges) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 5, "Plane Latitude", "degree"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 207, "NAV_LIGHTS_SET"), S_OK);
    const DWORD id = createAircraft(h);
    gf_simModelSetJournalLimit(3);
    const auto setLatitude = [&](double latitude) {
        ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 5, id, 0, 0, sizeof latitude, &latitude), S_OK);
    };
    const auto latitudes = [&] {
        std::vector<double> out;
        for (const auto& e : gf_simModelJournal(id)) out.push_back(e.values.empty() ? -1.0 : e.values[0]);
        return out;
    };
    for (int i = 1; i <= 7; ++i) setLatitude(i);
    EXPECT_EQ(latitudes(), (std::vector<double>{5, 6, 7})) << "the creation and the oldest poses went";
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0), S_OK);
    auto j = gf_simModelJournal(id);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[2].kind, SimJournalKind::ClientEvent);
    EXPECT_TRUE(j[2].values.empty()) << "nothing of the pose whose place it took";
    EXPECT_EQ(j[2].text, "NAV_LIGHTS_SET");

    gf_simModelSetJournalLimit(5);
    setLatitude(8);
    setLatitude(9);
    EXPECT_EQ(latitudes(), (std::vector<double>{6, 7, -1, 8, 9}));
    setLatitude(10);
    EXPECT_EQ(latitudes(), (std::vector<double>{7, -1, 8, 9, 10}));
    gf_simModelSetJournalLimit(2);
    EXPECT_EQ(latitudes(), (std::vector<double>{9, 10}));
    setLatitude(11);
    EXPECT_EQ(latitudes(), (std::vector<double>{10, 11}));
}

// A client pausing between polls goes on at once while a record waits for
// its next dispatch, and waits out its pause when none does (the thread that
// the queued record wakes is the SimClient thread's test).
TEST_F(SimModelTest, WaitQueuedTellsWhetherARecordWaitsForTheNextDispatch) {
    using namespace std::chrono_literals;
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    drain(h);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(gf_simModelWaitQueued(20ms)) << "nothing queued";
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 20ms);
    gf_simModelFrames(1);
    EXPECT_TRUE(gf_simModelWaitQueued(0ms));
    EXPECT_EQ(ofKind(drain(h), SIMCONNECT_RECV_ID_EVENT_FRAME).size(), 1u);
    EXPECT_FALSE(gf_simModelWaitQueued(0ms)) << "taken by the dispatch";
}

TEST_F(SimModelTest, FlightPlansNeedAReadableFile) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    ScopedTempDir dir;
    const auto plan = (dir.path() / "7.pln").string();
    std::ofstream(plan) << "<xml/>";
    HANDLE h = open();
    const DWORD id = createAircraft(h);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(h, id, plan.c_str(), 110), S_OK);
    EXPECT_TRUE(drain(h).records.empty());
    EXPECT_EQ(gf_simModelObject(id)->flightPlan, plan);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(h, id, (plan + ".missing").c_str(), 110), S_OK);
    EXPECT_EQ(exceptionOf(drain(h).records.at(0)), 23u);
}

TEST_F(SimModelTest, FlightLoadedArrivesWithTheFileName) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 205, "FlightLoaded"), S_OK);
    drain(h);
    gf_simModelLoadFlight("flights\\custom.FLT");
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EVENT_FILENAME);
    EXPECT_EQ(r.sizes[0], 288u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), 205u);
    EXPECT_EQ(text(r.records[0], 24, 260), "flights\\custom.FLT");
}

TEST_F(SimModelTest, ExceptionInTheDispatchProcedureLeavesTheRestQueued) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    gf_simModelFrames(3);  // OPEN and three frames queued
    int calls = 0;
    auto throwing = [](SIMCONNECT_RECV*, DWORD, void* ctx) {
        ++*static_cast<int*>(ctx);
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(SimConnect_CallDispatch(h, throwing, &calls), std::runtime_error);
    EXPECT_EQ(calls, 1);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EVENT_FRAME);
}
