// The web-API session (login, logout) and the data requests' envelope against
// the fake web API on loopback.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "feed/rtdirect/session.h"
#include "support/fake_rtapi.h"
#include "support/temp_dir.h"

namespace {

using nlohmann::json;
using tavo::test::FakeReply;
using tavo::test::FakeRtApi;

// A fake web API with TAVO_RT_API_URL pointing at it, a fresh connection and
// Log.txt open.
class RtDirectSession : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_initCurlGlobal();
        if (const char* old = std::getenv("TAVO_RT_API_URL")) saved_ = old;
        setenv("TAVO_RT_API_URL", api.baseUrl().c_str(), 1);
        connection.emplace();
    }
    void TearDown() override {
        connection.reset();
        if (saved_)
            setenv("TAVO_RT_API_URL", saved_->c_str(), 1);
        else
            unsetenv("TAVO_RT_API_URL");
        LogFileTest::TearDown();
    }

    RTAPIAuthResult login(std::string_view credential = "ABCD-1234") {
        return connection->authenticate(credential, "TAVO_16.8.0");
    }
    // A login answered with `body`.
    RTAPIAuthResult loginWith(std::string body, int http = 200) {
        api.queueReply("/v6/auth", FakeRtApi::json(std::move(body), http));
        return login();
    }
    static RTAPISessionPtr session(const RTAPIAuthResult& result) {
        if (const auto* error = std::get_if<RTAPIStatusError>(&result)) {
            ADD_FAILURE() << "login failed " << error->status << ": " << error->message;
            return nullptr;
        }
        return std::get<RTAPISessionPtr>(result);
    }
    static RTAPIStatusError failure(const RTAPIAuthResult& result) {
        if (const auto* error = std::get_if<RTAPIStatusError>(&result)) return *error;
        ADD_FAILURE() << "login succeeded";
        return {};
    }

    FakeRtApi api;
    std::optional<RTAPIConnection> connection;

private:
    std::optional<std::string> saved_;
};

// --- login -------------------------------------------------------------------

TEST_F(RtDirectSession, TokenOrLicenceFieldAndACredentialCannotInjectFields) {
    ASSERT_TRUE(session(login("rt_abcdef")));
    ASSERT_TRUE(session(login("RT_abcdef")));
    const std::string credential = "abc&token=x+y =%z";
    ASSERT_TRUE(session(login(credential)));
    const auto seen = api.requests("/v6/auth");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].body, "token=rt_abcdef&software=TAVO_16.8.0");
    EXPECT_EQ(seen[1].body, "license=RT_abcdef&software=TAVO_16.8.0");
    EXPECT_EQ(seen[2].form.size(), 2u);
    EXPECT_EQ(seen[2].form.count("token"), 0u);
    EXPECT_EQ(seen[2].field("license"), credential);
}

TEST_F(RtDirectSession, ALoginPublishesANumberedSessionWithClampedIntervals) {
    const auto first = session(loginWith(FakeRtApi::authReply("guid-1", 1500, 4000, 2, 1893456000, "rt-eu-1")));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->guid, "guid-1");
    EXPECT_EQ(first->server, "rt-eu-1");
    EXPECT_EQ(first->rrl, 1500u);
    EXPECT_EQ(first->wrrl, 4000u);
    EXPECT_EQ(first->type, 2u);
    EXPECT_EQ(first->expiry, 1893456000);
    EXPECT_EQ(first->sequence, 1u);
    EXPECT_EQ(connection->session(), first);
    const auto second = session(loginWith(FakeRtApi::authReply("g", -5, 2147483647)));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->sequence, 2u);
    EXPECT_EQ(second->rrl, 250u);
    EXPECT_EQ(second->wrrl, 60000u);
    // A failed login leaves none.
    failure(loginWith(FakeRtApi::envelope(500, "database down")));
    EXPECT_FALSE(connection->isAuthenticated());
}

TEST_F(RtDirectSession, RefusedLogins) {
    for (const json& guid : {json(""), json(42), json(nullptr)}) {
        const auto e = failure(loginWith(json{{"status", 200}, {"GUID", guid}}.dump()));
        EXPECT_EQ(e.status, 100u) << guid.dump();
        EXPECT_EQ(e.message, "Authentication succeeded without a GUID");
    }
    auto e = failure(loginWith(FakeRtApi::envelope(402, "Your license has expired")));
    EXPECT_EQ(e.status, 402u);
    EXPECT_EQ(e.message, "Your license has expired");
    e = failure(loginWith(R"({"status":405,"message":7})"));
    EXPECT_EQ(e.status, 405u);
    EXPECT_EQ(e.message, "");
    EXPECT_FALSE(connection->isAuthenticated());
}

// --- logout --------------------------------------------------------------------

TEST_F(RtDirectSession, LogoutSendsTheGuidOnlyWithASessionAndAlwaysDropsIt) {
    ASSERT_TRUE(std::holds_alternative<RTAPIDeauthReply>(connection->deauthenticate()));
    EXPECT_EQ(api.requestCount("/v6/deauth"), 0u);

    ASSERT_TRUE(session(loginWith(FakeRtApi::authReply("a+b&c"))));
    api.queueReply("/v6/deauth", FakeRtApi::json(FakeRtApi::envelope(200, "Logged out", nullptr, {{"server", "rt-2"}})));
    const auto result = connection->deauthenticate();
    ASSERT_TRUE(std::holds_alternative<RTAPIDeauthReply>(result));
    EXPECT_EQ(std::get<RTAPIDeauthReply>(result).message, "Logged out");
    EXPECT_EQ(std::get<RTAPIDeauthReply>(result).server, "rt-2");
    const auto seen = api.requests("/v6/deauth");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].body, "GUID=a%2Bb%26c");
    EXPECT_FALSE(connection->isAuthenticated());

    ASSERT_TRUE(session(login()));
    api.queueReply("/v6/deauth", FakeRtApi::json(FakeRtApi::envelope(401, "unknown GUID")));
    const auto refused = connection->deauthenticate();
    const auto* error = std::get_if<RTAPIStatusError>(&refused);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->status, 401u);
    EXPECT_EQ(error->message, "Deauthentication failed");
    EXPECT_FALSE(connection->isAuthenticated());
}

// --- data requests -------------------------------------------------------------

class RtDirectRequest : public RtDirectSession {
protected:
    // One request to /v6/traffic answered with `reply`.
    RTAPIResult request(FakeReply reply, std::string url = {}) {
        api.queueReply("/v6/traffic", std::move(reply));
        return gf_requestRTAPI(transport, url.empty() ? api.url("/v6/traffic") : url, "GUID=g",
                               RTAPIOptions{10, 30, false}, rtApiRrlKey, "traffic receive", nullptr);
    }
    static RTAPIReply reply(const RTAPIResult& result) {
        if (const auto* f = std::get_if<RTAPIFailure>(&result)) {
            ADD_FAILURE() << "failure " << gf_rtApiFailureKindText(f->kind) << ": " << f->message;
            return {};
        }
        return std::get<RTAPIReply>(result);
    }
    static RTAPIFailure failed(const RTAPIResult& result) {
        if (const auto* f = std::get_if<RTAPIFailure>(&result)) return *f;
        ADD_FAILURE() << "expected a failure";
        return {};
    }

    RTAPITransport transport{16384};
};

TEST_F(RtDirectRequest, EveryFailureKind) {
    auto f = failed(request(FakeRtApi::json("")));
    EXPECT_EQ(f.kind, RTAPIFailureKind::parse);
    EXPECT_EQ(f.message, "empty response");
    f = failed(request(FakeRtApi::json("{\"status\":200")));
    EXPECT_EQ(f.kind, RTAPIFailureKind::parse);
    EXPECT_EQ(f.message, "invalid JSON: {\"status\":200");
    const std::string page = "<html><body>" + std::string(500, 'n') + "</body></html>";
    f = failed(request(FakeReply{404, page, "text/html"}));
    EXPECT_EQ(f.kind, RTAPIFailureKind::http);
    EXPECT_EQ(f.httpStatus, 404u);
    EXPECT_EQ(f.message, "HTTP 404 response: invalid JSON: " + page.substr(0, 256));
    f = failed(request(FakeRtApi::json("{}"), "http://127.0.0.1:1/v6/traffic"));
    EXPECT_EQ(f.kind, RTAPIFailureKind::transport);
    EXPECT_EQ(f.httpStatus, 0u);
    EXPECT_EQ(f.message.rfind("curl_easy_perform: ", 0), 0u) << f.message;
}

TEST_F(RtDirectRequest, AValidEnvelopeWinsOverTheHttpStatusAndDataMayBeNull) {
    const auto r = reply(request(FakeRtApi::json(
        FakeRtApi::envelope(200, "OK", json{{"a", json::array({1, 2})}}, {{"rrl", 3000}, {"other", true}}), 500)));
    EXPECT_EQ(r.apiStatus, 200u);
    EXPECT_EQ(r.httpStatus, 500u);
    EXPECT_EQ(r.intervalMs, 3000u);
    EXPECT_EQ(r.message, "OK");
    EXPECT_EQ(r.data, (json{{"a", json::array({1, 2})}}));
    const auto bare = reply(request(FakeRtApi::json(R"({"status":200,"rrl":2500,"data":null})")));
    EXPECT_TRUE(bare.data.is_null());
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(RtDirectRequest, TheIntervalIsCheckedAndClampedWithALogLine) {
    struct Case {
        const char* rrl;  // nullptr: absent
        std::uint32_t interval;
        const char* line;  // nullptr: none
    };
    const Case cases[] = {
        {nullptr, 2000, "==> traffic receive: invalid or missing rrl, using default\n"},
        {"\"1500\"", 2000, "==> traffic receive: invalid or missing rrl, using default\n"},
        {"-5", 250, "==> traffic receive: rrl -5 ms outside limits, using 250 ms\n"},
        {"60001", 60000, "==> traffic receive: rrl 60001 ms outside limits, using 60000 ms\n"},
        {"250", 250, nullptr},
    };
    for (const Case& c : cases) {
        const std::string body = c.rrl ? fmt::format(R"({{"status":200,"rrl":{}}})", c.rrl) : R"({"status":200})";
        EXPECT_EQ(reply(request(FakeRtApi::json(body))).intervalMs, c.interval) << body;
        EXPECT_EQ(newLogLines(), c.line ? c.line : "") << body;
    }
}

TEST_F(RtDirectRequest, StatusesThatAreNotPlainIntegersReadAs100) {
    for (const char* status : {R"("200")", "200.0", "4294967296", "-1"}) {
        const auto r = reply(request(FakeRtApi::json(fmt::format(R"({{"status":{},"rrl":100}})", status))));
        EXPECT_EQ(r.apiStatus, 100u) << status;
        EXPECT_EQ(r.intervalMs, 2000u) << status;
    }
    EXPECT_EQ(newLogLines(), "");
}

}  // namespace
