#pragma once
// A simulator's package tree as the liveries scan meets it, made on disk for
// tests and benchmarks: a packages root holding Community, Official and
// Official2024, the AI packages in Community under the names the automatic
// scan looks for (with the folders it must pass by), their aircraft.cfg files
// with [fltsim.N] sections, texture folders with their files, manifest.json
// and layout.json as real packages carry them (nothing reads those), and
// UserCfg.opt files whose InstalledPackagesPath line names the root.
//
// The tree is made in a folder the caller gives (a temporary one); nothing of
// it is kept in the repository. The generator knows every livery it wrote and
// which package folder a scan finds it in, and predicts the records a scan of
// given roots writes.
//
// The codes used are those of the small aircraft database of the tests
// (support/dbase_builder.h), so the scan knows every airline and model.
// Registrations ("TV-" and four letters) are none the database knows.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace tavo::test {

enum class PackageTreeSize {
    small,  // about 300 liveries, 2,000 files: for tests
    large,  // 25,000 liveries in about 600 aircraft.cfg, 150,000 files: for benchmarks
};

struct PackageLivery {
    std::string title;
    std::string registration;  // empty when the section has no atc_id
    std::string airline;
    std::string model;
    bool cargo = false;
    // The package folder (as listed in Community, links not resolved) whose
    // walk finds this livery; empty for a livery no scan of a package may
    // find (behind a skip word, a link, a too long path, a wrong file name).
    std::filesystem::path package;
    std::int16_t priority = 0;  // set by predict()

    friend bool operator==(const PackageLivery&, const PackageLivery&) = default;
};

struct PackageTree {
    std::filesystem::path base;          // the folder the tree was made in
    std::filesystem::path packagesRoot;  // what InstalledPackagesPath names
    std::filesystem::path community;
    // Point roaming and local AppData here ($TAVO_APPDATA_DIR and
    // $TAVO_LOCALAPPDATA_DIR): the simulators' UserCfg.opt files are in
    // roaming AppData, "Microsoft Flight Simulator" and "... 2024".
    std::filesystem::path roamingAppData;
    std::filesystem::path localAppData;

    // The folders of Community, in listing order (scenery packages between them).
    std::filesystem::path aig;          // "aig-aitraffic-oci"
    std::filesystem::path aigBeta;      // "aig-aitraffic-oci-beta": AIG only with MSFS 2020 and none listed before it
    std::filesystem::path fsltl;        // "fsltl-traffic-base"
    std::filesystem::path fsltlSecond;  // "fsltl-traffic-base-liveries": the second FSLTL folder, never taken
    std::filesystem::path mtl;          // "IVAO_MTL_v2" holding IVAO_MTL
    std::filesystem::path jf;           // "justflight-aircraft-traffic-fleet", a link to a folder outside
    std::filesystem::path userAitrafficCvt;      // "user-aitraffic_CVT_": never a root
    std::filesystem::path userAitraffic;         // "user-aitraffic_mine"
    std::vector<std::filesystem::path> scenery;  // scenery packages named with skip words
    // Community also holds "user-aitraffic-backup.zip", a file listed before
    // the user-aitraffic folders.

    std::vector<PackageLivery> liveries;  // every livery written, found or not
    std::size_t cfgFiles = 0;             // files named aircraft.cfg in any letter case
    std::size_t files = 0;                // every file written

    // The roots of an automatic scan with the choice "AIG, FSLTL, JF, MTL"
    // for MSFS 2024: AIG, FSLTL, JF, MTL, then user-aitraffic.
    std::vector<std::filesystem::path> automaticRoots() const;

    // The records a scan of these roots (each an existing package folder, in
    // order of preference) writes: the liveries of each root with its
    // priority (1, 2, ... up to 10), without the don't-use titles; with
    // `prioritize` and more than one root, for each airline, model and cargo
    // flag only the records of the best priority that has any. Sorted by
    // airline, model, cargo, title and registration (texts).
    std::vector<PackageLivery> predict(const std::vector<std::filesystem::path>& roots, bool prioritize,
                                       const std::set<std::string>& dontUse = {}) const;
    // The liveries found in one package folder, in file and section order.
    std::vector<PackageLivery> liveriesOf(const std::filesystem::path& package) const;
};

// Makes the tree in `base` (created when missing). Throws
// std::runtime_error when the base path is too long for the tree's 250-byte
// folder, or std::filesystem::filesystem_error when a file cannot be written.
PackageTree makePackageTree(const std::filesystem::path& base, PackageTreeSize size);

}  // namespace tavo::test
