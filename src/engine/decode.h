#pragma once
// Message decoding: every position report the mailbox hands over becomes
// engine state. A report of an unknown hexid may create a live aircraft in
// state buffer; a report of a known one is checked for a jump on the ground,
// thinned out when it adds nothing, checked for an identity change and
// appended to the aircraft's stream, where takeoffs are detected. An aircraft
// that jumped is removed and its hexid quarantined until its reports are
// stable again.
//
// Everything here runs on the main thread, inside the engine tick.

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engine/records.h"
#include "feed/records.h"
#include "foundation/lalo.h"

// The latest report seen for a quarantined hexid.
struct QuarantineEntry {
    LaLo position{};
    double time = 0.0;        // record time, seconds
    std::uint32_t count = 0;  // consecutive plausible ground reports
    std::uint8_t flag = 0;    // always 0
};
extern std::unordered_map<std::uint32_t, QuarantineEntry> quarantine;
// Aircraft not yet kept whose report the decoder dropped as flying low over
// the airport, and the log said so.
extern std::unordered_set<std::uint32_t> toldLowNewcomers;

// A flying aircraft taken out of the simulator because it had flown on far
// past the report given (its reports turned while dead reckoning flew on),
// with that report's time: when its next report comes within a minute, it is
// made again from that report first, where its reports are again.
void gf_makeAgainFromReport(std::uint32_t hexid, const StreamPoint& report, double time);
// The report it is to be made again from (none: none).
std::optional<StreamPoint> gf_reportToMakeAgainFrom(std::uint32_t hexid);
// Forgets them all (a new run).
void gf_forgetReportsToMakeAgainFrom();

// The tick's mailbox step: every waiting history record in posting order,
// then up to two live records.
void gf_decodeMailboxRecords();

// Plays a thinned-out taxiing report after all where no report came for 10 s
// after it and the stream's last point falls due within 5 s (part of the
// mailbox step; one aircraft's failure is reported as "decodeMessage").
void gf_playThinnedReports();

// Decodes one report. Never throws: an exception is reported through the
// traffic-exception reporter as "decodeMessage" and the report is dropped.
void decodeMessage(const TrafficRecord& record);

// Appends the point to a known aircraft's stream where the checks allow,
// and starts a detected takeoff. An exception is logged and passed on.
void decodeExisting(LiveAc& ac, StreamPoint point);

// True when the hexid is not quarantined, or when this report releases it
// (one airborne report, or the third stable ground report in a row).
bool gf_passQuarantine(std::uint32_t hexid, const StreamPoint& point, double time);

// The per-category limits a new live aircraft starts with. Throws
// std::out_of_range "invalid unordered_map<K, T> key" for a value outside the
// seven categories.
struct CategoryLimits {
    double climbRateLimit;
    double taxiSpeedRef;
};
const CategoryLimits& gf_categoryLimits(std::uint32_t category);

// The calls decoding makes into identity checks and motion. Tests install
// recording fakes; an empty member calls the real function.
struct DecodeCalls {
    std::function<bool(LiveAc&, const AcInfo&)> checkIdentityChange;
    std::function<bool(LiveAc&, StreamPoint&)> acceptNewStreamPoint;
    std::function<bool(LiveAc&, StreamPoint&)> checkExtendingSituations;
    std::function<bool(LiveAc&, const StreamPoint&)> isTaxiPointOnRunway;
    std::function<double(const LiveAc&, std::uint8_t)> refSpeedKt;
    std::function<void(LiveAc&, std::uint8_t)> startTakeoffRoll;
    std::function<void(LiveAc&)> startTowedTakeoffRoll;
};
void gf_setDecodeCalls(DecodeCalls calls);
