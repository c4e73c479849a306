// Airport-file reads under threads: two reads whose archive files are
// downloaded at the same time never share a temporary file.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/airport_file_settings.h"
#include "support/enc_writer.h"
#include "support/http_server.h"
#include "support/scoped_env.h"
#include "park_airport_fixture.h"

using namespace tavo::test;

// The loopback server's library (not built for the thread checker) answers
// the two requests on two of its own threads; what the checker sees of its
// inner workings there is not TAVO's.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }

namespace {

using ParkAirportsThreadsTest = ParkAirportTest;

TEST_F(ParkAirportsThreadsTest, ReadsDownloadingAtOnceUseTheirOwnTemporaryFiles) {
    // Both requests are answered only once both have arrived, so the two
    // downloads run at the same time. The server goes first, its threads joined.
    std::mutex mutex;
    std::condition_variable arrived;
    int requests = 0;
    LoopbackHttpServer server;
    ScopedEnv env;
    env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
    for (const std::string code : {"EDDF", "EDDM"}) {
        std::vector<ApfStand> stands;
        for (int i = 0; i < 200; ++i) stands.push_back(apfStand(fmt::format("{}{}", code, i), "GATE_SMALL", 48.0 + i * 0.001, 9.0));
        const auto bytes = makeEncryptedBytes(frankfurtFile(stands).text());
        const std::string body(bytes.begin(), bytes.end());
        server.setHandler("GET", fmt::format("/downloads/MSFS2024/archive/stock/{}.enc", code),
                          [&, body](const HttpRequestRecord&) {
                              std::unique_lock lock(mutex);
                              ++requests;
                              arrived.notify_all();
                              arrived.wait_for(lock, std::chrono::seconds(10), [&] { return requests >= 2; });
                              return HttpReply::ok(body);
                          });
    }
    StandNamesRead reads[2];
    std::thread first([&] { reads[0] = gf_readApfForStands(IcaoCode("EDDF")); });
    std::thread second([&] { reads[1] = gf_readApfForStands(IcaoCode("EDDM")); });
    first.join();
    second.join();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(reads[i])) << std::get<std::string>(reads[i]);
        const auto& names = std::get<std::vector<std::string>>(reads[i]);
        ASSERT_EQ(names.size(), 200u);
        EXPECT_EQ(names.front(), i == 0 ? "EDDF0" : "EDDM0");
    }
    EXPECT_TRUE(std::filesystem::is_empty(airportsDir));
}

}  // namespace
