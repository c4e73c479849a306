// A scan killed at any moment: a child process scans a generated tree and is
// killed (SIGKILL) at random moments; the next start's recovery must leave
// both output folders exactly as they were before the scan or exactly as a
// full scan makes them, never a mixture and never half a folder.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/log.h"
#include "scan/airport_scan.h"
#include "scan_world.h"
#include "support/scenery_tree.h"
#include "support/tree_snapshot.h"

namespace fs = std::filesystem;
using namespace tavo::test;

namespace {

struct Folders {
    TreeSnapshot simaddon, thirdparty;
    friend bool operator==(const Folders&, const Folders&) = default;
};

// Generated files carry the day they were written; two scans on either
// side of midnight still make the same folders.
void maskDate(TreeSnapshot& snapshot) {
    static const std::string key = "name=\"date\" value=\"";
    for (auto& [name, content] : snapshot.entries) {
        const auto at = content.find(key);
        if (at == std::string::npos) continue;
        const auto end = content.find('"', at + key.size());
        if (end != std::string::npos) content.replace(at + key.size(), end - at - key.size(), "-");
    }
}

Folders folders() {
    Folders f{snapshotTree(mySimaddonDir), snapshotTree(myThirdpartyDir)};
    maskDate(f.simaddon);
    maskDate(f.thirdparty);
    return f;
}

// The folders as an older scan left them, and nothing of a scan in between.
void makeOldData() {
    for (const fs::path& folder : {mySimaddonDir, myThirdpartyDir}) {
        fs::remove_all(folder);
        fs::remove_all(lf_backupPath(folder));
    }
    fs::remove(scanMarkerFile);
    fs::remove_all(tbloDir);
    fs::create_directories(mySimaddonDir / "older");
    writeFile(mySimaddonDir / "EGLL.xml", "old EGLL");
    writeFile(mySimaddonDir / "older" / "note.txt", "kept with its folder");
    writeFile(myThirdpartyDir / "KJFK.xml", "old KJFK");
}

// A child process that runs the scan and ends; its id.
pid_t startScanChild() {
    gf_flushLog();
    const pid_t child = ::fork();
    if (child == 0) {
        gf_scanAirports();
        ::_exit(0);
    }
    return child;
}

int waitForChild(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return status;
}

class AirportScanKill : public ScanWorldTest {};

TEST_F(AirportScanKill, RecoveryAfterAKillLeavesTheOldOrTheNewFoldersExactly) {
    const SceneryTree tree = makeSceneryTree(dir() / "scenery", {false, 30, 4});
    tree.writeDataFiles(dir());
    ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
    MSFS_INSTALL_PATH.setValue(tree.installPath);

    makeOldData();
    const Folders old = folders();
    gf_scanAirports();
    const Folders full = folders();
    ASSERT_NE(full, old);
    ASSERT_EQ(full.thirdparty.entries.size(), tree.expectedFiles(false).size() - 3) << "the full scan found the tree";

    // How long a scan takes from the fork to its end, so that the kills
    // land before, inside and after it.
    makeOldData();
    const auto started = std::chrono::steady_clock::now();
    const int status = waitForChild(startScanChild());
    const auto scanTime = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(folders(), full);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(fmt::format("seed {}, scan {} ms", seed,
                             std::chrono::duration_cast<std::chrono::milliseconds>(scanTime).count()));
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::int64_t> moment(
        0, std::chrono::duration_cast<std::chrono::microseconds>(scanTime).count() * 11 / 10);
    int insideTransaction = 0, keptOld = 0, madeNew = 0;
    for (int kill = 0; kill < 30; ++kill) {
        SCOPED_TRACE(kill);
        makeOldData();
        const pid_t child = startScanChild();
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        ::kill(child, SIGKILL);
        waitForChild(child);
        if (fs::exists(scanMarkerFile)) ++insideTransaction;

        ASSERT_TRUE(lf_recoverAirportScan());
        const Folders after = folders();
        EXPECT_TRUE(after == old || after == full) << "my_simaddon " << describe(after.simaddon) << "\nmy_thirdparty "
                                                   << describe(after.thirdparty);
        keptOld += after == old ? 1 : 0;
        madeNew += after == full ? 1 : 0;
        EXPECT_FALSE(fs::exists(scanMarkerFile));
        EXPECT_FALSE(fs::exists(lf_backupPath(mySimaddonDir)));
        EXPECT_FALSE(fs::exists(lf_backupPath(myThirdpartyDir)));
    }
    EXPECT_GE(insideTransaction, 1) << "no kill landed while the scan replaced the folders (kept " << keptOld
                                    << ", new " << madeNew << ")";
}

}  // namespace
