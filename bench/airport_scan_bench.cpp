// The airport scan of a full MSFS 2024 scenery collection, warm (the tree in
// the page cache) and without a simulator (no facility data: every airport
// goes the BGL reader's way): 200 scenery packages with 2,000 BGL files in
// Community beside the streamed packages and the other roots (the tests'
// tree of 10 packages on small inputs).
//
// Budget: under 1 s for the whole scan (recovery, data files, the
// transaction, every root walked, every BGL probed, 200 airports read from
// their BGL files and written, the scan log, the TBLO archive zipped and the
// commit); shown beside a baseline in the same run that walks the same roots
// with the standard recursive iterator and reads the header of every BGL
// file with plain reads.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "airports/airports_list.h"
#include "bench_size.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "platform/simconnect/sim_model.h"
#include "scan/airport_generation.h"
#include "scan/airport_scan.h"
#include "scan/scan_log.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "support/scenery_tree.h"
#include "support/scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The scan writes AirportsScanLog.txt into the program's data folder: here a
// temporary one, never the user's, announced before anything asks for it.
struct BenchDataFolder {
    tavo::test::ScopedTempDir dir;
    BenchDataFolder() { ::setenv("TAVO_APPDATA_DIR", dir.path().c_str(), 1); }
};
const BenchDataFolder g_benchDataFolder;

// The tree, made once per run and removed at its end.
struct BenchTree {
    tavo::test::ScopedTempDir dir;
    tavo::test::SceneryTree tree = tavo::test::makeSceneryTree(
        dir.path() / "scenery", {true, gf_benchSize<std::size_t>(200, 10), gf_benchSize<std::size_t>(10, 3)});
};

const BenchTree& lf_benchTree() {
    static const auto made = std::make_unique<BenchTree>();
    return *made;
}

// A working folder with the data files, the airports list loaded, MSFS 2024
// chosen with its install path on the tree and no simulator running.
class ScanSetting {
public:
    explicit ScanSetting(const tavo::test::SceneryTree& tree) {
        tree.writeDataFiles(work_.path());
        gf_unloadAirportsForTests();
        loaded_ = std::holds_alternative<std::size_t>(gf_loadAirports());
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 0}));
        MSFS_2024_INSTALL_PATH.setValue(tree.installPath);
        gf_simModelReset();
        gf_gui().attachGuiThread();  // the scan's window updates are applied at once
    }
    ~ScanSetting() {
        MSFS_2024_INSTALL_PATH.setValue({});
        gf_unloadAirportsForTests();
    }
    bool loaded() const { return loaded_; }

private:
    tavo::test::ScopedWorkDir work_;
    bool loaded_ = false;
};

void BM_AirportScanTree2024(benchmark::State& state) {
    const BenchTree& bench = lf_benchTree();
    ScanSetting setting(bench.tree);
    if (!setting.loaded()) {
        state.SkipWithError("the airports list did not load");
        return;
    }
    if (!gf_airportsScanLogPath().string().starts_with(g_benchDataFolder.dir.path().string())) {
        state.SkipWithError("the program's data folder is not the benchmark's own");
        return;
    }
    fs::create_directories(gf_airportsScanLogPath().parent_path());
    gf_scanAirports();  // warms the page cache
    for (auto _ : state) gf_scanAirports();
    const std::size_t files = gf_countAirportFiles(mySimaddonDir) + gf_countAirportFiles(myThirdpartyDir);
    if (files != bench.tree.expectedFiles(false).size()) state.SkipWithError("airport files lost on the way");
    state.counters["airport_files"] = static_cast<double>(files);
    state.counters["packages"] = static_cast<double>(bench.tree.packages);
    state.counters["bgl_files"] = static_cast<double>(bench.tree.bglFiles);
}
BENCHMARK(BM_AirportScanTree2024)->Unit(benchmark::kMillisecond)->Iterations(3);

// The plainest known way to look at the same files: the standard recursive
// walk of each root and the header of each BGL file read.
void BM_AirportScanTree2024Baseline(benchmark::State& state) {
    const BenchTree& bench = lf_benchTree();
    std::size_t files = 0, sections = 0;
    const auto readAll = [&] {
        files = sections = 0;
        for (const fs::path& root : bench.tree.roots) {
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
                if (!entry.is_regular_file() || gf_toLowerAscii(entry.path().extension().string()) != ".bgl") {
                    continue;
                }
                std::ifstream in(entry.path(), std::ios::binary);
                std::array<char, 56> header{};
                in.read(header.data(), header.size());
                if (in.gcount() == static_cast<std::streamsize>(header.size())) {
                    sections += static_cast<unsigned char>(header[20]);
                    ++files;
                }
            }
        }
    };
    readAll();  // warms the page cache
    for (auto _ : state) {
        readAll();
        benchmark::DoNotOptimize(sections);
    }
    // The folder outside the roots is reached only through links, which the
    // plain walk does not follow.
    if (files + 1 != bench.tree.bglFiles) state.SkipWithError("BGL files missed");
    state.counters["bgl_files"] = static_cast<double>(files);
}
BENCHMARK(BM_AirportScanTree2024Baseline)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
