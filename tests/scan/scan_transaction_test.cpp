#include "scan/scan_transaction.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::readFile;
using tavo::test::snapshotTree;
using tavo::test::TreeSnapshot;
using tavo::test::writeFile;

struct FolderTrees {
    TreeSnapshot simaddon, thirdparty;
    friend bool operator==(const FolderTrees&, const FolderTrees&) = default;
};

FolderTrees folderTrees() { return {snapshotTree(mySimaddonDir), snapshotTree(myThirdpartyDir)}; }

std::string describeTrees(const FolderTrees& f) {
    return "my_simaddon " + tavo::test::describe(f.simaddon) + ", my_thirdparty " + tavo::test::describe(f.thirdparty);
}

// The folders as a user has them before a scan.
void makeOld(bool simaddon, bool thirdparty) {
    fs::remove_all(airportsDir);
    fs::create_directories(airportsDir);
    writeFile(airportsDir / "my_park_airports.txt", "EGLL\n");
    if (simaddon) {
        fs::create_directories(mySimaddonDir / "sub");
        writeFile(mySimaddonDir / "EGLL.xml", "old simaddon EGLL");
        writeFile(mySimaddonDir / "sub" / "note.txt", "old note");
    }
    if (thirdparty) {
        fs::create_directories(myThirdpartyDir);
        writeFile(myThirdpartyDir / "KXYZ.xml", "old thirdparty KXYZ");
    }
}

// What a scan writes into the new folders, with the scan's fail point between
// the two folders' files.
void writeNew() {
    writeFile(mySimaddonDir / "KJFK.xml", "new simaddon KJFK");
    gf_scanFailPoint(ScanFailPoint::duringScan);
    writeFile(myThirdpartyDir / "KXYZ.xml", "new thirdparty KXYZ");
    writeFile(myThirdpartyDir / "LFPG.txt", "new link");
}

bool noLeftovers() {
    return !fs::exists(scanMarkerFile) && !fs::exists(lf_backupPath(mySimaddonDir)) &&
           !fs::exists(lf_backupPath(myThirdpartyDir));
}

std::error_code denied() { return std::make_error_code(std::errc::permission_denied); }

class ScanTransactionTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        gf_setScanFailPointHook({});
        gf_osSetFaultHook({});
        TempWorkDirTest::TearDown();
    }

    // Runs `body` in a child process that ends with _exit(0) at the fail
    // point (point, index) and with _exit(1) when the body finishes without
    // reaching it. True when the child stopped at the point.
    static bool crashAt(ScanFailPoint point, int index, const std::function<void()>& body) {
        const pid_t child = ::fork();
        if (child == 0) {
            gf_setScanFailPointHook([point, index](ScanFailPoint p, int i) {
                if (p == point && i == index) ::_exit(0);
            });
            try {
                body();
            } catch (...) {
            }
            ::_exit(1);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

TEST_F(ScanTransactionTest, FirstRunCommitAndRollback) {
    makeOld(false, false);
    {
        AirportScanTransaction transaction;
        EXPECT_EQ(readFile(scanMarkerFile), "0 0\n");
        EXPECT_TRUE(fs::is_directory(mySimaddonDir));
        EXPECT_TRUE(fs::is_empty(myThirdpartyDir));
        writeNew();
        transaction.commit();
    }
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(readFile(mySimaddonDir / "KJFK.xml"), "new simaddon KJFK");
    EXPECT_EQ(readFile(myThirdpartyDir / "KXYZ.xml"), "new thirdparty KXYZ");

    makeOld(false, false);
    {
        AirportScanTransaction transaction;
        writeNew();
    }
    EXPECT_TRUE(noLeftovers());
    EXPECT_FALSE(fs::exists(mySimaddonDir));
    EXPECT_FALSE(fs::exists(myThirdpartyDir));
    EXPECT_EQ(readFile(airportsDir / "my_park_airports.txt"), "EGLL\n");
}

TEST_F(ScanTransactionTest, CommitReplacesAndRollbackRestores) {
    makeOld(true, true);
    const FolderTrees old = folderTrees();
    {
        AirportScanTransaction transaction;
        EXPECT_EQ(readFile(scanMarkerFile), "1 1\n");
        EXPECT_EQ(snapshotTree(lf_backupPath(mySimaddonDir)), old.simaddon);
        writeNew();
    }
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(folderTrees(), old) << describeTrees(folderTrees());
    {
        AirportScanTransaction transaction;
        writeNew();
        transaction.commit();
    }
    EXPECT_TRUE(noLeftovers());
    EXPECT_FALSE(fs::exists(mySimaddonDir / "EGLL.xml"));
    EXPECT_EQ(readFile(mySimaddonDir / "KJFK.xml"), "new simaddon KJFK");
}

TEST_F(ScanTransactionTest, CrashAfterBeginWithOnlySimaddon) {
    makeOld(true, false);
    const FolderTrees old = folderTrees();
    ASSERT_TRUE(crashAt(ScanFailPoint::duringScan, 0, [] {
        AirportScanTransaction transaction;
        writeNew();
        transaction.commit();
    }));
    EXPECT_EQ(readFile(scanMarkerFile), "1 0\n");
    EXPECT_TRUE(fs::exists(myThirdpartyDir));
    ASSERT_TRUE(lf_recoverAirportScan());
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(folderTrees(), old) << describeTrees(folderTrees());
    EXPECT_FALSE(fs::exists(myThirdpartyDir));
}

TEST_F(ScanTransactionTest, LeftoverBackupWithoutMarkerIsRemoved) {
    makeOld(true, true);
    const FolderTrees current = folderTrees();
    fs::create_directories(lf_backupPath(myThirdpartyDir) / "deep");
    writeFile(lf_backupPath(myThirdpartyDir) / "deep" / "KXYZ.xml", "stale");
    ASSERT_TRUE(lf_recoverAirportScan());
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(folderTrees(), current);

    // A backup that cannot be removed fails the recovery, and a scan does not start.
    fs::create_directories(lf_backupPath(mySimaddonDir));
    gf_osSetFaultHook([](OsOperation op, const fs::path& from, const fs::path&) {
        return op == OsOperation::removeTree && from == lf_backupPath(mySimaddonDir) ? denied() : std::error_code{};
    });
    EXPECT_FALSE(lf_recoverAirportScan());
    try {
        AirportScanTransaction transaction;
        FAIL() << "began";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "could not recover airport data from an interrupted scan");
    }
    EXPECT_FALSE(fs::exists(scanMarkerFile));
    EXPECT_EQ(folderTrees(), current);
}

TEST_F(ScanTransactionTest, CommitWithoutMarkerFailsAndRollsBack) {
    makeOld(true, true);
    const FolderTrees old = folderTrees();
    {
        AirportScanTransaction transaction;
        writeNew();
        fs::remove(scanMarkerFile);
        try {
            transaction.commit();
            FAIL() << "committed";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "could not commit airport scan transaction: " +
                          std::make_error_code(std::errc::no_such_file_or_directory).message());
        }
    }
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(folderTrees(), old) << describeTrees(folderTrees());
}

// The rollback must not remove a folder that was never moved aside: when the
// first folder cannot be preserved, both of the user's folders stay.
TEST_F(ScanTransactionTest, FailedPreserveKeepsBothOriginalFolders) {
    for (int failing = 0; failing < 2; ++failing) {
        makeOld(true, true);
        const FolderTrees old = folderTrees();
        const fs::path folder = failing == 0 ? mySimaddonDir : myThirdpartyDir;
        gf_osSetFaultHook([folder](OsOperation op, const fs::path& from, const fs::path&) {
            return op == OsOperation::renameFolder && from == folder ? denied() : std::error_code{};
        });
        try {
            AirportScanTransaction transaction;
            FAIL() << "began";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "could not preserve " + folder.string() +
                                                 " before airport scan: " + denied().message());
        }
        gf_osSetFaultHook({});
        EXPECT_TRUE(noLeftovers()) << failing;
        EXPECT_EQ(folderTrees(), old) << failing << ": " << describeTrees(folderTrees());
    }
}

TEST_F(ScanTransactionTest, FailedCreationsAndMarker) {
    struct Case {
        OsOperation op;
        fs::path path;
        std::string message;
    } cases[] = {
        {OsOperation::createFolder, myThirdpartyDir,
         "could not create airport scan folder airports/my_thirdparty: " + denied().message()},
        {OsOperation::createFolder, mySimaddonDir,
         "could not create airport scan folder airports/my_simaddon: " + denied().message()},
        {OsOperation::createFolder, airportsDir, "could not create airports folder: " + denied().message()},
        {OsOperation::replace, scanMarkerFile, "could not create airport scan transaction marker"},
    };
    for (const auto& c : cases) {
        for (bool existing : {true, false}) {
            makeOld(existing, existing);
            const FolderTrees old = folderTrees();
            gf_osSetFaultHook([&c](OsOperation op, const fs::path& from, const fs::path&) {
                return op == c.op && from == c.path ? denied() : std::error_code{};
            });
            try {
                AirportScanTransaction transaction;
                ADD_FAILURE() << "began";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), c.message);
            }
            gf_osSetFaultHook({});
            EXPECT_TRUE(noLeftovers()) << c.message;
            EXPECT_EQ(folderTrees(), old) << c.message << ": " << describeTrees(folderTrees());
        }
    }
}

TEST_F(ScanTransactionTest, UnreadableMarkerSkipsTheScanAndTouchesNothing) {
    const char* bad[] = {"", "garbage", "2 0\n", "1  0\n", "1 0 \n", "10\n", "1 0\n\n"};
    for (const char* text : bad) {
        makeOld(true, true);
        fs::create_directories(lf_backupPath(mySimaddonDir));
        writeFile(scanMarkerFile, text);
        const FolderTrees before = folderTrees();
        const TreeSnapshot backup = snapshotTree(lf_backupPath(mySimaddonDir));
        EXPECT_FALSE(lf_recoverAirportScan()) << text;
        EXPECT_THROW(AirportScanTransaction(), std::runtime_error);
        EXPECT_EQ(readFile(scanMarkerFile), text);
        EXPECT_EQ(folderTrees(), before) << text;
        EXPECT_EQ(snapshotTree(lf_backupPath(mySimaddonDir)), backup);
    }
    // A marker without its line feed reads.
    makeOld(true, false);
    writeFile(scanMarkerFile, "1 0");
    EXPECT_TRUE(lf_recoverAirportScan());
    EXPECT_TRUE(noLeftovers());
    EXPECT_TRUE(fs::exists(mySimaddonDir / "EGLL.xml"));
}

TEST_F(ScanTransactionTest, RollbackThatCannotFinishLeavesTheMarker) {
    makeOld(true, true);
    const FolderTrees old = folderTrees();
    gf_osSetFaultHook([](OsOperation op, const fs::path& from, const fs::path&) {
        return op == OsOperation::removeTree && from == mySimaddonDir ? denied() : std::error_code{};
    });
    {
        AirportScanTransaction transaction;
        writeNew();
    }
    EXPECT_TRUE(fs::exists(scanMarkerFile));
    // The other folder was restored all the same.
    EXPECT_EQ(snapshotTree(myThirdpartyDir), old.thirdparty);
    gf_osSetFaultHook({});
    ASSERT_TRUE(lf_recoverAirportScan());
    EXPECT_TRUE(noLeftovers());
    EXPECT_EQ(folderTrees(), old) << describeTrees(folderTrees());
}

// Every fail point, with the old folders both there, only my_simaddon there or
// neither: a child process begins, writes the new folders and commits (or
// rolls back) and ends at the point; the next recovery leaves the old folders
// or the new ones, with no marker and no backup.
TEST_F(ScanTransactionTest, CrashAtEveryFailPointIsRecovered) {
    const ScanFailPoint points[] = {
        ScanFailPoint::afterMarker,          ScanFailPoint::afterPreserve,       ScanFailPoint::afterCreate,
        ScanFailPoint::duringScan,           ScanFailPoint::afterCommitMarkerDelete,
        ScanFailPoint::rollbackAfterRemove,  ScanFailPoint::rollbackAfterRestore,
    };
    std::set<std::pair<int, int>> reached;
    const std::pair<bool, bool> starts[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const auto& [simaddon, thirdparty] : starts) {
        for (bool commit : {true, false}) {
            // The new folders of a finished scan.
            makeOld(simaddon, thirdparty);
            {
                AirportScanTransaction transaction;
                writeNew();
                transaction.commit();
            }
            const FolderTrees fresh = folderTrees();
            for (ScanFailPoint point : points) {
                for (int index = 0; index < 2; ++index) {
                    makeOld(simaddon, thirdparty);
                    const FolderTrees old = folderTrees();
                    const bool stopped = crashAt(point, index, [commit] {
                        AirportScanTransaction transaction;
                        writeNew();
                        if (commit) transaction.commit();
                    });
                    if (!stopped) continue;
                    reached.insert({static_cast<int>(point), index});
                    const std::string where = std::to_string(static_cast<int>(point)) + "/" + std::to_string(index) +
                                              (commit ? " commit" : " rollback") + " start " +
                                              std::to_string(simaddon) + std::to_string(thirdparty);
                    ASSERT_TRUE(lf_recoverAirportScan()) << where;
                    EXPECT_TRUE(noLeftovers()) << where;
                    const FolderTrees now = folderTrees();
                    const bool committed = point == ScanFailPoint::afterCommitMarkerDelete;
                    EXPECT_EQ(now, committed ? fresh : old) << where << ": " << describeTrees(now);
                }
            }
        }
    }
    for (ScanFailPoint point : points) {
        for (int index = 0; index < 2; ++index) {
            const bool perFolder = point == ScanFailPoint::afterPreserve || point == ScanFailPoint::afterCreate ||
                                   point == ScanFailPoint::rollbackAfterRemove ||
                                   point == ScanFailPoint::rollbackAfterRestore;
            if (index == 1 && !perFolder) continue;
            EXPECT_TRUE(reached.contains({static_cast<int>(point), index}))
                << "fail point " << static_cast<int>(point) << "/" << index << " never reached";
        }
    }
}

// A recovery that ends at one of its own steps completes at the next attempt.
TEST_F(ScanTransactionTest, RecoveryStoppedAtEachStepCompletesNextTime) {
    const std::pair<bool, bool> starts[] = {{true, true}, {true, false}, {false, true}};
    std::set<std::pair<int, int>> reached;
    for (const auto& [simaddon, thirdparty] : starts) {
        for (ScanFailPoint point : {ScanFailPoint::recoveryAfterRemove, ScanFailPoint::recoveryAfterRestore}) {
            for (int index = 0; index < 2; ++index) {
                makeOld(simaddon, thirdparty);
                const FolderTrees old = folderTrees();
                ASSERT_TRUE(crashAt(ScanFailPoint::duringScan, 0, [] {
                    AirportScanTransaction transaction;
                    writeNew();
                }));
                if (!crashAt(point, index, [] { lf_recoverAirportScan(); })) continue;
                reached.insert({static_cast<int>(point), index});
                EXPECT_TRUE(fs::exists(scanMarkerFile));
                ASSERT_TRUE(lf_recoverAirportScan());
                EXPECT_TRUE(noLeftovers());
                EXPECT_EQ(folderTrees(), old) << describeTrees(folderTrees());
            }
        }
        // Without a marker: leftover backups of a commit that ended early.
        for (int index = 0; index < 2; ++index) {
            makeOld(simaddon, thirdparty);
            ASSERT_TRUE(crashAt(ScanFailPoint::afterCommitMarkerDelete, 0, [] {
                AirportScanTransaction transaction;
                writeNew();
                transaction.commit();
            }));
            const FolderTrees fresh = folderTrees();
            if (!crashAt(ScanFailPoint::recoveryAfterBackupRemove, index, [] { lf_recoverAirportScan(); })) continue;
            reached.insert({static_cast<int>(ScanFailPoint::recoveryAfterBackupRemove), index});
            ASSERT_TRUE(lf_recoverAirportScan());
            EXPECT_TRUE(noLeftovers());
            EXPECT_EQ(folderTrees(), fresh);
        }
    }
    for (ScanFailPoint point : {ScanFailPoint::recoveryAfterRemove, ScanFailPoint::recoveryAfterRestore,
                                ScanFailPoint::recoveryAfterBackupRemove}) {
        for (int index = 0; index < 2; ++index) {
            EXPECT_TRUE(reached.contains({static_cast<int>(point), index}))
                << "fail point " << static_cast<int>(point) << "/" << index << " never reached";
        }
    }
}

}  // namespace
