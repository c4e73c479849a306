// What the web-API client does without a server: form encoding, the
// interval limits and the judgement of a reply by its envelope and HTTP status.

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include <nlohmann/json.hpp>

#include "feed/rtdirect/session.h"
#include "support/fake_rtapi.h"

namespace {

using nlohmann::json;

TEST(RtDirectFormEncode, KeepsUnreservedBytesAndEveryByteSurvivesAFormDecoder) {
    EXPECT_EQ(gf_formEncode("AZaz09._~-"), "AZaz09._~-");
    EXPECT_EQ(gf_formEncode("a&token=x"), "a%26token%3Dx");
    EXPECT_EQ(gf_formEncode("a+b c%d/e"), "a%2Bb%20c%25d%2Fe");
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    const auto form = tavo::test::FakeRtApi::parseForm("license=" + gf_formEncode(all) + "&software=TAVO_16.8.0");
    ASSERT_EQ(form.size(), 2u);
    EXPECT_EQ(form.find("license")->second, all);
}

TEST(RtDirectInterval, ClampedToTheProgramLimits) {
    EXPECT_EQ(gf_clampRTAPIInterval(-5), 250u);
    EXPECT_EQ(gf_clampRTAPIInterval(1500), 1500u);
    EXPECT_EQ(gf_clampRTAPIInterval(std::numeric_limits<std::int64_t>::max()), 60000u);
    EXPECT_EQ(gf_clampRTAPIInterval(std::numeric_limits<std::int64_t>::min()), 250u);
}

// A body that is no envelope is an "http" failure with an unexpected HTTP
// status and a "parse" failure with none or a success status; a valid
// envelope wins over any HTTP status.
TEST(RtDirectResult, FailureKindFollowsTheHttpStatusUnlessTheEnvelopeIsValid) {
    for (const std::uint32_t http : {0u, 199u, 200u, 299u, 300u, 503u}) {
        const bool success = http == 0 || (http >= 200 && http < 300);
        const auto result = gf_toRTAPIResult(RTAPIRawReply{http, "garbage"}, "traffic receive", rtApiRrlKey);
        const auto* failure = std::get_if<RTAPIFailure>(&result);
        ASSERT_NE(failure, nullptr) << http;
        EXPECT_EQ(failure->kind, success ? RTAPIFailureKind::parse : RTAPIFailureKind::http) << http;
        EXPECT_EQ(failure->httpStatus, http);
        EXPECT_EQ(failure->where, "traffic receive");
        EXPECT_EQ(failure->message,
                  success ? "invalid JSON: garbage" : "HTTP " + std::to_string(http) + " response: invalid JSON: garbage");
    }
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
