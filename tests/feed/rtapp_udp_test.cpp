// RT App traffic lines: batches, buffer segments, parked sets and the lines
// that are refused, handled one line at a time as the reader thread would.

#include <string>
#include <vector>

#include <gtest/gtest.h>

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
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);

    feed({rtTrafficLine(100005), "RTTFC_EOT"});
    ASSERT_EQ(posted_.size(), 4u);
    const std::vector<std::uint32_t> delays{posted_[0].delay, posted_[1].delay, posted_[2].delay, posted_[3].delay};
    EXPECT_EQ(delays, (std::vector<std::uint32_t>{0, 6, 12, 30}));
    EXPECT_EQ(lf_hexids(posted_[0].records), (std::vector<std::uint32_t>{100001}));
    EXPECT_EQ(lf_hexids(posted_[2].records), (std::vector<std::uint32_t>{100003}));
    EXPECT_EQ(lf_hexids(posted_[3].records), (std::vector<std::uint32_t>{100004, 100005}));
    EXPECT_TRUE(g_trafficReader.batch().empty());
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
    EXPECT_EQ(r.identity.callsign, "KLM1234");
    EXPECT_DOUBLE_EQ(r.point.trackDeg, 0.0);
    EXPECT_DOUBLE_EQ(r.point.groundSpeedKt, 250.0);
    EXPECT_DOUBLE_EQ(r.time, 1704067200.0);
    std::lock_guard lock(g_trafficReader.handOverMutex);
    EXPECT_TRUE(g_trafficReader.maps.hexids.contains(0x4840D6u));
    EXPECT_TRUE(g_trafficReader.maps.callsigns.contains("KLM1234"));
}

TEST_F(RTAppTrafficLines, InactiveMapsCollectNothing) {
    {
        std::lock_guard lock(g_trafficReader.handOverMutex);
        g_trafficReader.maps.active = false;
    }
    feed({rtTrafficLine(4735190)});
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);
    std::lock_guard lock(g_trafficReader.handOverMutex);
    EXPECT_TRUE(g_trafficReader.maps.hexids.empty());
}

TEST_F(RTAppTrafficLines, OneBatchIsJudgedAgainstOnePosition) {
    feed({rtTrafficLine(100001)});
    // The user moves far away in the middle of a batch: its lines still count.
    g_trafficReader.setOwnPosition(-30.0, 150.0);
    feed({rtTrafficLine(100002), "RTTFC_EOT", rtTrafficLine(100003), "RTTFC_EOT"});
    ASSERT_EQ(posted_.size(), 2u);
    EXPECT_EQ(lf_hexids(posted_[0].records), (std::vector<std::uint32_t>{100001, 100002}));
    // The next batch takes the new position; out of range is dropped silently,
    // but its time still moves the traffic clock.
    EXPECT_TRUE(posted_[1].records.empty());
    EXPECT_EQ(newLogLines(), "");
    feed({rtTrafficLine(100004, "RTTFC", 1704067260.4)});
    EXPECT_EQ(g_rtAppLastRecordTime.load(), 1704067260);
}

TEST_F(RTAppTrafficLines, OutOfRangeLinesAreNotReadFurther) {
    auto fields = rtTrafficFields(4735190, 60.0, 4.0);
    fields[8] = "abc";
    feed({rtJoin(fields)});
    EXPECT_TRUE(g_trafficReader.batch().empty());
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(RTAppTrafficLines, RefusedTrafficLines) {
    struct Case {
        int field;
        std::string text;
        std::string log;
    };
    const std::vector<Case> cases{
        {8, "", "exception in processLine: gs:"},
        {8, "abc", "exception in processLine: gs:abc"},
        {8, "+250", "exception in processLine: gs:+250"},
        {8, " 250", "exception in processLine: gs: 250"},
        {8, "250kt", "exception in processLine: gs:250kt"},
        {4, "inf", "exception in processLine: altitude:inf"},
        {4, "NaN", "exception in processLine: altitude:NaN"},
        {4, "1e999", "exception in processLine: altitude:1e999"},
        {5, "", "exception in processLine: vs:"},
        {20, "x", "exception in processLine: TAS:x"},
        {23, "", "exception in processLine: roll:"},
        {1, "", "exception in processLine: hexid:"},
        {1, "12a", "exception in processLine: hexid:12a"},
        {1, "-5", "exception in processLine: hexid:-5"},
        {1, "4294967296", "exception in processLine: hexid:4294967296"},
        {2, "", "exception in processLine: lat:"},
        {3, "east", "exception in processLine: lon:east"},
        {14, "0", "exception in processLine: timestamp outside range: 0.000"},
        {14, "-1", "exception in processLine: timestamp outside range: -1.000"},
        {2, "91", "exception in processLine: invalid lalo: 91.000000,4.000000"},
    };
    for (const auto& c : cases) {
        auto fields = rtTrafficFields(4735190);
        fields[c.field] = c.text;
        g_trafficReader.handleLine(rtJoin(fields));
        EXPECT_EQ(newLogLines(), c.log + "\n") << "field " << c.field << " '" << c.text << "'";
        EXPECT_TRUE(g_trafficReader.batch().empty()) << "field " << c.field << " '" << c.text << "'";
    }
    // The largest hexid is still a number.
    auto fields = rtTrafficFields(4735190);
    fields[1] = "4294967295";
    g_trafficReader.handleLine(rtJoin(fields));
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(RTAppTrafficLines, TrueHeadingIsReadOnlyForAdsbIcao) {
    auto fields = rtTrafficFields(4735190);
    fields[25] = "";
    g_trafficReader.handleLine(rtJoin(fields));  // "adsb": field 25 is not read
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);
    fields[17] = "adsb_icao";
    fields[1] = "4735191";
    g_trafficReader.handleLine(rtJoin(fields));
    EXPECT_EQ(newLogLines(), "exception in processLine: trueheading:\n");
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);
    fields[25] = "95";
    g_trafficReader.handleLine(rtJoin(fields));
    ASSERT_EQ(g_trafficReader.batch().size(), 2u);
    EXPECT_EQ(g_trafficReader.batch()[1].point.hasTrueHeading, 1);
}

TEST_F(RTAppTrafficLines, TagsAndFieldCounts) {
    auto fields = rtTrafficFields(4735190);
    fields.pop_back();
    const std::string short43 = rtJoin(fields);
    g_trafficReader.handleLine(short43);
    EXPECT_EQ(newLogLines(), "Ignoring incomplete RT App message: 43 fields received, 44 required: " + short43 + "\n");

    // A tag that only begins with RTBUF counts as RTBUF.
    g_trafficReader.handleLine(rtTrafficLine(100001, "RTBUFX"));
    EXPECT_EQ(g_trafficReader.batch().size(), 1u);

    // End tags are matched exactly: with a line end they are no end tags.
    g_trafficReader.handleLine("RTTFC_EOT\r\n");
    g_trafficReader.handleLine("RTPARK_EOT\n");
    g_trafficReader.handleLine("UNKNOWN,1,2");
    g_trafficReader.handleLine("");
    EXPECT_TRUE(posted_.empty());
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    EXPECT_EQ(newLogLines(), "");

    // A trailing comma gives one more (empty) field: 43 fields and a comma are 44.
    g_trafficReader.handleLine(short43 + ",");
    EXPECT_EQ(g_trafficReader.batch().size(), 2u);
}

TEST_F(RTAppTrafficLines, ParkedSets) {
    g_trafficReader.handleLine(rtJoin(rtParkedFields("4840D6", "D4", "KLM1234")));
    g_trafficReader.handleLine(rtJoin(rtParkedFields("4840d7", "D5", "KLM1235", 1704067200.9)));
    {
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        EXPECT_EQ(g_trafficReader.parkedBack.size(), 2u);
        EXPECT_TRUE(g_trafficReader.parkedFront.empty());
    }
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
    g_trafficReader.handleLine("RTPARK_EOT,");
    g_trafficReader.handleLine("RTPARK_EOT");
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedFront.empty());
}

TEST_F(RTAppTrafficLines, ParkedRequestOfTheLinkEmptiesTheLists) {
    gf_registerRTAppReaders();
    feed({rtJoin(rtParkedFields("4840D6")), "RTPARK_EOT", rtJoin(rtParkedFields("4840D7", "D5"))});
    gf_requestParkedTraffic();
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedFront.empty());
    EXPECT_TRUE(g_trafficReader.parkedBack.empty());
}

TEST_F(RTAppTrafficLines, RefusedParkedLines) {
    struct Case {
        int field;
        std::string text;
        std::string log;
    };
    const std::vector<Case> cases{
        {1, "48G0D6", "exception in processRTAppLine: hexid incorrect48G0D6"},
        {1, "", "exception in processRTAppLine: hexid incorrect"},
        {1, "100000000", "exception in processRTAppLine: hexid incorrect100000000"},
        {1, "-1", "exception in processRTAppLine: hexid incorrect-1"},
        {8, "0", "exception in processRTAppLine: timestamp outside range:0.000"},
        {8, "9223372036854775808", "exception in processRTAppLine: timestamp outside range:9223372036854775808.000"},
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

TEST_F(RTAppTrafficLines, ResetClearsTheReader) {
    feed({rtTrafficLine(100001), rtJoin(rtParkedFields()), "RTPARK_EOT", "RTBUF_SEP", "RTBUF_EOT"});
    g_trafficReader.requestStop();
    g_trafficReader.reset();
    EXPECT_FALSE(g_trafficReader.stopRequested());
    EXPECT_FALSE(g_trafficReader.bufferReceived.load());
    EXPECT_FALSE(g_trafficReader.parkedReceived.load());
    EXPECT_EQ(g_trafficReader.qnh.load(), 0u);
    EXPECT_EQ(g_trafficReader.bufferSegment(), 0u);
    EXPECT_TRUE(g_trafficReader.batch().empty());
    EXPECT_EQ(g_rtAppLastRecordTime.load(), 0);
    {
        std::lock_guard lock(g_trafficReader.handOverMutex);
        EXPECT_FALSE(g_trafficReader.maps.active);
        EXPECT_TRUE(g_trafficReader.maps.hexids.empty());
    }
    std::lock_guard lock(g_trafficReader.parkedListMutex);
    EXPECT_TRUE(g_trafficReader.parkedFront.empty());
}

TEST_F(RTAppTrafficLines, TheFirstQnhNeverOverwritesAWeatherValue) {
    g_trafficReader.qnh.store(0);
    g_qnh.store(990);
    EXPECT_TRUE(g_trafficReader.setInitialQnh());
    EXPECT_EQ(g_qnh.load(), 1013u);
    g_trafficReader.publishQnh(1002);
    EXPECT_FALSE(g_trafficReader.setInitialQnh());
    EXPECT_EQ(g_qnh.load(), 1002u);
    EXPECT_EQ(g_trafficReader.qnh.load(), 1002u);
    gf_gui().drain();
    EXPECT_EQ(gf_gui().qnhHpa, 1002);
}
