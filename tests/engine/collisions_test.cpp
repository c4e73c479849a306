// Collision avoidance: the air classification and the user's classes, the
// user's ground circle, the user against live and static aircraft, live
// aircraft against parked ones with the drive onto the freed stand, and the
// spawn gate held by a conflict.

#include <gmock/gmock.h>

#include <cmath>

#include "engine/collisions.h"
#include "engine/spawn.h"
#include "engine/user_position.h"
#include "foundation/geodesy.h"
#include "support/dbase_builder.h"
#include "support/stand_table.h"

#include "engine_fixture.h"

using namespace tavo::test;

namespace {

constexpr LaLo kUser{50.0, 8.0};

LaLo lf_at(double bearingDeg, double nm, LaLo from = kUser) {
    return gf_destinationPoint(from, {bearingDeg * degreesToRadians, nm * feetPerNm});
}

// The user at 3000 ft heading and tracking north.
void lf_user(double aglFt, double speedKt = 0.0) {
    UserAircraftState s;
    s.latitude = kUser.lat;
    s.longitude = kUser.lon;
    s.altitude = 3000.0;
    s.altitudeAboveGround = aglFt;
    s.groundVelocity = speedKt;
    gf_publishUserAircraftState(s);
}

class Collisions : public EngineTest {
protected:
    static LiveAc& aircraft(std::uint32_t hexid, LaLo at, double altitudeFt, double trackDeg, bool onGround) {
        LiveAc& ac = addLive(hexid, AcSimState::active, hexid & 0xFF);
        ac.pose.latitude = at.lat;
        ac.pose.longitude = at.lon;
        ac.pose.altitude = altitudeFt;
        ac.pose.heading = trackDeg * degreesToRadians;
        ac.stream.front().trackDeg = trackDeg;
        ac.onGround = onGround ? 1 : 0;
        ac.collisionRadiusNm = 0.01;
        return ac;
    }
};

}  // namespace

TEST(AirConflicts, KindsReasonsAndClasses) {
    struct Row {
        std::uint32_t userClass;
        double bearingDeg, nm, heightFt, trackDeg;
        std::uint32_t kind;
        std::uint8_t reason;
    };
    const Row rows[] = {
        {0, 0, 0.5, 200, 90, 1, 0},   {1, 0, 0.5, 200, 90, 1, 0},  {2, 0, 0.5, 200, 90, 1, 0},  // close ahead
        {2, 180, 1.0, 500, 10, 2, 0},  // in trail
        {2, 0, 4.1, 0, 0, 0, 1},       {2, 0, 0.5, 1100, 0, 0, 2}, {2, 0, 1.0, 500, 20.5, 0, 3},
        {2, 170, 1.0, 0, 0, 0, 4},     // 1055 ft aside behind
        {2, 180, 1.9, 0, 0, 0, 4},     {2, 90, 1.0, 500, 0, 0, 5}, {2, 0, 1.9, 500, 0, 0, 6},
        {2, 10, 1.5, 500, 0, 3, 0},    // 1582 ft aside within 900 + 1900 x 0.375
        {2, 30, 1.5, 500, 0, 0, 7},    {1, 10, 0.5, 500, 24, 4, 0}, {1, 20, 0.5, 500, 0, 0, 7},
        {1, 0, 0.5, 500, 26, 0, 3},    {1, 180, 0.5, 500, 0, 0, 5}, {1, 0, 0.7, 0, 0, 0, 6},
        {0, 0, 1.0, 0, 0, 0, 7},
    };
    for (const Row& row : rows) {
        const LaLo at = lf_at(row.bearingDeg, row.nm);
        const AirConflict c = classifyAirConflict({row.userClass, kUser.lat, kUser.lon, at.lat, at.lon,
                                                   std::cos(kUser.lat * degreesToRadians), 0.0,
                                                   row.trackDeg * degreesToRadians, 3000.0, 3000.0 + row.heightFt});
        EXPECT_EQ(c.kind, row.kind) << row.userClass << " " << row.bearingDeg << " " << row.nm;
        EXPECT_EQ(c.reason, row.reason) << row.userClass << " " << row.bearingDeg << " " << row.nm;
    }
    // Height above ground, vertical speed and bank bound the classes.
    EXPECT_EQ(gf_userAirClass(4000, 300, -0.08726646259971647), 2u);
    EXPECT_EQ(gf_userAirClass(4000.1, 300, 0), 1u);
    EXPECT_EQ(gf_userAirClass(4000, 301, 0), 1u);
    EXPECT_EQ(gf_userAirClass(4000, 300, 0.0873), 1u);
    EXPECT_EQ(gf_userAirClass(7000, 3000, 0.2617993877991494), 1u);
    EXPECT_EQ(gf_userAirClass(7000.1, 0, 0), 0u);
    EXPECT_EQ(gf_userAirClass(3000, 0, 0.2618), 0u);
}

TEST_F(Collisions, UserInTheAirRemovesOnePerCall) {
    lf_user(4000);
    aircraft(0x300001, lf_at(180, 1.0), 3200, 5, false);  // in trail: class 2 only
    aircraft(0x300002, lf_at(0, 0.5), 3200, 90, false);
    gf_checkUserAcCollisions();
    EXPECT_THAT(removeQueue, ::testing::ElementsAre(1u));
    lf_user(4001);
    gf_checkUserAcCollisions();
    EXPECT_THAT(removeQueue, ::testing::ElementsAre(1u, 2u));
    // Low over the ground: traffic on the ground ahead within 50 ft of the
    // user's heading line, never behind it.
    lf_user(400);
    const double aside = std::asin(45.0 / (0.5 * feetPerNm)) * radiansToDegrees;
    aircraft(0x300003, lf_at(180, 0.5), 0, 0, true).stream.clear();
    aircraft(0x300004, lf_at(aside + 0.2, 0.5), 0, 0, true).stream.clear();  // 55 ft aside
    aircraft(0x300005, lf_at(aside, 0.5), 0, 0, true).stream.clear();
    gf_checkUserAcCollisions();
    EXPECT_THAT(removeQueue, ::testing::ElementsAre(1u, 2u, 5u));
    // 500 ft above the ground is still low; half a foot more is not.
    for (const auto& [aglFt, removed] : {std::pair{500.5, false}, {500.0, true}}) {
        lf_user(aglFt);
        aircraft(0x300006 + removeQueue.size(), lf_at(0, 0.5), 0, 0, true).stream.clear();
        const std::size_t before = removeQueue.size();
        gf_checkUserAcCollisions();
        EXPECT_EQ(removeQueue.size(), before + (removed ? 1 : 0)) << aglFt;
    }
}

TEST_F(Collisions, UserOnTheGround) {
    resetToSmallDbase();
    // The circle: the wing radius (a B738's while unknown) and 0.75 s of the
    // ground speed, at most 15 m.
    struct Row {
        double wingNm, speedKt, metres;
    };
    for (const Row row : {Row{NAN, 0.0, 0.0}, Row{0.02, 30.0, 11.575}, Row{0.02, 60.0, 15.0}}) {
        g_userHalfWingSpan.store(row.wingNm);
        lf_user(0, row.speedKt);
        const double radius = std::isnan(row.wingNm) ? 17.9 / metresPerNm : row.wingNm;
        EXPECT_NEAR((lf_userGroundCollisionTermNm() - radius) * metresPerNm, row.metres, 0.01) << row.speedKt;
    }
    // One removal per call, live before static.
    g_userHalfWingSpan.store(0.01);
    lf_user(0);
    AcBase& s = addStatic(5, AcSimState::active, 50);
    s.standPos = lf_at(90, 0.015);
    s.collisionRadiusNm = 0.01;
    aircraft(0x400001, lf_at(0, 0.015), 500, 0, false);  // in the air
    aircraft(0x400002, lf_at(0, 0.015), 0, 0, true);
    for (int call = 0; call < 3; ++call) gf_checkUserAcGndCollisions();
    EXPECT_THAT(removeQueue, ::testing::ElementsAre(2u, 50u));
}

TEST_F(Collisions, LiveAgainstParkedAndTheFreedStand) {
    constexpr LaLo stand{50.01, 8.0};  // heading north
    setStandTable({StandSpec("A1", stand)});
    std::vector<std::string> redirects;
    gf_setCollisionCalls({[&](LiveAc& ac, Stand& st, bool redirect) {
        redirects.push_back(ac.callsign + " " + st.name + (redirect ? " redirect" : ""));
        return true;
    }});
    struct Row {
        double along, across, headingDeg;  // metres from the stand point, to its right
        AcPhase phase, prevPhase;
        std::int32_t standId;
        bool removed, redirected;
    };
    using P = AcPhase;
    const Row rows[] = {
        {-20, 0, 314, P::taxi, P::landing_roll, 1, false, false},  // 46 degrees
        {-20, 0, 315, P::taxi, P::landing_roll, 1, true, false},   // 45 degrees
        {-20, 10, 10, P::taxi, P::landing_roll, 1, true, true},    // 10 degrees: any offset
        {-16, -3, 15, P::taxi, P::landing_roll, 1, true, true},    // running onto the line
        {-20, -3, 20, P::taxi, P::landing_roll, 1, true, true},
        {-16, 1, 15, P::taxi, P::landing_roll, 1, true, false},    // running off it
        {-16, 0.5, 12, P::taxi, P::landing_roll, 1, true, false},  // off it, though 1.8 m at 10 m behind
        {-12, -1, 15, P::taxi, P::landing_roll, 1, true, false},   // too close to the point
        {-20, -3.5, 15, P::taxi, P::landing_roll, 1, true, false},
        {-20, 0, 21, P::taxi, P::landing_roll, 1, true, false},
        {-20, 0, 0, P::taxi, P::parked, 1, true, false},
        {-20, 0, 0, P::parking, P::taxi, 1, true, false},
        {-20, 0, 0, P::taxi, P::landing_roll, 7, true, false},  // a stand not in the table
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.headingDeg);
        g_liveAircraft.clear();
        g_staticAircraft.clear();
        redirects.clear();
        AcBase& s = addStatic(5, AcSimState::active, 50);
        s.standId = row.standId;
        s.standPos = stand;
        s.collisionRadiusNm = 0.01;
        const double lat = stand.lat + row.along / metresPerNm / 60.0;
        const double lon = stand.lon + row.across / metresPerNm / 60.0 / std::cos(lat * degreesToRadians);
        LiveAc& ac = aircraft(0x600001, {lat, lon}, 0, row.headingDeg, true);
        ac.phase = row.phase;
        ac.prevPhase = row.prevPhase;
        newLogLines();
        collisionWithParked(ac);
        const std::string log = newLogLines();
        EXPECT_EQ(s.simState == AcSimState::removingfromsim, row.removed);
        if (row.removed && row.standId == 1)
            EXPECT_THAT(log, ::testing::HasSubstr("A1            : STA5     removed for 'live vs parked' collision "
                                                  "avoidance with KLM1234, delta hdg:"));
        EXPECT_EQ(redirects, row.redirected ? std::vector<std::string>{"KLM1234 A1 redirect"}
                                            : std::vector<std::string>{});
        EXPECT_EQ(log.find("A1            : KLM1234 starts drive2stand after parked collision") != std::string::npos,
                  row.redirected);
        EXPECT_EQ(ac.lastParkedCheckPos.lat, lat);
    }
    // A static that is the live aircraft's own object (a promotion under
    // way) is never in its way.
    g_liveAircraft.clear();
    g_staticAircraft.clear();
    AcBase& own = addStatic(5, AcSimState::active, 0x61);
    own.standId = 1;
    own.standPos = stand;
    own.collisionRadiusNm = 0.01;
    LiveAc& ac = aircraft(0x600061, stand, 0, 0, true);
    ASSERT_EQ(ac.objectId, own.objectId);
    collisionWithParked(ac);
    EXPECT_EQ(own.simState, AcSimState::active);
}

TEST_F(Collisions, ASpawnOnTheGroundIsHeldWhileTheUserStandsWithin500M) {
    // Held once already: it waits again while the user, on the ground or
    // no more than 500 ft above it, is less than 500 m from its report.
    struct Row {
        double aglFt, metres;
        bool held;
    };
    g_userOnGround.store(true);
    for (const Row& row : {Row{0.0, 499.5, true}, Row{0.0, 500.5, false}, Row{500.0, 499.5, true}, Row{500.5, 499.5, false}}) {
        lf_user(row.aglFt);
        const LaLo at = lf_at(90, row.metres / metresPerNm);
        LiveAc& ac = addLive(0x700010, AcSimState::buffer, 0, {point(at.lat, at.lon), point(at.lat, at.lon + 1e-4)});
        ac.stream[0].groundSpeedKt = 0.0;
        ac.userConflictHold = 1;
        EXPECT_EQ(checkSpawnUserConflict(ac), row.held) << row.aglFt << " " << row.metres;
        g_liveAircraft.clear();
    }
    g_userOnGround.store(false);
}

TEST_F(Collisions, ASpawnInConflictIsHeldOnce) {
    lf_user(3000);
    std::deque<StreamPoint> stream;
    for (double nm : {0.5, 0.51, 0.52}) stream.push_back(point(lf_at(0, nm).lat, kUser.lon, 3200, true));
    LiveAc& ac = addLive(0x700001, AcSimState::buffer, 0, stream);
    EXPECT_TRUE(checkSpawnUserConflict(ac));
    EXPECT_EQ(ac.userConflictHold, 1);
    EXPECT_EQ(ac.removeRecord, 1);
    EXPECT_EQ(ac.stream.size(), 2u);
}
