// The web-API transport without a server: the handle life cycle, a refused
// option, and the base URL with its override.

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/rtdirect/transport.h"

// libcurl cannot be made to fail curl_easy_init on demand, so this executable
// puts its own in front of the library's: it passes through to the real one
// unless a test asked for failures.
namespace {
std::atomic<int> g_failingInits{0};
}

extern "C" CURL* curl_easy_init() {
    using InitFn = CURL* (*)();
    static const auto real = reinterpret_cast<InitFn>(dlsym(RTLD_NEXT, "curl_easy_init"));
    if (g_failingInits.load() > 0) {
        g_failingInits.fetch_sub(1);
        return nullptr;
    }
    return real();
}

namespace {

class RtDirectTransport : public ::testing::Test {
protected:
    void SetUp() override {
        gf_initCurlGlobal();
        g_failingInits = 0;
    }
    void TearDown() override { g_failingInits = 0; }
};

TEST_F(RtDirectTransport, MissingHandleThrowsAndAFailedResetMakesEveryPerformThrow) {
    g_failingInits = 1;
    try {
        RTAPITransport transport(4096);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "RTAPITransport curl_easy_init() failed");
    }
    RTAPITransport transport(16384);
    EXPECT_GE(transport.bufferCapacity(), 16384U);
    g_failingInits = 1;
    EXPECT_THROW(transport.resetHandle(), std::runtime_error);
    EXPECT_FALSE(transport.hasHandle());
    const std::string body = "a=1";
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(transport.perform("http://127.0.0.1:9/v6/auth", body, {}, nullptr), std::runtime_error);
    }
    // A later reset that succeeds makes the transport usable again.
    transport.resetHandle();
    EXPECT_TRUE(transport.hasHandle());
}

TEST_F(RtDirectTransport, RefusedOptionEndsTheRequestBeforeAnyTransfer) {
    // libcurl refuses option strings longer than 8,000,000 bytes.
    RTAPITransport transport(4096);
    const std::string url = "http://127.0.0.1:9/" + std::string(8'000'001, 'a');
    const std::string body;
    const auto result = transport.perform(url, body, {}, nullptr);
    ASSERT_TRUE(std::holds_alternative<RTAPITransportError>(result));
    const auto& error = std::get<RTAPITransportError>(result);
    EXPECT_EQ(error.code, static_cast<std::uint32_t>(CURLE_BAD_FUNCTION_ARGUMENT));
    EXPECT_EQ(error.message, fmt::format("failed to set CURLOPT_URL: {}",
                                         curl_easy_strerror(CURLE_BAD_FUNCTION_ARGUMENT)));
}

TEST(RtDirectApiUrl, FollowsTheOverrideAndFallsBackToTheProgramsHost) {
    const char* old = std::getenv("TAVO_RT_API_URL");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    unsetenv("TAVO_RT_API_URL");
    EXPECT_EQ(gf_rtApiBaseUrl(), std::string(rtApiDefaultBaseUrl));
    EXPECT_EQ(gf_rtApiBaseUrl().rfind("https://", 0), 0U) << "the service is reached over HTTPS";
    setenv("TAVO_RT_API_URL", "", 1);
    EXPECT_EQ(gf_rtApiBaseUrl(), std::string(rtApiDefaultBaseUrl));
    setenv("TAVO_RT_API_URL", "http://127.0.0.1:4711//", 1);
    EXPECT_EQ(gf_rtApiUrl("/v6/traffic"), "http://127.0.0.1:4711/v6/traffic");
    if (saved) {
        setenv("TAVO_RT_API_URL", saved->c_str(), 1);
    } else {
        unsetenv("TAVO_RT_API_URL");
    }
}

}  // namespace
