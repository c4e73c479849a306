// The liveries scan of a full collection of AI packages, warm (the tree in
// the page cache): 25,000 liveries in about 600 aircraft.cfg among 150,000
// files, found through the Community folder of the install path.
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

#include "foundation/files.h"
#include "foundation/text.h"
#include "liveries/dbase.h"
#include "liveries/liveries_scan.h"
#include "liveries/scanned_liveries.h"
#include "services/gui.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/package_tree.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The large tree, made once per run and removed at its end.
struct LargeTree {
    tavo::test::ScopedTempDir dir;
    tavo::test::PackageTree tree = tavo::test::makePackageTree(dir.path() / "sim", tavo::test::PackageTreeSize::large);
};

const LargeTree& lf_largeTree() {
    static const auto made = std::make_unique<LargeTree>();
    return *made;
}

// A working folder with the start's folders, the small aircraft database
// read and the install path pointing at the tree, for one benchmark.
class ScanSetting {
public:
    explicit ScanSetting(const fs::path& packagesRoot) : previous_(fs::current_path()) {
        fs::current_path(work_.path());
        for (const fs::path& folder : {outputInfoDir, outputErrorsDir, myRegcodesPath}) fs::create_directories(folder);
        tavo::test::DbaseBuilder::smallProfile().write(work_.path() / "dbase.enc");
        loaded_ = gf_readDbase(work_.path() / "dbase.enc");
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 0}));
        MSFS_2024_INSTALL_PATH.setValue(packagesRoot);
        gf_gui().attachGuiThread();  // the scan's window updates are applied at once
    }
    ~ScanSetting() {
        MSFS_2024_INSTALL_PATH.setValue({});
        fs::current_path(previous_);
    }
    bool loaded() const { return loaded_; }

private:
    tavo::test::ScopedTempDir work_;
    fs::path previous_;
    bool loaded_ = false;
};

void BM_LiveriesScanLargeTree(benchmark::State& state) {
    const LargeTree& large = lf_largeTree();
    ScanSetting setting(large.tree.packagesRoot);
    if (!setting.loaded()) state.SkipWithError("aircraft database not read");
    try {
        gf_scanLiveries();  // warms the page cache
        for (auto _ : state) gf_scanLiveries();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
    // Found in the roots, and kept once each airline and model keeps only its
    // preferred package's liveries.
    state.counters["liveries"] = static_cast<double>(large.tree.predict(large.tree.automaticRoots(), false).size());
    state.counters["kept"] = static_cast<double>(gf_gui().liveriesCount);
    state.counters["cfg_files"] = static_cast<double>(large.tree.cfgFiles);
    state.counters["files"] = static_cast<double>(large.tree.files);
    scannedLiveries.clear();
}
BENCHMARK(BM_LiveriesScanLargeTree)->Unit(benchmark::kMillisecond)->Iterations(3);

// The plainest known way to read the same files: the standard recursive walk
// of each root the scan walks and each aircraft.cfg read whole.
void BM_LiveriesScanLargeTreeBaseline(benchmark::State& state) {
    const LargeTree& large = lf_largeTree();
    std::size_t files = 0, bytes = 0;
    const auto readAll = [&] {
        files = bytes = 0;
        for (const fs::path& root : large.tree.automaticRoots()) {
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
    state.counters["cfg_files"] = static_cast<double>(files);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LiveriesScanLargeTreeBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
