// The seed files of the BGL fuzz target: BGL builder files of every shape the
// reader accepts and one file per error code. The corpus in fuzz/corpus/bgl/
// is this program's output:
//
//   tavo_bgl_seeds write <folder>   writes the seeds
//   tavo_bgl_seeds check <folder>   fails when the folder's seeds differ

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/bgl_builder.h"

namespace {

using namespace tavo::test;

std::vector<std::pair<std::string, BglBytes>> seeds() {
    const BglParking gate{10, 9, 12, 30.0f, 90.0f, 51.4700, -0.4500, {}};
    const BglParking cargo{5, 5, 7, 40.0f, 0.0f, 51.4710, -0.4510, {}};
    const BglParking ga{14, 2, 3, 10.0f, 180.0f, 51.4720, -0.4520, {0x41414141, 0x42424242}};
    const BglParking vehicle{1, 13, 4, 5.0f, 10.0f, 51.4730, -0.4530, {}};
    const BglAirport egll{"EGLL", -1, 25298,
                          {bglHelipad({51.48, -0.46, 30.0f}), bglPlainRecord(0x19, 12),
                           bglParkings({gate, cargo, ga, vehicle})},
                          -1};
    const BglSubsection sub{{bglAirportRecord(egll)}, -1};

    std::vector<std::pair<std::string, BglBytes>> out;
    out.emplace_back("one_airport.bgl", bglFileOf({egll}).bytes);
    out.emplace_back("flags_3.bgl", bglBuild({BglSection{3, 0x3, {sub}}}).bytes);
    out.emplace_back("wide_descriptors.bgl", bglBuild({BglSection{3, 0x10001, {sub}}}).bytes);

    BglAirport heli{"KJFK", -1, 3962, {}, -1};
    heli.subrecords = {bglHelipad({40.64, -73.78, 20.0f, 36}), bglHelipad({40.65, -73.78, 20.0f}),
                       bglHelipad({40.65, -73.78, 20.0f}), bglParkings({gate}, 3)};
    out.emplace_back("helipads.bgl", bglFileOf({heli}).bytes);

    BglAirport below{"EHAM", -1, -3048, {bglParkings({gate, gate, gate})}, -1};
    BglAirport unknown{"ZZZZ", -1, 0, {bglParkings({gate})}, -1};
    BglAirport shortCode{"LHR", -1, 0, {}, -1};
    out.emplace_back("several_airports.bgl", bglFileOf({below, unknown, shortCode, egll}).bytes);

    const BglSubsection others{{bglPlainRecord(0x11, 8), bglPlainRecord(0x33, 24)}, -1};
    out.emplace_back("several_sections.bgl",
                     bglBuild({BglSection{0x22, 0, {others}}, BglSection{3, 0, {others, sub}},
                               BglSection{3, 0x10000, {BglSubsection{{bglPlainRecord(0x12, 16), bglAirportRecord(below)}}}},
                               BglSection{0x65, 0, {}}})
                         .bytes);

    BglFile shared = bglBuild({BglSection{3, 0, {sub}}, BglSection{3, 0, {}}});
    shared.putU32(shared.sectionEntries[1] + 8, 1);
    shared.putU32(shared.sectionEntries[1] + 12, static_cast<std::uint32_t>(shared.subsectionTables[0]));
    out.emplace_back("shared_table.bgl", shared.bytes);

    const float nan = __builtin_nanf("");
    BglAirport bad{"LOWI", -1, 580000,
                   {bglHelipad({0.00005, 0.00005, 20.0f}), bglHelipad({47.26, 11.34, nan}),
                    bglParkings({BglParking{10, 9, 1, nan, 10.0f, 47.26, 11.34, {}},
                                 BglParking{10, 9, 2, 20.0f, nan, 47.26, 11.35, {}},
                                 BglParking{10, 9, 3, 20.0f, 10.0f, 0.0, 0.0, {}}})},
                   -1};
    out.emplace_back("invalid_stands.bgl", bglFileOf({bad}).bytes);
    out.emplace_back("small_airport_record.bgl",
                     bglBuild({BglSection{3, 0, {BglSubsection{{bglPlainRecord(0x56, 8), bglAirportRecord(egll)}}}}}).bytes);
    for (int code = 0; code <= 10; ++code)
        out.emplace_back("error_" + std::to_string(code) + ".bgl", bglCorruption(code).file.bytes);
    return out;
}

BglBytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return BglBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "check") != 0)) {
        std::fprintf(stderr, "usage: %s write|check <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder(argv[2]);
    const bool write = std::strcmp(argv[1], "write") == 0;
    int differing = 0;
    std::size_t count = 0;
    for (const auto& [name, bytes] : seeds()) {
        ++count;
        if (write) {
            std::filesystem::create_directories(folder);
            writeBglFile(folder / name, bytes);
        } else if (readBytes(folder / name) != bytes) {
            std::fprintf(stderr, "seed %s differs from the builder's file: run '%s write %s'\n", name.c_str(), argv[0],
                         folder.c_str());
            ++differing;
        }
    }
    if (!write) {
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            bool known = false;
            for (const auto& seed : seeds()) known = known || seed.first == e.path().filename().string();
            if (!known) {
                std::fprintf(stderr, "seed %s is not made by the builder\n", e.path().filename().c_str());
                ++differing;
            }
        }
    }
    std::printf("%zu seeds %s\n", count, write ? "written" : (differing == 0 ? "current" : "differ"));
    return differing == 0 ? 0 : 1;
}
