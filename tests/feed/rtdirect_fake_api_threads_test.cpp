// The fake web API's held replies: released on request, and never keeping the
// fake from stopping. Later tests of the web-API client rely on both.

#include <chrono>
#include <future>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "feed/hang_guard.h"
#include "feed/rtdirect/transport.h"
#include "support/fake_rtapi.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;

class FakeRtApiTest : public ::testing::Test {
protected:
    void SetUp() override { gf_initCurlGlobal(); }

    // Status and body of one POST; a transport error fails the test.
    std::pair<std::uint32_t, std::string> post(std::string_view path, const std::string& body) {
        const auto result = transport.perform(api.url(path), body, {5, 10, false}, nullptr);
        if (const auto* error = std::get_if<RTAPITransportError>(&result)) {
            ADD_FAILURE() << error->message;
            return {0, {}};
        }
        const auto& reply = std::get<RTAPIRawReply>(result);
        return {reply.httpStatus, std::string(reply.body)};
    }

    FakeRtApi api;
    RTAPITransport transport{4096};
};

TEST_F(FakeRtApiTest, HeldRepliesAnswerOnceReleased) {
    FakeReply held = FakeRtApi::json(R"({"status":200,"message":"held"})");
    held.stall = true;
    api.queueReply("/v6/nearestmetar", held);
    auto pending = std::async(std::launch::async, [&] { return post("/v6/nearestmetar", "GUID=1"); });
    ASSERT_TRUE(api.waitForStalled(1, tavo::test::kHangGuard));
    EXPECT_EQ(pending.wait_for(100ms), std::future_status::timeout) << "held while not released";
    api.releaseStalled();
    ASSERT_EQ(pending.wait_for(tavo::test::kHangGuard), std::future_status::ready);
    EXPECT_EQ(pending.get().second, R"({"status":200,"message":"held"})");
    EXPECT_EQ(api.stalledCount(), 0);
}

TEST(FakeRtApiLife, StopsPromptlyEvenWithARequestHeld) {
    gf_initCurlGlobal();
    RTAPITransport transport(4096);
    std::atomic<bool> stop{false};
    std::future<RTAPITransportResult> pending;
    const auto start = std::chrono::steady_clock::now();
    {
        FakeRtApi api;
        FakeReply held;
        held.stall = true;
        api.queueReply("/v6/traffic", held);
        const std::string url = api.url("/v6/traffic");
        pending = std::async(std::launch::async, [&transport, &stop, url] {
            const std::string body = "GUID=1";
            return transport.perform(url, body, {5, 10, false}, &stop);
        });
        ASSERT_TRUE(api.waitForStalled(1, tavo::test::kHangGuard));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, tavo::test::kHangGuard) << "the fake's destructor did not hang";
    ASSERT_EQ(pending.wait_for(tavo::test::kHangGuard), std::future_status::ready);
    pending.get();  // an error or a 503: the server went away mid-request
}

}  // namespace
