#pragma once
// A simulator's scenery folders as the airport scan meets them, made on disk
// for tests and benchmarks, with the data files the scan reads and what a
// full scan must make of them.
//
// MSFS 2020: Official (OneStore) and Community. MSFS 2024: Community,
// StreamedPackages (fs24- packages, no local scenery), Official2024 (the
// streamed packages' manifests) and Community2024. Packages carry
// manifest.json and layout.json as real ones do and BGL files made with
// BglBuilder (airport sections with parkings and helipads, and object files
// without airports). Among them the cases the scan must tell apart: official
// airports linked and generated, thirdparty airports linked by version or
// generated, a manifest publisher the archives data rejects, packages behind
// skip words in either letter case, "statics" against "Statics", a folder
// link back to its package (a cycle) and two links to one folder outside the
// root, folders of exactly 249 and 250 characters, an airport without stands,
// one with a single stand, one without weekly traffic. A bulk of plain
// thirdparty packages (one airport, ten BGL files each) gives the tree its
// size.
//
// The simulator model's world for the facility path comes as a scenario
// file: a few of the airports as model airports, one with two parkings of
// one name and one of no size.
//
// No test framework here: the benchmarks make the tree too.

#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/airports_data.h"
#include "support/archives_builder.h"

namespace tavo::test {

struct SceneryTreeOptions {
    bool msfs2024 = false;
    // Plain thirdparty packages in Community, each one airport in one of
    // its bglPerPackage BGL files.
    std::size_t bulkPackages = 0;
    std::size_t bglPerPackage = 10;
};

// One file a full scan leaves in an output folder.
struct ExpectedAirportFile {
    std::string linkText;     // a link file's content; empty for a generated file
    std::size_t stands = 0;   // a generated file's parking positions
    std::size_t helipads = 0;

    friend bool operator==(const ExpectedAirportFile&, const ExpectedAirportFile&) = default;
};

struct SceneryTree {
    std::filesystem::path base;         // the folder it was made in
    std::filesystem::path installPath;  // what the simulator's install path names
    std::filesystem::path scenario;     // the simulator model's world (facility data)
    bool msfs2024 = false;
    // The roots the scan resolves, in its order.
    std::vector<std::filesystem::path> roots;
    // Folders the cases live in, for tests that look at one.
    std::filesystem::path cyclePackage;   // holds "loop", a link back to itself
    std::filesystem::path outsideFolder;  // reached through two links in Community

    std::vector<AirportDataEntry> airports;  // the airports list
    std::vector<std::string> weeklyTraffic;  // codes with weekly traffic
    ArchivesBuilder archives;

    std::size_t packages = 0;  // package folders with a manifest
    std::size_t bglFiles = 0;  // every .bgl written

    // input/airports.enc, input/wktraffic.enc and input/archives.enc in the
    // working folder given.
    void writeDataFiles(const std::filesystem::path& workFolder) const;

    // What a full scan leaves: "my_simaddon/<file>" or "my_thirdparty/<file>"
    // -> the file; with the model running on the scenario (facilityData) or
    // without a simulator.
    std::map<std::string, ExpectedAirportFile> expectedFiles(bool facilityData) const;
    // The entries of tblo.zip (generated files of airports to be sent).
    std::set<std::string> expectedTblo(bool facilityData) const;

    // What each airport makes (filled by the maker).
    struct Outcome {
        std::string file;  // "my_thirdparty/KJFK.xml" ...; empty: nothing
        ExpectedAirportFile content;
    };
    std::map<std::string, Outcome> withoutFacilities, withFacilities;  // by code
};

SceneryTree makeSceneryTree(const std::filesystem::path& base, const SceneryTreeOptions& options);

}  // namespace tavo::test
