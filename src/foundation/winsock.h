#pragma once
// Readable texts for the Winsock error numbers that the RealTraffic link
// reports, and the owner of a started socket session. On Linux sockets need
// no start-up; the session record is kept so that the start and close-down
// sequence (and its log lines) stays the same on every platform.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// "<code> <text>"; unknown codes read "Unknown errror code".
std::string gf_winsockErrorText(std::int32_t code);

// The record a socket start-up fills (version granted).
struct WsaData {
    std::uint16_t version = 0;
    std::uint16_t highVersion = 0;
};

// Starts a socket session for the requested version (0x0202 = 2.2); 0 on
// success, else an error number. Always succeeds on Linux.
int gf_wsaStartup(std::uint16_t requestedVersion, WsaData& data);

// Holds the record of the started session. Handing it a new record, reset()
// and destruction each clean up the session held.
class WinsockGuard {
public:
    WinsockGuard() = default;
    ~WinsockGuard();
    WinsockGuard(const WinsockGuard&) = delete;
    WinsockGuard& operator=(const WinsockGuard&) = delete;

    void hold(const WsaData& data);
    void reset();
    bool active() const;
    // Sessions cleaned up by this guard so far (tests).
    std::uint32_t cleanups() const;

private:
    void cleanupLocked();
    mutable std::mutex mutex_;
    std::optional<WsaData> data_;
    std::uint32_t cleanups_ = 0;
};

// The program's one guard, used by the main thread.
WinsockGuard& gf_winsockGuard();
