#pragma once
// What the sample RealTraffic application sends: the lines and datagrams of
// its formats, made from the sample traffic at a simulated second.
//
//   live traffic     one RTTFC line per aircraft due at that second (each
//                    aircraft every other second), then RTTFC_EOT
//   buffered traffic on request: the last 30 seconds as five segments of
//                    RTBUF lines, each closed by RTBUF_SEP, then RTBUF_EOT
//   parked traffic   on request: one RTPARK line per parked aircraft inside
//                    the box asked for, then RTPARK_EOT
//   weather          a JSON object whose "METAR" holds the airport's METAR
//
// Simulated second 0 is the time `epoch` (seconds since 1970); every line's
// timestamp is epoch plus its simulated time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/sample_feed/sample_traffic.h"

namespace tavo::sample {

// One reported aircraft, as its line says.
struct SampleReport {
    std::size_t flight = 0;
    FlightState state;
    double timestamp = 0.0;
};

// The aircraft due at the simulated second.
std::vector<SampleReport> gf_sampleReportsAt(const SampleTraffic& traffic, std::int64_t second, double epoch);

// One traffic line (tag "RTTFC" or "RTBUF") of a report.
std::string gf_rtTrafficLine(const SampleTraffic& traffic, const SampleReport& report, std::string_view tag);

// The live batch of the second: its RTTFC lines and RTTFC_EOT (no lines at
// all when no aircraft is due).
std::vector<std::string> gf_sampleFlightsAt(const SampleTraffic& traffic, std::int64_t second, double epoch);

// The buffered traffic asked for at the second: the 30 seconds before it.
std::vector<std::string> gf_sampleBufferLines(const SampleTraffic& traffic, std::int64_t second, double epoch);

struct ParkedBox {
    double south = -90, west = -180, north = 90, east = 180;
    bool holds(double lat, double lon) const { return lat >= south && lat <= north && lon >= west && lon <= east; }
};
// "Qs999=sendparked,S,W,N,E" (with or without its line end) gives the box.
std::optional<ParkedBox> gf_parseParkedRequest(std::string_view line);

// The parked aircraft at the second: those parked for hours and the
// arrivals standing at their stands, inside the box; then RTPARK_EOT.
std::vector<std::string> gf_sampleParkedLines(const SampleTraffic& traffic, std::int64_t second, double epoch,
                                              const ParkedBox& box);

// The weather datagram at a time (seconds since 1970), for the sample
// traffic's airport or any airport by its code.
std::string gf_sampleWeatherDatagram(const SampleTraffic& traffic, double timestamp);
std::string gf_sampleWeatherDatagram(const std::string& icao, double timestamp);

// The stand text the parked lines give for a stand: "Gate 4A", "Ramp 20".
std::string gf_rtStandText(const SampleStand& stand);

}  // namespace tavo::sample
