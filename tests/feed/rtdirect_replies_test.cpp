// The web API's traffic, buffer, parked and METAR replies turned into
// batches, parked records and METAR texts.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "feed/rtdirect/replies.h"
#include "feed/rtdirect_fixture.h"

namespace {

using nlohmann::json;

constexpr double kTime = 1704067200.0;  // 2024-01-01 00:00:00 UTC

// One aircraft as the traffic reply lists it: 49 elements, an airborne
// airliner 10 NM north of 52N 4E.
json lf_aircraft(std::string hexid = "4840d6", double time = kTime) {
    json a = json::array();
    for (std::size_t i = 0; i < rtApiAircraftElements; ++i) a.push_back(nullptr);
    a[0] = hexid;
    a[1] = 52.0 + 10.0 / 60.0;
    a[2] = 4.0;
    a[3] = 90.0;
    a[4] = 5000.0;
    a[5] = 250.0;
    a[6] = "1234";
    a[8] = "B738";
    a[9] = "PH-BXA";
    a[10] = time;
    a[11] = "AMS";
    a[12] = "LHR";
    a[13] = "KLM1234";
    a[15] = 500.0;
    a[17] = "adsb_icao";
    a[20] = 260.0;
    a[23] = 5.0;
    a[25] = 92.0;
    a[28] = "A3";
    a[48] = "KLM";
    return a;
}

// A parked entry: lat, lon, stand, type, registration, time, callsign.
json lf_parkedEntry(double time = kTime) { return json::array({52.31, 4.76, "D4", "B738", "PH-XYZ", time, "KLM1234"}); }

class RtDirectReplies : public tavo::test::RtDirectLogWorld {
protected:
    // The own position as the RT Direct traffic reader takes it.
    static OwnPositionSnapshot own() {
        OwnPositionSnapshot o = ownAt();
        o.handOverBeforeFilters = false;
        o.dropGround0000 = true;
        o.rtDirect = true;
        return o;
    }
    static TrafficBatch parse(const json& data) {
        TrafficBatch batch;
        gf_parseTrafficResponse(data, own(), batch);
        return batch;
    }
    // The one record of a reply holding only `aircraft`.
    static TrafficRecord only(const json& aircraft) {
        const auto batch = parse(json{{"a", aircraft}});
        EXPECT_EQ(batch.records.size(), 1u) << aircraft.dump();
        return batch.records.empty() ? TrafficRecord{} : batch.records[0];
    }
};

TEST(RtDirectHexidAndTime, HexidsArePlainHexadecimalWithin32BitsAndTimesPositiveFinite) {
    EXPECT_EQ(gf_parseRTHexid("4840d6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("4840D6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("00004840d6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("ffffffff"), 0xFFFFFFFFu);
    for (const char* bad : {"", "0x4840d6", "+4840d6", "-4840d6", " 4840d6", "4840g6", "100000000"})
        EXPECT_FALSE(gf_parseRTHexid(bad)) << bad;

    EXPECT_EQ(gf_rtApiTimestamp(json(kTime)), kTime);
    EXPECT_EQ(gf_rtApiTimestamp(json(std::uint64_t{1704067200})), kTime);
    EXPECT_EQ(gf_rtApiTimestamp(json("1704067200.5")), kTime + 0.5);  // a number written as text
    for (const json& bad : {json(0), json(-5.0), json("null"), json(nullptr), json(9223372036854775808.0),
                            json("1704067200 "), json("+1704067200"), json("inf"), json(true)})
        EXPECT_FALSE(gf_rtApiTimestamp(bad)) << bad.dump();
}

// What real replies look like: v5 arrays of 48 elements (no airline), v6
// arrays of 49, later versions longer; missing values as null or "null";
// numbers written as text; the data source behind a one-letter prefix.
TEST_F(RtDirectReplies, RealReplyShapesGiveTheirRecords) {
    struct Case {
        std::string what;
        std::function<void(json&)> change;
        bool record;
        std::string airline = "DLH";
        double tasKt = 260.0;
        bool heading = true;
    };
    const auto resize = [](std::size_t n) {
        return [n](json& a) {
            while (a.size() > n) a.erase(a.size() - 1);
            while (a.size() < n) a.push_back(nullptr);
        };
    };
    const std::vector<Case> cases{
        {"47 elements", resize(47), false},
        {"48 elements (v5): airline from the callsign", resize(48), true, "KLM"},
        {"49 elements (v6)", resize(49), true},
        {"50 elements: the extra one is not read", [](json& a) { a.push_back("ZZZ"); }, true},
        {"airline null", [](json& a) { a[48] = nullptr; }, true, "KLM"},
        {"airline \"null\"", [](json& a) { a[48] = "null"; }, true, "KLM"},
        {"airspeed null", [](json& a) { a[20] = nullptr; }, true, "DLH", 220.0},
        {"airspeed \"null\"", [](json& a) { a[20] = "null"; }, true, "DLH", 220.0},
        {"airspeed as text", [](json& a) { a[20] = "255.5"; }, true, "DLH", 255.5},
        {"time, position and speeds as text",
         [](json& a) {
             a[10] = "1704067200";
             a[1] = "52.1666666667";
             a[2] = "4";
             a[4] = "5000";
             a[5] = "250";
         },
         true},
        {"time \"null\"", [](json& a) { a[10] = "null"; }, false},
        {"heading as text", [](json& a) { a[25] = "92"; }, true},
        {"heading null", [](json& a) { a[25] = nullptr; }, true, "DLH", 260.0, false},
        {"prefixed ADS-B source", [](json& a) { a[17] = "X_adsb_icao"; }, true},
        {"prefixed FLARM source", [](json& a) { a[17] = "T_flarm"; }, true, "DLH", 260.0, false},
        {"squawk as text", [](json& a) { a[6] = "3171"; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        json a = lf_aircraft();
        a[48] = "DLH";  // the callsign KLM1234 would give KLM
        c.change(a);
        const auto batch = parse(json{{"a", a}});
        ASSERT_EQ(batch.records.size(), c.record ? 1u : 0u);
        if (!c.record) continue;
        const TrafficRecord& r = batch.records[0];
        EXPECT_EQ(gf_airlineCodeAt(r.identity.key.airline), c.airline);
        EXPECT_DOUBLE_EQ(r.point.tasKt, c.tasKt);
        EXPECT_EQ(r.point.hasTrueHeading, c.heading ? 1 : 0);
        EXPECT_NEAR(r.point.lat, 52.0 + 10.0 / 60.0, 1e-9);
        EXPECT_DOUBLE_EQ(r.point.groundSpeedKt, 250.0);
        EXPECT_EQ(batch.trafficTime, 1704067200);
    }
}

// A squawk of 0000 on the ground is dropped; a ground target needs the
// current airport.
TEST_F(RtDirectReplies, GroundTargetWithSquawkZeroIsDropped) {
    setAirportAt(52.0 + 10.0 / 60.0, 4.0);
    json ground = lf_aircraft();
    ground[4] = 0.0;
    ground[5] = 10.0;
    EXPECT_EQ(parse(json{{"a", ground}}).records.size(), 1u);
    ground[6] = "0000";
    EXPECT_TRUE(parse(json{{"a", ground}}).records.empty());
}

TEST_F(RtDirectReplies, SkippedArraysAreCountedByReason) {
    json shortOne = lf_aircraft("111111");
    shortOne.erase(48);
    shortOne.erase(47);
    json noTime = lf_aircraft("222222");
    noTime[10] = nullptr;
    json noHexid = lf_aircraft("333333");
    noHexid[0] = 3355443;
    const auto batch =
        parse(json{{"a", shortOne}, {"b", noTime}, {"c", noHexid}, {"d", lf_aircraft()}, {"full_count", 4}});
    EXPECT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.skipped.tooShort, 1u);
    EXPECT_EQ(batch.skipped.badTime, 1u);
    EXPECT_EQ(batch.skipped.badHexid, 1u);
}

// Members are read in name order: the valid one comes first and its time stays.
TEST_F(RtDirectReplies, BadTimestampsAndHexidsSkipTheAircraft) {
    json text = lf_aircraft("333333");
    text[10] = "soon";
    auto batch = parse(json{{"a", lf_aircraft("4840d6", kTime + 7)},
                            {"b", lf_aircraft("111111", 0.0)},
                            {"c", lf_aircraft("222222", -100.0)},
                            {"d", text}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.trafficTime, 1704067207);

    // A bad hexid skips the aircraft, but its valid time moves the batch time.
    json numeric = lf_aircraft("4840d6", kTime + 5);
    numeric[0] = 4735190;
    batch = parse(json{{"a", lf_aircraft("4840d6", kTime)},
                       {"b", lf_aircraft("0x4840d7", kTime + 3)},
                       {"c", lf_aircraft("123456789", kTime + 4)},
                       {"d", numeric}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.trafficTime, 1704067205);
}

TEST_F(RtDirectReplies, AirspeedRollHeadingAndAirportFallbacks) {
    // A missing airspeed comes from the altitude table: 220 kt at 5000 ft.
    for (const json& tas : {json(nullptr), json("fast")}) {
        json a = lf_aircraft();
        a[20] = tas;
        EXPECT_DOUBLE_EQ(only(a).point.tasKt, 220.0) << tas.dump();
    }
    json level = lf_aircraft();
    level[23] = nullptr;
    EXPECT_EQ(only(level).point.hasRoll, 1);
    EXPECT_DOUBLE_EQ(only(level).point.roll, 0.0);

    // A non-number true heading is absent, not north.
    for (const json& heading : {json(nullptr), json("east"), json::array()}) {
        json a = lf_aircraft();
        a[25] = heading;
        EXPECT_EQ(only(a).point.hasTrueHeading, 0) << heading.dump();
    }
    json north = lf_aircraft();
    north[25] = 0;
    EXPECT_EQ(only(north).point.hasTrueHeading, 1);
    EXPECT_DOUBLE_EQ(only(north).point.trueHeading, 2.0 * std::numbers::pi);

    // A non-string origin or destination is absent and keeps the aircraft.
    json airports = lf_aircraft();
    airports[11] = 17;
    airports[12] = nullptr;
    const TrafficRecord r = only(airports);
    EXPECT_FALSE(r.identity.origin.isSet());
    EXPECT_FALSE(r.identity.destination.isSet());
}

// --- buffered segments -----------------------------------------------------

TEST_F(RtDirectReplies, BufferSegmentsArePostedOldestFirstWithAbsentOnesEmpty) {
    // buffer_0 is the youngest: the same aircraft is 30 s older in buffer_3.
    // A segment that is no non-empty object is posted empty.
    const json data{{"buffer_0", {{"a", lf_aircraft("4840d6", kTime + 30)}, {"b", lf_aircraft("4840d7", kTime + 30)}}},
                    {"buffer_1", json::object()},
                    {"buffer_2", json::array({lf_aircraft()})},
                    {"buffer_3", {{"a", lf_aircraft("4840d6", kTime)}}},
                    {"other", 1}};
    struct Post {
        std::size_t records;
        std::uint32_t delay;
        std::int64_t time;
        bool operator==(const Post&) const = default;
    };
    std::vector<Post> posts;
    TrafficBatch batch;
    const auto post = [&](TrafficBatch& b, std::uint32_t delay) {
        posts.push_back({b.records.size(), delay, b.trafficTime});
    };
    ASSERT_TRUE(gf_deliverBufferSegments(data, own(), batch, post));
    // Segments 4, 3, 2, 1, 0 in posting order.
    EXPECT_EQ(posts, (std::vector<Post>{{0, 0, 0}, {1, 6, 1704067200}, {0, 12, 0}, {0, 18, 0}, {2, 24, 1704067230}}));

    posts.clear();
    EXPECT_FALSE(gf_deliverBufferSegments(json::object(), own(), batch, post));
    EXPECT_FALSE(gf_deliverBufferSegments(json(nullptr), own(), batch, post));
    EXPECT_TRUE(posts.empty());
}

// A buffered reply whose aircraft all have another shape is delivered empty,
// and one line (not one per aircraft) says how many were skipped and why.
TEST_F(RtDirectReplies, BufferReplyOfSkippedArraysSaysSoOnce) {
    json shortOne = lf_aircraft();
    shortOne.erase(48);
    shortOne.erase(47);
    json noTime = lf_aircraft("4840d7");
    noTime[10] = "null";
    const json data{{"buffer_0", {{"a", shortOne}, {"b", shortOne}}}, {"buffer_2", {{"a", shortOne}, {"b", noTime}}}};
    TrafficBatch batch;
    std::size_t records = 0;
    ASSERT_TRUE(gf_deliverBufferSegments(data, own(), batch,
                                         [&](TrafficBatch& b, std::uint32_t) { records += b.records.size(); }));
    EXPECT_EQ(records, 0u);
    EXPECT_EQ(newLogLines(), "==> buffer traffic: 4 aircraft arrays skipped (3 with fewer than 48 elements, 1 without "
                             "a valid time, 0 without a valid hexid)\n");
    // A reply without skipped arrays logs nothing.
    ASSERT_TRUE(gf_deliverBufferSegments(json{{"buffer_0", {{"a", lf_aircraft()}}}}, own(), batch,
                                         [&](TrafficBatch& b, std::uint32_t) { records += b.records.size(); }));
    EXPECT_EQ(records, 1u);
    EXPECT_EQ(newLogLines(), "");
}

// --- parked traffic ----------------------------------------------------------

TEST_F(RtDirectReplies, ParkedEntriesNeedSevenElementsAHexNameAndAValidTime) {
    json six = lf_parkedEntry();
    six.erase(6);
    const auto list = gf_parseParkedResponse(json{{"4840d6", lf_parkedEntry()},
                                                  {"4840d7", six},
                                                  {"4840da", lf_parkedEntry(0.0)},
                                                  {"xyz", lf_parkedEntry()},
                                                  {"4840d9", json::object()}});
    ASSERT_EQ(list.size(), 1u);
    const ParkedRecord& r = list[0];
    EXPECT_EQ(r.hexid, 0x4840D6u);
    EXPECT_EQ(r.position, (LaLo{52.31, 4.76}));
    EXPECT_EQ(r.standName, "D4");
    EXPECT_EQ(r.identity.callsign, "KLM1234");
    EXPECT_EQ(gf_modelCodeAt(r.identity.key.model), "B738");
}

// --- nearest METAR -----------------------------------------------------------

TEST(RtDirectMetar, AnArrayOfStationsOrOneStation) {
    const json stations = json::array({{{"METAR", "EHAM 011225Z 24012KT 9999 Q1021"}, {"Name", "Schiphol"}},
                                       {{"METAR", ""}},
                                       "not a station",
                                       {{"METAR", 17}},
                                       {{"METAR", "EHRD 011225Z 24010KT Q1020"}}});
    const auto list = gf_parseNearestMetarResponse(stations);
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(list));
    EXPECT_EQ(std::get<std::vector<std::string>>(list),
              (std::vector<std::string>{"EHAM 011225Z 24012KT 9999 Q1021", "EHRD 011225Z 24010KT Q1020"}));

    const auto one = gf_parseNearestMetarResponse(json{{"METAR", "KJFK 011251Z A3002"}});
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(one));
    EXPECT_EQ(std::get<std::vector<std::string>>(one), std::vector<std::string>{"KJFK 011251Z A3002"});
}

TEST(RtDirectMetar, Errors) {
    const auto message = [](const json& data) {
        const auto result = gf_parseNearestMetarResponse(data);
        const auto* error = std::get_if<RTAPIEnvelopeError>(&result);
        if (error == nullptr) return std::string("no error");
        EXPECT_EQ(error->where, "nearest metar");
        return error->message;
    };
    const std::string none = "response contains no METAR station with a valid METAR string";
    EXPECT_EQ(message(json::array()), none);
    EXPECT_EQ(message(json::array({{{"METAR", ""}}, {{"METAR", nullptr}}})), none);
    EXPECT_EQ(message(json::object()), none);
    EXPECT_EQ(message(json("EHAM 011225Z Q1021")), "response contains invalid METAR data");
}

}  // namespace
