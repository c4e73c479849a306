#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/download.h"
#include "platform/os/os.h"
#include "services/seams.h"
#include "services/stop.h"
#include "support/enc_writer.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tavo::test::HttpReply;
using tavo::test::readFile;
using tavo::test::writeFile;

class DownloadTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_setFoundationSeams();  // downloads heed the program's stop requests, as in the program
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
        LogFileTest::TearDown();
    }
    void expectOldTargetAndNoTemp() {
        EXPECT_EQ(readFile(target), "old content");
        EXPECT_FALSE(fs::exists(tmp));
    }
    bool download(const std::string& url, std::atomic<bool>* go = nullptr) {
        Downloader d;
        EXPECT_TRUE(d.valid());
        if (go != nullptr) d.setKeepGoing([go] { return go->load(); });
        return d.download(url, target, true);
    }
    static void failOn(OsOperation failing, std::errc error) {
        gf_osSetFaultHook([failing, error](OsOperation op, const fs::path&, const fs::path&) {
            return op == failing ? std::make_error_code(error) : std::error_code();
        });
    }

    tavo::test::LoopbackHttpServer server;
    const fs::path target{"dbase.enc"};
    const fs::path tmp{"dbase.enc.download_tmp"};
};

TEST_F(DownloadTest, SuccessReplacesTheTarget) {
    const std::string body = tavo::test::patternText(300000);
    server.setReply("GET", "/f", HttpReply::ok(body));
    ASSERT_TRUE(download(server.url("/f")));
    EXPECT_EQ(readFile(target), body);
    EXPECT_FALSE(fs::exists(tmp));
    EXPECT_EQ(newLogLines(), "");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].header("User-Agent"), "TAVO");
    // A slow but steady transfer completes.
    server.setReply("GET", "/slow", HttpReply::slow(body.substr(0, 2000), 250, std::chrono::milliseconds(40)));
    ASSERT_TRUE(download(server.url("/slow")));
    EXPECT_EQ(readFile(target), body.substr(0, 2000));
}

TEST_F(DownloadTest, AnswersOtherThanSuccessLeaveTheOldTarget) {
    server.setReply("GET", "/gone", HttpReply::notFound());
    EXPECT_FALSE(download(server.url("/gone")));
    expectOldTargetAndNoTemp();
    server.setReply("GET", "/broken", HttpReply::withStatus(500, "server error page"));
    EXPECT_FALSE(download(server.url("/broken")));
    expectOldTargetAndNoTemp();
    EXPECT_EQ(newLogLines(), "");
    // A redirect page is no data file, even though it is not an error.
    server.setReply("GET", "/moved", HttpReply::redirect(server.url("/f")));
    server.setReply("GET", "/f", HttpReply::ok("the real file"));
    EXPECT_FALSE(download(server.url("/moved")));
    expectOldTargetAndNoTemp();
    EXPECT_EQ(server.requestCount("/f"), 0u);
    EXPECT_EQ(newLogLines(), "==> Download of '" + server.url("/moved") + "' answered with HTTP status 302\n");
    // Nobody listens, or the URL is no URL: nothing is left behind.
    tavo::test::LoopbackHttpServer closed;
    const std::string deadUrl = closed.url("/f");
    closed.stop();
    EXPECT_FALSE(download(deadUrl));
    expectOldTargetAndNoTemp();
    EXPECT_FALSE(download("notaurl://x"));
    expectOldTargetAndNoTemp();
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

TEST_F(DownloadTest, AStopAbortsWithinASecond) {
    server.setReply("GET", "/long", HttpReply::stalled(std::string(100000, 'y'), 10));
    DownloadTimeouts patient;
    patient.lowSpeedSeconds = 30;
    // Once through the downloader's own flag, once through the program's stop
    // request, which every downloader heeds by default.
    for (const bool ownFlag : {true, false}) {
        std::atomic<bool> go{true};
        Downloader d;
        d.setTimeouts(patient);
        if (ownFlag) d.setKeepGoing([&go] { return go.load(); });
        // Timed from the stop itself: under load the stopper's own sleep
        // may overrun, and that is no time the download took to stop.
        Clock::time_point stoppedAt;
        std::thread stopper([&go, &stoppedAt, ownFlag] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            stoppedAt = Clock::now();
            if (ownFlag) go = false;
            else requestStop(StopReason::NewSettings, 0);
        });
        const bool ok = d.download(server.url("/long"), target, true);
        const auto ended = Clock::now();
        stopper.join();
        gf_clearStopMailbox();
        EXPECT_FALSE(ok) << ownFlag;
        EXPECT_LT(ended - stoppedAt, std::chrono::seconds(1)) << ownFlag;
        expectOldTargetAndNoTemp();
    }
}

TEST_F(DownloadTest, TemporaryFileFaults) {
    // A stale temporary file is replaced.
    writeFile(tmp, "left over from a crash");
    server.setReply("GET", "/f", HttpReply::ok("new content"));
    ASSERT_TRUE(download(server.url("/f")));
    EXPECT_EQ(readFile(target), "new content");
    EXPECT_FALSE(fs::exists(tmp));
    // One that cannot be removed ends the download before it starts.
    writeFile(target, "old content");
    writeFile(tmp, "stuck");
    failOn(OsOperation::remove, std::errc::permission_denied);
    EXPECT_FALSE(download(server.url("/f")));
    EXPECT_EQ(server.requestCount("/f"), 1u);
    EXPECT_EQ(newLogLines(), "==> Could not remove stale temporary download 'dbase.enc.download_tmp': " +
                                 std::make_error_code(std::errc::permission_denied).message() + "\n");
    gf_osSetFaultHook({});
    fs::remove(tmp);
    // A failed replace keeps the target and removes the temporary file.
    failOn(OsOperation::move, std::errc::device_or_resource_busy);
    EXPECT_FALSE(download(server.url("/f")));
    gf_osSetFaultHook({});
    expectOldTargetAndNoTemp();
    EXPECT_EQ(newLogLines(), "==> Could not replace downloaded file 'dbase.enc': " +
                                 std::make_error_code(std::errc::device_or_resource_busy).message() + "\n");
    // The temporary file cannot be created.
    Downloader d;
    EXPECT_FALSE(d.download(server.url("/f"), "no/such/folder/file.bin", true));
    EXPECT_EQ(newLogLines(), "Could not open temporary download file: no/such/folder/file.bin.download_tmp\n");
}

TEST_F(DownloadTest, DataFilesComeFromTheInputFolderOfTheServer) {
    const std::string body = tavo::test::patternText(5000);
    server.setReply("GET", "/downloads/input/dbase.enc", HttpReply::ok(body));
    setenv("TAVO_DOWNLOAD_URL", (server.baseUrl() + "/downloads").c_str(), 1);
    EXPECT_EQ(gf_downloadBaseUrl(), server.baseUrl() + "/downloads/");
    ASSERT_TRUE(gf_downloadDataFile("dbase.enc", target));
    EXPECT_EQ(readFile(target), body);
    EXPECT_EQ(newLogLines(), "Downloaded '" + server.baseUrl() + "/downloads/input/dbase.enc' to 'dbase.enc'\n");
    EXPECT_FALSE(gf_downloadDataFile("wktraffic.enc", "wktraffic.enc"));
    EXPECT_FALSE(fs::exists("wktraffic.enc"));
    EXPECT_EQ(newLogLines(), "==> Downloading '" + server.baseUrl() + "/downloads/input/wktraffic.enc' failed!\n");
    unsetenv("TAVO_DOWNLOAD_URL");
    const std::string base = gf_downloadBaseUrl();
    EXPECT_EQ(base.rfind("https://", 0), 0u);
    EXPECT_EQ(base.substr(base.size() - 11), "/downloads/");
}

}  // namespace
