// The RT Direct readers against the fake web API, on a clock the test drives:
// interval waits, the query box, the weather reader and its cache, the login
// and logout, the traffic reader thread and parked traffic on demand.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "feed/hang_guard.h"
#include "feed/rtdirect_fixture.h"
#include "foundation/text.h"
#include "foundation/time.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;
using tavo::test::ReceivedRequest;
using tavo::test::RtDirectWorld;

constexpr double kTime = 1704067200.0;

// One airborne aircraft of a traffic reply, 10 NM north of 52N 4E.
json lf_aircraft(const std::string& hexid, double time = kTime) {
    json a = json::array();
    for (std::size_t i = 0; i < rtApiAircraftElements; ++i) a.push_back(nullptr);
    a[0] = hexid;
    a[1] = 52.0 + 10.0 / 60.0;
    a[2] = 4.0;
    a[3] = 90.0;
    a[4] = 5000.0;
    a[5] = 250.0;
    a[8] = "B738";
    a[10] = time;
    a[13] = "KLM" + hexid.substr(0, 4);
    a[17] = "adsb";
    return a;
}

std::string lf_traffic(int status, const json& data = json::object(), int rrl = 250, std::string message = "") {
    return FakeRtApi::envelope(status, message, data, {{"rrl", rrl}});
}

FakeReply lf_metar(const std::string& metar) {
    return FakeRtApi::json(FakeRtApi::envelope(200, "OK", json::array({{{"METAR", metar}}})));
}

class RtDirectReaders : public RtDirectWorld {
protected:
    struct Post {
        std::size_t records;
        std::uint32_t delay;
        bool operator==(const Post&) const = default;
    };

    void SetUp() override {
        RtDirectWorld::SetUp();
        publishUserPosition(52.0, 4.0);
        gf_rtApiTrafficReader().setUserPosition(LaLo{52.0, 4.0});
        gf_rtApiTrafficReader().setBatchPoster([this](std::vector<TrafficRecord>& records, std::uint32_t delay) {
            std::lock_guard lock(postsMutex_);
            posts_.push_back({records.size(), delay});
            records.clear();
        });
    }

    std::vector<Post> posts() {
        std::lock_guard lock(postsMutex_);
        return posts_;
    }

    // Answers /v6/traffic: the buffer request with `bufferReply`, live and
    // parked requests from `live` and `parked` in turn (the last one repeated).
    void serveTraffic(std::string bufferReply, std::vector<FakeReply> live,
                      std::vector<FakeReply> parked = {FakeRtApi::json(lf_traffic(200))}) {
        auto nextLive = std::make_shared<std::atomic<std::size_t>>(0);
        auto nextParked = std::make_shared<std::atomic<std::size_t>>(0);
        api.setHandler("/v6/traffic", [=, this](const ReceivedRequest& request) {
            if (request.field("buffercount") != "") return FakeRtApi::json(bufferReply);
            if (request.field("querytype") == "parkedtraffic")
                return parked[std::min(nextParked->fetch_add(1), parked.size() - 1)];
            {
                std::lock_guard lock(liveMutex_);
                ++liveCount_;
            }
            liveArrived_.notify_all();
            return live[std::min(nextLive->fetch_add(1), live.size() - 1)];
        });
    }

    std::vector<ReceivedRequest> liveRequests() {
        std::vector<ReceivedRequest> out;
        for (auto& r : api.requests("/v6/traffic"))
            if (r.field("buffercount") == "" && r.field("querytype") == "locationtraffic") out.push_back(r);
        return out;
    }

    // Waits until `count` live requests have reached the fake (only the
    // reader's own progress brings them; the limit is a hang guard).
    bool waitForLiveRequests(std::size_t count) {
        std::unique_lock lock(liveMutex_);
        return liveArrived_.wait_for(lock, tavo::test::kHangGuard, [&] { return liveCount_ >= count; });
    }
    std::size_t liveCount() {
        std::lock_guard lock(liveMutex_);
        return liveCount_;
    }

    void startTraffic() { traffic = std::thread([] { gf_RTAPITrafficReader(); }); }

    std::chrono::milliseconds waited() {
        std::chrono::milliseconds sum{0};
        for (auto w : clock.waits()) sum += w;
        return sum;
    }

    void expectStop(StopReason reason) {
        const auto stop = pendingStop();
        ASSERT_TRUE(stop);
        EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(reason));
        EXPECT_EQ(stop->countdown, 15u);
    }

private:
    std::mutex postsMutex_;
    std::vector<Post> posts_;
    std::mutex liveMutex_;
    std::condition_variable liveArrived_;
    std::size_t liveCount_ = 0;
};

// --- interval wait and query box ----------------------------------------------

TEST_F(RtDirectReaders, IntervalWaitsRunInQuarterSlicesAndARemainder) {
    gf_rtApiTrafficReader().waitInterval(2003);
    EXPECT_EQ(clock.waits(), (std::vector<std::chrono::milliseconds>{500ms, 500ms, 500ms, 500ms, 3ms}));
}

TEST_F(RtDirectReaders, AStopEndsAWaitAndAWakeUpAloneDoesNot) {
    clock.setAuto(false);
    RTAPIWeatherReader& reader = gf_rtApiWeatherReader();
    auto done = std::async(std::launch::async, [&] { reader.waitInterval(30000); });
    ASSERT_TRUE(clock.waitForWaiting(1));
    reader.wake();
    EXPECT_EQ(done.wait_for(50ms), std::future_status::timeout);
    reader.requestStop();
    EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(clock.waits().size(), 1u);
    // A stopped reader does not wait at all.
    reader.waitInterval(2000);
    EXPECT_EQ(clock.waits().size(), 1u);
}

TEST_F(RtDirectReaders, QueryBoxFromRangeAndPositionIsCached) {
    changeSettings([](SettingsSnapshot& s) { s.RANGE = 20.0; });
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    publishUserPosition(50.0, 8.0);
    reader.updateQueryBox();
    const RTAPIBox box = reader.queryBox();
    EXPECT_NEAR(box.top, 50.333093, 1e-6);
    EXPECT_NEAR(box.bottom, 49.666906, 1e-6);
    const double halfWidth = 20.0 / 60.0 / std::cos(50.0 * std::numbers::pi / 180.0);
    EXPECT_NEAR(box.left, 8.0 - halfWidth, 1e-3);
    EXPECT_NEAR(box.right, 8.0 + halfWidth, 1e-3);
    // A small move keeps the box; a larger one moves it.
    publishUserPosition(50.0001, 8.0001);
    reader.updateQueryBox();
    EXPECT_EQ(reader.queryBox(), box);
    publishUserPosition(50.0002, 8.0);
    reader.updateQueryBox();
    EXPECT_NEAR(reader.queryBox().top, 50.333293, 1e-6);
}

// --- weather reader ---------------------------------------------------------------------

TEST_F(RtDirectReaders, WeatherCachesTheQnhForAMinuteWithin10Nm) {
    clock.setAuto(false);
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", lf_metar("EHAM 011225Z 24012KT 9999 Q1021"));
    RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
    std::uint32_t status = 99;
    const auto requestsAfter = [&] {
        EXPECT_TRUE(weather.nearestmetar(status));
        return api.requestCount("/v6/nearestmetar");
    };
    EXPECT_EQ(requestsAfter(), 1u);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(g_qnh.load(), 1021u);
    EXPECT_EQ(gf_rtApiTrafficReader().qnh.load(), 1021u);
    EXPECT_EQ(api.requests("/v6/nearestmetar")[0].body, "GUID=guid-1&toffset=0&lat=52.0000&lon=4.0000");

    clock.advance(59s);
    publishUserPosition(52.0 + 9.9 / 60.0, 4.0);
    EXPECT_EQ(requestsAfter(), 1u);
    publishUserPosition(52.0 + 10.1 / 60.0, 4.0);  // beyond 10 NM
    EXPECT_EQ(requestsAfter(), 2u);
    clock.advance(60s);  // a minute old
    EXPECT_EQ(requestsAfter(), 3u);
}

// The traffic reader starts every run from 1013, so the first QNH found after
// a restart is published even when it did not change.
TEST_F(RtDirectReaders, TheFirstQnhOfEveryRunIsPublished) {
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", lf_metar("EHAM 011225Z Q1021"));
    std::uint32_t status = 0;
    ASSERT_TRUE(gf_rtApiWeatherReader().nearestmetar(status));
    EXPECT_EQ(g_qnh.load(), 1021u);

    resetReaders();
    gf_rtApiTrafficReader().qnh.setInitial();
    EXPECT_EQ(g_qnh.load(), 1013u);
    ASSERT_TRUE(login());
    ASSERT_TRUE(gf_rtApiWeatherReader().nearestmetar(status));
    EXPECT_EQ(g_qnh.load(), 1021u);
    EXPECT_EQ(gf_rtApiTrafficReader().qnh.load(), 1021u);
}

TEST_F(RtDirectReaders, Weather401IsRetriedOnceThenTheThreadEnds) {
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(401, "unknown GUID")));
    weather = std::thread([] { gf_RTAPIWeatherReader(); });
    weather.join();
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 2u);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos) << log;
    EXPECT_TRUE(gf_rtApiTrafficReader().stop.load());
    expectStop(StopReason::ReaderError);
}

TEST_F(RtDirectReaders, Weather406And500AreRetriedAfter30Seconds) {
    ASSERT_TRUE(login());
    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(406, "slow down")));
    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(500, "database")));
    api.setDefaultReply("/v6/nearestmetar", lf_metar("EHAM 011225Z Q1004"));
    gf_rtApiWeatherReader().wrrl.store(2000);
    weather = std::thread([] { gf_RTAPIWeatherReader(); });
    ASSERT_TRUE(api.waitForRequests("/v6/nearestmetar", 3, tavo::test::kHangGuard));
    EXPECT_TRUE(tavo::test::eventually([] { return g_qnh.load() == 1004u; })) << g_qnh.load();
    gf_rtApiWeatherReader().requestStop();
    weather.join();
    const auto waits = clock.waits();
    ASSERT_GE(waits.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(waits[i], 7500ms) << i;
    EXPECT_FALSE(pendingStop());  // a requested stop reports nothing
}

// --- login and logout -----------------------------------------------------------------

TEST_F(RtDirectReaders, LoginShowsTheAccountAndPausesForTheWeatherInterval) {
    const auto expiry = gf_systemSeconds() + 72 * 3600 + 60;
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("g", 1500, 3000, 2, expiry, "rt-eu")));
    gf_authenticateAtRTServer();
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_TRUE(g_rtProfessional.load());
    EXPECT_EQ(gf_rtApiWeatherReader().wrrl.load(), 3000u);
    EXPECT_EQ(waited(), 3000ms);
    EXPECT_NE(newLogLines().find(" \n\nAuthenticated at RT server 'rt-eu'\n"), std::string::npos);
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT Direct professional license, 3 days left");
    EXPECT_FALSE(pendingStop());
}

TEST_F(RtDirectReaders, LoginPauseEndsWhenTheProgramStops) {
    clock.setAuto(false);
    requestStop(StopReason::NewSettings, 0);
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("g", 2000, 60000, 1, 0, "")));
    gf_authenticateAtRTServer();  // would hang a minute on this clock otherwise
    EXPECT_TRUE(g_rtConnected.load());
}

TEST_F(RtDirectReaders, LoginOutcomes) {
    struct Case {
        int status;
        const char* text;
    };
    for (const Case c : {Case{402, "Your RT license is expired"}, Case{404, "RT did not recognize your license"},
                         Case{405, "More than one RealTraffic session is not possible, do not run the RealTraffic app"}}) {
        clock.clearWaits();
        api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::envelope(c.status, "from the server")));
        try {
            gf_authenticateAtRTServer();
            ADD_FAILURE() << "no exception for " << c.status;
        } catch (const tavo::UserRelatedException& e) {
            EXPECT_EQ(e.code, c.status);
            EXPECT_EQ(std::string(e.what()), fmt::format("{}: {}", c.status, c.text));
        }
        EXPECT_EQ(waited(), 10s) << c.status;  // the message stays for ten seconds
        gf_gui().drain();
        EXPECT_EQ(gf_gui().statusLine, c.text);
    }
    EXPECT_FALSE(pendingStop());

    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::envelope(500, "")));
    try {
        gf_authenticateAtRTServer();
        ADD_FAILURE() << "no exception for 500";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "No RT database connection");
    }
    EXPECT_FALSE(pendingStop());

    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::envelope(403, "")));
    gf_authenticateAtRTServer();
    expectStop(StopReason::SystemError);
    EXPECT_NE(newLogLines().find("The Authenticater has stopped with an error"), std::string::npos);
}

TEST_F(RtDirectReaders, ClosingDownStopsBothReadersAndLogsOut) {
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("guid-9", 250, 250)));
    gf_authenticateAtRTServer();
    api.setDefaultReply("/v6/nearestmetar", lf_metar("EHAM 011225Z Q1021"));
    serveTraffic(lf_traffic(200), {FakeRtApi::json(lf_traffic(200))});
    api.setDefaultReply("/v6/deauth",
                        FakeRtApi::json(FakeRtApi::envelope(200, "Session closed", nullptr, {{"server", "rt-eu"}})));
    gf_startRTDirectReaders();
    ASSERT_TRUE(waitForLiveRequests(1));
    gf_closeRTDirect(true);
    const auto logout = api.requests("/v6/deauth");
    ASSERT_EQ(logout.size(), 1u);
    EXPECT_EQ(logout[0].field("GUID"), "guid-9");
    EXPECT_FALSE(g_rtConnected.load());
    const std::string log = newLogLines();
    EXPECT_NE(log.find("Session closed RT server 'rt-eu'\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("RT API error"), std::string::npos) << log;
    EXPECT_FALSE(pendingStop());
    EXPECT_FALSE(gf_rtApiTrafficReader().stop.load());  // reset for the next run
}

// --- traffic reader thread --------------------------------------------------------------

TEST_F(RtDirectReaders, WithoutASessionTheTrafficThreadEndsAndStopsTheWeatherReader) {
    startTraffic();
    traffic.join();
    EXPECT_EQ(api.requestCount("/v6/traffic"), 0u);
    EXPECT_NE(newLogLines().find("==> Traffic RT API error: 0\n"), std::string::npos);
    EXPECT_TRUE(gf_rtApiWeatherReader().stop.load());
    expectStop(StopReason::SystemError);
    EXPECT_EQ(g_qnh.load(), 1013u);
}

TEST_F(RtDirectReaders, BufferedSegmentsArePostedOldestFirstThenLiveTraffic) {
    ASSERT_TRUE(login());
    const json buffered{{"buffer_0", {{"a", lf_aircraft("4840d6", kTime + 30)}, {"b", lf_aircraft("4840d7", kTime + 30)}}},
                        {"buffer_3", {{"a", lf_aircraft("4840d6", kTime)}}}};
    // The second live request is held, so the reader stands inside it, every
    // earlier batch delivered, when the test stops it.
    FakeReply held = FakeRtApi::json(lf_traffic(200, json{{"a", lf_aircraft("4840d6", kTime + 40)}}));
    held.stall = true;
    serveTraffic(lf_traffic(200, buffered, 300),
                 {FakeRtApi::json(lf_traffic(200, json{{"a", lf_aircraft("4840d6", kTime + 40)}})), held});
    startTraffic();
    ASSERT_TRUE(api.waitForStalled(1, tavo::test::kHangGuard));
    gf_rtApiTrafficReader().requestStop();
    api.releaseStalled();
    traffic.join();

    auto all = posts();
    ASSERT_GE(all.size(), 6u);
    all.resize(6);
    // Segment 3 plays at 6 s, segment 0 at 24 s, then the live batch.
    EXPECT_EQ(all, (std::vector<Post>{{0, 0}, {1, 6}, {0, 12}, {0, 18}, {2, 24}, {1, 30}}));
    EXPECT_EQ(gf_rtApiTrafficReader().trafficTime.load(), 1704067240);
    const auto sent = api.requests("/v6/traffic");
    EXPECT_EQ(sent[0].body,
              "GUID=guid-1&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=0"
              "&buffercount=5&buffertime=6");
    EXPECT_EQ(clock.waits().front(), 75ms);  // the buffer's rrl of 300 ms paces the requests
    EXPECT_EQ(newLogLines().find("==>"), std::string::npos);
    EXPECT_FALSE(pendingStop());
}

TEST_F(RtDirectReaders, Live406ContinuesAnd401EndsWithReauthentication) {
    ASSERT_TRUE(login());
    serveTraffic(lf_traffic(200), {FakeRtApi::json(lf_traffic(406, json::object(), 250, "too many requests")),
                                   FakeRtApi::json(lf_traffic(200, json{{"a", lf_aircraft("4840d6")}})),
                                   FakeRtApi::json(lf_traffic(401, json::object(), 250, "session expired"))});
    startTraffic();
    traffic.join();
    EXPECT_EQ(liveRequests().size(), 3u);
    const std::string log = newLogLines();
    EXPECT_NE(log.find(" curl traffic msg: too many requests\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos) << log;
    expectStop(StopReason::ReaderError);
    EXPECT_TRUE(gf_rtApiWeatherReader().stop.load());
    EXPECT_EQ(posts(), (std::vector<Post>{{1, 30}}));
}

// A login while a live request runs makes its answer stale: the reader ends
// as for a lost session (401, re-authentication asked for) and does not
// deliver the answer, although a session is held again.
TEST_F(RtDirectReaders, ASessionRenewedDuringALiveRequestEndsTheReader) {
    ASSERT_TRUE(login());
    FakeReply held = FakeRtApi::json(lf_traffic(200, json{{"a", lf_aircraft("4840d6")}}));
    held.stall = true;
    serveTraffic(lf_traffic(200), {held});
    startTraffic();
    ASSERT_TRUE(api.waitForStalled(1, 5s));
    const RTAPISessionPtr renewed = login(FakeRtApi::authReply("guid-2", 250, 250));
    ASSERT_TRUE(renewed);
    api.releaseStalled();
    const bool ended = tavo::test::eventually([] { return pendingStop().has_value(); });
    if (!ended) {
        gf_rtApiTrafficReader().requestStop();
        api.releaseStalled();
    }
    traffic.join();
    ASSERT_TRUE(ended) << "the reader went on with the stale answer";
    EXPECT_EQ(liveRequests().size(), 1u);
    EXPECT_TRUE(posts().empty());
    EXPECT_NE(newLogLines().find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos);
    expectStop(StopReason::ReaderError);
    EXPECT_TRUE(gf_rtApiWeatherReader().stop.load());
    EXPECT_EQ(gf_rtApiConnection().session(), renewed);
}

TEST_F(RtDirectReaders, AStopDuringAWaitEndsQuietly) {
    ASSERT_TRUE(login());
    clock.setAuto(false);
    serveTraffic(lf_traffic(200, json{{"buffer_0", {{"a", lf_aircraft("4840d6")}}}}),
                 {FakeRtApi::json(lf_traffic(200, json::object(), 60000))});
    startTraffic();
    // The buffer's wait, then the first live request and its minute's wait:
    // each wait that begins before the live request is let pass, once.
    for (std::size_t waits = 1; liveCount() == 0; ++waits) {
        ASSERT_TRUE(clock.waitForWaits(waits));
        if (liveCount() != 0) break;
        clock.advance(100ms);
    }
    ASSERT_EQ(liveRequests().size(), 1u);
    ASSERT_TRUE(clock.waitForWaiting(1));
    EXPECT_EQ(clock.waits().back(), 15000ms);  // the live reply's minute, in quarters
    gf_rtApiTrafficReader().requestStop();
    traffic.join();
    EXPECT_EQ(newLogLines().find("==>"), std::string::npos);
    EXPECT_FALSE(pendingStop());
    EXPECT_FALSE(gf_rtApiWeatherReader().stop.load());
}

// --- parked traffic -----------------------------------------------------------------

TEST_F(RtDirectReaders, ParkedTrafficNeedsAnAirportAndTimesOutAfter10Seconds) {
    EXPECT_FALSE(gf_requestRTParkedTraffic());
    EXPECT_TRUE(clock.waits().empty());
    setAirportAt(52.3086, 4.7639);
    EXPECT_FALSE(gf_requestRTParkedTraffic());  // no reader thread answers
    EXPECT_EQ(waited(), 10100ms);
    for (auto w : clock.waits()) EXPECT_LE(w, 100ms);
    EXPECT_NE(newLogLines().find("ParkedTraffic receiving timed out after 10 seconds\n"), std::string::npos);
}

// The main thread asks for parked traffic while the program closes down: the
// wait ends with the stop (a stop request, or the reader's own stop), not
// after its ten seconds, and is not reported as a time-out.
TEST_F(RtDirectReaders, ParkedTrafficWaitEndsOnAStop) {
    setAirportAt(52.3086, 4.7639);
    clock.setAuto(false);
    for (const bool readerStop : {false, true}) {
        SCOPED_TRACE(readerStop ? "reader stop" : "stop request");
        clock.clearWaits();
        auto asked = std::async(std::launch::async, [] { return gf_requestRTParkedTraffic(); });
        ASSERT_TRUE(clock.waitForWaiting(1));
        if (readerStop)
            gf_rtApiTrafficReader().requestStop();
        else
            requestStop(StopReason::NewSettings, 0);
        if (asked.wait_for(tavo::test::kHangGuard) != std::future_status::ready) {
            clock.advance(11000ms);  // lets the wait end so the test can
            asked.wait();
            ADD_FAILURE() << "the parked wait did not end on the stop";
            continue;
        }
        EXPECT_FALSE(asked.get());
        EXPECT_LT(waited(), 10100ms);
        EXPECT_EQ(newLogLines().find("timed out"), std::string::npos);
        gf_clearStopMailbox();
        gf_rtApiTrafficReader().reset();
    }
}

// The clock moves 10 ms per real millisecond while the main thread waits for
// the parked answer and the reader waits its interval, so the reader's waits
// pass quickly; while the reader's request runs the clock stands, so the 10 s
// limit of the parked wait cannot pass however slowly the request goes.
TEST_F(RtDirectReaders, ParkedTrafficFromTheReaderThread) {
    ASSERT_TRUE(login());
    setAirportAt(52.3086, 4.7639);
    gf_registerRTDirectReaders();
    const json parked{{"4840d6", json::array({52.31, 4.76, "D4", "B738", "PH-XYZ", kTime, "KLM1234"})}};
    serveTraffic(lf_traffic(200), {FakeRtApi::json(lf_traffic(200))},
                 {FakeRtApi::json(lf_traffic(200, parked)), FakeRtApi::json(lf_traffic(403))});
    startTraffic();
    ASSERT_TRUE(waitForLiveRequests(1));
    clock.setAuto(false);
    std::atomic<bool> done{false};
    std::thread pump([&] {
        for (; !done.load(); std::this_thread::sleep_for(1ms))
            if (clock.waitingCount() >= 2) clock.advance(10ms);
    });

    EXPECT_TRUE(gf_requestRTParkedTraffic());
    {
        std::lock_guard lock(gf_rtApiTrafficReader().parkedMutex);
        EXPECT_EQ(gf_rtApiTrafficReader().parkedList.size(), 1u);
    }
    const auto sent = api.requests("/v6/traffic");
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const ReceivedRequest& r) {
        return r.body == "GUID=guid-1&top=52.36&bottom=52.26&left=4.68&right=4.85&querytype=parkedtraffic&toffset=0";
    }));
    try {
        gf_requestRTParkedTraffic();
        ADD_FAILURE() << "no exception for 403";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "No data for this license type");
    }
    done.store(true);
    pump.join();
}

}  // namespace
