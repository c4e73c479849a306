// The pushed-back aircraft's watch for the start of its taxi: moves that
// still go tail first (against the heading the reports carry) do not count,
// and the taxi starts on a report ahead of the aircraft along the reports'
// travel, never on one it would have to drive back to.

#include <gmock/gmock.h>

#include <optional>
#include <vector>

#include "parking_fixture.h"

using namespace tavo::test;

namespace {

struct Report {
    double eastM, northM;         // from the pushed-back aircraft
    std::optional<double> noseDeg;  // the true heading the report carries
};

class PushbackToTaxi : public ParkingTest {};

}  // namespace

TEST_F(PushbackToTaxi, TheTaxiStartsOnAForwardMoveAheadOfTheAircraft) {
    struct Row {
        const char* what;
        std::vector<Report> reports;
        int taxiAt;  // the report that starts the taxi, -1: none
    };
    const auto line = [](double east0, double north0, double eastStep, double northStep, int n,
                         std::optional<double> nose) {
        std::vector<Report> out;
        for (int i = 0; i < n; ++i) out.push_back({east0 + i * eastStep, north0 + i * northStep, nose});
        return out;
    };
    const auto join = [](std::vector<Report> a, const std::vector<Report>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Row rows[] = {
        {"moving off east, ahead of the aircraft", line(0, 0, 5, 0, 6, std::nullopt), 4},
        // Passing 15 m behind it from the west: the first reports that
        // qualify lie west of it; it starts once one lies east of it.
        {"passing behind it eastwards", line(-42, -15, 5, 0, 12, 90.0), 9},
        // Still pushed south, nose north, then off to the east nose first.
        {"pushed on tail first, then off east",
         join(line(0, -5, 0, -5, 6, 0.0), line(5, -30, 5, 0, 5, 90.0)), 9},
        // Without a heading a move south cannot be told from a taxi south.
        {"moving south without a heading", line(0, -5, 0, -5, 6, std::nullopt), 4},
    };
    std::uint32_t hexid = 0x484B30;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        stand(3).heading = 0.0;
        LiveAc& ac = parkedOn(++hexid, 3, "KLM1234");
        ac.phase = AcPhase::pushed_back;
        // Pushed 60 m south of its stand, still facing north.
        const LaLo pushedTo = from(kB1, 180.0, 60.0);
        ac.pose.latitude = pushedTo.lat;
        ac.pose.longitude = pushedTo.lon;
        int taxiAt = -1;
        for (std::size_t i = 0; i < row.reports.size() && taxiAt < 0; ++i) {
            const Report& r = row.reports[i];
            StreamPoint p = groundPoint(from(from(pushedTo, 90.0, r.eastM), 0.0, r.northM), 11000 + int(i) * 200);
            if (r.noseDeg) {
                p.trueHeading = *r.noseDeg * degreesToRadians;
                p.hasTrueHeading = 1;
            }
            if (checkExtendingSituations(ac, p)) taxiAt = static_cast<int>(i);
        }
        EXPECT_EQ(taxiAt, row.taxiAt);
        EXPECT_EQ(ac.phase, row.taxiAt < 0 ? AcPhase::pushed_back : AcPhase::taxi);
        g_liveAircraft.clear();
    }
}
