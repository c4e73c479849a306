// The fake web API itself: how it picks a reply, what it records, and its
// held replies. Later tests of the web-API client rely on all of it.

#include <chrono>
#include <future>
#include <string>
#include <variant>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "feed/rtdirect/transport.h"
#include "support/fake_rtapi.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;
using tavo::test::ReceivedRequest;

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

TEST(FakeRtApiForm, DecodesFormBodies) {
    const auto form = FakeRtApi::parseForm("a=1&b=x+y&c=%26token%3Dx&d=&e&a=2&bad=%G1%4&&=v");
    EXPECT_EQ(form.count("a"), 2U);
    EXPECT_EQ(form.find("b")->second, "x y");
    EXPECT_EQ(form.find("c")->second, "&token=x");
    EXPECT_EQ(form.find("d")->second, "");
    EXPECT_EQ(form.find("e")->second, "");
    EXPECT_EQ(form.find("bad")->second, "%G1%4") << "malformed escapes stay as they are";
    EXPECT_EQ(form.find("")->second, "v");
    EXPECT_TRUE(FakeRtApi::parseForm("").empty());
}

TEST(FakeRtApiForm, BuildsEnvelopes) {
    const auto reply = nlohmann::json::parse(
        FakeRtApi::envelope(402, "expired", {{"x", 1}}, {{"rrl", 3000}}));
    EXPECT_EQ(reply["status"], 402);
    EXPECT_EQ(reply["message"], "expired");
    EXPECT_EQ(reply["data"]["x"], 1);
    EXPECT_EQ(reply["rrl"], 3000);
    const auto auth = nlohmann::json::parse(FakeRtApi::authReply("G-1", 1000, 5000, 2, 1900000000));
    EXPECT_EQ(auth["status"], 200);
    EXPECT_EQ(auth["GUID"], "G-1");
    EXPECT_EQ(auth["rrl"], 1000);
    EXPECT_EQ(auth["wrrl"], 5000);
    EXPECT_EQ(auth["type"], 2);
    EXPECT_EQ(auth["expiry"], 1900000000);
}

TEST_F(FakeRtApiTest, QueuedRepliesComeFirstThenTheHandlerThenTheDefault) {
    api.queueReply("/v6/traffic", FakeRtApi::json(R"({"n":1})"));
    api.queueReply("/v6/traffic", FakeRtApi::json(R"({"n":2})", 503));
    int handled = 0;
    api.setHandler("/v6/traffic", [&](const ReceivedRequest& request) {
        ++handled;
        return FakeRtApi::json(FakeRtApi::envelope(200, request.field("querytype")));
    });
    EXPECT_EQ(post("/v6/traffic", "querytype=a"), std::make_pair(200U, std::string(R"({"n":1})")));
    EXPECT_EQ(post("/v6/traffic", "querytype=b"), std::make_pair(503U, std::string(R"({"n":2})")));
    const auto [status, body] = post("/v6/traffic", "querytype=parkedtraffic");
    EXPECT_EQ(status, 200U);
    EXPECT_EQ(nlohmann::json::parse(body)["message"], "parkedtraffic");
    EXPECT_EQ(handled, 1);

    api.setDefaultReply("/v6/custom", FakeRtApi::json("{}", 201));
    EXPECT_EQ(post("/v6/custom", "").first, 201U);
    EXPECT_EQ(post("/v6/custom", "").first, 201U) << "a default is used again and again";
    EXPECT_EQ(post("/v6/unknown", "").first, 404U);
}

TEST_F(FakeRtApiTest, BuiltInRepliesAreValidEnvelopes) {
    for (const char* path : {"/v6/auth", "/v6/deauth", "/v6/traffic", "/v6/nearestmetar"}) {
        const auto [status, body] = post(path, "x=1");
        EXPECT_EQ(status, 200U) << path;
        const auto reply = nlohmann::json::parse(body);
        EXPECT_EQ(reply["status"], 200) << path;
        EXPECT_TRUE(reply.contains("message")) << path;
    }
    const auto auth = nlohmann::json::parse(post("/v6/auth", "license=x&software=TAVO").second);
    EXPECT_FALSE(auth["GUID"].get<std::string>().empty());
    const auto metar = nlohmann::json::parse(post("/v6/nearestmetar", "GUID=1").second);
    EXPECT_FALSE(metar["data"][0]["METAR"].get<std::string>().empty());
}

TEST_F(FakeRtApiTest, RecordsEveryRequestInOrder) {
    post("/v6/auth", "token=rt_abc&software=TAVO%2016.8.0");
    post("/v6/traffic", "GUID=g&querytype=locationtraffic");
    post("/v6/deauth", "GUID=g");
    const auto all = api.requests();
    ASSERT_EQ(all.size(), 3U);
    EXPECT_EQ(all[0].path, "/v6/auth");
    EXPECT_EQ(all[0].field("token"), "rt_abc");
    EXPECT_EQ(all[0].field("software"), "TAVO 16.8.0");
    EXPECT_EQ(all[0].body, "token=rt_abc&software=TAVO%2016.8.0");
    EXPECT_EQ(all[1].field("querytype"), "locationtraffic");
    EXPECT_EQ(all[2].path, "/v6/deauth");
    EXPECT_EQ(api.requestCount("/v6/traffic"), 1U);
    EXPECT_EQ(api.requests("/v6/deauth").at(0).field("GUID"), "g");
    EXPECT_TRUE(api.waitForRequests("/v6/auth", 1, 0ms));
    EXPECT_FALSE(api.waitForRequests("/v6/auth", 2, 20ms));
}

TEST_F(FakeRtApiTest, HeldRepliesAnswerOnceReleased) {
    FakeReply held = FakeRtApi::json(R"({"status":200,"message":"held"})");
    held.stall = true;
    api.queueReply("/v6/nearestmetar", held);
    auto pending = std::async(std::launch::async, [&] { return post("/v6/nearestmetar", "GUID=1"); });
    ASSERT_TRUE(api.waitForStalled(1, 5s));
    EXPECT_EQ(api.stalledCount(), 1);
    EXPECT_EQ(pending.wait_for(100ms), std::future_status::timeout) << "held while not released";
    api.releaseStalled();
    ASSERT_EQ(pending.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(pending.get().second, R"({"status":200,"message":"held"})");
    EXPECT_EQ(api.stalledCount(), 0);
}

TEST_F(FakeRtApiTest, DelayedRepliesWaitTheirTime) {
    FakeReply late = FakeRtApi::json(R"({"status":200})");
    late.delay = 300ms;
    api.queueReply("/v6/traffic", late);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(post("/v6/traffic", "GUID=1").first, 200U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
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
        ASSERT_TRUE(api.waitForStalled(1, 5s));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "the fake's destructor did not hang";
    ASSERT_EQ(pending.wait_for(10s), std::future_status::ready);
    pending.get();  // an error or a 503: the server went away mid-request
}

}  // namespace
