// The web-API transport against the fake web API on loopback: what goes on
// the wire, what comes back, time-outs, connection reuse and aborts.

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <variant>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/rtdirect/transport.h"
#include "support/fake_rtapi.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;

using Clock = std::chrono::steady_clock;

class RtDirectTransportWire : public ::testing::Test {
protected:
    void SetUp() override { gf_initCurlGlobal(); }

    static const RTAPIRawReply& reply(const RTAPITransportResult& result) {
        if (const auto* error = std::get_if<RTAPITransportError>(&result)) {
            ADD_FAILURE() << "transport error " << error->code << ": " << error->message;
            static const RTAPIRawReply none{};
            return none;
        }
        return std::get<RTAPIRawReply>(result);
    }
    static RTAPITransportError error(const RTAPITransportResult& result) {
        if (const auto* e = std::get_if<RTAPITransportError>(&result)) {
            return *e;
        }
        ADD_FAILURE() << "expected a transport error, got status "
                      << std::get<RTAPIRawReply>(result).httpStatus;
        return {};
    }

    FakeRtApi api;
    RTAPITransport transport{16384};
};

TEST_F(RtDirectTransportWire, SendsTheExactBodyAsAFormPost) {
    api.queueReply("/v6/traffic", FakeRtApi::json(R"({"status":200})"));
    const std::string body = "GUID=abc-123&querytype=locationtraffic&top=52.5&st=a+b%26c";
    const auto result = transport.perform(api.url("/v6/traffic"), body, {}, nullptr);
    EXPECT_EQ(reply(result).httpStatus, 200U);
    EXPECT_EQ(reply(result).body, R"({"status":200})");

    const auto seen = api.requests("/v6/traffic");
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, body);
    EXPECT_EQ(seen[0].header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
    const std::string encodings = seen[0].header("Accept-Encoding");
    EXPECT_NE(encodings.find("gzip"), std::string::npos) << encodings;
    EXPECT_NE(encodings.find("deflate"), std::string::npos) << encodings;
    EXPECT_EQ(seen[0].field("st"), "a b&c");
}

TEST_F(RtDirectTransportWire, EmptyBodyIsStillAPostOfLengthZero) {
    const std::string body;
    const auto result = transport.perform(api.url("/v6/deauth"), body, {}, nullptr);
    EXPECT_EQ(reply(result).httpStatus, 200U);
    const auto seen = api.requests("/v6/deauth");
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(seen[0].header("Content-Length"), "0");
}

TEST_F(RtDirectTransportWire, ErrorStatusesWithABodyAreRepliesNotErrors) {
    api.queueReply("/v6/auth", FakeRtApi::json(R"({"status":500,"message":"down"})", 500));
    const std::string body = "license=x&software=TAVO";
    const auto server = transport.perform(api.url("/v6/auth"), body, {}, nullptr);
    EXPECT_EQ(reply(server).httpStatus, 500U);
    EXPECT_EQ(reply(server).body, R"({"status":500,"message":"down"})");

    // An unknown path gets the fake's HTML 404 page, also a plain reply.
    const auto missing = transport.perform(api.url("/v6/nothing"), body, {}, nullptr);
    EXPECT_EQ(reply(missing).httpStatus, 404U);
    EXPECT_NE(reply(missing).body.find("<html>"), std::string_view::npos);
}

TEST_F(RtDirectTransportWire, EachReplyHoldsOnlyItsOwnBodyAndLargeRepliesArriveWhole) {
    // A large JSON reply (the fake compresses JSON when asked, so this also
    // goes through libcurl's content decoding).
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < 600; ++i) {
        data[fmt::format("{:06x}", 0x400000 + i)] = {i, 52.5 + i * 0.001, "A320", "DLH123"};
    }
    const std::string big = FakeRtApi::envelope(200, "OK", data);
    ASSERT_GT(big.size(), 16384U);
    api.queueReply("/v6/traffic", FakeRtApi::json(big));
    api.queueReply("/v6/traffic", FakeRtApi::json(R"({"status":200})"));
    const std::string body = "GUID=1";
    const auto first = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, nullptr);
    EXPECT_EQ(reply(first).body, big);
    const auto second = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, nullptr);
    EXPECT_EQ(reply(second).body, R"({"status":200})");
}

TEST_F(RtDirectTransportWire, SlowRepliesArriveWhole) {
    FakeReply slow = FakeRtApi::json(FakeRtApi::envelope(200, "slowly", {1, 2, 3}));
    slow.trickle = 5ms;
    slow.trickleBytes = 7;
    api.queueReply("/v6/nearestmetar", slow);
    const std::string body = "GUID=1&lat=50&lon=8";
    const auto result = transport.perform(api.url("/v6/nearestmetar"), body, {10, 30, false}, nullptr);
    EXPECT_EQ(reply(result).body, slow.body);
}

TEST_F(RtDirectTransportWire, TimeOutsOfZeroOrLessStayUnset) {
    // A reply that takes 1.5 s: a set total time-out of 1 s ends the transfer,
    // an unset one (0 or negative) lets it finish.
    FakeReply late = FakeRtApi::json(R"({"status":200})");
    late.delay = 1500ms;
    const std::string body = "GUID=1";
    for (const RTAPIOptions options : {RTAPIOptions{0, 0, false}, RTAPIOptions{-1, -30, false}}) {
        api.queueReply("/v6/traffic", late);
        const auto result = transport.perform(api.url("/v6/traffic"), body, options, nullptr);
        EXPECT_EQ(reply(result).httpStatus, 200U)
            << "connect " << options.connectTimeoutSeconds << " total " << options.totalTimeoutSeconds;
    }
    api.queueReply("/v6/traffic", late);
    const auto start = Clock::now();
    const auto timedOut = transport.perform(api.url("/v6/traffic"), body, {5, 1, false}, nullptr);
    const auto took = Clock::now() - start;
    const auto e = error(timedOut);
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(e.message,
              fmt::format("curl_easy_perform: {}", curl_easy_strerror(CURLE_OPERATION_TIMEDOUT)));
    EXPECT_LT(took, 1400ms);
}

TEST_F(RtDirectTransportWire, ConnectionsAreReusedUnlessAFreshOneIsAsked) {
    const std::string body = "GUID=1";
    const RTAPIOptions reuse{10, 30, false};
    const RTAPIOptions fresh{5, 10, true};
    for (int i = 0; i < 2; ++i) {
        reply(transport.perform(api.url("/v6/traffic"), body, reuse, nullptr));
    }
    reply(transport.perform(api.url("/v6/deauth"), body, fresh, nullptr));
    reply(transport.perform(api.url("/v6/deauth"), body, fresh, nullptr));
    reply(transport.perform(api.url("/v6/traffic"), body, reuse, nullptr));
    const auto seen = api.requests();
    ASSERT_EQ(seen.size(), 5U);
    EXPECT_EQ(seen[0].remotePort, seen[1].remotePort) << "polls share one connection";
    EXPECT_NE(seen[2].remotePort, seen[1].remotePort) << "a fresh request opens its own";
    EXPECT_NE(seen[3].remotePort, seen[2].remotePort) << "a fresh connection is not kept";
    EXPECT_NE(seen[4].remotePort, seen[3].remotePort) << "nor reused by the next poll";
}

TEST_F(RtDirectTransportWire, ResetHandleStartsOnANewConnection) {
    const std::string body = "GUID=1";
    reply(transport.perform(api.url("/v6/traffic"), body, {}, nullptr));
    transport.resetHandle();
    reply(transport.perform(api.url("/v6/traffic"), body, {}, nullptr));
    const auto seen = api.requests();
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_NE(seen[0].remotePort, seen[1].remotePort);
}

TEST_F(RtDirectTransportWire, RefusedConnectionIsATransportError) {
    int closedPort = 0;
    {
        FakeRtApi gone;
        closedPort = gone.port();
    }
    const std::string body = "GUID=1";
    const auto result = transport.perform(fmt::format("http://127.0.0.1:{}/v6/traffic", closedPort),
                                          body, {10, 30, false}, nullptr);
    const auto e = error(result);
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_COULDNT_CONNECT));
    EXPECT_EQ(e.message,
              fmt::format("curl_easy_perform: {}", curl_easy_strerror(CURLE_COULDNT_CONNECT)));
}

TEST_F(RtDirectTransportWire, AClearAbortFlagChangesNothing) {
    std::atomic<bool> stop{false};
    FakeReply slow = FakeRtApi::json(R"({"status":200,"message":"late but fine"})");
    slow.delay = 300ms;
    api.queueReply("/v6/traffic", slow);
    const std::string body = "GUID=1";
    const auto result = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, &stop);
    EXPECT_EQ(reply(result).body, R"({"status":200,"message":"late but fine"})");
}

TEST_F(RtDirectTransportWire, AnAbortFlagSetBeforehandFailsTheRequest) {
    std::atomic<bool> stop{true};
    const std::string body = "GUID=1";
    const auto start = Clock::now();
    const auto result = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, &stop);
    const auto e = error(result);
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_EQ(e.message,
              fmt::format("curl_easy_perform: {}", curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)));
    EXPECT_LT(Clock::now() - start, 1500ms);
    // The transport is fine for the next request.
    stop = false;
    EXPECT_EQ(reply(transport.perform(api.url("/v6/traffic"), body, {}, &stop)).httpStatus, 200U);
}

// Starts a request on its own thread, sets the flag once the fake holds the
// request, and returns how long the transfer went on after the flag was set.
template <typename Wait>
std::chrono::nanoseconds abortAfter(RTAPITransport& transport, const std::string& url,
                                    std::atomic<bool>& stop, Wait waitUntilRunning,
                                    RTAPITransportResult& result) {
    const std::string body = "GUID=1&querytype=locationtraffic";
    auto running = std::async(std::launch::async, [&] {
        result = transport.perform(url, body, {10, 30, false}, &stop);
        return Clock::now();
    });
    if (!waitUntilRunning()) {
        ADD_FAILURE() << "the request never reached the server";
    }
    const auto setAt = Clock::now();
    stop = true;
    if (running.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the transfer did not end after the abort flag was set";
    }
    return running.get() - setAt;
}

TEST_F(RtDirectTransportWire, AStalledServerIsAbandonedSoonAfterTheFlagIsSet) {
    FakeReply stalled = FakeRtApi::json(R"({"status":200})");
    stalled.stall = true;
    api.queueReply("/v6/traffic", stalled);
    std::atomic<bool> stop{false};
    RTAPITransportResult result;
    const auto took = abortAfter(transport, api.url("/v6/traffic"), stop,
                                 [&] { return api.waitForStalled(1, 5s); }, result);
    EXPECT_EQ(error(result).code, static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
    // libcurl calls the progress function at least once a second while idle.
    EXPECT_LT(took, 1500ms) << std::chrono::duration<double>(took).count() << " s";
}

TEST_F(RtDirectTransportWire, ATricklingReplyIsAbandonedWhenTheFlagIsSet) {
    FakeReply slow = FakeRtApi::json(std::string(4000, ' ') + R"({"status":200})");
    slow.trickle = 50ms;
    slow.trickleBytes = 8;  // about 25 s for the whole body
    api.queueReply("/v6/traffic", slow);
    std::atomic<bool> stop{false};
    RTAPITransportResult result;
    const auto took = abortAfter(transport, api.url("/v6/traffic"), stop,
                                 [&] { return api.waitForRequests("/v6/traffic", 1, 5s); }, result);
    EXPECT_EQ(error(result).code, static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_LT(took, 1500ms) << std::chrono::duration<double>(took).count() << " s";
}

}  // namespace
