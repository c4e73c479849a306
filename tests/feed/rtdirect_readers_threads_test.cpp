// The RT Direct readers against the fake web API, on a clock the test drives:
// interval waits, the query box, the weather reader and its cache, the login
// and logout, the traffic reader thread and parked traffic on demand.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "feed/rtapp/traffic_reader.h"
#include "feed/rtdirect_fixture.h"
#include "feed/traffic_clock.h"
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
    a[9] = "PH-BXA";
    a[10] = time;
    a[13] = "KLM" + hexid.substr(0, 4);
    a[17] = "adsb";
    a[48] = "KLM";
    return a;
}

std::string lf_traffic(int status, const json& data = json::object(), int rrl = 250, std::string message = "") {
    return FakeRtApi::envelope(status, message, data, {{"rrl", rrl}});
}

std::string lf_metar(const std::string& metar) {
    return FakeRtApi::envelope(200, "OK", json::array({{{"METAR", metar}}}));
}

class RtDirectReaders : public RtDirectWorld {
protected:
    struct Post {
        std::size_t records;
        std::uint32_t delay;
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

    // Answers /v6/traffic: the buffer request with `bufferReply`, parked
    // requests with `parkedReply`, live requests from `live` in turn (the
    // last one repeated).
    void serveTraffic(std::string bufferReply, std::vector<FakeReply> live,
                      FakeReply parkedReply = FakeRtApi::json(lf_traffic(200))) {
        api.setHandler("/v6/traffic", [bufferReply, live, parkedReply, next = std::make_shared<std::atomic<std::size_t>>(0)](
                                          const ReceivedRequest& request) {
            if (request.field("buffercount") != "") return FakeRtApi::json(bufferReply);
            if (request.field("querytype") == "parkedtraffic") return parkedReply;
            const std::size_t i = next->fetch_add(1);
            return live[std::min(i, live.size() - 1)];
        });
    }

    std::vector<ReceivedRequest> liveRequests() {
        std::vector<ReceivedRequest> out;
        for (auto& r : api.requests("/v6/traffic"))
            if (r.field("buffercount") == "" && r.field("querytype") == "locationtraffic") out.push_back(r);
        return out;
    }

    bool waitForLiveRequests(std::size_t count) {
        for (int i = 0; i < 10000; ++i) {
            if (liveRequests().size() >= count) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    void startTraffic() {
        traffic = std::thread([] { gf_RTAPITrafficReader(); });
    }
    void startWeather() {
        weather = std::thread([] { gf_RTAPIWeatherReader(); });
    }

private:
    std::mutex postsMutex_;
    std::vector<Post> posts_;
};

// --- interval wait --------------------------------------------------------------

TEST_F(RtDirectReaders, IntervalWaitsRunInQuarterSlicesAndARemainder) {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    const auto slices = [&](std::uint32_t ms) {
        clock.clearWaits();
        reader.waitInterval(ms);
        std::vector<long> out;
        for (auto w : clock.waits()) out.push_back(static_cast<long>(w.count()));
        return out;
    };
    EXPECT_EQ(slices(2003), (std::vector<long>{500, 500, 500, 500, 3}));
    EXPECT_EQ(slices(2000), (std::vector<long>{500, 500, 500, 500}));
    EXPECT_EQ(slices(3), (std::vector<long>{3}));
    EXPECT_EQ(slices(0), (std::vector<long>{}));
}

TEST_F(RtDirectReaders, AStopEndsAWaitAndAWakeUpAloneDoesNot) {
    clock.setAuto(false);
    RTAPIWeatherReader& reader = gf_rtApiWeatherReader();
    auto done = std::async(std::launch::async, [&] { reader.waitInterval(30000); });
    ASSERT_TRUE(clock.waitForWaiting(1));
    reader.wake();
    EXPECT_EQ(done.wait_for(50ms), std::future_status::timeout);
    clock.advance(7500ms);  // the first slice ends, the second begins
    ASSERT_EQ(done.wait_for(50ms), std::future_status::timeout);
    reader.requestStop();
    EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(clock.waits().size(), 2u);
    // A stopped reader does not wait at all.
    clock.clearWaits();
    reader.waitInterval(2000);
    EXPECT_TRUE(clock.waits().empty());
}

// --- query box --------------------------------------------------------------------

TEST_F(RtDirectReaders, QueryBoxFromRangeAndPositionIsCached) {
    changeSettings([](SettingsSnapshot& s) { s.RANGE = 20.0; });
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    reader.reset();
    EXPECT_EQ(reader.queryBox(), RTAPIBox{});  // no position yet: the initial box
    publishUserPosition(0.00005, -0.00005);
    reader.updateQueryBox();
    EXPECT_EQ(reader.queryBox(), RTAPIBox{});

    publishUserPosition(50.0, 8.0);
    reader.updateQueryBox();
    const RTAPIBox box = reader.queryBox();
    EXPECT_NEAR(box.top, 50.333093, 1e-6);
    EXPECT_NEAR(box.bottom, 49.666906, 1e-6);
    const double halfWidth = 20.0 / 60.0 / std::cos(50.0 * std::numbers::pi / 180.0);
    EXPECT_NEAR(box.left, 8.0 - halfWidth, 1e-3);
    EXPECT_NEAR(box.right, 8.0 + halfWidth, 1e-3);

    publishUserPosition(50.0001, 8.0001);
    reader.updateQueryBox();
    EXPECT_EQ(reader.queryBox(), box);

    publishUserPosition(50.0002, 8.0);
    reader.updateQueryBox();
    EXPECT_NEAR(reader.queryBox().top, 50.333293, 1e-6);

    changeSettings([](SettingsSnapshot& s) { s.RANGE = 40.0; });
    reader.updateQueryBox();
    EXPECT_NEAR(reader.queryBox().top, 50.0002 + 40.0 * 1.852 / 111.2, 1e-9);
}

// --- delivery ---------------------------------------------------------------------------

TEST_F(RtDirectReaders, DeliveryMergesHandOverEntriesOnlyWhileTheMapsCollect) {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    TrafficBatch batch;
    batch.handOver.insert(HandOverEntry{"KLM1", 0x4840D6});
    batch.trafficTime = 1704067200;
    batch.records.resize(3);
    reader.deliverTraffic(batch, 30);
    {
        std::lock_guard lock(reader.mapsMutex);
        EXPECT_TRUE(reader.maps.hexids.empty());
    }
    EXPECT_EQ(reader.trafficTime.load(), 1704067200);
    EXPECT_EQ(g_rtDirectTrafficTime.load(), 1704067200);
    EXPECT_EQ(reader.deliveredCount.load(), 3u);
    EXPECT_TRUE(batch.records.empty());

    reader.clearTrafficMaps();
    batch.handOver.insert(HandOverEntry{"KLM1", 0x4840D6});
    batch.trafficTime = 0;
    reader.deliverTraffic(batch, 30);
    {
        std::lock_guard lock(reader.mapsMutex);
        EXPECT_EQ(reader.maps.hexids.count(0x4840D6u), 1u);
        EXPECT_EQ(reader.maps.callsigns.count("KLM1"), 1u);
    }
    EXPECT_EQ(reader.trafficTime.load(), 1704067200);  // a batch without a time keeps it
    ASSERT_EQ(posts().size(), 2u);
    EXPECT_EQ(posts()[0].records, 3u);
    EXPECT_EQ(posts()[0].delay, 30u);
}

TEST_F(RtDirectReaders, ABatchWithoutEntriesIsPostedWithoutTheMapsMutex) {
    RTAPITrafficReader& reader = gf_rtApiTrafficReader();
    reader.clearTrafficMaps();
    std::unique_lock held(reader.mapsMutex);
    auto done = std::async(std::launch::async, [&] {
        TrafficBatch batch;
        batch.records.resize(1);
        reader.deliverTraffic(batch, 6);
    });
    EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
    held.unlock();
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0].delay, 6u);
}

// --- weather reader ---------------------------------------------------------------------

TEST_F(RtDirectReaders, WeatherCachesTheQnhForAMinuteWithin10Nm) {
    clock.setAuto(false);
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(lf_metar("EHAM 011225Z 24012KT 9999 Q1021")));
    RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
    std::uint32_t status = 99;

    EXPECT_TRUE(weather.nearestmetar(status));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 1u);
    EXPECT_EQ(g_qnh.load(), 1021u);
    EXPECT_EQ(gf_rtApiTrafficReader().qnh.load(), 1021);
    ASSERT_TRUE(weather.lastSuccessTime());
    const auto first = api.requests("/v6/nearestmetar")[0];
    EXPECT_EQ(first.field("GUID"), "guid-1");
    EXPECT_EQ(first.field("toffset"), "0");
    EXPECT_EQ(first.field("lat"), "52.0000");
    EXPECT_EQ(first.field("lon"), "4.0000");

    clock.advance(59s);
    publishUserPosition(52.0 + 9.9 / 60.0, 4.0);
    EXPECT_TRUE(weather.nearestmetar(status));
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 1u);

    publishUserPosition(52.0 + 10.1 / 60.0, 4.0);  // beyond 10 NM
    EXPECT_TRUE(weather.nearestmetar(status));
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 2u);

    clock.advance(60s);  // a minute old
    EXPECT_TRUE(weather.nearestmetar(status));
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 3u);

    weather.timeOffset.store(60);  // another time, same place
    EXPECT_TRUE(weather.nearestmetar(status));
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 4u);
    EXPECT_EQ(api.requests("/v6/nearestmetar")[3].field("toffset"), "60");
}

TEST_F(RtDirectReaders, WeatherTakesTheFirstMetarWithAQnh) {
    ASSERT_TRUE(login());
    api.queueReply("/v6/nearestmetar",
                   FakeRtApi::json(FakeRtApi::envelope(200, "OK",
                                                       json::array({{{"METAR", "EHAM 011225Z 24012KT 9999 NOSIG"}},
                                                                    {{"METAR", "EHRD 011225Z 24010KT A2992"}}}))));
    std::uint32_t status = 0;
    EXPECT_TRUE(gf_rtApiWeatherReader().nearestmetar(status));
    EXPECT_EQ(g_qnh.load(), 1013u);
    EXPECT_EQ(newLogLines(), "==> nearest metar: no QNH code found in METAR in EHAM 011225Z 24012KT 9999 NOSIG\n");
    gf_gui().drain();
    EXPECT_EQ(gf_gui().qnhHpa, 1013);
}

TEST_F(RtDirectReaders, TheFirstQnhOfEveryRunIsPublished) {
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(lf_metar("EHAM 011225Z Q1021")));
    std::uint32_t status = 0;
    ASSERT_TRUE(gf_rtApiWeatherReader().nearestmetar(status));
    EXPECT_EQ(g_qnh.load(), 1021u);

    // A restart: the traffic reader starts again from 1013.
    resetReaders();
    gf_rtApiTrafficReader().setInitialQnh();
    EXPECT_EQ(g_qnh.load(), 1013u);
    ASSERT_TRUE(login());
    ASSERT_TRUE(gf_rtApiWeatherReader().nearestmetar(status));
    EXPECT_EQ(g_qnh.load(), 1021u);
    EXPECT_EQ(gf_rtApiTrafficReader().qnh.load(), 1021);
}

TEST_F(RtDirectReaders, WeatherFailuresAndTheirStatus) {
    ASSERT_TRUE(login());
    RTAPIWeatherReader& weather = gf_rtApiWeatherReader();
    std::uint32_t status = 0;

    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(406, "too fast")));
    EXPECT_FALSE(weather.nearestmetar(status));
    EXPECT_EQ(status, 406u);
    EXPECT_EQ(newLogLines(),
              "==> nearest metar failed: API status=406, HTTP status=200, auth server='fake-rtapi', "
              "message='too fast'\n");

    api.queueReply("/v6/nearestmetar", FakeReply{503, "<html>busy</html>", "text/html"});
    EXPECT_FALSE(weather.nearestmetar(status));
    EXPECT_EQ(status, 503u);
    EXPECT_EQ(newLogLines(),
              "==> nearest metar failed: kind=http, API status=n/a, HTTP status=503, auth server='fake-rtapi', "
              "message='HTTP 503 response: invalid JSON: <html>busy</html>'\n");

    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(200, "OK", "no stations")));
    EXPECT_FALSE(weather.nearestmetar(status));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(newLogLines(), "==> nearest metar: response contains invalid METAR data\n");

    gf_rtApiConnection().clearSession();
    EXPECT_FALSE(weather.nearestmetar(status));
    EXPECT_EQ(status, 401u);
}

TEST_F(RtDirectReaders, WeatherSeesASessionRenewedDuringItsRequest) {
    ASSERT_TRUE(login());
    FakeReply stalled = FakeRtApi::json(lf_metar("EHAM 011225Z Q1021"));
    stalled.stall = true;
    api.queueReply("/v6/nearestmetar", stalled);
    std::uint32_t status = 0;
    auto result = std::async(std::launch::async, [&] { return gf_rtApiWeatherReader().nearestmetar(status); });
    ASSERT_TRUE(api.waitForStalled(1, 10s));
    ASSERT_TRUE(login(FakeRtApi::authReply("guid-2")));
    api.releaseStalled();
    EXPECT_FALSE(result.get());
    EXPECT_EQ(status, 401u);
    EXPECT_EQ(g_qnh.load(), 1013u);
    EXPECT_EQ(newLogLines(),
              "==> nearest metar failed: API status=401, HTTP status=n/a, auth server='fake-rtapi', "
              "message='RT API session changed while the request was active'\n");
}

TEST_F(RtDirectReaders, Weather401IsRetriedOnceThenTheThreadEnds) {
    ASSERT_TRUE(login());
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(401, "unknown GUID")));
    startWeather();
    weather.join();
    EXPECT_EQ(api.requestCount("/v6/nearestmetar"), 2u);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("          Weather RTAPIreader connected\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> nearest metar returned 401, retrying once with a new connection\n"), std::string::npos);
    EXPECT_NE(log.find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos) << log;
    EXPECT_TRUE(gf_rtApiTrafficReader().stop.load());
    const auto stop = pendingStop();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::ReaderError));
    EXPECT_EQ(stop->countdown, 15u);
    EXPECT_EQ(gf_gui().weatherReaderState, kReaderStopped);
    EXPECT_EQ(gf_gui().statusLine, "The Weather RTAPIreader has stopped with an error");
}

TEST_F(RtDirectReaders, Weather406And500AreRetriedAfter30Seconds) {
    ASSERT_TRUE(login());
    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(406, "slow down")));
    api.queueReply("/v6/nearestmetar", FakeRtApi::json(FakeRtApi::envelope(500, "database")));
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(lf_metar("EHAM 011225Z Q1004")));
    gf_rtApiWeatherReader().wrrl.store(2000);
    startWeather();
    ASSERT_TRUE(api.waitForRequests("/v6/nearestmetar", 3, 10s));
    for (int i = 0; i < 5000 && g_qnh.load() != 1004u; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(g_qnh.load(), 1004u);
    gf_rtApiWeatherReader().requestStop();
    weather.join();
    const auto waits = clock.waits();
    ASSERT_GE(waits.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(waits[i], 7500ms) << i;
    EXPECT_FALSE(pendingStop());  // a requested stop reports nothing
    EXPECT_FALSE(gf_rtApiTrafficReader().stop.load());
}

// --- login and logout -----------------------------------------------------------------

TEST_F(RtDirectReaders, LoginShowsTheAccountAndPausesForTheWeatherInterval) {
    const auto expiry = gf_systemSeconds() + 72 * 3600 + 60;
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("g", 1500, 3000, 2, expiry, "rt-eu")));
    gf_authenticateAtRTServer();
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_TRUE(g_rtProfessional.load());
    EXPECT_TRUE(gf_rtApiConnection().isAuthenticated());
    EXPECT_EQ(gf_rtApiWeatherReader().rrl.load(), 1500u);
    EXPECT_EQ(gf_rtApiWeatherReader().wrrl.load(), 3000u);
    std::chrono::milliseconds paused{0};
    for (auto w : clock.waits()) paused += w;
    EXPECT_EQ(paused, 3000ms);
    EXPECT_EQ(api.requests("/v6/auth")[0].body, "license=ABCD-1234&software=TAVO_16.8.0");
    const std::string log = newLogLines();
    EXPECT_NE(log.find(" \n\nAuthenticated at RT server 'rt-eu'\n"), std::string::npos) << log;
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT Direct professional license, 3 days left");
    EXPECT_FALSE(pendingStop());
}

TEST_F(RtDirectReaders, LoginPauseEndsWhenTheProgramStops) {
    clock.setAuto(false);
    requestStop(StopReason::NewSettings, 0);
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("g", 2000, 60000, 1, 0, "")));
    gf_authenticateAtRTServer();  // would hang a minute on this clock otherwise
    EXPECT_TRUE(g_rtConnected.load());
    EXPECT_FALSE(g_rtProfessional.load());
    EXPECT_NE(newLogLines().find("\n\nAuthenticated at RT server '?'\n"), std::string::npos);
}

TEST_F(RtDirectReaders, LoginRefusalsTheUserMustFix) {
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
        std::chrono::milliseconds waited{0};
        for (auto w : clock.waits()) waited += w;
        EXPECT_EQ(waited, 10s) << c.status;
        gf_gui().drain();
        EXPECT_EQ(gf_gui().statusLine, c.text);
        EXPECT_NE(newLogLines().find("==> from the server\n"), std::string::npos);
        EXPECT_FALSE(g_rtConnected.load());
    }
    EXPECT_FALSE(pendingStop());
}

TEST_F(RtDirectReaders, LoginDatabaseFailureAndOtherOutcomes) {
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::envelope(500, "")));
    try {
        gf_authenticateAtRTServer();
        ADD_FAILURE() << "no exception for 500";
    } catch (const tavo::UserRelatedException&) {
        ADD_FAILURE() << "500 is no user error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "No RT database connection");
    }
    EXPECT_TRUE(clock.waits().empty());
    EXPECT_FALSE(pendingStop());

    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::envelope(403, "")));
    gf_authenticateAtRTServer();
    auto stop = pendingStop();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::SystemError));
    EXPECT_EQ(stop->countdown, 15u);
    EXPECT_NE(newLogLines().find("The Authenticater has stopped with an error"), std::string::npos);

    gf_clearStopMailbox();
    setenv("TAVO_RT_API_URL", "http://127.0.0.1:1", 1);
    gf_authenticateAtRTServer();
    stop = pendingStop();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::SystemError));
    EXPECT_NE(newLogLines().find("==> Authentication failed: curl_easy_perform: "), std::string::npos);
}

TEST_F(RtDirectReaders, LogoutWithoutASessionSendsNothing) {
    g_rtConnected.store(true);
    gf_RTAPIDeauthenticate();
    EXPECT_EQ(newLogLines(), "==> Deauthentication skipped: empty GUID\n");
    EXPECT_EQ(api.requestCount("/v6/deauth"), 0u);
    EXPECT_FALSE(g_rtConnected.load());
}

TEST_F(RtDirectReaders, ClosingDownStopsBothReadersAndLogsOut) {
    api.queueReply("/v6/auth", FakeRtApi::json(FakeRtApi::authReply("guid-9", 250, 250)));
    gf_authenticateAtRTServer();
    api.setDefaultReply("/v6/nearestmetar", FakeRtApi::json(lf_metar("EHAM 011225Z Q1021")));
    serveTraffic(lf_traffic(200), {FakeRtApi::json(lf_traffic(200))});
    api.setDefaultReply("/v6/deauth",
                        FakeRtApi::json(FakeRtApi::envelope(200, "Session closed", nullptr, {{"server", "rt-eu"}})));
    gf_startRTDirectReaders();
    ASSERT_TRUE(waitForLiveRequests(1));
    gf_closeRTDirect(true);
    EXPECT_FALSE(g_weatherReaderThread.joinable());
    EXPECT_FALSE(g_trafficReaderThread.joinable());
    const auto logout = api.requests("/v6/deauth");
    ASSERT_EQ(logout.size(), 1u);
    EXPECT_EQ(logout[0].field("GUID"), "guid-9");
    EXPECT_FALSE(g_rtConnected.load());
    EXPECT_FALSE(gf_rtApiConnection().isAuthenticated());
    const std::string log = newLogLines();
    EXPECT_NE(log.find("Session closed RT server 'rt-eu'\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("RT API error"), std::string::npos) << log;
    EXPECT_FALSE(pendingStop());
    // Reset for the next run.
    EXPECT_FALSE(gf_rtApiTrafficReader().stop.load());
    EXPECT_FALSE(gf_rtApiWeatherReader().stop.load());
    EXPECT_EQ(gf_rtApiTrafficReader().qnh.load(), 0);
}

// --- traffic reader thread --------------------------------------------------------------

TEST_F(RtDirectReaders, WithoutASessionTheTrafficThreadEndsAndStopsTheWeatherReader) {
    startTraffic();
    traffic.join();
    EXPECT_EQ(api.requestCount("/v6/traffic"), 0u);
    const std::string log = newLogLines();
    EXPECT_NE(log.find("          Traffic RTAPIreader connected\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> Traffic RT API error: 0\n"), std::string::npos) << log;
    EXPECT_TRUE(gf_rtApiWeatherReader().stop.load());
    const auto stop = pendingStop();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::SystemError));
    EXPECT_EQ(stop->countdown, 15u);
    EXPECT_EQ(gf_gui().trafficReaderState, kReaderStopped);
    EXPECT_EQ(gf_gui().qnhHpa, 1013);
    EXPECT_EQ(g_qnh.load(), 1013u);
}

TEST_F(RtDirectReaders, BufferedSegmentsArePostedOldestFirstThenLiveTraffic) {
    ASSERT_TRUE(login());
    const json buffered{{"buffer_0", {{"a", lf_aircraft("4840d6", kTime + 30)}, {"b", lf_aircraft("4840d7", kTime + 30)}}},
                        {"buffer_3", {{"a", lf_aircraft("4840d6", kTime)}}}};
    serveTraffic(lf_traffic(200, buffered, 300),
                 {FakeRtApi::json(lf_traffic(200, json{{"a", lf_aircraft("4840d6", kTime + 40)}}))});
    startTraffic();
    ASSERT_TRUE(waitForLiveRequests(2));
    gf_rtApiTrafficReader().requestStop();
    traffic.join();

    const auto all = posts();
    ASSERT_GE(all.size(), 6u);
    const std::vector<std::size_t> records{0, 1, 0, 0, 2};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(all[i].delay, 6u * i) << i;
        EXPECT_EQ(all[i].records, records[i]) << i;
    }
    EXPECT_EQ(all[5].delay, 30u);
    EXPECT_EQ(all[5].records, 1u);
    EXPECT_EQ(gf_rtApiTrafficReader().trafficTime.load(), 1704067240);

    const auto sent = api.requests("/v6/traffic");
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].body,
              "GUID=guid-1&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=0"
              "&buffercount=5&buffertime=6");
    EXPECT_EQ(sent[1].body, "GUID=guid-1&top=52.44&bottom=52.17&left=4.54&right=4.98&querytype=locationtraffic&toffset=0");
    // The buffer's rrl of 300 ms paces the requests.
    EXPECT_EQ(clock.waits().front(), 75ms);
    {
        std::lock_guard lock(gf_rtApiTrafficReader().mapsMutex);
        EXPECT_TRUE(gf_rtApiTrafficReader().maps.active);
        EXPECT_EQ(gf_rtApiTrafficReader().maps.hexids.count(0x4840D7u), 1u);
    }
    const std::string log = newLogLines();
    EXPECT_EQ(log.find("RT API error"), std::string::npos) << log;
    EXPECT_EQ(log.find("buffer failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Requesting buffer traffic ..."), std::string::npos) << log;
    EXPECT_FALSE(pendingStop());
    EXPECT_FALSE(gf_rtApiWeatherReader().stop.load());
    EXPECT_FALSE(gf_rtApiTrafficReader().loopRunning.load());
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
    EXPECT_NE(log.find("==> buffer failed 0\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" curl traffic msg: too many requests\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos) << log;
    const auto stop = pendingStop();
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->reason, static_cast<std::uint32_t>(StopReason::ReaderError));
    EXPECT_TRUE(gf_rtApiWeatherReader().stop.load());
    ASSERT_EQ(posts().size(), 1u);
    EXPECT_EQ(posts()[0].records, 1u);
}

TEST_F(RtDirectReaders, LiveTransportFailuresAreRetriedAndOtherStatusesEnd) {
    ASSERT_TRUE(login());
    serveTraffic(lf_traffic(200), {FakeReply{502, "<html>bad gateway</html>", "text/html"},
                                   FakeRtApi::json(lf_traffic(400, json::object(), 250, "bad box"))});
    startTraffic();
    traffic.join();
    const std::string log = newLogLines();
    EXPECT_NE(log.find("==> traffic receive http: HTTP 502 response: invalid JSON: <html>bad gateway</html>\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("==> Traffic RT API: parameter fault\n"), std::string::npos) << log;
    EXPECT_EQ(pendingStop()->reason, static_cast<std::uint32_t>(StopReason::SystemError));
}

TEST_F(RtDirectReaders, ASessionRenewedDuringALiveRequestEndsTheThreadAs401) {
    ASSERT_TRUE(login());
    FakeReply stalled = FakeRtApi::json(lf_traffic(200));
    stalled.stall = true;
    serveTraffic(lf_traffic(200), {stalled});
    startTraffic();
    ASSERT_TRUE(api.waitForStalled(1, 10s));
    ASSERT_TRUE(login(FakeRtApi::authReply("guid-2")));
    api.releaseStalled();
    traffic.join();
    EXPECT_NE(newLogLines().find("==> re-authentication to RT API is needed, restart TAVO\n"), std::string::npos);
    EXPECT_EQ(pendingStop()->reason, static_cast<std::uint32_t>(StopReason::ReaderError));
}

TEST_F(RtDirectReaders, AStopDuringAWaitEndsQuietly) {
    ASSERT_TRUE(login());
    clock.setAuto(false);
    serveTraffic(lf_traffic(200, json{{"buffer_0", {{"a", lf_aircraft("4840d6")}}}}),
                 {FakeRtApi::json(lf_traffic(200, json::object(), 60000))});
    startTraffic();
    // The buffer's wait, then the first live request and its minute's wait.
    ASSERT_TRUE(clock.waitForWaiting(1));
    for (int i = 0; i < 5000 && liveRequests().empty(); ++i) {
        clock.advance(100ms);
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_EQ(liveRequests().size(), 1u);
    ASSERT_TRUE(clock.waitForWaiting(1));
    const auto waits = clock.waits();
    EXPECT_EQ(waits.back(), 15000ms);  // the live reply's minute, in quarters
    gf_rtApiTrafficReader().requestStop();
    traffic.join();
    const std::string log = newLogLines();
    EXPECT_EQ(log.find("RT API error"), std::string::npos) << log;
    EXPECT_EQ(log.find("==>"), std::string::npos) << log;
    EXPECT_FALSE(pendingStop());
    EXPECT_FALSE(gf_rtApiWeatherReader().stop.load());
    EXPECT_EQ(gf_gui().trafficReaderState, kReaderStopped);
}

// --- parked traffic -----------------------------------------------------------------

TEST_F(RtDirectReaders, ParkedTrafficNeedsACurrentAirport) {
    EXPECT_FALSE(gf_requestRTParkedTraffic());
    EXPECT_FALSE(gf_rtApiTrafficReader().parkedRequested.load());
    EXPECT_TRUE(clock.waits().empty());
}

TEST_F(RtDirectReaders, ParkedTrafficTimesOutAfter10Seconds) {
    setAirportAt(52.3086, 4.7639);
    EXPECT_FALSE(gf_requestRTParkedTraffic());  // no reader thread answers
    ASSERT_EQ(clock.waits().size(), 1u);
    EXPECT_EQ(clock.waits()[0], 10100ms);
    EXPECT_NE(newLogLines().find("ParkedTraffic receiving timed out after 10 seconds\n"), std::string::npos);
    const RTAPIBox box = gf_rtApiTrafficReader().parkedBox();
    EXPECT_NEAR(box.top, 52.3086 + 0.04996402877697842, 1e-12);
    EXPECT_NEAR(box.bottom, 52.3086 - 0.04996402877697842, 1e-12);
    EXPECT_NEAR(box.right - box.left, 2.0 * 3.0 / 60.0 / std::cos(52.3086 * std::numbers::pi / 180.0), 1e-3);
}

class RtDirectParked : public RtDirectReaders {
protected:
    // Runs gf_requestRTParkedTraffic while the clock moves 10 ms per real
    // millisecond, so the reader's interval waits pass quickly and the
    // 10 s limit lies a second away.
    template <class Call>
    auto whileTimeRuns(Call call) {
        clock.setAuto(false);
        std::atomic<bool> done{false};
        std::thread pump([&] {
            while (!done.load()) {
                clock.advance(10ms);
                std::this_thread::sleep_for(1ms);
            }
        });
        struct Stop {
            std::atomic<bool>& done;
            std::thread& pump;
            ~Stop() {
                done.store(true);
                pump.join();
            }
        } stop{done, pump};
        return call();
    }

    void startWithParkedReply(FakeReply parked) {
        ASSERT_TRUE(login());
        setAirportAt(52.3086, 4.7639);
        gf_registerRTDirectReaders();
        serveTraffic(lf_traffic(200), {FakeRtApi::json(lf_traffic(200))}, std::move(parked));
        startTraffic();
        ASSERT_TRUE(waitForLiveRequests(1));
    }
};

TEST_F(RtDirectParked, AFreshParkedListIsReady) {
    const json parked{{"4840d6", json::array({52.31, 4.76, "D4", "B738", "PH-XYZ", kTime, "KLM1234"})},
                      {"4840d7", json::array({52.31, 4.76, "D5", "B738", "PH-XYA", kTime})}};
    startWithParkedReply(FakeRtApi::json(lf_traffic(200, parked)));
    EXPECT_TRUE(whileTimeRuns([] { return gf_requestRTParkedTraffic(); }));
    {
        std::lock_guard lock(gf_rtApiTrafficReader().parkedMutex);
        ASSERT_EQ(gf_rtApiTrafficReader().parkedList.size(), 1u);
        EXPECT_EQ(gf_rtApiTrafficReader().parkedList[0].standName, "D4");
    }
    std::vector<ReceivedRequest> sent;
    for (auto& r : api.requests("/v6/traffic"))
        if (r.field("querytype") == "parkedtraffic") sent.push_back(r);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, "GUID=guid-1&top=52.36&bottom=52.26&left=4.68&right=4.85&querytype=parkedtraffic&toffset=0");
    const std::string log = newLogLines();
    EXPECT_NE(log.find("Requesting RT parked traffic ..."), std::string::npos) << log;
    EXPECT_NE(log.find(" RT parked traffic received\n"), std::string::npos) << log;

    // The hand-over asks through the registered source, then the list can be
    // forgotten with the airport.
    gf_clearParkedTrafficAirport();
    EXPECT_EQ(gf_rtApiTrafficReader().parkedBox(), RTAPIBox{});
    std::lock_guard lock(gf_rtApiTrafficReader().parkedMutex);
    EXPECT_TRUE(gf_rtApiTrafficReader().parkedList.empty());
}

TEST_F(RtDirectParked, A403Throws) {
    startWithParkedReply(FakeRtApi::json(lf_traffic(403)));
    EXPECT_THROW(
        {
            try {
                whileTimeRuns([] { return gf_requestRTParkedTraffic(); });
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), "No data for this license type");
                throw;
            }
        },
        std::runtime_error);
    // The parked answer does not end the live traffic.
    const auto before = liveRequests().size();
    EXPECT_TRUE(whileTimeRuns([&] { return waitForLiveRequests(before + 1); }));
}

TEST_F(RtDirectParked, OtherStatusesAndFailuresReturnFalse) {
    startWithParkedReply(FakeRtApi::json(lf_traffic(401)));
    EXPECT_FALSE(whileTimeRuns([] { return gf_requestRTParkedTraffic(); }));
    EXPECT_NE(newLogLines().find("==> RT Parked: re-authentication to RT API is needed TAVO\n"), std::string::npos);
}

}  // namespace
