// The liveries scan of a full collection of AI packages, warm (the tree in
// the page cache): 25,000 liveries in about 600 aircraft.cfg among 150,000
// files, found through the Community folder of the install path (the tests'
// small tree, about 300 liveries, on small inputs).
//
// Budget: under 3 s for the whole scan (package folders found, every root
// walked in name order, every aircraft.cfg read and its sections parsed,
// merged, reported, the file written and replaced); shown beside a baseline
// in the same run that walks the same tree with the standard recursive
// iterator and reads every aircraft.cfg whole with plain reads.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench_size.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "liveries/liveries_scan.h"
#include "liveries/scanned_liveries.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/package_tree.h"
#include "support/scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The tree, made once per run and removed at its end.
struct BenchTree {
    tavo::test::ScopedTempDir dir;
    tavo::test::PackageTree tree = tavo::test::makePackageTree(
        dir.path() / "sim", gf_benchSize(tavo::test::PackageTreeSize::large, tavo::test::PackageTreeSize::small));
};

const BenchTree& lf_benchTree() {
    static const auto made = std::make_unique<BenchTree>();
    return *made;
}

// A working folder with the start's folders, the small aircraft database
// loaded and the install path pointing at the tree, for one benchmark.
class ScanSetting {
public:
    explicit ScanSetting(const fs::path& packagesRoot) {
        for (const fs::path& folder : {outputInfoDir, outputErrorsDir, myRegcodesPath}) fs::create_directories(folder);
        tavo::test::resetToSmallDbase();
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 0}));
        MSFS_2024_INSTALL_PATH.setValue(packagesRoot);
        gf_gui().attachGuiThread();  // the scan's window updates are applied at once
    }
    ~ScanSetting() { MSFS_2024_INSTALL_PATH.setValue({}); }

private:
    tavo::test::ScopedWorkDir work_;
};

void BM_LiveriesScanPackageTree(benchmark::State& state) {
    const BenchTree& bench = lf_benchTree();
    ScanSetting setting(bench.tree.packagesRoot);
    gf_scanLiveries();  // warms the page cache
    for (auto _ : state) gf_scanLiveries();
    const std::size_t found = bench.tree.predict(bench.tree.automaticRoots(), false).size();
    if (gf_gui().liveriesCount == 0 || gf_gui().liveriesCount > found) state.SkipWithError("liveries lost on the way");
    // Found in the roots, and kept once each airline and model keeps only its
    // preferred package's liveries.
    state.counters["liveries"] = static_cast<double>(found);
    state.counters["kept"] = static_cast<double>(gf_gui().liveriesCount);
    state.counters["cfg_files"] = static_cast<double>(bench.tree.cfgFiles);
    state.counters["files"] = static_cast<double>(bench.tree.files);
    scannedLiveries.clear();
}
BENCHMARK(BM_LiveriesScanPackageTree)->Unit(benchmark::kMillisecond)->Iterations(3);

// The plainest known way to read the same files: the standard recursive walk
// of each root the scan walks and each aircraft.cfg read whole.
void BM_LiveriesScanPackageTreeBaseline(benchmark::State& state) {
    const BenchTree& bench = lf_benchTree();
    std::size_t files = 0, bytes = 0;
    const auto readAll = [&] {
        files = bytes = 0;
        for (const fs::path& root : bench.tree.automaticRoots()) {
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
                if (!entry.is_regular_file() || gf_toLowerAscii(entry.path().filename().string()) != "aircraft.cfg") {
                    continue;
                }
                std::ifstream in(entry.path(), std::ios::binary);
                const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                bytes += text.size();
                ++files;
            }
        }
    };
    readAll();  // warms the page cache
    for (auto _ : state) {
        readAll();
        benchmark::DoNotOptimize(bytes);
    }
    if (files == 0) state.SkipWithError("no aircraft.cfg read");
    state.counters["cfg_files"] = static_cast<double>(files);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LiveriesScanPackageTreeBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
