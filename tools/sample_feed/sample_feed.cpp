// The sample RealTraffic application: a stand-in for the real one that feeds
// TAVO the scripted traffic of the sample world. Like the real application it
// connects to TAVO's TCP port (waiting while TAVO does not listen), answers
// the version request, and sends the traffic lines and weather as UDP
// datagrams to the local machine; buffered and parked traffic go out when
// TAVO asks for them. When TAVO closes the connection it waits for TAVO again.
//
//   tavo_sample_feed [--scenario FILE] [--port N] [--traffic-port N]
//                    [--weather-port N] [--time-scale X] [--start S]
//
// The scenario defaults to $TAVO_SIM_SCENARIO. A time scale above 1 runs the
// traffic faster than real time. Ends on SIGINT or SIGTERM.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/sample_feed/sample_lines.h"

namespace {

using namespace tavo::sample;
using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stop{false};

extern "C" void lf_onSignal(int) { g_stop.store(true); }

struct Options {
    std::string scenario;
    int port = 10747;
    int trafficPort = 49005;
    int weatherPort = 49004;
    double timeScale = 1.0;
    // Simulated second the feed starts at: a whole cycle in, so that the
    // flights of the cycle before are already under way.
    double start = SampleTraffic::cycleSeconds();
};

constexpr const char* kUsage =
    "usage: tavo_sample_feed [--scenario FILE] [--port N] [--traffic-port N] [--weather-port N]\n"
    "                        [--time-scale X] [--start SECONDS]\n";
// The version the sample answers with: the standard edition (it has no
// history to shift the traffic in time by).
constexpr const char* kVersionReply = R"({"level":1,"version":"TAVO sample 1.0"})";
// Datagrams go out in small bursts so that a long buffer reply does not
// overrun the receiver's socket buffer.
constexpr int kBurst = 32;
constexpr auto kBurstPause = std::chrono::milliseconds(2);
constexpr int kWeatherEveryS = 10;
constexpr std::int64_t kMostSecondsBehind = 5;

void lf_say(const std::string& text) {
    std::printf("TAVO sample feed: %s\n", text.c_str());
    std::fflush(stdout);
}

bool lf_port(const char* text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 1 || v > 65535) return false;
    out = static_cast<int>(v);
    return true;
}

std::optional<Options> lf_parse(int argc, char** argv) {
    Options o;
    if (const char* env = std::getenv("TAVO_SIM_SCENARIO")) o.scenario = env;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const char* value = argv[++i];
        char* end = nullptr;
        if (arg == "--scenario") {
            o.scenario = value;
        } else if (arg == "--port") {
            if (!lf_port(value, o.port)) return std::nullopt;
        } else if (arg == "--traffic-port") {
            if (!lf_port(value, o.trafficPort)) return std::nullopt;
        } else if (arg == "--weather-port") {
            if (!lf_port(value, o.weatherPort)) return std::nullopt;
        } else if (arg == "--time-scale") {
            o.timeScale = std::strtod(value, &end);
            if (*end != '\0' || !(o.timeScale > 0 && o.timeScale <= 1000)) return std::nullopt;
        } else if (arg == "--start") {
            o.start = std::strtod(value, &end);
            if (*end != '\0' || !std::isfinite(o.start)) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (o.scenario.empty()) return std::nullopt;
    return o;
}

// Waits a moment, in small steps so that a stop is seen at once.
void lf_pause(std::chrono::milliseconds total) {
    const auto until = Clock::now() + total;
    while (!g_stop.load() && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

sockaddr_in lf_loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Connects to TAVO, trying again every second while it does not listen.
int lf_connect(int port) {
    bool told = false;
    while (!g_stop.load()) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (fd < 0) throw std::runtime_error(std::string("no TCP socket: ") + std::strerror(errno));
        const sockaddr_in a = lf_loopback(port);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        ::close(fd);
        if (!told) {
            lf_say("waiting for TAVO on port " + std::to_string(port) + " ...");
            told = true;
        }
        lf_pause(std::chrono::milliseconds(1000));
    }
    return -1;
}

bool lf_sendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

class Feed {
public:
    Feed(const Options& options, const SampleTraffic& traffic)
        : options_(options), traffic_(traffic), udp_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
        if (udp_ < 0) throw std::runtime_error(std::string("no UDP socket: ") + std::strerror(errno));
        epoch_ = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() -
                 options.start;
        startedAt_ = Clock::now();
    }
    ~Feed() { ::close(udp_); }
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    // One connection, until TAVO closes it or the feed is stopped.
    void serve(int tcp) {
        std::string pending;
        bool answered = false;
        std::int64_t next = 0;
        while (!g_stop.load()) {
            const double now = simulatedNow();
            if (answered) {
                if (static_cast<double>(next) < now - kMostSecondsBehind) next = static_cast<std::int64_t>(now) - kMostSecondsBehind;
                while (static_cast<double>(next) <= now) {
                    if (next % kWeatherEveryS == 0)
                        datagram(options_.weatherPort, gf_sampleWeatherDatagram(traffic_, epoch_ + static_cast<double>(next)));
                    send(options_.trafficPort, gf_sampleFlightsAt(traffic_, next, epoch_));
                    ++next;
                }
            }
            const double untilNext = answered ? (static_cast<double>(next) - simulatedNow()) / options_.timeScale : 0.2;
            const int waitMs = std::clamp(static_cast<int>(untilNext * 1000), 0, 200);
            pollfd p{tcp, POLLIN, 0};
            const int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno != EINTR) return;
            if (ready <= 0) continue;
            char buffer[4096];
            const ssize_t n = ::recv(tcp, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line == "Qs999=version") {
                    if (!lf_sendAll(tcp, kVersionReply)) return;
                    if (!answered) next = static_cast<std::int64_t>(std::floor(simulatedNow())) + 1;
                    answered = true;
                } else if (line.rfind("Qs999=sendbuffer", 0) == 0) {
                    send(options_.trafficPort, gf_sampleBufferLines(traffic_, currentSecond(), epoch_));
                } else if (const auto box = gf_parseParkedRequest(line)) {
                    send(options_.trafficPort, gf_sampleParkedLines(traffic_, currentSecond(), epoch_, *box));
                }
                // Everything else (the user's position, the time offset) is
                // of no use to the sample traffic.
            }
        }
    }

private:
    double simulatedNow() const {
        return options_.start +
               options_.timeScale * std::chrono::duration<double>(Clock::now() - startedAt_).count();
    }
    std::int64_t currentSecond() const { return static_cast<std::int64_t>(std::floor(simulatedNow())); }

    void datagram(int port, const std::string& text) {
        const sockaddr_in a = lf_loopback(port);
        // A datagram no one listens for is simply lost, as with the real application.
        ::sendto(udp_, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        if (++sinceBurst_ >= kBurst) {
            sinceBurst_ = 0;
            std::this_thread::sleep_for(kBurstPause);
        }
    }
    void send(int port, const std::vector<std::string>& lines) {
        for (const std::string& line : lines) datagram(port, line);
    }

    const Options& options_;
    const SampleTraffic& traffic_;
    int udp_;
    double epoch_ = 0.0;
    Clock::time_point startedAt_;
    int sinceBurst_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = lf_parse(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        std::fputs("The scenario comes from --scenario or TAVO_SIM_SCENARIO.\n", stderr);
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = lf_onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    try {
        const auto traffic = gf_loadSampleTraffic(options->scenario);
        lf_say("sample traffic of " + traffic->world().icao + ": " + std::to_string(traffic->flights().size()) +
               " flights every " + std::to_string(SampleTraffic::cycleSeconds() / 60) + " minutes");
        Feed feed(*options, *traffic);
        while (!g_stop.load()) {
            const int tcp = lf_connect(options->port);
            if (tcp < 0) break;
            lf_say("connected to TAVO on port " + std::to_string(options->port));
            feed.serve(tcp);
            ::close(tcp);
            if (!g_stop.load()) lf_say("TAVO closed the connection");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TAVO sample feed: %s\n", e.what());
        return 1;
    }
    return 0;
}
