// The web API's traffic, buffer, parked and METAR replies turned into
// batches, parked records and METAR texts.

#include <gtest/gtest.h>

#include <cmath>
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

    EXPECT_TRUE(gf_isValidRTTimestamp(json(kTime)));
    EXPECT_TRUE(gf_isValidRTTimestamp(json(std::uint64_t{1704067200})));
    for (const json& bad : {json(0), json(-5.0), json("1704067200"), json(nullptr), json(9223372036854775808.0)})
        EXPECT_FALSE(gf_isValidRTTimestamp(bad)) << bad.dump();
}

TEST_F(RtDirectReplies, ReadsEveryElementIntoTheRecord) {
    const auto batch = parse(json{{"a", lf_aircraft()}});
    ASSERT_EQ(batch.records.size(), 1u);
    const TrafficRecord& r = batch.records[0];
    EXPECT_EQ(batch.trafficTime, 1704067200);
    EXPECT_EQ(r.hexid, 0x4840D6u);
    EXPECT_DOUBLE_EQ(r.point.groundSpeedKt, 250.0);
    EXPECT_DOUBLE_EQ(r.point.verticalSpeed, 500.0);
    EXPECT_DOUBLE_EQ(r.point.tasKt, 260.0);
    EXPECT_DOUBLE_EQ(r.point.roll, -5.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(r.point.hasTrueHeading, 1);
    EXPECT_DOUBLE_EQ(r.point.trueHeading, 92.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(r.identity.origin.text(), "AMS");
    EXPECT_EQ(r.identity.destination.text(), "LHR");
    EXPECT_EQ(gf_airlineCodeAt(r.identity.key.airline), "KLM");
}

TEST_F(RtDirectReplies, OnlyArraysOfExactly49ElementsAreAircraft) {
    json shortOne = lf_aircraft("111111");
    shortOne.erase(48);
    json longOne = lf_aircraft("222222");
    longOne.push_back(nullptr);
    const auto batch = parse(json{{"a", shortOne}, {"b", longOne}, {"c", 42}, {"d", lf_aircraft("333333")}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].hexid, 0x333333u);
    EXPECT_EQ(parse(json{{"a", shortOne}, {"b", longOne}}).trafficTime, 0);
}

// Members are read in name order: the valid one comes first and its time stays.
TEST_F(RtDirectReplies, BadTimestampsAndHexidsSkipTheAircraft) {
    json text = lf_aircraft("333333");
    text[10] = "1704067300";
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
    for (const json& tas : {json(nullptr), json("260")}) {
        json a = lf_aircraft();
        a[20] = tas;
        EXPECT_DOUBLE_EQ(only(a).point.tasKt, 220.0) << tas.dump();
    }
    json level = lf_aircraft();
    level[23] = nullptr;
    EXPECT_EQ(only(level).point.hasRoll, 1);
    EXPECT_DOUBLE_EQ(only(level).point.roll, 0.0);

    // A non-number true heading is absent, not north.
    for (const json& heading : {json(nullptr), json("92"), json::array()}) {
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
    EXPECT_EQ(gf_modelCodeAt(r.identity.key.type), "B738");
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
