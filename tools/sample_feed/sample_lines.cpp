#include "tools/sample_feed/sample_lines.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include <fmt/format.h>

namespace tavo::sample {

namespace {

// The magnetic variation the sample reports magnetic headings with.
constexpr double kVariationDeg = 15.5;
constexpr int kBufferSeconds = 30;
constexpr int kBufferSegments = 5;
// Aircraft parked for hours were last seen this long ago.
constexpr double kLongParkedAgeS = 3 * 3600.0;

// The second airframe flies the next flight number: it comes in while the
// first still stands at its stand, and one callsign on two aircraft at once is
// what a receiver takes for a ghost.
std::string lf_flightNumber(const std::string& callsign, std::size_t airframe) {
    if (callsign.empty() || airframe == 0) return callsign;
    std::size_t digits = callsign.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(callsign[digits - 1])) != 0) --digits;
    if (digits == callsign.size()) return callsign;
    return callsign.substr(0, digits) + std::to_string(std::stoul(callsign.substr(digits)) + airframe);
}

std::string lf_callsign(const FlightSpec& spec, std::size_t airframe) {
    return spec.callsign.empty() ? spec.airframes[airframe].registration : lf_flightNumber(spec.callsign, airframe);
}

// Vertical speed over the two seconds around the moment.
double lf_verticalSpeedFpm(const SampleFlight& f, double since) {
    const double a = std::max(0.0, since - 1.0), b = std::min(f.durationS, since + 1.0);
    if (b <= a) return 0.0;
    const TrackSample sa = gf_trackAt(f.track, a), sb = gf_trackAt(f.track, b);
    if (sa.ground && sb.ground) return 0.0;
    return (sb.aglFt - sa.aglFt) / (b - a) * 60.0;
}

}  // namespace

std::string gf_rtStandText(const SampleStand& stand) {
    const bool gate = stand.nameIndex == 10 || (stand.nameIndex >= 12 && stand.nameIndex <= 37);
    if (gate) return "Gate " + stand.name.substr(5);
    std::string text = "Ramp " + std::to_string(stand.number);
    if (stand.suffix >= 12 && stand.suffix <= 37) text += static_cast<char>('A' + (stand.suffix - 12));
    return text;
}

std::vector<SampleReport> gf_sampleReportsAt(const SampleTraffic& traffic, std::int64_t second, double epoch) {
    std::vector<SampleReport> reports;
    for (std::size_t i = 0; i < traffic.flights().size(); ++i) {
        const SampleFlight& f = traffic.flights()[i];
        if (((second + f.reportParity) % 2 + 2) % 2 != 0) continue;
        const double t = static_cast<double>(second) - f.reportLagS;
        const FlightState state = traffic.stateAt(i, t);
        if (state.reported) reports.push_back({i, state, epoch + t});
    }
    return reports;
}

std::string gf_rtTrafficLine(const SampleTraffic& traffic, const SampleReport& report, std::string_view tag) {
    const SampleFlight& f = traffic.flights().at(report.flight);
    const FlightSpec& spec = f.spec;
    const TypePerformance& perf = gf_typePerformance(spec.type);
    const TrackSample& s = report.state.sample;
    const LatLon at = traffic.world().frame.toLatLon(s.at);
    const double gsKt = toKnots(s.speed);
    const bool air = !s.ground;
    const double altFt = air ? std::round(traffic.world().elevationFt + s.aglFt) : 0.0;
    const double vs = air ? std::round(lf_verticalSpeedFpm(f, report.state.sinceStartS)) : 0.0;
    const double roll = air ? degrees(std::atan(s.speed * s.speed * s.curvature / kGravity)) : 0.0;
    // Standing still, the track is where the nose points.
    const double track = s.speed < 0.3 ? s.headingDeg : s.trackDeg;
    const bool fullData = !perf.light;

    std::array<std::string, 44> v;
    v[0] = std::string(tag);
    v[1] = std::to_string(spec.airframes[report.state.airframe].hexid);
    v[2] = fmt::format("{:.6f}", at.lat);
    v[3] = fmt::format("{:.6f}", at.lon);
    v[4] = fmt::format("{:.0f}", altFt);
    v[5] = fmt::format("{:.0f}", vs);
    v[6] = air ? "0" : "1";
    v[7] = fmt::format("{:.1f}", track);
    v[8] = fmt::format("{:.1f}", gsKt);
    v[9] = lf_callsign(spec, report.state.airframe);
    v[10] = spec.type;
    v[11] = spec.airframes[report.state.airframe].registration;
    v[12] = spec.origin;
    v[13] = spec.destination;
    v[14] = fmt::format("{:.2f}", report.timestamp);
    v[15] = "X";
    v[16] = lf_flightNumber(spec.iataCallsign, report.state.airframe);
    v[17] = fullData ? "adsb_icao" : "mlat";
    v[18] = air ? fmt::format("{:.0f}", altFt + 75) : "";
    v[19] = air ? fmt::format("{:.0f}", std::max(0.0, gsKt - 10)) : "";
    v[20] = fmt::format("{:.0f}", gsKt);
    v[21] = air && fullData ? fmt::format("{:.3f}", gsKt / 661.5) : "";
    v[23] = fmt::format("{:.1f}", roll);
    v[24] = fmt::format("{:.1f}", normalHeading(s.headingDeg - kVariationDeg));
    v[25] = fmt::format("{:.1f}", s.headingDeg);
    v[26] = air ? v[5] : "";
    v[27] = "none";
    v[28] = perf.category;
    v[29] = air && fullData ? "1013.2" : "";
    v[34] = "0.1";
    v[35] = "-18.4";
    v[36] = "160";
    v[37] = "8";
    v[40] = "1";
    v[43] = spec.airline;
    std::string line;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) line += ',';
        line += v[i];
    }
    return line;
}

std::vector<std::string> gf_sampleFlightsAt(const SampleTraffic& traffic, std::int64_t second, double epoch) {
    std::vector<std::string> lines;
    for (const SampleReport& r : gf_sampleReportsAt(traffic, second, epoch))
        lines.push_back(gf_rtTrafficLine(traffic, r, "RTTFC"));
    if (!lines.empty()) lines.emplace_back("RTTFC_EOT");
    return lines;
}

std::vector<std::string> gf_sampleBufferLines(const SampleTraffic& traffic, std::int64_t second, double epoch) {
    std::vector<std::string> lines;
    const int perSegment = kBufferSeconds / kBufferSegments;
    for (int segment = 0; segment < kBufferSegments; ++segment) {
        for (int k = 0; k < perSegment; ++k) {
            const std::int64_t s = second - kBufferSeconds + segment * perSegment + k;
            for (const SampleReport& r : gf_sampleReportsAt(traffic, s, epoch))
                lines.push_back(gf_rtTrafficLine(traffic, r, "RTBUF"));
        }
        lines.emplace_back("RTBUF_SEP");
    }
    lines.emplace_back("RTBUF_EOT");
    return lines;
}

std::optional<ParkedBox> gf_parseParkedRequest(std::string_view line) {
    constexpr std::string_view kPrefix = "Qs999=sendparked,";
    if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    std::string rest(line.substr(kPrefix.size()));
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.pop_back();
    std::array<double, 4> v{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const std::size_t comma = rest.find(',', at);
        const std::string field = rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        v[i] = std::strtod(field.c_str(), &end);
        if (field.empty() || end != field.c_str() + field.size() || !std::isfinite(v[i])) return std::nullopt;
        if ((comma == std::string::npos) != (i + 1 == v.size())) return std::nullopt;
        at = comma + 1;
    }
    if (v[0] > v[2]) return std::nullopt;
    return ParkedBox{v[0], v[1], v[2], v[3]};
}

std::vector<std::string> gf_sampleParkedLines(const SampleTraffic& traffic, std::int64_t second, double epoch,
                                              const ParkedBox& box) {
    std::vector<std::string> lines;
    auto add = [&](const Airframe& a, const std::string& callsign, const std::string& type, const SampleStand& stand,
                   double seen) {
        if (!box.holds(stand.position.lat, stand.position.lon)) return;
        lines.push_back(fmt::format("RTPARK,{:06x},{:.6f},{:.6f},{},{},{},{},{:.0f}", a.hexid, stand.position.lat,
                                    stand.position.lon, callsign, type, a.registration, gf_rtStandText(stand),
                                    std::floor(seen)));
    };
    const double now = static_cast<double>(second);
    for (const LongParked& p : gf_sampleLongParked())
        add(p.airframe, p.callsign.empty() ? p.airframe.registration : p.callsign, p.type,
            traffic.world().stand(p.stand), epoch + now - kLongParkedAgeS);
    for (std::size_t i = 0; i < traffic.flights().size(); ++i) {
        const SampleFlight& f = traffic.flights()[i];
        const FlightState s = traffic.stateAt(i, now);
        if (!s.parked) continue;
        const double parkedSince = now - (s.sinceStartS - f.durationS);
        add(f.spec.airframes[s.airframe], lf_callsign(f.spec, s.airframe), f.spec.type,
            traffic.world().stand(f.spec.stand), epoch + parkedSince);
    }
    lines.emplace_back("RTPARK_EOT");
    return lines;
}

std::string gf_sampleWeatherDatagram(const SampleTraffic& traffic, double timestamp) {
    return gf_sampleWeatherDatagram(traffic.world().icao, timestamp);
}

std::string gf_sampleWeatherDatagram(const std::string& icao, double timestamp) {
    // The routine observation is made at minute 53 of every hour.
    auto observed = static_cast<std::time_t>(std::floor(timestamp));
    std::tm utc{};
    gmtime_r(&observed, &utc);
    if (utc.tm_min < 53) {
        observed -= 3600;
        gmtime_r(&observed, &utc);
    }
    const std::string metar = fmt::format("{} {:02}{:02}53Z 16008KT 10SM FEW035 SCT250 12/06 A2992 RMK AO2",
                                          icao, utc.tm_mday, utc.tm_hour);
    return fmt::format(R"({{"ICAO":"{}","METAR":"{}","time":{:.0f}}})", icao, metar,
                       std::floor(timestamp));
}

}  // namespace tavo::sample
