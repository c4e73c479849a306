// Build-time tool: writes the sample add-on airport's scenery file (a BGL file
// holding the sample airport's record with its helipads and parkings, as the
// scenario places them) and the package's layout.json that lists it.
//
//   tavo_make_sample_airport <scenario> <package folder> <BGL path in the package>

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/bgl_builder.h"
#include "tools/sample_feed/sample_world.h"

namespace {

namespace fs = std::filesystem;
using namespace tavo::sample;
using namespace tavo::test;

// The file date layout.json gives (100 ns units since 1601): a fixed one, so
// that the build gives the same package every time.
constexpr unsigned long long kFileDate = 133500000000000000ULL;

BglAirport lf_airport(const SampleWorld& world) {
    BglAirport airport;
    airport.icao = world.icao;
    airport.altitudeMm = static_cast<std::int32_t>(std::lround(world.elevationFt * 0.3048 * 1000.0));
    for (const SampleHelipad& h : world.helipads)
        airport.subrecords.push_back(bglHelipad({h.position.lat, h.position.lon, static_cast<float>(h.widthM)}));
    std::vector<BglParking> parkings;
    for (const auto* list : {&world.stands, &world.vehicleParkings}) {
        for (const SampleStand& s : *list) {
            BglParking p;
            p.nameIndex = s.nameIndex;
            p.type = static_cast<std::uint32_t>(s.type);
            p.number = s.number;
            p.radiusMetres = static_cast<float>(s.radiusM);
            p.headingDegrees = static_cast<float>(s.headingDeg);
            p.lat = s.position.lat;
            p.lon = s.position.lon;
            parkings.push_back(p);
        }
    }
    airport.subrecords.push_back(bglParkings(parkings));
    return airport;
}

void lf_writeText(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) throw std::runtime_error("cannot write " + temporary.string());
    }
    fs::rename(temporary, path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tavo_make_sample_airport <scenario> <package folder> <BGL path in the package>\n");
        return 2;
    }
    try {
        const SampleWorld world = gf_loadSampleWorld(argv[1]);
        const fs::path package = argv[2];
        const std::string bglInPackage = argv[3];
        const fs::path bgl = package / bglInPackage;
        fs::create_directories(bgl.parent_path());
        const BglFile built = bglFileOf({lf_airport(world)});
        const fs::path temporary = bgl.string() + ".tmp";
        writeBglFile(temporary, built.bytes);
        fs::rename(temporary, bgl);
        lf_writeText(package / "layout.json",
                     "{\n  \"content\": [\n    {\n      \"path\": \"" + bglInPackage + "\",\n      \"size\": " +
                         std::to_string(built.bytes.size()) + ",\n      \"date\": " + std::to_string(kFileDate) +
                         "\n    }\n  ]\n}\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavo_make_sample_airport: %s\n", e.what());
        return 1;
    }
    return 0;
}
