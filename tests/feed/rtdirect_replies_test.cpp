// The web API's traffic, buffer, parked and METAR replies turned into
// batches, parked records and METAR texts.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "feed/records_fixture.h"
#include "feed/rtdirect/replies.h"
#include "foundation/log.h"
#include "support/temp_dir.h"

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

class RtDirectReplies : public tavo::test::RecordsWorld {
protected:
    void SetUp() override {
        RecordsWorld::SetUp();
        useRtDirect();
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        gf_openLogFile();
        seen_ = tavo::test::readFile("Log.txt").size();
    }
    void TearDown() override {
        gf_logger().close();
        std::filesystem::current_path(previous_);
        RecordsWorld::TearDown();
    }

    // What was logged since the previous call.
    std::string newLogLines() {
        gf_flushLog();
        const std::string text = tavo::test::readFile(dir_.path() / "Log.txt");
        std::string fresh = text.substr(std::min(seen_, text.size()));
        seen_ = text.size();
        return fresh;
    }

    // The own position as the RT Direct traffic reader takes it.
    static OwnPositionSnapshot own(bool collect = true) {
        OwnPositionSnapshot o = ownAt();
        o.collectHandOver = collect;
        o.handOverBeforeFilters = false;
        o.dropGround0000 = true;
        o.rtDirect = true;
        return o;
    }

    static TrafficBatch parse(const json& data, const OwnPositionSnapshot& o = own()) {
        TrafficBatch batch;
        gf_parseTrafficResponse(data, o, batch);
        return batch;
    }

private:
    tavo::test::ScopedTempDir dir_;
    std::filesystem::path previous_;
    std::size_t seen_ = 0;
};

TEST(RtDirectHexid, AcceptsOnlyPlainHexadecimalWithin32Bits) {
    EXPECT_EQ(gf_parseRTHexid("4840d6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("4840D6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("00004840d6"), 0x4840D6u);
    EXPECT_EQ(gf_parseRTHexid("ffffffff"), 0xFFFFFFFFu);
    EXPECT_EQ(gf_parseRTHexid("0"), 0u);
    for (const char* bad : {"", "0x4840d6", "+4840d6", "-4840d6", " 4840d6", "4840d6 ", "48 40d6", "4840g6",
                            "100000000", "123456789"})
        EXPECT_FALSE(gf_parseRTHexid(bad)) << bad;
}

TEST(RtDirectTimestamp, OnlyPositiveFiniteNumbersBelow2To63) {
    EXPECT_TRUE(gf_isValidRTTimestamp(json(kTime)));
    EXPECT_TRUE(gf_isValidRTTimestamp(json(1)));
    EXPECT_TRUE(gf_isValidRTTimestamp(json(std::uint64_t{1704067200})));
    EXPECT_FALSE(gf_isValidRTTimestamp(json(0)));
    EXPECT_FALSE(gf_isValidRTTimestamp(json(-5.0)));
    EXPECT_FALSE(gf_isValidRTTimestamp(json("1704067200")));
    EXPECT_FALSE(gf_isValidRTTimestamp(json(nullptr)));
    EXPECT_FALSE(gf_isValidRTTimestamp(json(9223372036854775808.0)));
    EXPECT_FALSE(gf_isValidRTTimestamp(json(std::uint64_t{18446744073709551615ULL})));
}

TEST_F(RtDirectReplies, ReadsEveryElementIntoTheRecord) {
    const auto batch = parse(json{{"a", lf_aircraft()}});
    ASSERT_EQ(batch.records.size(), 1u);
    const TrafficRecord& r = batch.records[0];
    EXPECT_EQ(batch.trafficTime, 1704067200);
    EXPECT_EQ(r.hexid, 0x4840D6u);
    EXPECT_DOUBLE_EQ(r.time, kTime);
    EXPECT_DOUBLE_EQ(r.point.lat, 52.0 + 10.0 / 60.0);
    EXPECT_DOUBLE_EQ(r.point.lon, 4.0);
    EXPECT_DOUBLE_EQ(r.point.groundSpeedKt, 250.0);
    EXPECT_DOUBLE_EQ(r.point.trackDeg, 90.0);
    EXPECT_DOUBLE_EQ(r.point.verticalSpeed, 500.0);
    EXPECT_DOUBLE_EQ(r.point.tasKt, 260.0);
    EXPECT_EQ(r.point.airborne, 1);
    EXPECT_EQ(r.point.hasRoll, 1);
    EXPECT_DOUBLE_EQ(r.point.roll, -5.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(r.point.hasTrueHeading, 1);
    EXPECT_DOUBLE_EQ(r.point.trueHeading, 92.0 * std::numbers::pi / 180.0);
    EXPECT_EQ(r.identity.callsign, "KLM1234");
    EXPECT_EQ(r.identity.registration, "PH-BXA");
    EXPECT_EQ(r.identity.origin.text(), "AMS");
    EXPECT_EQ(r.identity.destination.text(), "LHR");
    EXPECT_EQ(gf_airlineCodeAt(r.identity.key.airline), "KLM");
    EXPECT_EQ(gf_modelCodeAt(r.identity.key.type), "B738");
    EXPECT_EQ(batch.handOver.callsigns.count("KLM1234"), 1u);
    EXPECT_EQ(batch.handOver.hexids.count(0x4840D6u), 1u);
}

TEST_F(RtDirectReplies, OnlyArraysOfExactly49ElementsAreAircraft) {
    json shortOne = lf_aircraft("111111");
    shortOne.erase(48);
    json longOne = lf_aircraft("222222");
    longOne.push_back(nullptr);
    const auto batch = parse(json{{"a", shortOne},
                                  {"b", longOne},
                                  {"c", json::object({{"x", 1}})},
                                  {"d", 42},
                                  {"e", lf_aircraft("333333")}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].hexid, 0x333333u);

    const auto none = parse(json{{"a", shortOne}, {"b", longOne}});
    EXPECT_TRUE(none.records.empty());
    EXPECT_EQ(none.trafficTime, 0);
}

TEST_F(RtDirectReplies, BadTimestampsSkipTheAircraftAndKeepTheBatchTime) {
    json zero = lf_aircraft("111111", 0.0);
    json negative = lf_aircraft("222222", -100.0);
    json text = lf_aircraft("333333");
    text[10] = "1704067300";
    // Members are read in name order: the valid one first.
    const auto batch = parse(json{{"a", lf_aircraft("4840d6", kTime + 7)}, {"b", zero}, {"c", negative}, {"d", text}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.trafficTime, 1704067207);
}

TEST_F(RtDirectReplies, BadHexidsAreSkippedButMoveTheBatchTime) {
    const auto batch = parse(json{{"a", lf_aircraft("4840d6", kTime)},
                                  {"b", lf_aircraft("0x4840d7", kTime + 3)},
                                  {"c", lf_aircraft("123456789", kTime + 4)}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.trafficTime, 1704067204);

    json numeric = lf_aircraft();
    numeric[0] = 4735190;
    EXPECT_TRUE(parse(json{{"a", numeric}}).records.empty());

    const auto upper = parse(json{{"a", lf_aircraft("ABCDEF")}});
    const auto lower = parse(json{{"a", lf_aircraft("abcdef")}});
    ASSERT_EQ(upper.records.size(), 1u);
    ASSERT_EQ(lower.records.size(), 1u);
    EXPECT_EQ(upper.records[0].hexid, lower.records[0].hexid);
}

TEST_F(RtDirectReplies, MissingAirspeedFallsBackToTheAltitudeTable) {
    json nullTas = lf_aircraft();
    nullTas[20] = nullptr;
    json textTas = lf_aircraft();
    textTas[20] = "260";
    for (const json& a : {nullTas, textTas}) {
        const auto batch = parse(json{{"a", a}});
        ASSERT_EQ(batch.records.size(), 1u);
        // 5000 ft reported: the table gives 220 kt.
        EXPECT_DOUBLE_EQ(batch.records[0].point.tasKt, 220.0);
    }
}

TEST_F(RtDirectReplies, ANonNumberRollReadsAsLevel) {
    json a = lf_aircraft();
    a[23] = nullptr;
    const auto batch = parse(json{{"a", a}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].point.hasRoll, 1);
    EXPECT_DOUBLE_EQ(batch.records[0].point.roll, 0.0);
}

TEST_F(RtDirectReplies, ANonNumberTrueHeadingIsAbsentNotNorth) {
    for (const json& heading : {json(nullptr), json("92"), json::array()}) {
        json a = lf_aircraft();
        a[25] = heading;
        a[3] = 0.0;  // no track either: a heading of north would show as track 360
        const auto batch = parse(json{{"a", a}});
        ASSERT_EQ(batch.records.size(), 1u) << heading.dump();
        EXPECT_EQ(batch.records[0].point.hasTrueHeading, 0) << heading.dump();
        EXPECT_DOUBLE_EQ(batch.records[0].point.trackDeg, 0.0);
    }
    // A heading of 0 reported as a number still means north.
    json north = lf_aircraft();
    north[25] = 0;
    const auto batch = parse(json{{"a", north}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].point.hasTrueHeading, 1);
    EXPECT_DOUBLE_EQ(batch.records[0].point.trueHeading, 2.0 * std::numbers::pi);
}

TEST_F(RtDirectReplies, NonStringOriginOrDestinationIsAbsentAndKeepsTheAircraft) {
    json a = lf_aircraft();
    a[11] = 17;
    a[12] = nullptr;
    const auto batch = parse(json{{"a", a}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_FALSE(batch.records[0].identity.origin.isSet());
    EXPECT_FALSE(batch.records[0].identity.destination.isSet());
}

TEST_F(RtDirectReplies, ANullPositionIsJudgedByTheBuilderAndSkippedSilently) {
    json a = lf_aircraft();
    a[1] = nullptr;
    a[2] = nullptr;
    const auto batch = parse(json{{"a", a}, {"b", lf_aircraft("4840d7")}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].hexid, 0x4840D7u);
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(RtDirectReplies, OtherExceptionsSkipTheAircraftWithAPlainLogLine) {
    json a = lf_aircraft();
    a[11] = "AMSTERDAM";  // not a three-character code
    const auto batch = parse(json{{"a", a}, {"b", lf_aircraft("4840d7")}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(newLogLines(), "parseTrafficRecord: 'AMSTERDAM' IataCode: invalid string\n");
}

TEST_F(RtDirectReplies, NoObjectOrNoSettingsGivesAnEmptyBatch) {
    EXPECT_TRUE(parse(json::array({lf_aircraft()})).records.empty());
    auto o = own();
    o.settings.reset();
    const auto batch = parse(json{{"a", lf_aircraft()}}, o);
    EXPECT_TRUE(batch.records.empty());
    EXPECT_EQ(batch.trafficTime, 0);
}

TEST_F(RtDirectReplies, ParsingClearsWhatTheBatchHeld) {
    TrafficBatch batch;
    gf_parseTrafficResponse(json{{"a", lf_aircraft()}}, own(), batch);
    ASSERT_EQ(batch.records.size(), 1u);
    gf_parseTrafficResponse(json::object(), own(), batch);
    EXPECT_TRUE(batch.records.empty());
    EXPECT_TRUE(batch.handOver.callsigns.empty());
    EXPECT_TRUE(batch.handOver.hexids.empty());
    EXPECT_EQ(batch.trafficTime, 0);
}

TEST_F(RtDirectReplies, HandOverEntriesOnlyWhenCollecting) {
    json noCallsign = lf_aircraft("4840d7");
    noCallsign[13] = "";
    const auto collected = parse(json{{"a", lf_aircraft()}, {"b", noCallsign}});
    EXPECT_EQ(collected.records.size(), 2u);
    EXPECT_EQ(collected.handOver.callsigns.size(), 1u);
    EXPECT_EQ(collected.handOver.hexids.size(), 2u);

    const auto quiet = parse(json{{"a", lf_aircraft()}}, own(false));
    EXPECT_EQ(quiet.records.size(), 1u);
    EXPECT_TRUE(quiet.handOver.hexids.empty());
}

TEST_F(RtDirectReplies, GroundTargetsWithCode0000AreDropped) {
    setAirportAt(52.0 + 10.0 / 60.0, 4.0);
    json ground = lf_aircraft("4840d7");
    ground[4] = 0.0;
    ground[5] = 10.0;
    json marked = ground;
    marked[0] = "4840d8";
    marked[6] = "0000";
    const auto batch = parse(json{{"a", ground}, {"b", marked}});
    ASSERT_EQ(batch.records.size(), 1u);
    EXPECT_EQ(batch.records[0].hexid, 0x4840D7u);
    EXPECT_EQ(batch.records[0].point.airborne, 0);
}

// --- buffered segments -----------------------------------------------------

TEST_F(RtDirectReplies, BufferSegmentsArePostedOldestFirstWithAbsentOnesEmpty) {
    // buffer_0 is the youngest: the same aircraft is 30 s older in buffer_3.
    const json data{{"buffer_0", {{"a", lf_aircraft("4840d6", kTime + 30)}, {"b", lf_aircraft("4840d7", kTime + 30)}}},
                    {"buffer_3", {{"a", lf_aircraft("4840d6", kTime)}}}};
    struct Post {
        std::size_t records;
        std::uint32_t delay;
        std::int64_t time;
    };
    std::vector<Post> posts;
    TrafficBatch batch;
    const bool delivered = gf_deliverBufferSegments(data, own(), batch, [&](TrafficBatch& b, std::uint32_t delay) {
        posts.push_back({b.records.size(), delay, b.trafficTime});
    });
    ASSERT_TRUE(delivered);
    ASSERT_EQ(posts.size(), 5u);
    // Segments 4, 3, 2, 1, 0 in posting order.
    const std::vector<std::size_t> records{0, 1, 0, 0, 2};
    const std::vector<std::int64_t> times{0, 1704067200, 0, 0, 1704067230};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(posts[i].delay, 6u * i) << i;
        EXPECT_EQ(posts[i].records, records[i]) << i;
        EXPECT_EQ(posts[i].time, times[i]) << i;
    }
}

TEST_F(RtDirectReplies, BufferSegmentsThatAreNotNonEmptyObjectsArePostedEmpty) {
    const json data{{"buffer_1", json::object()},
                    {"buffer_2", json::array({lf_aircraft()})},
                    {"buffer_4", {{"a", lf_aircraft()}}},
                    {"other", 1}};
    std::vector<std::pair<std::size_t, std::uint32_t>> posts;
    TrafficBatch batch;
    ASSERT_TRUE(gf_deliverBufferSegments(data, own(), batch, [&](TrafficBatch& b, std::uint32_t delay) {
        posts.emplace_back(b.records.size(), delay);
    }));
    const std::vector<std::pair<std::size_t, std::uint32_t>> expected{{1, 0}, {0, 6}, {0, 12}, {0, 18}, {0, 24}};
    EXPECT_EQ(posts, expected);
}

TEST_F(RtDirectReplies, ABufferReplyWithoutMembersDeliversNothing) {
    int calls = 0;
    TrafficBatch batch;
    const auto count = [&](TrafficBatch&, std::uint32_t) { ++calls; };
    EXPECT_FALSE(gf_deliverBufferSegments(json::object(), own(), batch, count));
    EXPECT_FALSE(gf_deliverBufferSegments(json(nullptr), own(), batch, count));
    EXPECT_FALSE(gf_deliverBufferSegments(json::array({1}), own(), batch, count));
    EXPECT_EQ(calls, 0);
}

// --- parked traffic ----------------------------------------------------------

TEST_F(RtDirectReplies, ParkedEntriesNeedSevenElementsAndAHexName) {
    json six = lf_parkedEntry();
    six.erase(6);
    const auto list = gf_parseParkedResponse(json{{"4840d6", lf_parkedEntry()},
                                                  {"4840d7", six},
                                                  {"xyz", lf_parkedEntry()},
                                                  {"4840d8", json::array()},
                                                  {"4840d9", json::object()}});
    ASSERT_EQ(list.size(), 1u);
    const ParkedRecord& r = list[0];
    EXPECT_EQ(r.hexid, 0x4840D6u);
    EXPECT_EQ(r.position, (LaLo{52.31, 4.76}));
    EXPECT_EQ(r.standName, "D4");
    EXPECT_EQ(r.identity.callsign, "KLM1234");
    EXPECT_EQ(r.identity.registration, "PH-XYZ");
    EXPECT_EQ(gf_modelCodeAt(r.identity.key.type), "B738");
    EXPECT_EQ(r.slot, 0);
}

TEST_F(RtDirectReplies, ParkedEntriesAreReadInNameOrderAndNeedAValidTime) {
    json noTime = lf_parkedEntry();
    noTime[5] = "1704067200";
    json zero = lf_parkedEntry(0.0);
    json later = lf_parkedEntry(kTime + 1800.4);  // rounded to the next slot
    later[2] = "E7";
    later[6] = "DLH400";
    later[4] = "D-AIBC";
    const auto list = gf_parseParkedResponse(
        json{{"a00002", later}, {"a00001", lf_parkedEntry()}, {"a00003", noTime}, {"a00004", zero}});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].hexid, 0xA00001u);
    EXPECT_EQ(list[1].hexid, 0xA00002u);
    EXPECT_EQ(list[1].slot, 1);
    EXPECT_TRUE(gf_parseParkedResponse(json::array({lf_parkedEntry()})).empty());
}

TEST_F(RtDirectReplies, ParkedInvalidPositionIsSilentOtherErrorsAreLogged) {
    json badPosition = lf_parkedEntry();
    badPosition[0] = 95.0;
    const auto list = gf_parseParkedResponse(json{{"4840d6", badPosition}});
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(newLogLines(), "");

    std::vector<ParkedRecord> out;
    gf_parseParkedRecord("4840d6", json::array({1, 2}), out);
    EXPECT_TRUE(out.empty());
    const std::string logged = newLogLines();
    EXPECT_EQ(logged.rfind("==> parseParkedRecord: ", 0), 0u) << logged;
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
    EXPECT_EQ(message(json(nullptr)), "response contains invalid METAR data");
}

}  // namespace
