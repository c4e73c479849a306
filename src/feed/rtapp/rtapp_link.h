#pragma once
// The RT App link over TCP: the start of the link with its version handshake,
// and the "Qs" lines the program sends (user position, time shift, buffered
// and parked traffic requests).
//
// The link runs only while PSX_SERVER_HERE is on and AEROWINX is off. With
// PSX_SERVER_HERE off the application is taken as connected without a
// server. With AEROWINX on there is no TCP link at all: nothing is listened
// on or sent, a missing link is never reported as the application gone, and
// the source counts as connected (standard edition).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

struct UserAircraftState;

// The handshake is waiting for the application to connect.
extern std::atomic<bool> g_waitingForRTApp;
// A buffer request went out and its end has not arrived yet.
extern std::atomic<bool> g_bufferRequestPending;

// How long the handshake waits: for the version reply (silence is an empty
// reply) and, after it, before looking whether the connection is still there.
struct RTAppHandshakeTiming {
    std::chrono::milliseconds replyTimeout{2000};
    std::chrono::milliseconds settleDelay{2000};
};
RTAppHandshakeTiming gf_rtAppHandshakeTiming();
// Tests shorten the waits.
void gf_setRTAppHandshakeTiming(RTAppHandshakeTiming timing);

// What the link needs from the UDP traffic reader, which registers it when it
// exists. Each may be null (then that step does nothing); any thread.
struct RTAppReaderHooks {
    // Clears both UDP readers' state before a new connection is waited for.
    void (*resetReaders)() = nullptr;
    // Clears the parked-received flag and empties both parked lists.
    void (*clearParkedTraffic)() = nullptr;
};
void gf_setRTAppReaderHooks(RTAppReaderHooks hooks);

// Whether the user aircraft stands on the ground; registered by the simulator
// link. Without it the aircraft is not taken to be on the ground.
using UserOnGroundQuery = bool (*)();
void gf_setUserOnGroundQuery(UserOnGroundQuery query);

// True when the program runs the TCP link: PSX_SERVER_HERE on, AEROWINX off.
bool gf_rtAppTcpLinkWanted();

// The link part of the RT App start: with PSX_SERVER_HERE off sets
// g_rtConnected; with the link wanted listens on PORT_NUMBER and runs the
// handshake (gf_waitForRTApp); with AEROWINX on clears g_rtProfessional and
// sets g_rtConnected. Lets the listen errors (std::runtime_error) pass.
void gf_openRTAppLink();

// Waits for the application to connect and runs the version handshake; a
// connection that turns out stale is dropped and the port listened on again.
// Returns when connected (g_rtConnected set), or when the wait was ended
// (closeAll, or a stop request). Does nothing unless the link is wanted.
void gf_waitForRTApp();

// Reads a version reply: professional edition for "level" 2, the account line
// "RT App {} edition: {}". Public for the shell's tests and the handshake.
void gf_processRTVersion(const std::string& reply);

// "Qs121=..." for the state, with its CR LF.
std::string gf_userPositionLine(const UserAircraftState& state);

// Sends the user position (once a position is known). A link found gone
// clears g_rtConnected, shows "RealTraffic App gone" and posts the stop
// request NEW SETTINGS with countdown 0.
void gf_sendUserPosition();
// Sends "Qs123=<shift x 1000>" when connected and the shift is at least 1.
void gf_sendTimeOffset(std::int64_t shift);
// A buffer request whose end does not come within this time no longer counts
// as pending: the position sender drains the link again and a new request
// may be sent. The start path stops waiting for the buffer after 30 s and
// the traffic goes live then; a request still pending after that would hold
// the link (and an application that waits to be read) for nothing.
inline constexpr std::chrono::seconds kBufferRequestTimeout{30};

// Asks for buffered traffic around the user; false when a request is still
// pending (and not timed out) or the line could not be sent.
bool gf_requestBufferTraffic();
void gf_clearBufferRequestPending();
// Empties the parked lists and asks for the parked traffic around the park
// airport, or around the user aircraft standing on the ground.
void gf_requestParkedTraffic();
