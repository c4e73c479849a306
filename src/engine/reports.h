#pragma once
// How log lines name an aircraft, its key and its route; the airline taken
// from a callsign; the airport code a takeoff or touchdown line names and
// where such a line goes; the traffic-exception reporter every engine and
// motion catch block uses; and taking a queued create back.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "engine/records.h"
#include "feed/records.h"
#include "foundation/lalo.h"
#include "liveries/ac_key.h"
#include "simlink/sim_link.h"

// A create command waiting in one of the engine's create queues.
using AiCreateRequest = SimCreateCommand;

// "{:3}->{:3}" of origin and destination (an unset code empty); eight blanks
// when neither is set.
std::string gf_routeText(const FlightIdentity& identity);

// "{:8} {:12} {} {}": callsign, registration, route text, key text.
std::string gf_describeAc(const AcInfo& ac);

// The format applied to two texts and the key, e.g. "{:8} {} {}". Throws
// fmt::format_error for a format that does not fit.
std::string gf_formatWithAcKey(std::string_view format, std::string_view first, std::string_view second,
                               const AcKey& key);

// The airline code, and ",<operator code>" when there is an operator.
std::string gf_airlineOperatorText(const AcKey& key);

// The airport code a movement line names at a position: the current airport
// within 5 NM, else the given code, else the listed airport nearest within
// 5 NM (on equal distances the later one), else none.
IataCode gf_airportCodeNear(LaLo position, IataCode code);

// A takeoff or touchdown line: shown in the window (and logged) when flight
// messages are on, else only logged.
void gf_reportMovement(std::string line);

// Called inside a catch block: logs "Traffic exception in {}: {}{}" for the
// first 20 reports of a run, the 20th saying that the rest are suppressed.
// Any thread.
void gf_reportTrafficException(std::string_view functionName) noexcept;
// Starts a run's count afresh (engine set-up).
void gf_resetTrafficExceptionCount() noexcept;

// Removes every request of that hexid from the queue, keeping the order of
// the rest; true when one was there.
bool gf_dropPendingCreate(std::deque<AiCreateRequest>& queue, std::uint32_t hexid);

// "[{},{}]" of two ids.
std::string lf_formatIdPair(std::uint32_t first, std::uint32_t second);

// "{:8} {:12} {}" of callsign, registration and route, then " " and the key.
template <>
struct fmt::formatter<AcBase> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    fmt::format_context::iterator format(const AcBase& ac, fmt::format_context& ctx) const;
};
