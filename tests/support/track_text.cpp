#include "support/track_text.h"

#include <cmath>
#include <fstream>

#include <fmt/format.h>

#include "engine/records.h"

namespace tavo::test {

namespace {

constexpr std::size_t kEveryTicks = 10;
constexpr std::size_t kSpeedOverTicks = 100;
constexpr double kMetresPerDegreeLat = 60.0 * 1852.0;

double lf_metresBetween(const AiPose& a, const AiPose& b) {
    const double north = (b.latitude - a.latitude) * kMetresPerDegreeLat;
    const double east =
        std::remainder(b.longitude - a.longitude, 360.0) * kMetresPerDegreeLat * std::cos(a.latitude * M_PI / 180.0);
    return std::hypot(north, east);
}

}  // namespace

void gf_writeTrackText(const std::filesystem::path& file, const std::vector<const AircraftRecord*>& records) {
    std::ofstream out(file);
    for (const AircraftRecord* r : records) {
        out << fmt::format("aircraft {:06X} {}\n", r->hexid, r->callsign);
        out << "  tick      lat         lon          hdg    kt(1s)  alt_ft  phase           ground leg\n";
        const auto& s = r->samples;
        for (std::size_t i = 0; i < s.size(); i += kEveryTicks) {
            double kt = std::nan("");
            if (i >= kSpeedOverTicks && s[i - kSpeedOverTicks].tick == s[i].tick - static_cast<int>(kSpeedOverTicks))
                kt = lf_metresBetween(s[i - kSpeedOverTicks].pose, s[i].pose) / (kSpeedOverTicks * 0.01) * 3600.0 /
                     1852.0;
            bool leg = false;
            for (std::size_t k = i; k < std::min(s.size(), i + kEveryTicks); ++k) leg = leg || s[k].legStart;
            out << fmt::format("  {:<8} {:<11.6f} {:<12.6f} {:6.1f} {:7.1f} {:7.0f}  {:<15} {:<6} {}\n", s[i].tick,
                               s[i].pose.latitude, s[i].pose.longitude, s[i].pose.heading * 180.0 / M_PI, kt,
                               s[i].pose.altitude, gf_acPhaseName(s[i].phase), s[i].onGround ? "yes" : "no",
                               leg ? "leg" : "");
        }
        out << "  reports: due_tick  lat         lon          alt_ft  kt     track  ground made_bad\n";
        for (const ReportedPosition& p : r->reports)
            out << fmt::format("  {:>17.0f}  {:<11.6f} {:<12.6f} {:7.0f} {:6.1f} {:6.1f}  {:<6} {}\n", p.dueTick,
                               p.position.lat, p.position.lon, p.altitudeFt, p.groundSpeedKt, p.trackDeg,
                               p.airborne ? "no" : "yes",
                               p.madeBad.has_value() ? (*p.madeBad ? "yes" : "no") : "?");
        out << "\n";
    }
}

}  // namespace tavo::test
