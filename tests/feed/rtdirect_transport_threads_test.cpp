// The web-API transport against the fake web API on loopback: what goes on
// the wire, what comes back, time-outs, connection reuse and aborts.

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/hang_guard.h"
#include "feed/rtdirect/transport.h"
#include "support/fake_rtapi.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;
using tavo::test::kHangGuard;

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

TEST_F(RtDirectTransportWire, SendsTheExactBodyAsAFormPostAndAnEmptyOneWithLengthZero) {
    api.queueReply("/v6/traffic", FakeRtApi::json(R"({"status":200})"));
    const std::string body = "GUID=abc-123&querytype=locationtraffic&top=52.5&st=a+b%26c";
    const auto result = transport.perform(api.url("/v6/traffic"), body, {}, nullptr);
    EXPECT_EQ(reply(result).httpStatus, 200U);
    EXPECT_EQ(reply(result).body, R"({"status":200})");
    auto seen = api.requests("/v6/traffic");
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, body);
    EXPECT_EQ(seen[0].header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_NE(seen[0].header("Accept-Encoding").find("gzip"), std::string::npos);

    const std::string empty;
    EXPECT_EQ(reply(transport.perform(api.url("/v6/deauth"), empty, {}, nullptr)).httpStatus, 200U);
    seen = api.requests("/v6/deauth");
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(seen[0].header("Content-Length"), "0");
}

TEST_F(RtDirectTransportWire, ErrorStatusesLargeAndSlowRepliesAreRawRepliesEachWithOnlyItsOwnBody) {
    nlohmann::json data = nlohmann::json::object();
    for (int i = 0; i < 600; ++i) data[fmt::format("{:06x}", 0x400000 + i)] = {i, 52.5 + i * 0.001, "A320"};
    const std::string big = FakeRtApi::envelope(200, "OK", data);
    ASSERT_GT(big.size(), 16384U);  // larger than the buffer, and compressed by the fake
    FakeReply slow = FakeRtApi::json(FakeRtApi::envelope(200, "slowly", {1, 2, 3}));
    slow.trickle = 5ms;
    slow.trickleBytes = 7;
    for (const FakeReply& queued : {FakeRtApi::json(R"({"status":500,"message":"down"})", 500),
                                    FakeRtApi::json(big), slow}) {
        api.queueReply("/v6/traffic", queued);
        const std::string body = "GUID=1";
        const auto result = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, nullptr);
        EXPECT_EQ(reply(result).httpStatus, static_cast<std::uint32_t>(queued.httpStatus));
        EXPECT_EQ(reply(result).body, queued.body);
    }
}

TEST_F(RtDirectTransportWire, TimeOutsOfZeroOrLessStayUnset) {
    // A reply that takes 1.5 s finishes under an unset time-out (0 or
    // negative); a reply that never comes is ended by a set total time-out of
    // 1 s (the code tells the time-out apart from any other end).
    FakeReply late = FakeRtApi::json(R"({"status":200})");
    late.delay = 1500ms;
    const std::string body = "GUID=1";
    for (const RTAPIOptions options : {RTAPIOptions{0, 0, false}, RTAPIOptions{-1, -30, false}}) {
        api.queueReply("/v6/traffic", late);
        const auto result = transport.perform(api.url("/v6/traffic"), body, options, nullptr);
        EXPECT_EQ(reply(result).httpStatus, 200U)
            << "connect " << options.connectTimeoutSeconds << " total " << options.totalTimeoutSeconds;
    }
    FakeReply never = late;
    never.stall = true;
    api.queueReply("/v6/traffic", never);
    const auto timedOut = transport.perform(api.url("/v6/traffic"), body, {5, 1, false}, nullptr);
    api.releaseStalled();
    const auto e = error(timedOut);
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_OPERATION_TIMEDOUT));
    EXPECT_EQ(e.message, fmt::format("curl_easy_perform: {}", curl_easy_strerror(CURLE_OPERATION_TIMEDOUT)));
}

TEST_F(RtDirectTransportWire, ConnectionsAreReusedUnlessAFreshOneOrAResetIsAsked) {
    const std::string body = "GUID=1";
    const RTAPIOptions reuse{10, 30, false};
    const RTAPIOptions fresh{5, 10, true};
    for (const RTAPIOptions& options : {reuse, reuse, fresh, fresh, reuse}) {
        reply(transport.perform(api.url("/v6/traffic"), body, options, nullptr));
    }
    transport.resetHandle();
    reply(transport.perform(api.url("/v6/traffic"), body, reuse, nullptr));
    const auto seen = api.requests();
    ASSERT_EQ(seen.size(), 6U);
    EXPECT_EQ(seen[0].remotePort, seen[1].remotePort) << "polls share one connection";
    EXPECT_NE(seen[2].remotePort, seen[1].remotePort) << "a fresh request opens its own";
    EXPECT_NE(seen[3].remotePort, seen[2].remotePort) << "a fresh connection is not kept";
    EXPECT_NE(seen[4].remotePort, seen[3].remotePort) << "nor reused by the next poll";
    EXPECT_NE(seen[5].remotePort, seen[4].remotePort) << "a new handle starts on a new connection";
}

TEST_F(RtDirectTransportWire, AnAbortFlagSetBeforehandFailsTheRequestAndAClearOneChangesNothing) {
    std::atomic<bool> stop{true};
    const std::string body = "GUID=1";
    const auto e = error(transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, &stop));
    EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
    EXPECT_EQ(e.message, fmt::format("curl_easy_perform: {}", curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK)));
    stop = false;
    FakeReply slow = FakeRtApi::json(R"({"status":200,"message":"late but fine"})");
    slow.delay = 300ms;
    api.queueReply("/v6/traffic", slow);
    EXPECT_EQ(reply(transport.perform(api.url("/v6/traffic"), body, {}, &stop)).body, slow.body);
}

TEST_F(RtDirectTransportWire, AStalledServerIsAbandonedSoonAfterTheFlagIsSet) {
    FakeReply stalled = FakeRtApi::json(R"({"status":200})");
    stalled.stall = true;
    api.queueReply("/v6/traffic", stalled);
    std::atomic<bool> stop{false};
    const std::string body = "GUID=1&querytype=locationtraffic";
    auto running = std::async(std::launch::async, [&] {
        const auto result = transport.perform(api.url("/v6/traffic"), body, {10, 30, false}, &stop);
        return std::make_pair(result, Clock::now());
    });
    ASSERT_TRUE(api.waitForStalled(1, kHangGuard)) << "the request never reached the server";
    stop = true;
    // libcurl calls the progress function at least once a second while idle;
    // the stalled server never answers, so only the flag (or the 30 s time-out,
    // which gives another code) ends the transfer.
    ASSERT_EQ(running.wait_for(2 * kHangGuard), std::future_status::ready) << "the transfer did not end after the flag";
    EXPECT_EQ(error(running.get().first).code, static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK));
}

// A reply over the size limit fails with its own text, whether it arrives as
// it is or compressed (the limit counts decoded bytes); a buffer that grew for
// a large reply is given back before the next request.
TEST_F(RtDirectTransportWire, RepliesOverTheSizeLimitFailWithTheirOwnText) {
    constexpr std::size_t limit = 256 * 1024;
    RTAPITransport limited{16384, limit};
    struct Case {
        std::string what;
        std::size_t bytes;
        std::string contentType;
        bool accepted;
    };
    const std::vector<Case> cases{
        {"exactly the limit", limit, "application/json", true},
        {"one byte over", limit + 1, "application/octet-stream", false},
        {"compressed on the wire, far over once decoded", 8 * limit, "application/json", false},
        {"an ordinary reply after them", 100, "application/json", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeReply queued = FakeRtApi::json(std::string(c.bytes, ' '));
        queued.contentType = c.contentType;
        api.queueReply("/v6/traffic", queued);
        const auto result = limited.perform(api.url("/v6/traffic"), "GUID=1", {10, 30, false}, nullptr);
        if (c.accepted) {
            EXPECT_EQ(reply(result).body.size(), c.bytes);
        } else {
            const RTAPITransportError e = error(result);
            EXPECT_EQ(e.code, static_cast<std::uint32_t>(CURLE_WRITE_ERROR));
            EXPECT_EQ(e.message, gf_rtApiReplyTooLargeText(limit));
        }
    }
    EXPECT_LT(limited.bufferCapacity(), limit / 2) << "the large reply's buffer is still held";
    EXPECT_EQ(gf_rtApiReplyTooLargeText(rtApiMaxReplyBytes), "reply larger than 67108864 bytes, not read");
}

}  // namespace
