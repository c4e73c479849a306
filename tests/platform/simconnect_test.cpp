// The client API against the simulator model: connection, the setup the
// simulator link makes, creates, data, poses, events and removals.

#include <cmath>
#include <fstream>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"
#include "sim_test_util.h"
#include "support/temp_dir.h"

using namespace tavo::test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The five subscriptions and the data definitions the simulator link makes.
void setUpLikeTheLink(HANDLE h) {
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 201, "Sim"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 203, "ObjectRemoved"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 205, "FlightLoaded"), S_OK);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 204, "Frame"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 408, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64), S_OK);
    for (const char* v : {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                          "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"})
        ASSERT_EQ(SimConnect_AddToDataDefinition(h, 402, v, "degree"), S_OK);
    const char* d403[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                          "Vertical Speed", "Plane Heading degrees true", "Plane Altitude", "Indicated Altitude",
                          "Plane Alt Above Ground", "Ground Velocity"};
    const char* u403[] = {"degree", "degree", "radian", "radian", "feet per minute", "radian", "feet", "feet", "feet",
                          "knots"};
    for (int i = 0; i < 10; ++i) ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, d403[i], u403[i]), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 403, "GPS Ground True Track", "degree"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 405, "Static CG to Ground", "feet"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 405, "Static Pitch", "radian"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 406, "Light On States", "Mask", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 404, "Plane Alt Above Ground", "feet"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 404, "Ground Altitude", "feet"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 401, "SPOILERS HANDLE POSITION", "percent"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent"), S_OK);
}

// The pose definition 402 in radians for the attitude, as the link sets it.
void definePose(HANDLE h) {
    const char* names[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                           "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
    const char* units[] = {"degree", "degree", "radian", "radian", "radian", "feet", "feet per minute", "knots"};
    for (int i = 0; i < 8; ++i) ASSERT_EQ(SimConnect_AddToDataDefinition(h, 412, names[i], units[i]), S_OK);
}

SIMCONNECT_DATA_INITPOSITION initAt(double lat, double lon, double altFt) {
    return {lat, lon, altFt, 0.0, 0.0, 90.0, 1, 0};
}

}  // namespace

TEST_F(SimModelTest, OpenFailsWhileTheSimulatorIsDownAndNamesTheVersionWhenUp) {
    HANDLE h = reinterpret_cast<HANDLE>(1);
    EXPECT_LT(SimConnect_Open(&h, "TAVO", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(SimConnect_Open(nullptr, "TAVO", nullptr, 0, nullptr, 0), E_INVALIDARG);

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
    h = open();
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(text(r.records[0], 12, 256), "SunRise");
    gf_simModelSetApplicationName("Kitty-Hawk");
    HANDLE h2 = open("SECOND");
    EXPECT_EQ(text(drain(h2).records.at(0), 12, 256), "Kitty-Hawk");
}

TEST_F(SimModelTest, SetupSequenceGetsOpenSimStateAndFrames) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    const DWORD events[] = {219, 220, 221, 222, 217, 218, 207, 206, 210, 208, 209, 212, 211, 213, 214, 215, 216};
    const char* names[] = {"GEAR_SET", "ENGINE_AUTO_START", "ENGINE_AUTO_SHUTDOWN", "THROTTLE_SET", "FLAPS_SET",
                           "SPOILERS_SET", "NAV_LIGHTS_SET", "BEACON_LIGHTS_SET", "LANDING_LIGHTS_SET",
                           "TAXI_LIGHTS_SET", "STROBES_SET", "LOGO_LIGHTS_SET", "CABIN_LIGHTS_SET",
                           "ALL_LIGHTS_TOGGLE", "FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET",
                           "FREEZE_ATTITUDE_SET"};
    for (int i = 0; i < 17; ++i) ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, events[i], names[i]), S_OK);
    for (DWORD e : {207u, 206u, 210u, 208u, 209u, 212u, 211u, 213u, 217u, 218u, 219u, 221u, 222u, 214u, 215u, 216u})
        ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(h, 301, e, TRUE), S_OK);
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

    gf_simModelSetFlightRunning(false);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 20), 0u);

    const auto info = gf_simModelConnection("TAVO");
    ASSERT_TRUE(info.found);
    ASSERT_EQ(info.groups.size(), 1u);
    EXPECT_EQ(info.groups[0].second.size(), 16u);
    EXPECT_EQ(std::count(info.groups[0].second.begin(), info.groups[0].second.end(), 220u), 0);
    ASSERT_EQ(info.groupPriorities.size(), 1u);
    EXPECT_EQ(info.groupPriorities[0].second, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
    EXPECT_EQ(info.dataDefinitions.size(), 9u);
    // Every call counted one packet: the last id is the number of calls.
    DWORD last = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &last), S_OK);
    EXPECT_EQ(last, info.calls.size() - 1) << "Open is logged but sends no packet";
    EXPECT_EQ(last, info.lastPacketId);
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

    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "airbus a320 neo asobo", "D-AINA", initAt(47.0, 8.0, 1400), 10000),
              S_OK);
    auto r = drain(h);
    auto assigned = ofKind(r, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    ASSERT_EQ(assigned.size(), 1u);
    EXPECT_EQ(field<DWORD>(assigned[0], 12), 10000u);
    const DWORD id = field<DWORD>(assigned[0], 16);
    EXPECT_EQ(id, 100u) << "2020 ids are small";
    auto added = ofKind(r, SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(field<DWORD>(added[0], 16), 202u);
    EXPECT_EQ(field<DWORD>(added[0], 20), id);
    EXPECT_EQ(field<DWORD>(added[0], 24), static_cast<DWORD>(SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT));
    auto addedOther = ofKind(drain(other), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(addedOther.size(), 1u) << "every subscriber hears of it";
    EXPECT_EQ(field<DWORD>(addedOther[0], 16), 7u);

    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Not Installed", "N1", initAt(47.0, 8.0, 1400), 10001), S_OK);
    DWORD packet = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h, &packet), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 22u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), packet);

    const auto obj = gf_simModelObject(id);
    ASSERT_TRUE(obj.has_value());
    EXPECT_EQ(obj->atcId, "D-AINA");
    EXPECT_EQ(obj->owner, "TAVO");
    EXPECT_NEAR(obj->pose.headingRad, kPi / 2, 1e-12);
    const auto j = gf_simModelJournal(id);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0].kind, SimJournalKind::Created);
    EXPECT_EQ(j[0].text2, "D-AINA");

    gf_simModelStop();
    gf_simModelStart(SimVersion::MSFS2024);
    h = open();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Airbus A320 Neo Asobo", "X", initAt(47.0, 8.0, 0), 1), S_OK);
    assigned = ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    ASSERT_EQ(assigned.size(), 1u);
    EXPECT_GE(field<DWORD>(assigned[0], 16), 0x0A000000u) << "2024 ids are large";
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
    data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(field<std::int64_t>(data[0], 40), 0);

    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_NEVER), S_OK);
    gf_simModelSeconds(2);
    EXPECT_TRUE(ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty()) << "period NEVER ends it";
}

TEST_F(SimModelTest, UserDataIsPackedInTheOrderAndTypesOfTheDefinitions) {
    SimUserAircraft u;
    u.title = "Boeing 737-800 Sample With A Long Title";
    u.atcModel = "ATCCOM.AC_MODEL B738.0.text";
    u.pose = {47.5, -122.25, 1000.0, 0.05, -0.1, 1.5, 500.0, 140.0, 130.0};
    u.onGround = false;
    u.lightStates = 0x105;
    gf_simModelSetUserAircraft(u);
    gf_simModelSetTerrain([](double, double) { return 400.0; });
    gf_simModelSetZuluTime(1704067200 + 3600 + 5);  // 2024-01-01 01:00:05
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    setUpLikeTheLink(h);
    drain(h);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 106, 407, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 107, 408, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    auto data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(data.size(), 3u);

    EXPECT_EQ(data[0].size(), 40 + u.title.size() + 1) << "STRINGV takes the text and its NUL";
    EXPECT_EQ(text(data[0], 40, 200), u.title);
    EXPECT_EQ(static_cast<char>(data[0].back()), '\0');
    EXPECT_EQ(data[1].size(), 72u);
    EXPECT_EQ(text(data[1], 40, 32), u.atcModel);

    const auto& p = data[2];
    ASSERT_EQ(p.size(), 160u);
    EXPECT_EQ(field<double>(p, 40), 47.5);
    EXPECT_EQ(field<double>(p, 48), -122.25);
    EXPECT_EQ(field<double>(p, 56), 0.05);
    EXPECT_EQ(field<double>(p, 64), -0.1);
    EXPECT_EQ(field<double>(p, 72), 500.0);
    EXPECT_EQ(field<double>(p, 80), 1.5);
    EXPECT_EQ(field<double>(p, 88), 1000.0);
    EXPECT_EQ(field<double>(p, 96), 1000.0);
    EXPECT_EQ(field<double>(p, 104), 600.0) << "above the terrain";
    EXPECT_EQ(field<double>(p, 112), 130.0);
    EXPECT_EQ(field<std::int64_t>(p, 120), 3605);
    EXPECT_EQ(field<std::int64_t>(p, 128), 1);
    EXPECT_EQ(field<std::int64_t>(p, 136), 2024);
    EXPECT_EQ(field<std::int64_t>(p, 144), 0x105);
    EXPECT_NEAR(field<double>(p, 152), 1.5 * 180 / kPi, 1e-9);

    // Leap-year end and raw fields as a simulator may report them.
    gf_simModelSetZuluTime(1735603200);  // 2024-12-31 00:00:00
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    EXPECT_EQ(field<std::int64_t>(data.at(0), 128), 366);
    gf_simModelSetZuluFields(2023, 366, 0);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    data = ofKind(drain(h), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    EXPECT_EQ(field<std::int64_t>(data.at(0), 128), 366);
    EXPECT_EQ(field<std::int64_t>(data.at(0), 136), 2023);
}

TEST_F(SimModelTest, UnitsNamesAndUnknownVariables) {
    SimUserAircraft u;
    u.pose.pitchRad = kPi / 6;
    u.pose.altitudeFt = 3280.8399;
    gf_simModelSetUserAircraft(u);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 1, "plane pitch DEGREES", "degrees"), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 1, "PLANE ALTITUDE", "meters", SIMCONNECT_DATATYPE_FLOAT32), S_OK);
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 1, "No Such Variable", "feet", SIMCONNECT_DATATYPE_INT32), S_OK);
    DWORD packet = 0;
    SimConnect_GetLastSentPacketID(h, &packet);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(h, 5, 1, 0, SIMCONNECT_PERIOD_ONCE), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EXCEPTION);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 7u);
    EXPECT_EQ(field<DWORD>(r.records[0], 16), packet);
    EXPECT_EQ(field<DWORD>(r.records[0], 20), 2u) << "the third datum";
    const auto& d = r.records[1];
    ASSERT_EQ(d.size(), 40u + 8 + 4 + 4);
    EXPECT_NEAR(field<double>(d, 40), 30.0, 1e-9);
    EXPECT_NEAR(field<float>(d, 48), 1000.0f, 1e-3f);
    EXPECT_EQ(field<std::int32_t>(d, 52), 0);
}

TEST_F(SimModelTest, ByTypeDataGivesEachAircraftWithinTheRadius) {
    gf_simModelSetAcceptAnyTitle(true);
    SimUserAircraft u;
    u.pose.latitudeDeg = 47.0;
    u.pose.longitudeDeg = 8.0;
    u.pose.altitudeFt = 1500;
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
        EXPECT_EQ(field<DWORD>(data[i], 12), 101u);
        EXPECT_EQ(field<DWORD>(data[i], 28), i + 1);
        EXPECT_EQ(field<DWORD>(data[i], 32), 3u);
    }
    const auto& own = data[1];
    EXPECT_NEAR(field<double>(own, 40), 6.0, 1e-9);
    EXPECT_EQ(field<double>(own, 48), 1400.0);
    EXPECT_EQ(field<std::int64_t>(own, 56), 1);
    EXPECT_EQ(text(own, 64, 32), "OWN1");
    const auto& traffic = data[2];
    EXPECT_EQ(field<DWORD>(traffic, 16), nearId);
    EXPECT_EQ(field<double>(traffic, 40), 2500.0);
    EXPECT_EQ(field<std::int64_t>(traffic, 56), 0);
    EXPECT_EQ(text(traffic, 64, 32), "FRGN1");
}

TEST_F(SimModelTest, PosesEventsReleaseAndRemovalGoIntoTheJournal) {
    gf_simModelAddTitle({"Jet", "B738", 7.0, 0.0});
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    HANDLE other = open("OTHER");
    definePose(h);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(other, 3, "ObjectRemoved"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 217, "FLAPS_SET"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 207, "NAV_LIGHTS_SET"), S_OK);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(h, 214, "FREEZE_LATITUDE_LONGITUDE_SET"), S_OK);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Jet", "N1", initAt(47.0, 8.0, 1000), 10000), S_OK);
    const DWORD id = field<DWORD>(ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0), 16);
    drain(other);

    ASSERT_EQ(SimConnect_AIReleaseControl(h, id, 104), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 214, 1, 301, 0), S_OK);
    double pose[8] = {47.001, 8.002, 0.01, 0.02, 1.0, 8.0, 0.0, 12.0};
    gf_simModelFrames(1);
    ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 412, id, 0, 0, sizeof pose, pose), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 207, 1, 301, 0), S_OK);
    ASSERT_EQ(SimConnect_TransmitClientEvent(h, id, 217, 2, 301, 0), S_OK);
    EXPECT_TRUE(drain(h).records.empty()) << "no complaint about any of these";

    auto obj = gf_simModelObject(id);
    ASSERT_TRUE(obj);
    EXPECT_TRUE(obj->released);
    EXPECT_TRUE(obj->freezeLatLon);
    EXPECT_EQ(obj->lightStates, 0x1);
    EXPECT_EQ(obj->pose.latitudeDeg, 47.001);
    EXPECT_EQ(obj->pose.headingRad, 1.0);
    EXPECT_TRUE(obj->onGround) << "8 ft over terrain 0 with CG 7 ft";

    ASSERT_EQ(SimConnect_AIRemoveObject(other, id, 105), S_OK) << "sent; refused later";
    auto r = drain(other);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 24u) << "only its creator removes an AI object";
    ASSERT_EQ(SimConnect_AIRemoveObject(h, id, 105), S_OK);
    EXPECT_FALSE(gf_simModelObject(id));
    auto removed = ofKind(drain(other), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(field<DWORD>(removed[0], 16), 3u);
    EXPECT_EQ(field<DWORD>(removed[0], 20), id);

    const auto j = gf_simModelJournal(id);
    ASSERT_EQ(j.size(), 7u);
    EXPECT_EQ(j[0].kind, SimJournalKind::Created);
    EXPECT_EQ(j[1].kind, SimJournalKind::ReleaseControl);
    EXPECT_EQ(j[1].id, 104u);
    EXPECT_EQ(j[2].kind, SimJournalKind::ClientEvent);
    EXPECT_EQ(j[2].text, "FREEZE_LATITUDE_LONGITUDE_SET");
    EXPECT_EQ(j[3].kind, SimJournalKind::SetData);
    EXPECT_EQ(j[3].id, 412u);
    EXPECT_EQ(j[3].frame, 1u);
    EXPECT_EQ(j[3].values, std::vector<double>(pose, pose + 8));
    EXPECT_EQ(j[4].text, "NAV_LIGHTS_SET");
    EXPECT_EQ(j[5].text, "FLAPS_SET");
    EXPECT_EQ(j[5].data, 2u);
    EXPECT_EQ(j[5].group, 301u);
    EXPECT_EQ(j[6].kind, SimJournalKind::Removed);
    EXPECT_EQ(j[6].id, 105u);

    // Calls on an object that is gone are refused after the fact.
    ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 412, id, 0, 0, sizeof pose, pose), S_OK);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 3u);
}

TEST_F(SimModelTest, TheUserAircraftCannotBeRemovedOrReleased) {
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    ASSERT_EQ(SimConnect_AIRemoveObject(h, gf_simModelUserObjectId(), 105), S_OK);
    ASSERT_EQ(SimConnect_AIReleaseControl(h, 0, 104), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 24u);
    EXPECT_EQ(field<DWORD>(r.records[1], 12), 24u);
    EXPECT_TRUE(gf_simModelObject(gf_simModelUserObjectId()));
}

TEST_F(SimModelTest, FlightPlansNeedAReadableFile) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    ScopedTempDir dir;
    const auto plan = (dir.path() / "7.pln").string();
    std::ofstream(plan) << "<xml/>";
    HANDLE h = open();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "N1", initAt(1, 1, 0), 10000), S_OK);
    const DWORD id = field<DWORD>(ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0), 16);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(h, id, plan.c_str(), 110), S_OK);
    EXPECT_TRUE(drain(h).records.empty());
    EXPECT_EQ(gf_simModelObject(id)->flightPlan, plan);
    ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(h, id, (plan + ".missing").c_str(), 110), S_OK);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(field<DWORD>(r.records[0], 12), 23u);
}

TEST_F(SimModelTest, ClosingAConnectionTakesItsAiObjectsAlong) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    HANDLE watcher = open("WATCHER");
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(watcher, 9, "ObjectRemoved"), S_OK);
    for (DWORD i = 0; i < 3; ++i)
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "N", initAt(1, 1, 0), 10000 + i), S_OK);
    drain(watcher);
    EXPECT_EQ(gf_simModelObjects().size(), 4u);
    ASSERT_EQ(SimConnect_Close(h), S_OK);
    EXPECT_EQ(gf_simModelObjects().size(), 1u) << "only the user aircraft stays";
    EXPECT_EQ(ofKind(drain(watcher), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE).size(), 3u);
    EXPECT_FALSE(gf_simModelConnection("TAVO").open);
    EXPECT_TRUE(gf_simModelConnection("TAVO").found);
}

TEST_F(SimModelTest, FlightLoadedArrivesAsFileNameOrPlainEvent) {
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
    gf_simModelLoadFlight("x", true);
    r = drain(h);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EVENT);
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
    EXPECT_EQ(gf_simModelConnection("TAVO").queuedRecords, 3u);
    auto r = drain(h);
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(recvId(r.records[0]), SIMCONNECT_RECV_ID_EVENT_FRAME);
    EXPECT_TRUE(gf_simModelWaitDrained(std::chrono::milliseconds(0)));
}

TEST_F(SimModelTest, ObjectLimitAnswersTooManyObjects) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelSetMaxAiObjects(2);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    drain(h);
    for (DWORD i = 0; i < 3; ++i)
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "N", initAt(1, 1, 0), 10000 + i), S_OK);
    auto r = drain(h);
    EXPECT_EQ(ofKind(r, SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).size(), 2u);
    auto ex = ofKind(r, SIMCONNECT_RECV_ID_EXCEPTION);
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(field<DWORD>(ex[0], 12), 11u);
}

TEST_F(SimModelTest, JournalKeepsTheNewestEntriesWithinItsLimit) {
    gf_simModelSetAcceptAnyTitle(true);
    gf_simModelSetJournalLimit(3);
    gf_simModelStart(SimVersion::MSFS2020);
    HANDLE h = open();
    ASSERT_EQ(SimConnect_AddToDataDefinition(h, 1, "Plane Altitude", "feet"), S_OK);
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "Any", "N", initAt(1, 1, 0), 10000), S_OK);
    const DWORD id = field<DWORD>(ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).at(0), 16);
    for (double alt = 1; alt <= 5; ++alt) ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 1, id, 0, 0, 8, &alt), S_OK);
    const auto j = gf_simModelJournal(id);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j.front().values, std::vector<double>{3.0});
    EXPECT_EQ(j.back().values, std::vector<double>{5.0});
    EXPECT_EQ(gf_simModelObject(id)->pose.altitudeFt, 5.0);
}
