// What the web-API client does without a server: form encoding, the
// JSON accessors, the interval limits and the judgement of a reply by its
// envelope and HTTP status.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "feed/rtdirect/session.h"
#include "support/fake_rtapi.h"

namespace {

using nlohmann::json;

TEST(RtDirectFormEncode, KeepsUnreservedBytesAndEscapesTheRest) {
    EXPECT_EQ(gf_formEncode("AZaz09._~-"), "AZaz09._~-");
    EXPECT_EQ(gf_formEncode("a&token=x"), "a%26token%3Dx");
    EXPECT_EQ(gf_formEncode("a+b c%d/e"), "a%2Bb%20c%25d%2Fe");
    EXPECT_EQ(gf_formEncode("\xC3\xA9\x01"), "%C3%A9%01");
    EXPECT_EQ(gf_formEncode(""), "");
}

TEST(RtDirectFormEncode, EveryByteSurvivesAFormDecoder) {
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    const auto form = tavo::test::FakeRtApi::parseForm("license=" + gf_formEncode(all) + "&software=TAVO_16.8.0");
    ASSERT_EQ(form.size(), 2u);
    EXPECT_EQ(form.find("license")->second, all);
}

TEST(RtDirectJson, Int32OrTakesOnlyIntegersInRange) {
    EXPECT_EQ(gf_jsonInt32Or(json(3000), 7), 3000);
    EXPECT_EQ(gf_jsonInt32Or(json(-5), 7), -5);
    EXPECT_EQ(gf_jsonInt32Or(json(std::uint64_t{2147483647}), 7), 2147483647);
    EXPECT_EQ(gf_jsonInt32Or(json(std::uint64_t{2147483648}), 7), 7);
    EXPECT_EQ(gf_jsonInt32Or(json(std::int64_t{-2147483648LL}), 7), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(gf_jsonInt32Or(json(std::int64_t{-2147483649LL}), 7), 7);
    EXPECT_EQ(gf_jsonInt32Or(json(1500.0), 7), 7);
    EXPECT_EQ(gf_jsonInt32Or(json("200"), 7), 7);
    EXPECT_EQ(gf_jsonInt32Or(json(nullptr), 7), 7);
    EXPECT_EQ(gf_jsonStringOrEmpty(json("x")), "x");
    EXPECT_EQ(gf_jsonStringOrEmpty(json(5)), "");
    EXPECT_TRUE(gf_parseJsonNoThrow("{\"a\":").is_discarded());
    EXPECT_TRUE(gf_parseJsonNoThrow("{} trailing").is_discarded());
}

TEST(RtDirectInterval, ClampedToTheProgramLimits) {
    EXPECT_EQ(gf_clampRTAPIInterval(-5), 250u);
    EXPECT_EQ(gf_clampRTAPIInterval(0), 250u);
    EXPECT_EQ(gf_clampRTAPIInterval(1500), 1500u);
    EXPECT_EQ(gf_clampRTAPIInterval(std::numeric_limits<std::int64_t>::max()), 60000u);
    EXPECT_EQ(gf_clampRTAPIInterval(std::numeric_limits<std::int64_t>::min()), 250u);
}

// A body that is no envelope is an "http" failure with an unexpected HTTP
// status and a "parse" failure with none or a success status.
TEST(RtDirectResult, FailureKindFollowsTheHttpStatus) {
    struct Case {
        std::uint32_t http;
        RTAPIFailureKind kind;
    };
    for (const Case c : {Case{0, RTAPIFailureKind::parse}, Case{1, RTAPIFailureKind::http},
                         Case{199, RTAPIFailureKind::http}, Case{200, RTAPIFailureKind::parse},
                         Case{299, RTAPIFailureKind::parse}, Case{300, RTAPIFailureKind::http},
                         Case{503, RTAPIFailureKind::http}}) {
        const auto result = gf_toRTAPIResult(RTAPIRawReply{c.http, "garbage"}, "traffic receive", rtApiRrlKey);
        const auto* failure = std::get_if<RTAPIFailure>(&result);
        ASSERT_NE(failure, nullptr) << c.http;
        EXPECT_EQ(failure->kind, c.kind) << c.http;
        EXPECT_EQ(failure->httpStatus, c.http);
        EXPECT_EQ(failure->where, "traffic receive");
        if (c.kind == RTAPIFailureKind::http)
            EXPECT_EQ(failure->message, "HTTP " + std::to_string(c.http) + " response: invalid JSON: garbage");
        else
            EXPECT_EQ(failure->message, "invalid JSON: garbage");
    }
    EXPECT_EQ(gf_rtApiFailureKindText(RTAPIFailureKind::transport), "transport");
    EXPECT_EQ(gf_rtApiFailureKindText(RTAPIFailureKind::http), "http");
    EXPECT_EQ(gf_rtApiFailureKindText(RTAPIFailureKind::parse), "parse");
}

TEST(RtDirectResult, AValidEnvelopeWinsOverTheHttpStatus) {
    const auto result =
        gf_toRTAPIResult(RTAPIRawReply{503, R"({"status":200,"rrl":3000,"data":[1,2]})"}, "buffer traffic", rtApiRrlKey);
    const auto* reply = std::get_if<RTAPIReply>(&result);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->apiStatus, 200u);
    EXPECT_EQ(reply->httpStatus, 503u);
    EXPECT_EQ(reply->intervalMs, 3000u);
    EXPECT_EQ(reply->data, json::array({1, 2}));
}

}  // namespace
