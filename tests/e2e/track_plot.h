#pragma once
// A plot of recorded tracks over the sample airport, as an SVG image: the
// runways, stands and helipads of the sample world, the user aircraft, every
// track (brown on the ground, blue in the air) and marks. The view is the
// airport and its approaches; what lies beyond is cut at the image's edge.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/motion_harness.h"
#include "tools/sample_feed/sample_world.h"

namespace tavo::test {

class TrackPlot {
public:
    explicit TrackPlot(const sample::SampleWorld& world) : world_(world) {}

    void track(const AircraftRecord& r) {
        // A point every half second is plenty at this scale.
        constexpr std::int32_t kEveryTicks = 50;
        std::vector<sample::Vec> run;
        bool onGround = false;
        auto flush = [&] {
            if (run.size() >= 2) lines_.push_back({run, onGround});
            run.clear();
        };
        std::int32_t last = -kEveryTicks;
        for (const MotionSample& s : r.samples) {
            if (s.tick - last < kEveryTicks && s.onGround == onGround && &s != &r.samples.back()) continue;
            const bool jump = s.tick - last > 10 * kEveryTicks;
            last = s.tick;
            const sample::Vec at = world_.frame.toLocal({s.pose.latitude, s.pose.longitude});
            if (s.onGround != onGround || jump) {
                if (!jump) run.push_back(at);
                flush();
                onGround = s.onGround;
            }
            run.push_back(at);
        }
        flush();
    }
    void mark(LaLo at, std::string kind) { marks_.push_back({world_.frame.toLocal({at.lat, at.lon}), std::move(kind)}); }

    void write(const std::filesystem::path& file) const {
        constexpr double kSize = 1600.0;
        constexpr double kHalfViewM = 9000.0;
        const double scale = kSize / (2 * kHalfViewM);
        auto x = [&](sample::Vec v) { return kSize / 2 + v.e * scale; };
        auto y = [&](sample::Vec v) { return kSize / 2 - v.n * scale; };
        std::ofstream out(file);
        out << fmt::format(R"(<svg xmlns="http://www.w3.org/2000/svg" width="{0:.0f}" height="{0:.0f}">)", kSize) << "\n";
        out << R"(<rect width="100%" height="100%" fill="#f4f4ef"/>)" << "\n";
        out << fmt::format(R"(<text x="10" y="24" font-size="18">{} - {} tracks, 1 px = {:.1f} m</text>)", world_.icao,
                           lines_.size(), 1 / scale)
            << "\n";
        for (const auto& r : world_.runways) {
            const sample::Vec a = r.along() * (r.lengthM / 2);
            const sample::Vec c = sample::unitVector(r.headingDeg + 90.0) * (r.widthM / 2);
            const sample::Vec corners[] = {r.centre + a + c, r.centre + a - c, r.centre - a - c, r.centre - a + c};
            std::string points;
            for (const auto& p : corners) points += fmt::format("{:.1f},{:.1f} ", x(p), y(p));
            out << fmt::format(R"(<polygon points="{}" fill="#555"/>)", points) << "\n";
        }
        for (const auto& s : world_.stands)
            out << fmt::format(R"(<circle cx="{:.1f}" cy="{:.1f}" r="{:.1f}" fill="none" stroke="#999"/>)", x(s.at),
                               y(s.at), std::max(1.0, s.radiusM * scale))
                << "\n";
        for (const auto& h : world_.helipads)
            out << fmt::format(R"(<rect x="{:.1f}" y="{:.1f}" width="4" height="4" fill="#a0a"/>)", x(h.at) - 2, y(h.at) - 2)
                << "\n";
        out << fmt::format(R"(<circle cx="{:.1f}" cy="{:.1f}" r="4" fill="#06c"/>)", x(world_.user), y(world_.user)) << "\n";
        for (const auto& line : lines_) {
            std::string points;
            for (const auto& p : line.points) points += fmt::format("{:.1f},{:.1f} ", x(p), y(p));
            out << fmt::format(R"(<polyline points="{}" fill="none" stroke="{}" stroke-width="1"/>)", points,
                               line.onGround ? "#a0522d" : "#1e64c8")
                << "\n";
        }
        for (const auto& m : marks_)
            out << fmt::format(R"(<circle cx="{:.1f}" cy="{:.1f}" r="3" fill="{}"><title>{}</title></circle>)", x(m.at),
                               y(m.at), m.kind == "touchdown" ? "#d00" : "#0a0", m.kind)
                << "\n";
        out << "</svg>\n";
        if (!out) throw std::runtime_error("cannot write the plot " + file.string());
    }

private:
    struct Line {
        std::vector<sample::Vec> points;
        bool onGround = false;
    };
    struct Mark {
        sample::Vec at;
        std::string kind;
    };
    const sample::SampleWorld& world_;
    std::vector<Line> lines_;
    std::vector<Mark> marks_;
};

}  // namespace tavo::test
