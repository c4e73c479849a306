// The sample RealTraffic application as a program: it connects to a TCP
// listener standing in for TAVO, answers the version request, sends traffic,
// weather, buffered and parked traffic as datagrams that TAVO's own line
// reader takes without an error line, connects again when the connection is
// closed, and ends on SIGTERM. Every wait is bounded.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "feed/rtapp/qnh.h"
#include "sample/sample_reader_fixture.h"

extern char** environ;

namespace tavo::test {

namespace {

using Clock = std::chrono::steady_clock;

int lf_bound(int type, std::uint16_t& port) {
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no loopback socket");
    port = ntohs(a.sin_port);
    return fd;
}

bool lf_readable(int fd, Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    return left > 0 && ::poll(&p, 1, static_cast<int>(left)) == 1;
}

class SampleFeedProgram : public SampleReaderTest {
protected:
    void SetUp() override {
        SampleReaderTest::SetUp();
        listener_ = lf_bound(SOCK_STREAM, tcpPort_);
        ASSERT_EQ(::listen(listener_, 4), 0);
        traffic_ = lf_bound(SOCK_DGRAM, trafficPort_);
        weather_ = lf_bound(SOCK_DGRAM, weatherPort_);
    }
    void TearDown() override {
        stop();
        for (const int fd : {connection_, listener_, traffic_, weather_})
            if (fd >= 0) ::close(fd);
        SampleReaderTest::TearDown();
    }

    void start() {
        const std::string scenario = sampleScenario().string();
        std::vector<std::string> args{TAVO_SAMPLE_FEED_PROGRAM, "--scenario",     scenario,
                                      "--port",                 std::to_string(tcpPort_),
                                      "--traffic-port",         std::to_string(trafficPort_),
                                      "--weather-port",         std::to_string(weatherPort_),
                                      "--time-scale",           "10"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    }
    // Ends the program with SIGTERM; its exit status (-1 when it did not end in time).
    int stop() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        const auto until = Clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > until) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = 0;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool accept(std::chrono::seconds within) {
        if (!lf_readable(listener_, Clock::now() + within)) return false;
        connection_ = ::accept(listener_, nullptr, nullptr);
        return connection_ >= 0;
    }
    void send(const std::string& line) {
        ASSERT_EQ(::send(connection_, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
    }
    // Datagrams until `done` says so or the time is up; each traffic line is
    // handed to TAVO's reader as the traffic reader would.
    void receive(std::chrono::seconds within, const std::function<bool()>& done) {
        const auto until = Clock::now() + within;
        char buffer[17000];
        while (!done() && Clock::now() < until) {
            pollfd p[2] = {{traffic_, POLLIN, 0}, {weather_, POLLIN, 0}};
            if (::poll(p, 2, 100) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & POLLIN)) continue;
                const ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0) continue;
                const std::string datagram(buffer, static_cast<std::size_t>(n));
                if (i == 1) {
                    weather.push_back(datagram);
                    continue;
                }
                ++tags[fieldsOf(datagram)[0]];
                g_trafficReader.handleLine(datagram);
            }
        }
    }

    std::map<std::string, int> tags;
    std::vector<std::string> weather;
    int connection_ = -1;

private:
    int listener_ = -1, traffic_ = -1, weather_ = -1;
    std::uint16_t tcpPort_ = 0, trafficPort_ = 0, weatherPort_ = 0;
    pid_t pid_ = 0;
};

}  // namespace

TEST_F(SampleFeedProgram, ConnectsAnswersTheVersionAndFeedsWhatTavoReadsWithoutErrorLines) {
    start();
    ASSERT_TRUE(accept(std::chrono::seconds(20))) << "the program connects to the listener";
    send("Qs999=version\r\n");
    ASSERT_TRUE(lf_readable(connection_, Clock::now() + std::chrono::seconds(10)));
    char reply[512] = {};
    ASSERT_GT(::recv(connection_, reply, sizeof reply - 1, 0), 0);
    const auto version = nlohmann::json::parse(reply);
    EXPECT_EQ(version.at("level"), 1);
    EXPECT_FALSE(version.at("version").get<std::string>().empty());

    g_bufferRequestPending.store(true);
    send("Qs121=0;0;4.712389;433000;0;0.828078;-2.134622\r\n");
    send("Qs999=sendbuffer=5,6,47.399036,-122.383280,47.499000,-122.235320\n");
    receive(std::chrono::seconds(20), [&] { return tags["RTTFC_EOT"] >= 8 && !weather.empty(); });
    EXPECT_TRUE(g_trafficReader.bufferReceived.load());
    EXPECT_EQ(tags["RTBUF_SEP"], 5);
    EXPECT_GE(tags["RTTFC_EOT"], 8);
    ASSERT_FALSE(weather.empty());
    EXPECT_TRUE(std::holds_alternative<std::uint32_t>(gf_qnhFromWeatherData(nlohmann::json::parse(weather[0]))));

    send("Qs999=sendparked,47.399036,-122.383280,47.499000,-122.235320\r\n");
    receive(std::chrono::seconds(10), [&] { return g_trafficReader.parkedReceived.load(); });
    ASSERT_TRUE(g_trafficReader.parkedReceived.load());
    {
        std::lock_guard lock(g_trafficReader.parkedListMutex);
        EXPECT_EQ(g_trafficReader.parkedFront.size(), static_cast<std::size_t>(tags["RTPARK"]));
        EXPECT_GE(g_trafficReader.parkedFront.size(), sample::gf_sampleLongParked().size());
    }
    expectNoReaderErrorLines(newLogLines());
    std::size_t records = 0;
    for (const PostedBatch& b : posted_) records += b.records.size();
    records += g_trafficReader.batch().size();  // lines after the last end of batch
    EXPECT_EQ(records, static_cast<std::size_t>(tags["RTTFC"] + tags["RTBUF"])) << "every line a record";

    // TAVO goes away and comes back: the program connects again.
    ::close(connection_);
    connection_ = -1;
    EXPECT_TRUE(accept(std::chrono::seconds(20)));
    EXPECT_EQ(stop(), 0);
}

TEST_F(SampleFeedProgram, WrongOptionsAreRefusedWithTheUsage) {
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--port", "0"}, {"--time-scale", "-1"}, {"--scenario"}, {"--colour", "blue"}}) {
        std::vector<std::string> args{TAVO_SAMPLE_FEED_PROGRAM, "--scenario", sampleScenario().string()};
        args.insert(args.end(), bad.begin(), bad.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&quiet);
        // A program that took the options would wait for TAVO: it is ended.
        int status = 0;
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() > until) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad[0];
    }
}

}  // namespace tavo::test
