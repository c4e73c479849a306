// The QNH out of METAR texts and weather datagrams, and what the QNH reader
// makes of each datagram.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feed/fields.h"
#include <nlohmann/json.hpp>

#include "feed/rtapp/qnh.h"
#include "feed/rtapp_udp_fixture.h"

using tavo::test::RTAppUdpTest;
using tavo::test::rtWeatherDatagram;

namespace {

QnhResult lf_qnh(std::uint32_t value) { return value; }
QnhResult lf_error(std::uint8_t code, std::string message) { return QnhError{code, std::move(message)}; }

}  // namespace

TEST(QnhFromMetar, GroupsAndWeatherObjects) {
    struct Case {
        std::string metar;
        QnhResult expected;
    };
    const std::vector<Case> cases{
        {"EDDF 051250Z 24010KT 9999 FEW030 08/03 Q1013 NOSIG=", lf_qnh(1013)},
        {"KJFK 051251Z 31012KT 10SM FEW250 03/M09 A2992 RMK AO2=", lf_qnh(1013)},  // 1013.25
        {"X\tQ0998\r\nNOSIG", lf_qnh(998)},
        {"X A2955", lf_qnh(1001)},  // 1000.72
        {"X Q0900", lf_qnh(900)},
        {"X Q1100", lf_qnh(1100)},
        {"X Q1101", lf_error(3, "QNH outside limits: 1101 (Q1101)")},
        {"X Q0899", lf_error(3, "QNH outside limits: 899 (Q0899)")},
        {"X A3250", lf_error(3, "QNH outside limits: 1101 (A3250)")},
        {"X AUTOS Q1013", lf_error(2, "invalid QNH code: AUTOS")},  // the first such group decides
        {"X Q101X=", lf_error(2, "invalid QNH code: Q101X")},
        {"X Q1013== Q1000", lf_qnh(1000)},  // only one '=' is cut: "Q1013=" is six long
        {"X Q10130 Q12 A29920 Q1009", lf_qnh(1009)},
        {"EDDF 051250Z 24010KT", lf_error(0, "no QNH code found in METAR")},
        {"", lf_error(0, "no QNH code found in METAR")},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_qnhFromMetar(c.metar), c.expected) << c.metar;

    EXPECT_EQ(gf_qnhFromWeatherData(nlohmann::json::parse(R"({"METAR":"EDDF Q1013","x":1})")), lf_qnh(1013));
    EXPECT_EQ(gf_qnhFromWeatherData(nlohmann::json::parse("[1]")), lf_error(1, "invalid weather data object"));
    EXPECT_EQ(gf_qnhFromWeatherData(nlohmann::json::parse(R"({"metar":"Q1013"})")),
              lf_error(0, "no METAR found in data"));
    EXPECT_EQ(gf_qnhFromWeatherData(nlohmann::json::parse(R"({"METAR":1013})")), lf_error(1, "invalid METAR type"));
}

using QnhReaderDatagrams = RTAppUdpTest;

TEST_F(QnhReaderDatagrams, QnhReachesEveryCopyAndErrorsKeepIt) {
    g_qnhReader.handleWeather(rtWeatherDatagram("EDDF 051250Z Q0998 NOSIG="));
    EXPECT_EQ(g_qnh.load(), 998u);
    EXPECT_EQ(g_trafficReader.qnh.load(), 998u);
    EXPECT_EQ(g_qnhReader.storedQnh(), 998u);
    EXPECT_EQ(g_qnhReader.metarText(), "EDDF 051250Z Q0998 NOSIG=");
    gf_gui().drain();
    EXPECT_EQ(gf_gui().qnhHpa, 998);
    EXPECT_EQ(newLogLines(), "");

    struct Case {
        std::string datagram;
        std::string log;
    };
    const std::vector<Case> cases{
        {R"({"metar":"EDDF Q1013"})", R"(no QNH {"metar":"EDDF Q1013"})"},
        {R"({"METAR":7})", R"(no QNH {"METAR":7})"},
        {R"({"METAR":"EDDF AUTOS"})", R"(==> invalid QNH code: AUTOS in {"METAR":"EDDF AUTOS"})"},
        {R"({"METAR":"EDDF Q0899"})", R"(==> QNH outside limits: 899 (Q0899) in {"METAR":"EDDF Q0899"})"},
    };
    for (const auto& c : cases) {
        g_qnhReader.handleWeather(c.datagram);
        EXPECT_EQ(newLogLines(), c.log + "\n") << c.datagram;
    }
    g_qnhReader.handleWeather("METAR EDDF Q1013");
    const std::string log = newLogLines();
    EXPECT_EQ(log.rfind("Exception ", 0), 0u) << log;
    EXPECT_NE(log.find(", in METAR EDDF Q1013\n"), std::string::npos) << log;
    EXPECT_EQ(g_qnh.load(), 998u);
    EXPECT_EQ(g_qnhReader.storedQnh(), 998u);
    EXPECT_EQ(g_qnhReader.metarText(), "EDDF 051250Z Q0998 NOSIG=");
}

// Weather datagrams carry kilobytes of other weather: a log line quotes the
// first 200 bytes of one and marks the cut.
TEST_F(QnhReaderDatagrams, LongDatagramsAreQuotedByTheirHead) {
    const std::string filler(3000, 'x');
    const std::string noMetar = R"({"wind":")" + filler + R"("})";
    g_qnhReader.handleWeather(noMetar);
    EXPECT_EQ(newLogLines(), "no QNH " + noMetar.substr(0, 200) + "...\n");
    const std::string badQnh = R"({"METAR":"EDDF AUTOS","wind":")" + filler + R"("})";
    g_qnhReader.handleWeather(badQnh);
    EXPECT_EQ(newLogLines(), "==> invalid QNH code: AUTOS in " + badQnh.substr(0, 200) + "...\n");
    // Exactly 200 bytes are quoted whole.
    const std::string exact = R"({"w":")" + std::string(200 - 8, 'y') + R"("})";
    ASSERT_EQ(exact.size(), 200u);
    g_qnhReader.handleWeather(exact);
    EXPECT_EQ(newLogLines(), "no QNH " + exact + "\n");
}

TEST(LogQuote, CutsAtTheLimitWithoutSplittingACharacter) {
    EXPECT_EQ(gf_logQuote("abc", 3), "abc");
    EXPECT_EQ(gf_logQuote("abcd", 3), "abc...");
    // "\xC3\xA9" is one character: a cut after its first byte backs off.
    EXPECT_EQ(gf_logQuote("ab\xC3\xA9z", 3), "ab...");
    EXPECT_EQ(gf_logQuote("ab\xC3\xA9z", 4), "ab\xC3\xA9...");
}

// The reader's reconnect clears its state but must not lose a stop.
TEST_F(QnhReaderDatagrams, ClearStateForgetsTheMetarButNotAStop) {
    g_qnhReader.handleWeather(rtWeatherDatagram("EDDF Q0998"));
    g_qnhReader.requestStop();
    g_qnhReader.clearState(false);
    EXPECT_TRUE(g_qnhReader.stopRequested());
    EXPECT_EQ(g_qnhReader.storedQnh(), 0u);
    EXPECT_FALSE(g_qnhReader.metarIsRecent(std::chrono::steady_clock::now()));
    // The same METAR is taken anew afterwards.
    g_qnhReader.handleWeather(rtWeatherDatagram("EDDF Q0998"));
    EXPECT_EQ(g_qnhReader.storedQnh(), 998u);
    g_qnhReader.clearState(true);
    EXPECT_FALSE(g_qnhReader.stopRequested());
}
