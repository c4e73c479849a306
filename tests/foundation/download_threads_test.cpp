#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

#include "app/stop.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "platform/os/os.h"
#include "support/enc_writer.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tavo::test::HttpReply;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

class DownloadTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
        gf_flushLog();
        logStart_ = readFile("Log.txt").size();
        writeFile(target, "old content");
        // A stalled transfer is given up after one second, not thirty.
        DownloadTimeouts quick;
        quick.connectSeconds = 2;
        quick.lowSpeedSeconds = 1;
        gf_setDefaultDownloadTimeouts(quick);
    }
    void TearDown() override {
        gf_setDefaultDownloadTimeouts(DownloadTimeouts{});
        gf_osSetFaultHook({});
        unsetenv("TAVO_DOWNLOAD_URL");
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    std::string newLog() {
        gf_flushLog();
        const std::string all = readFile("Log.txt");
        const std::string added = all.substr(logStart_);
        logStart_ = all.size();
        return added;
    }
    void expectOldTargetAndNoTemp() {
        EXPECT_EQ(readFile(target), "old content");
        EXPECT_FALSE(fs::exists(tmp));
    }
    // Downloads with a keep-going flag the test controls.
    bool download(const std::string& url, std::atomic<bool>* go = nullptr) {
        Downloader d;
        EXPECT_TRUE(d.valid());
        if (go != nullptr) {
            d.setKeepGoing([go] { return go->load(); });
        }
        return d.download(url, target, true);
    }

    tavo::test::LoopbackHttpServer server;
    const fs::path target{"dbase.enc"};
    const fs::path tmp{"dbase.enc.download_tmp"};
    std::size_t logStart_ = 0;
};

TEST_F(DownloadTest, SuccessReplacesTheTarget) {
    const std::string body = tavo::test::patternText(300000);
    server.setReply("GET", "/f", HttpReply::ok(body));
    ASSERT_TRUE(download(server.url("/f")));
    EXPECT_EQ(readFile(target), body);
    EXPECT_FALSE(fs::exists(tmp));
    EXPECT_EQ(newLog(), "");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("User-Agent"), "TAVO");
    // A missing target is created; the same downloader can be reused.
    Downloader d;
    ASSERT_TRUE(d.download(server.url("/f"), "fresh.bin", true));
    ASSERT_TRUE(d.download(server.url("/f"), "again.bin", false));
    EXPECT_EQ(readFile("fresh.bin"), body);
    EXPECT_EQ(readFile("again.bin"), body);
}

TEST_F(DownloadTest, ErrorAnswersLeaveTheOldTarget) {
    server.setReply("GET", "/gone", HttpReply::notFound());
    EXPECT_FALSE(download(server.url("/gone")));
    expectOldTargetAndNoTemp();
    EXPECT_EQ(newLog(), "");
    server.setReply("GET", "/broken", HttpReply::withStatus(500, "server error page"));
    EXPECT_FALSE(download(server.url("/broken")));
    expectOldTargetAndNoTemp();
    // A redirect page is no data file, even though it is not an error.
    server.setReply("GET", "/moved", HttpReply::redirect(server.url("/f")));
    server.setReply("GET", "/f", HttpReply::ok("the real file"));
    EXPECT_FALSE(download(server.url("/moved")));
    expectOldTargetAndNoTemp();
    EXPECT_EQ(server.requestCount("/f"), 0u);
    EXPECT_EQ(newLog(), "==> Download of '" + server.url("/moved") + "' answered with HTTP status 302\n");
    server.setReply("GET", "/empty", HttpReply::withStatus(204));
    EXPECT_TRUE(download(server.url("/empty")));
    EXPECT_EQ(readFile(target), "");
}

TEST_F(DownloadTest, AStalledTransferIsGivenUp) {
    // The transfer speed is averaged over the last seconds, so the few bytes
    // sent before the stall must lie below the limit.
    server.setReply("GET", "/stall", HttpReply::stalled(std::string(100000, 'x'), 100));
    DownloadTimeouts quick = gf_defaultDownloadTimeouts();
    quick.lowSpeedBytes = 1000;
    Downloader d;
    d.setTimeouts(quick);
    const auto start = Clock::now();
    EXPECT_FALSE(d.download(server.url("/stall"), target, true));
    const auto took = Clock::now() - start;
    expectOldTargetAndNoTemp();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_GE(took, std::chrono::milliseconds(900));
}

TEST_F(DownloadTest, ASlowButSteadyTransferCompletes) {
    const std::string body = tavo::test::patternText(2000);
    server.setReply("GET", "/slow", HttpReply::slow(body, 250, std::chrono::milliseconds(40)));
    ASSERT_TRUE(download(server.url("/slow")));
    EXPECT_EQ(readFile(target), body);
    EXPECT_FALSE(fs::exists(tmp));
}

TEST_F(DownloadTest, AStopAbortsWithinASecond) {
    server.setReply("GET", "/long", HttpReply::slow(std::string(100000, 'y'), 100, std::chrono::milliseconds(20)));
    std::atomic<bool> go{true};
    std::thread stopper([&go] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        go = false;
    });
    const auto start = Clock::now();
    const bool ok = download(server.url("/long"), &go);
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(took, std::chrono::milliseconds(1300));
    expectOldTargetAndNoTemp();
}

TEST_F(DownloadTest, TheProgramsStopRequestAbortsByDefault) {
    server.setReply("GET", "/long", HttpReply::stalled(std::string(100000, 'y'), 10));
    DownloadTimeouts patient;
    patient.lowSpeedSeconds = 30;
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        requestStop(StopReason::NewSettings, 0);
    });
    const auto start = Clock::now();
    Downloader d;
    d.setTimeouts(patient);
    const bool ok = d.download(server.url("/long"), target, true);
    const auto took = Clock::now() - start;
    stopper.join();
    gf_clearStopMailbox();
    EXPECT_FALSE(ok);
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    expectOldTargetAndNoTemp();
}

TEST_F(DownloadTest, AStaleTemporaryFileIsReplaced) {
    writeFile(tmp, "left over from a crash");
    server.setReply("GET", "/f", HttpReply::ok("new content"));
    ASSERT_TRUE(download(server.url("/f")));
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_FALSE(fs::exists(tmp));
    // A stale file that cannot be removed ends the download before it starts.
    writeFile(tmp, "stuck");
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::remove ? std::make_error_code(std::errc::permission_denied) : std::error_code();
    });
    EXPECT_FALSE(download(server.url("/f")));
    gf_osSetFaultHook({});
    EXPECT_EQ(server.requestCount("/f"), 1u);
    EXPECT_EQ(newLog(), "==> Could not remove stale temporary download 'dbase.enc.download_tmp': " +
                            std::make_error_code(std::errc::permission_denied).message() + "\n");
}

TEST_F(DownloadTest, AFailedReplaceKeepsTheTargetAndRemovesTheTemporaryFile) {
    server.setReply("GET", "/f", HttpReply::ok("new content"));
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::move ? std::make_error_code(std::errc::device_or_resource_busy) : std::error_code();
    });
    EXPECT_FALSE(download(server.url("/f")));
    gf_osSetFaultHook({});
    expectOldTargetAndNoTemp();
    EXPECT_EQ(newLog(), "==> Could not replace downloaded file 'dbase.enc': " +
                            std::make_error_code(std::errc::device_or_resource_busy).message() + "\n");
}

TEST_F(DownloadTest, LocalFailures) {
    server.setReply("GET", "/f", HttpReply::ok("x"));
    Downloader d;
    EXPECT_FALSE(d.download(server.url("/f"), "no/such/folder/file.bin", true));
    EXPECT_EQ(newLog(), "Could not open temporary download file: no/such/folder/file.bin.download_tmp\n");
    // Nobody listens: the connection fails and nothing is left behind.
    tavo::test::LoopbackHttpServer closed;
    const std::string deadUrl = closed.url("/f");
    closed.stop();
    EXPECT_FALSE(download(deadUrl));
    expectOldTargetAndNoTemp();
    EXPECT_FALSE(download("notaurl://x"));
    expectOldTargetAndNoTemp();
}

TEST_F(DownloadTest, DataFilesComeFromTheInputFolderOfTheServer) {
    const std::string body = tavo::test::patternText(5000);
    server.setReply("GET", "/downloads/input/dbase.enc", HttpReply::ok(body));
    setenv("TAVO_DOWNLOAD_URL", (server.baseUrl() + "/downloads").c_str(), 1);
    EXPECT_EQ(gf_downloadBaseUrl(), server.baseUrl() + "/downloads/");
    ASSERT_TRUE(gf_downloadDataFile("dbase.enc", target));
    EXPECT_EQ(readFile(target), body);
    const std::string url = server.baseUrl() + "/downloads/input/dbase.enc";
    EXPECT_EQ(newLog(), "Downloaded '" + url + "' to 'dbase.enc'\n");
    EXPECT_FALSE(gf_downloadDataFile("wktraffic.enc", "wktraffic.enc"));
    EXPECT_FALSE(fs::exists("wktraffic.enc"));
    EXPECT_EQ(newLog(), "==> Downloading '" + server.baseUrl() + "/downloads/input/wktraffic.enc' failed!\n");
    unsetenv("TAVO_DOWNLOAD_URL");
    const std::string base = gf_downloadBaseUrl();
    EXPECT_EQ(base.rfind("https://", 0), 0u);
    EXPECT_EQ(base.substr(base.size() - 11), "/downloads/");
}

}  // namespace
