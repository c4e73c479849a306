// The sample RealTraffic application's lines through TAVO's own RT App line
// reader, at the sample airport: every line is read without an error line,
// every aircraft reported becomes a record (none is dropped as out of range,
// too far from the airport on the ground, or without speed in the air), the
// parked set becomes parked records and the weather gives a QNH.

#include <set>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "feed/rtapp/qnh.h"
#include "sample/sample_reader_fixture.h"
#include "tools/sample_feed/sample_lines.h"

namespace tavo::test {

class SampleLinesReadByTavo : public SampleReaderTest {
protected:
    // Feeds lines as datagrams; the hexids of the RTTFC/RTBUF lines among them.
    std::set<std::uint32_t> feed(const std::vector<std::string>& lines) {
        std::set<std::uint32_t> hexids;
        for (const std::string& line : lines) {
            const auto v = fieldsOf(line);
            if (v.size() >= 44) hexids.insert(static_cast<std::uint32_t>(std::stoul(v[1])));
            g_trafficReader.handleLine(line);
        }
        return hexids;
    }
    std::set<std::uint32_t> postedHexids() const {
        std::set<std::uint32_t> hexids;
        for (const PostedBatch& b : posted_)
            for (const TrafficRecord& r : b.records) hexids.insert(r.hexid);
        return hexids;
    }
};

TEST_F(SampleLinesReadByTavo, ACycleOfLiveBufferedAndParkedTrafficIsReadWithoutAnErrorLine) {
    const sample::SampleTraffic& t = sampleTraffic();
    constexpr double kEpoch = 1.8e9;
    const std::int64_t start = sample::SampleTraffic::cycleSeconds();
    g_bufferRequestPending.store(true);
    std::set<std::uint32_t> sent = feed(sample::gf_sampleBufferLines(t, start, kEpoch));
    EXPECT_TRUE(g_trafficReader.bufferReceived.load());
    for (std::int64_t second = start; second < start + sample::SampleTraffic::cycleSeconds(); ++second) {
        const std::set<std::uint32_t> batch = feed(sample::gf_sampleFlightsAt(t, second, kEpoch));
        sent.insert(batch.begin(), batch.end());
    }
    const std::string log = newLogLines();
    expectNoReaderErrorLines(log);
    EXPECT_THAT(log, ::testing::HasSubstr("Buffer traffic received"));
    ASSERT_GE(posted_.size(), 5u + 600u);
    EXPECT_EQ(postedHexids(), sent) << "every reported aircraft becomes a record";
    for (const sample::SampleFlight& f : t.flights())
        EXPECT_TRUE(sent.count(f.spec.airframes[0].hexid) + sent.count(f.spec.airframes[1].hexid)) << f.spec.type;

    for (const std::int64_t second : {start, start + 600}) {
        const auto parked = sample::gf_sampleParkedLines(t, second, kEpoch, sample::ParkedBox{});
        feed(parked);
        EXPECT_TRUE(g_trafficReader.parkedReceived.load());
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        EXPECT_EQ(g_trafficReader.parkedFront.size(), parked.size() - 1);
    }
    expectNoReaderErrorLines(newLogLines());
}

TEST_F(SampleLinesReadByTavo, TheWeatherGivesTheQnhOfItsMetar) {
    const std::string datagram = sample::gf_sampleWeatherDatagram(sampleTraffic(), 1.8e9);
    const QnhResult qnh = gf_qnhFromWeatherData(nlohmann::json::parse(datagram));
    ASSERT_TRUE(std::holds_alternative<std::uint32_t>(qnh)) << datagram;
    EXPECT_EQ(std::get<std::uint32_t>(qnh), 1013u);
    // The METAR of the last full observation: 1.8e9 s is 08:00 UTC, so 07:53.
    EXPECT_THAT(datagram, ::testing::HasSubstr("KSEA 150753Z "));
}

}  // namespace tavo::test
