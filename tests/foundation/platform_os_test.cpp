#include <cstdlib>
#include <functional>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <type_traits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/files.h"
#include "platform/os/os.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace {

// A file operation's result cannot be tested as a bool: as a plain error code
// it read "true" on failure, and `if (!move(...))` meant "if it moved".
static_assert(!std::is_convertible_v<OsResult, bool>);
static_assert(!std::is_constructible_v<bool, OsResult>);

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using tavo::test::readFile;
using tavo::test::writeFile;

using tavo::test::ScopedEnv;

std::ptrdiff_t entriesHere() { return std::distance(fs::directory_iterator("."), fs::directory_iterator()); }

TEST(KnownFolders, OwnVariableThenXdgThenHome) {
    ScopedEnv env;
    env.set("TAVO_APPDATA_DIR", "/own/roaming");
    env.set("TAVO_LOCALAPPDATA_DIR", "/own/local");
    env.set("XDG_CONFIG_HOME", "/xdg/config");
    env.set("XDG_DATA_HOME", "/xdg/data");
    env.set("HOME", "/home/pilot");
    EXPECT_EQ(gf_getAppDataPath(), fs::path("/own/roaming"));
    EXPECT_EQ(gf_getLocalAppDataPath(), fs::path("/own/local"));
    env.set("TAVO_APPDATA_DIR", "");  // empty counts as unset
    env.set("TAVO_LOCALAPPDATA_DIR", std::nullopt);
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::roamingAppData), fs::path("/xdg/config"));
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::localAppData), fs::path("/xdg/data"));
    env.set("XDG_CONFIG_HOME", std::nullopt);
    env.set("XDG_DATA_HOME", "");
    EXPECT_EQ(gf_getAppDataPath(), fs::path("/home/pilot/.config"));
    EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::localAppData), fs::path("/home/pilot/.local/share"));
}

using OsFilesTest = tavo::test::TempWorkDirTest;
using OsSyncTest = tavo::test::LogFileTest;

TEST_F(OsFilesTest, ReplaceCopyMoveAndRemove) {
    ASSERT_TRUE(gf_osReplaceFileContent("f.bin", std::string("a\0b", 3)).succeeded());
    ASSERT_EQ(::chmod("f.bin", 0600), 0);
    ASSERT_TRUE(gf_osReplaceFileContent("f.bin", "second").succeeded());
    EXPECT_EQ(readFile("f.bin"), "second");
    EXPECT_EQ(entriesHere(), 1);  // no temporary file left
    struct stat info {};
    ASSERT_EQ(::stat("f.bin", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a restricted file stays restricted";
    writeFile("dst", "old");
    EXPECT_TRUE(gf_osCopyFile("f.bin", "dst").succeeded());
    EXPECT_EQ(readFile("dst"), "second");
    EXPECT_TRUE(gf_osCopyFile("absent", "dst").failed());
    EXPECT_TRUE(gf_osMoveFile("dst", "moved", true).succeeded());
    EXPECT_TRUE(gf_osMoveFile("moved", "f.bin", false).succeeded());
    EXPECT_EQ(readFile("f.bin"), "second");
    EXPECT_EQ(gf_osMoveFile("absent", "f.bin", true).error(), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(gf_osRemoveFile("f.bin").succeeded());
    EXPECT_TRUE(gf_osRemoveFile("f.bin").succeeded());  // already gone: no error
    EXPECT_EQ(entriesHere(), 0);
    // A folder in the target's place: failure, and the temporary file goes.
    fs::create_directory("folder");
    EXPECT_TRUE(gf_osReplaceFileContent("folder", "x").failed());
    EXPECT_EQ(entriesHere(), 1);
}

TEST_F(OsFilesTest, MoveAcrossFileSystemsCopies) {
    const fs::path other = "/dev/shm";
    struct stat here {}, there {};
    if (::stat(".", &here) != 0 || ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    const fs::path source = other / ("tavo-move-" + std::to_string(::getpid()));
    writeFile(source, "across");
    writeFile("target", "old");
    EXPECT_TRUE(gf_osMoveFile(source, "target", true).succeeded());
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(readFile("target"), "across");
}

std::string op(OsOperation operation) { return std::to_string(static_cast<int>(operation)); }

TEST_F(OsFilesTest, FaultHookSeesEveryOperationWithItsPaths) {
    std::vector<std::string> seen;
    ScopedOsLaunchRecorder recorder;
    {
        ScopedOsFaultHook hook([&seen](OsOperation op, const fs::path& from, const fs::path& to) {
            seen.push_back(std::to_string(static_cast<int>(op)) + ":" + from.string() + ">" + to.string());
            return std::make_error_code(std::errc::io_error);
        });
        writeFile("x", "1");
        EXPECT_EQ(gf_osMoveFile("x", "y", true).error(), std::errc::io_error);
        EXPECT_EQ(gf_osCopyFile("x", "y").error(), std::errc::io_error);
        EXPECT_EQ(gf_osRemoveFile("x").error(), std::errc::io_error);
        EXPECT_EQ(gf_osReplaceFileContent("x", "2").error(), std::errc::io_error);
        EXPECT_FALSE(gf_osOpenInFileManager("folder"));
        fs::create_directory("d");
        EXPECT_EQ(gf_osRenameFolder("d", "e").error(), std::errc::io_error);
        EXPECT_EQ(gf_osRemoveTree("d").error(), std::errc::io_error);
        EXPECT_EQ(gf_osCreateFolder("f").error(), std::errc::io_error);
    }
    EXPECT_THAT(seen, ElementsAre("0:x>y", "1:x>y", "2:x>", "3:x>", "4:folder>", op(OsOperation::renameFolder) + ":d>e",
                                  op(OsOperation::removeTree) + ":d>", op(OsOperation::createFolder) + ":f>"));
    EXPECT_TRUE(fs::is_directory("d"));
    EXPECT_FALSE(fs::exists("e"));
    EXPECT_FALSE(fs::exists("f"));
    EXPECT_EQ(readFile("x"), "1");  // nothing was done
    EXPECT_FALSE(fs::exists("y"));
    EXPECT_TRUE(recorder.launches().empty());
    EXPECT_TRUE(gf_osRemoveFile("x").succeeded());  // without the hook everything works again
}

TEST_F(OsFilesTest, FolderRenameOnlyOntoAMissingPathRemoveAndCreate) {
    fs::create_directories("a/sub");
    writeFile("a/sub/file", "content");
    fs::create_directory("empty");
    writeFile("file", "x");
    // Neither an empty folder nor a file is replaced.
    EXPECT_EQ(gf_osRenameFolder("a", "empty").error(), std::errc::file_exists);
    EXPECT_EQ(gf_osRenameFolder("a", "file").error(), std::errc::file_exists);
    EXPECT_EQ(readFile("a/sub/file"), "content");
    EXPECT_TRUE(fs::is_empty("empty"));
    EXPECT_EQ(gf_osRenameFolder("missing", "b").error(), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(gf_osRenameFolder("a", "b").succeeded());
    EXPECT_EQ(readFile("b/sub/file"), "content");
    EXPECT_FALSE(fs::exists("a"));

    EXPECT_TRUE(gf_osCreateFolder("c/d/e").succeeded());
    EXPECT_TRUE(gf_osCreateFolder("c/d/e").succeeded());  // existing: no error
    EXPECT_TRUE(fs::is_directory("c/d/e"));
    EXPECT_TRUE(gf_osCreateFolder("file/x").failed());

    EXPECT_TRUE(gf_osRemoveTree("b").succeeded());
    EXPECT_FALSE(fs::exists("b"));
    EXPECT_TRUE(gf_osRemoveTree("b").succeeded());  // missing: no error
    EXPECT_TRUE(gf_osRemoveTree("file").succeeded());
    EXPECT_FALSE(fs::exists("file"));
    EXPECT_TRUE(gf_osSyncFolder("c").succeeded());
    EXPECT_TRUE(gf_osSyncFolder("").succeeded());
}

// Once the rename has put the file in place, a failing folder sync cannot
// undo it: the operation reports success (a caller would otherwise log a
// saved file as lost) and the sync error goes to the log.
TEST_F(OsSyncTest, AFolderSyncFailingAfterTheRenameIsLoggedNotReported) {
    const struct {
        const char* name;
        std::function<OsResult()> operation;
        const char* target;
    } cases[] = {
        {"replace", [] { return gf_osReplaceFileContent("a.txt", "new"); }, "a.txt"},
        {"copy", [] { return gf_osCopyFile("src.txt", "b.txt"); }, "b.txt"},
        {"move", [] { return gf_osMoveFile("src.txt", "c.txt", true); }, "c.txt"},
    };
    writeFile("a.txt", "old");
    writeFile("src.txt", "new");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int syncs = 0;
        ScopedOsFaultHook hook([&syncs](OsOperation op, const fs::path&, const fs::path&) {
            if (op != OsOperation::syncFolder) return std::error_code{};
            ++syncs;
            return std::make_error_code(std::errc::io_error);
        });
        EXPECT_TRUE(c.operation().succeeded());
        EXPECT_EQ(readFile(c.target), "new");
        EXPECT_GE(syncs, 1);
        const std::string logged = newLogLines();
        EXPECT_NE(logged.find(std::string("'") + c.target + "' is in place, but its folder could not be synced"),
                  std::string::npos)
            << logged;
    }
}

TEST(OpenInFileManager, RecordedInTestsAndReportedWhenItCannotStart) {
    {
        ScopedOsLaunchRecorder recorder;
        EXPECT_TRUE(gf_osOpenInFileManager("/some/folder"));
        EXPECT_THAT(recorder.launches(), ElementsAre(ElementsAre("xdg-open", "/some/folder")));
    }
    // The real launcher, on a stand-in program that ends at once: a program
    // that exists starts; one that is not on the PATH is reported.
    ScopedEnv env;
    tavo::test::ScopedTempDir tools;
    tavo::test::ScopedTempDir empty;
    const fs::path fake = tools.path() / "xdg-open";
    writeFile(fake, "#!/bin/sh\nexit 0\n");
    fs::permissions(fake, fs::perms::owner_all);
    env.set("PATH", tools.path().string());
    EXPECT_TRUE(gf_osOpenInFileManager("/tmp"));
    env.set("PATH", empty.path().string());
    EXPECT_FALSE(gf_osOpenInFileManager("/tmp"));
}

}  // namespace
