// RT App traffic lines: batches, buffer segments, parked sets and the lines
// that are refused, handled one line at a time as the reader thread would.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "feed/feed_state.h"
#include "feed/rtdirect/replies.h"
#include "foundation/geodesy.h"
#include "foundation/time.h"
#include "feed/rtapp_udp_fixture.h"

using tavo::test::RTAppUdpTest;
using tavo::test::rtJoin;
using tavo::test::rtParkedFields;
using tavo::test::rtTrafficFields;
using tavo::test::rtTrafficLine;

namespace {

std::vector<std::uint32_t> lf_hexids(const std::vector<TrafficRecord>& records) {
    std::vector<std::uint32_t> ids;
    for (const auto& r : records) ids.push_back(r.hexid);
    return ids;
}

struct RefusedField {
    int field;
    std::string text;
    std::string log;
};

}  // namespace

class RTAppTrafficLines : public RTAppUdpTest {
protected:
    void feed(const std::vector<std::string>& lines) {
        for (const auto& line : lines) g_trafficReader.handleLine(line);
    }
};

TEST_F(RTAppTrafficLines, BufferSegmentsThenLiveBatch) {
    g_bufferRequestPending.store(true);
    feed({rtTrafficLine(100001, "RTBUF"), "RTBUF_SEP", rtTrafficLine(100002, "RTBUF"), "RTBUF_SEP",
          rtTrafficLine(100003, "RTBUF"), "RTBUF_SEP", rtTrafficLine(100004, "RTBUF"), "RTBUF_EOT"});
    EXPECT_TRUE(g_trafficReader.bufferReceived.load());
    EXPECT_FALSE(g_bufferRequestPending.load());
    EXPECT_NE(newLogLines().find(" Buffer traffic received\n"), std::string::npos);
    // The lines after the last separator wait for the next live batch.
    ASSERT_EQ(posted_.size(), 3u);

    feed({rtTrafficLine(100005), "RTTFC_EOT"});
    ASSERT_EQ(posted_.size(), 4u);
    std::vector<std::uint32_t> delays;
    for (const auto& p : posted_) delays.push_back(p.delay);
    EXPECT_EQ(delays, (std::vector<std::uint32_t>{0, 6, 12, 30}));
    EXPECT_EQ(lf_hexids(posted_[0].records), (std::vector<std::uint32_t>{100001}));
    EXPECT_EQ(lf_hexids(posted_[2].records), (std::vector<std::uint32_t>{100003}));
    EXPECT_EQ(lf_hexids(posted_[3].records), (std::vector<std::uint32_t>{100004, 100005}));
    EXPECT_EQ(g_rtAppLastRecordTime.load(), 1704067200);
}

TEST_F(RTAppTrafficLines, LiveBatchRecordFieldsAndHandOver) {
    auto fields = rtTrafficFields(4735190);
    fields[7] = "";  // an empty track reads 0
    feed({rtJoin(fields), "RTTFC_EOT"});
    ASSERT_EQ(posted_.size(), 1u);
    ASSERT_EQ(posted_[0].records.size(), 1u);
    const TrafficRecord& r = posted_[0].records[0];
    // The decimal hexid of a traffic line is the hexadecimal one of a parked line.
    EXPECT_EQ(r.hexid, 0x4840D6u);
    EXPECT_DOUBLE_EQ(r.point.trackDeg, 0.0);
    EXPECT_DOUBLE_EQ(r.point.groundSpeedKt, 250.0);
    std::lock_guard lock(g_trafficReader.handOverMutex);
    EXPECT_TRUE(g_trafficReader.maps.hexids.contains(0x4840D6u));
    EXPECT_TRUE(g_trafficReader.maps.callsigns.contains("KLM1234"));
}

// RT App versions send 42 fields (older ones), 43, or 44 with the airline in
// field 43; fields past 43 are not read.
TEST_F(RTAppTrafficLines, LinesOf42To44FieldsGiveTheirRecords) {
    struct Case {
        std::size_t fields;
        std::string airline;  // field 43 when there is one
        std::string expected;
    };
    const std::vector<Case> cases{
        {42, "", "KLM"},  // the airline comes from the callsign
        {43, "", "KLM"},
        {44, "DLH", "DLH"},
        {44, "", "KLM"},
        {44, "null", "KLM"},
        {46, "DLH", "DLH"},
    };
    std::uint32_t hexid = 100001;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.fields) + " fields, airline '" + c.airline + "'");
        auto fields = rtTrafficFields(hexid);
        fields.resize(c.fields);
        if (c.fields > 43) fields[43] = c.airline;
        feed({rtJoin(fields), "RTTFC_EOT"});
        EXPECT_EQ(newLogLines(), "");
        ASSERT_FALSE(posted_.empty());
        ASSERT_EQ(posted_.back().records.size(), 1u);
        const TrafficRecord& r = posted_.back().records[0];
        EXPECT_EQ(r.hexid, hexid);
        EXPECT_EQ(gf_airlineCodeAt(r.identity.key.airline), c.expected);
        EXPECT_DOUBLE_EQ(r.point.tasKt, 260.0);
        ++hexid;
    }
}

namespace {

// The aircraft of an RT App line as the web API lists it: each field the
// reader takes at its element, numbers as numbers, an empty field as null
// (how the web API leaves a value out) and every other text as it stands.
nlohmann::json lf_asWebApiAircraft(const std::vector<std::string>& f) {
    struct Element {
        std::size_t field;
        std::size_t element;
        bool number;
    };
    static const std::vector<Element> elements{
        {2, 1, true},   {3, 2, true},   {4, 4, true},   {5, 15, true},  {7, 3, true},   {8, 5, true},
        {9, 13, false}, {10, 8, false}, {11, 9, false}, {12, 11, false}, {13, 12, false}, {14, 10, true},
        {17, 17, false}, {20, 20, true}, {23, 23, true}, {25, 25, true}, {28, 28, false}, {43, 48, false}};
    nlohmann::json a = nlohmann::json::array();
    for (std::size_t i = 0; i <= rtApiAirlineElement; ++i) a.push_back(nullptr);
    a[0] = fmt::format("{:x}", std::stoul(f[1]));
    for (const Element& e : elements) {
        const std::string& text = f[e.field];
        if (text.empty()) continue;
        if (e.number && gf_parseDecimal(text))
            a[e.element] = *gf_parseDecimal(text);
        else
            a[e.element] = text;
    }
    return a;
}

}  // namespace

// Real RT App lines leave a true airspeed, roll or true heading empty, or
// write "null", when the App has none; the web API lists the same aircraft
// with null there. Both readers make the same record of it, and both take the
// data source by its name after any tags.
TEST_F(RTAppTrafficLines, LinesWithoutSomeValuesGiveTheRecordTheWebApiGives) {
    struct Case {
        std::size_t field;
        std::string text;
        std::string source = "adsb_icao";
        bool heading = true;  // the record has a true heading
        bool tasFromAltitude = false;
    };
    const std::vector<Case> cases{
        {20, "", "adsb_icao", true, true},
        {20, "null", "adsb_icao", true, true},
        {23, ""},
        {23, "null"},
        {25, "", "adsb_icao", false},
        {25, "null", "adsb_icao", false},
        {25, "", "X_adsb_icao", false},
        {25, "", "mlat", false},
        {25, "95", "X_adsb_icao"},
        {25, "95", "F_adsb_icao"},
        {25, "95", "X2_adsb_icao"},
        {25, "95", "ID_X_adsb_icao"},
        {25, "95", "x_adsb_icao"},
        {25, "95", "adsb_icao_nt", false},
        {25, "95", "X_mlat", false},
        {25, "95", "_adsb_icao", false},
        {25, "95", "adsb_icao ", false},
        {25, "95", "Xa_adsb_icao", false},
    };
    std::uint32_t hexid = 100001;
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("field {} '{}', source '{}'", c.field, c.text, c.source));
        auto fields = rtTrafficFields(hexid++);
        fields[17] = c.source;
        fields[c.field] = c.text;
        feed({rtJoin(fields), "RTTFC_EOT"});
        EXPECT_EQ(newLogLines(), "");
        ASSERT_FALSE(posted_.empty());
        ASSERT_EQ(posted_.back().records.size(), 1u);
        const StreamPoint& app = posted_.back().records[0].point;

        // The web API's reader, judging with the RT App's own position.
        OwnPositionSnapshot own;
        own.latitude = 52.0;
        own.longitude = 4.0;
        own.cosLatitude = std::cos(52.0 * degreesToRadians);
        own.settings = settingsSnapshot.load();
        own.handOverBeforeFilters = true;
        TrafficBatch batch;
        gf_parseTrafficRecord(lf_asWebApiAircraft(fields), own, batch);
        ASSERT_EQ(batch.records.size(), 1u);
        const StreamPoint& web = batch.records[0].point;

        EXPECT_EQ(app.hasTrueHeading, c.heading ? 1 : 0);
        EXPECT_EQ(web.hasTrueHeading, app.hasTrueHeading);
        if (c.heading) EXPECT_DOUBLE_EQ(app.trueHeading, 95.0 * degreesToRadians);
        EXPECT_DOUBLE_EQ(web.trueHeading, app.trueHeading);
        EXPECT_EQ(app.hasRoll, 1);
        EXPECT_EQ(web.hasRoll, app.hasRoll);
        EXPECT_DOUBLE_EQ(web.roll, app.roll);
        EXPECT_EQ(app.tasKt == 260.0, !c.tasFromAltitude) << app.tasKt;
        EXPECT_DOUBLE_EQ(web.tasKt, app.tasKt);
        EXPECT_DOUBLE_EQ(web.trackDeg, app.trackDeg);
        EXPECT_DOUBLE_EQ(web.altitudeFt, app.altitudeFt);
        EXPECT_DOUBLE_EQ(web.groundSpeedKt, app.groundSpeedKt);
        EXPECT_DOUBLE_EQ(web.verticalSpeed, app.verticalSpeed);
        EXPECT_EQ(batch.records[0].hexid, posted_.back().records[0].hexid);
    }
}

// The feed clock of these tests: moved only by the test.
std::atomic<std::int64_t> g_feedNowNs{0};
std::chrono::steady_clock::time_point lf_feedNow() {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(g_feedNowNs.load()));
}

class RTAppOpenBatch : public RTAppTrafficLines {
protected:
    void SetUp() override {
        RTAppTrafficLines::SetUp();
        g_feedNowNs.store(std::chrono::nanoseconds(std::chrono::hours(1000)).count());
        gf_setFeedSteadyClock(&lf_feedNow);
    }
    void TearDown() override {
        gf_setFeedSteadyClock(nullptr);
        RTAppTrafficLines::TearDown();
    }
    static void advance(std::chrono::milliseconds by) {
        g_feedNowNs.fetch_add(std::chrono::nanoseconds(by).count());
    }
    static constexpr const char* kCapLine = "RT App traffic without end tag: ";
};

// An application that never sends the end tag: the batch is posted as live
// traffic every 5,000 records and never holds more; one log line per run.
TEST_F(RTAppOpenBatch, TwentyThousandLinesWithoutEndTagStayBounded) {
    std::size_t largest = 0;
    for (std::uint32_t i = 0; i < 20000; ++i) {
        g_trafficReader.handleLine(rtTrafficLine(100001 + i));
        largest = std::max(largest, g_trafficReader.batch().size());
    }
    EXPECT_LT(largest, kOpenBatchMaxRecords);
    ASSERT_EQ(posted_.size(), 4u);
    for (const auto& p : posted_) {
        EXPECT_EQ(p.delay, 30u);
        EXPECT_EQ(p.records.size(), kOpenBatchMaxRecords);
    }
    EXPECT_EQ(posted_[3].records.back().hexid, 120000u);
    const std::string log = newLogLines();
    EXPECT_EQ(log, std::string(kCapLine) + "5000 records posted as live traffic (limits 5000 records, 10 s)\n");

    // A new run logs again.
    g_trafficReader.reset();
    g_trafficReader.setOwnPosition(52.0, 4.0);
    g_trafficReader.qnh.store(1013);
    for (std::uint32_t i = 0; i < kOpenBatchMaxRecords; ++i) g_trafficReader.handleLine(rtTrafficLine(200001 + i));
    EXPECT_EQ(posted_.size(), 5u);
    EXPECT_NE(newLogLines().find(kCapLine), std::string::npos);
}

TEST_F(RTAppOpenBatch, ABatchOpenTenSecondsIsPostedBeforeTheNextLine) {
    feed({rtTrafficLine(100001)});
    advance(std::chrono::milliseconds(9999));
    feed({rtTrafficLine(100002)});
    EXPECT_TRUE(posted_.empty());
    advance(std::chrono::milliseconds(1));
    feed({rtTrafficLine(100003)});
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].delay, 30u);
    EXPECT_EQ(lf_hexids(posted_[0].records), (std::vector<std::uint32_t>{100001, 100002}));
    EXPECT_EQ(lf_hexids(g_trafficReader.batch()), (std::vector<std::uint32_t>{100003}));
    EXPECT_NE(newLogLines().find(kCapLine), std::string::npos);

    // The end tag closes the batch and the next one starts its own time; a
    // buffer separator starts it anew too.
    feed({"RTTFC_EOT"});
    advance(std::chrono::seconds(60));
    feed({rtTrafficLine(100004, "RTBUF")});
    advance(std::chrono::seconds(9));
    feed({"RTBUF_SEP"});
    advance(std::chrono::milliseconds(500));
    feed({rtTrafficLine(100005, "RTBUF")});
    advance(std::chrono::seconds(1));
    feed({rtTrafficLine(100006, "RTBUF"), "RTBUF_SEP"});
    ASSERT_EQ(posted_.size(), 4u);
    EXPECT_EQ(posted_[2].delay, 0u);
    EXPECT_EQ(posted_[3].delay, 6u);
    EXPECT_EQ(lf_hexids(posted_[3].records), (std::vector<std::uint32_t>{100005, 100006}));
    EXPECT_EQ(newLogLines().find(kCapLine), std::string::npos);
}

// When the App falls silent, or sends only other lines, the open batch is
// posted once its age passes, not when the next traffic line comes.
TEST_F(RTAppOpenBatch, ABatchOpenTenSecondsIsPostedWithoutAnotherTrafficLine) {
    feed({rtTrafficLine(100001), rtTrafficLine(100002)});
    advance(std::chrono::milliseconds(9999));
    g_trafficReader.postAgedBatch();
    feed({rtJoin(rtParkedFields())});
    EXPECT_TRUE(posted_.empty());
    advance(std::chrono::milliseconds(1));
    g_trafficReader.postAgedBatch();
    ASSERT_EQ(posted_.size(), 1u);
    EXPECT_EQ(posted_[0].delay, 30u);
    EXPECT_EQ(lf_hexids(posted_[0].records), (std::vector<std::uint32_t>{100001, 100002}));
    EXPECT_NE(newLogLines().find(kCapLine), std::string::npos);
    g_trafficReader.postAgedBatch();
    EXPECT_EQ(posted_.size(), 1u);

    // Any line but the two that post the batch themselves looks at its age.
    feed({rtTrafficLine(100003)});
    advance(std::chrono::seconds(10));
    feed({rtJoin(rtParkedFields())});
    ASSERT_EQ(posted_.size(), 2u);
    EXPECT_EQ(lf_hexids(posted_[1].records), (std::vector<std::uint32_t>{100003}));
    // An end tag after the limit posts the batch with its own delay.
    feed({rtTrafficLine(100004, "RTBUF")});
    advance(std::chrono::seconds(11));
    feed({"RTBUF_SEP"});
    ASSERT_EQ(posted_.size(), 3u);
    EXPECT_EQ(posted_[2].delay, 0u);
    EXPECT_EQ(lf_hexids(posted_[2].records), (std::vector<std::uint32_t>{100004}));
}

TEST_F(RTAppTrafficLines, RefusedTrafficLines) {
    const std::vector<RefusedField> cases{
        {8, "", "exception in processLine: gs:"},
        {8, "250kt", "exception in processLine: gs:250kt"},
        {4, "NaN", "exception in processLine: altitude:NaN"},
        {4, "1e999", "exception in processLine: altitude:1e999"},
        {20, "x", "exception in processLine: TAS:x"},
        {20, "NULL", "exception in processLine: TAS:NULL"},
        {23, "level", "exception in processLine: roll:level"},
        {23, " ", "exception in processLine: roll: "},
        {1, "12a", "exception in processLine: hexid:12a"},
        {1, "4294967296", "exception in processLine: hexid:4294967296"},
        {3, "east", "exception in processLine: lon:east"},
        {14, "0", "exception in processLine: timestamp outside range: 0.000"},
        {2, "91", "exception in processLine: invalid lalo: 91.000000,4.000000"},
    };
    for (const auto& c : cases) {
        auto fields = rtTrafficFields(4735190);
        fields[c.field] = c.text;
        g_trafficReader.handleLine(rtJoin(fields));
        EXPECT_EQ(newLogLines(), c.log + "\n") << "field " << c.field << " '" << c.text << "'";
        EXPECT_TRUE(g_trafficReader.batch().empty()) << "field " << c.field << " '" << c.text << "'";
    }
    // A true heading is read (and must be a number, when given) only for
    // "adsb_icao", whatever tags stand before it.
    auto fields = rtTrafficFields(4735190);
    fields[25] = "north";
    for (const char* source : {"adsb_icao", "ID_X_adsb_icao"}) {
        fields[17] = source;
        g_trafficReader.handleLine(rtJoin(fields));
        EXPECT_EQ(newLogLines(), "exception in processLine: trueheading:north\n") << source;
    }
    fields[17] = "mlat";
    g_trafficReader.handleLine(rtJoin(fields));
    EXPECT_EQ(newLogLines(), "");
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);
    feed({"RTTFC_EOT"});
    posted_.clear();
    fields = rtTrafficFields(4735190);

    fields.resize(41);
    const std::string short41 = rtJoin(fields);
    g_trafficReader.handleLine(short41);
    EXPECT_EQ(newLogLines(), "Ignoring incomplete RT App message: 41 fields received, 42 required: " + short41 + "\n");
    // A long one is quoted by its first 200 bytes.
    const std::string longLine = "RTTFC," + std::string(2000, 'x');
    g_trafficReader.handleLine(longLine);
    EXPECT_EQ(newLogLines(), "Ignoring incomplete RT App message: 2 fields received, 42 required: " +
                                 longLine.substr(0, 200) + "...\n");
    // End tags are matched exactly; unknown tags are ignored silently.
    feed({"RTTFC_EOT\r\n", "RTPARK_EOT\n", "UNKNOWN,1,2", ""});
    EXPECT_TRUE(posted_.empty());
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    EXPECT_EQ(newLogLines(), "");
    EXPECT_TRUE(g_trafficReader.batch().empty());
}

// The start path goes on as soon as it sees the buffer or the parked set
// taken: the reader's line about it must be stamped and written before then,
// or Log.txt tells the parked request before the buffer, a second late.
TEST_F(RTAppTrafficLines, TheLineAboutAnAnswerTakenIsWrittenBeforeTheStartPathCanSeeIt) {
    // The clock is read for the line's stamp: the flag the start path waits
    // on must not be up yet.
    static std::atomic<const std::atomic<bool>*> watched{nullptr};
    static std::atomic<int> stamped{0};
    static std::atomic<int> seenTaken{0};
    stamped = 0;
    seenTaken = 0;
    gf_setSecondsClock([] {
        ++stamped;
        if (watched.load()->load()) ++seenTaken;
        return std::int64_t{1704067200};
    });
    watched = &g_trafficReader.bufferReceived;
    feed({rtTrafficLine(100001, "RTBUF"), "RTBUF_EOT"});
    watched = &g_trafficReader.parkedReceived;
    feed({rtJoin(rtParkedFields()), "RTPARK_EOT"});
    gf_setSecondsClock(nullptr);
    EXPECT_TRUE(g_trafficReader.bufferReceived.load());
    EXPECT_TRUE(g_trafficReader.parkedReceived.load());
    const std::string log = newLogLines();
    EXPECT_NE(log.find("00:00:00 Buffer traffic received\n"), std::string::npos) << log;
    EXPECT_NE(log.find("00:00:00 park traffic received\n"), std::string::npos) << log;
    EXPECT_GE(stamped.load(), 2);
    EXPECT_EQ(seenTaken.load(), 0);
}

TEST_F(RTAppTrafficLines, ParkedSets) {
    g_trafficReader.handleLine(rtJoin(rtParkedFields("4840D6", "D4", "KLM1234")));
    g_trafficReader.handleLine(rtJoin(rtParkedFields("4840d7", "D5", "KLM1235", 1704067200.9)));
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    g_trafficReader.handleLine("RTPARK_EOT");
    EXPECT_TRUE(g_trafficReader.parkedReceived.load());
    EXPECT_NE(newLogLines().find(" park traffic received\n"), std::string::npos);
    {
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        ASSERT_EQ(g_trafficReader.parkedFront.size(), 2u);
        EXPECT_EQ(g_trafficReader.parkedFront[0].hexid, 4735190u);
        EXPECT_EQ(g_trafficReader.parkedFront[1].hexid, 0x4840D7u);
        EXPECT_EQ(g_trafficReader.parkedFront[1].standName, "D5");
        EXPECT_TRUE(g_trafficReader.parkedBack.empty());
    }
    // An empty set replaces the previous one.
    g_trafficReader.handleLine("RTPARK_EOT");
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedFront.empty());
}

// RTPARK lines without their end tag: 300,000 of them hold no more than the
// cap, the overflow is logged once per run, and the end tag still publishes
// the capped set.
TEST_F(RTAppTrafficLines, ParkedSetWithoutItsEndTagStopsAtTheCap) {
    const std::string capLine = fmt::format(
        "RT App parked traffic without end tag: {} aircraft held, the rest dropped\n", kRTAppParkedListCap);
    auto fields = rtParkedFields();
    const auto feedParked = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            fields[1] = fmt::format("{:X}", 0x100000 + i);
            g_trafficReader.handleLine(rtJoin(fields));
        }
    };
    feedParked(300000);
    EXPECT_EQ(newLogLines(), capLine);
    {
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        ASSERT_EQ(g_trafficReader.parkedBack.size(), kRTAppParkedListCap);
        EXPECT_LE(g_trafficReader.parkedBack.capacity(), 2 * kRTAppParkedListCap);
        EXPECT_EQ(g_trafficReader.parkedBack.front().hexid, 0x100000u);
        EXPECT_EQ(g_trafficReader.parkedBack.back().hexid, 0x100000u + kRTAppParkedListCap - 1);
    }
    g_trafficReader.handleLine("RTPARK_EOT");
    {
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        EXPECT_EQ(g_trafficReader.parkedFront.size(), kRTAppParkedListCap);
        EXPECT_TRUE(g_trafficReader.parkedBack.empty());
    }
    // Once per run: the next overflow is silent until the reader is reset.
    newLogLines();
    feedParked(kRTAppParkedListCap + 1);
    EXPECT_EQ(newLogLines(), "");
    g_trafficReader.reset();
    feedParked(kRTAppParkedListCap + 1);
    EXPECT_EQ(newLogLines(), capLine);
}

TEST_F(RTAppTrafficLines, RefusedParkedLines) {
    const std::vector<RefusedField> cases{
        {1, "48G0D6", "exception in processRTAppLine: hexid incorrect48G0D6"},
        {1, "100000000", "exception in processRTAppLine: hexid incorrect100000000"},
        {8, "0", "exception in processRTAppLine: timestamp outside range:0.000"},
        {8, "soon", "exception in processRTAppLine: timestamp:soon"},
        {2, "x", "exception in processRTAppLine: lat:x"},
        {2, "95", "exception in processRTAppLine: lalo: 95.000000,4.760000"},
    };
    for (const auto& c : cases) {
        auto fields = rtParkedFields();
        fields[c.field] = c.text;
        g_trafficReader.handleLine(rtJoin(fields));
        EXPECT_EQ(newLogLines(), c.log + "\n") << "field " << c.field << " '" << c.text << "'";
    }
    auto fields = rtParkedFields();
    fields.pop_back();
    g_trafficReader.handleLine(rtJoin(fields));
    EXPECT_EQ(newLogLines(),
              "Ignoring incomplete RT App message: 8 fields received, 9 required: " + rtJoin(fields) + "\n");
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedBack.empty());
}

// Only a reset (never the receive loop) clears a stop the reader was asked for.
TEST_F(RTAppTrafficLines, ResetClearsTheReaderAndItsStop) {
    feed({rtTrafficLine(100001), rtJoin(rtParkedFields()), "RTPARK_EOT", "RTBUF_SEP", "RTBUF_EOT"});
    g_trafficReader.requestStop();
    g_trafficReader.reset();
    EXPECT_FALSE(g_trafficReader.stopRequested());
    EXPECT_FALSE(g_trafficReader.bufferReceived.load());
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    EXPECT_EQ(g_trafficReader.qnh.load(), 0u);
    EXPECT_TRUE(g_trafficReader.batch().empty());
    EXPECT_EQ(g_rtAppLastRecordTime.load(), 0);
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedFront.empty());
}
