#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/os/installer.h"
#include "platform/os/os.h"
#include "support/package_files.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::FakeInstaller;
using tavo::test::readFile;
using tavo::test::writeFile;

class InstallerOsTest : public tavo::test::TempWorkDirTest {
protected:
    void TearDown() override {
        gf_osSetFaultHook({});
        gf_osSetElevated(std::nullopt);
        gf_osSetProgramFilesFolders(std::nullopt);
        TempWorkDirTest::TearDown();
    }
    ProductVersionResult readOf(const FakeInstaller& installer) {
        writeFile("setup.exe", installer.bytes());
        return gf_osReadProductVersion("setup.exe");
    }
};

struct VersionCase {
    const char* name;
    FakeInstaller installer;
    bool ok;
    ProductVersionNumbers expected;
};

FakeInstaller lf_with(void (*change)(FakeInstaller&)) {
    FakeInstaller installer;
    change(installer);
    return installer;
}

TEST_F(InstallerOsTest, ProductVersionIsReadFromTheFixedFileInfoBlock) {
    const VersionCase cases[] = {
        {"resource block", FakeInstaller{}, true, {16, 9, 0, 7}},
        {"block without the resource header", lf_with([](FakeInstaller& i) { i.withKey = false; }), true,
         {16, 9, 0, 7}},
        {"the resource's block wins over a code constant before it",
         lf_with([](FakeInstaller& i) { i.decoyBefore = true; }), true, {16, 9, 0, 7}},
        {"no signature", lf_with([](FakeInstaller& i) { i.withSignature = false; }), false, {}},
        {"declared value shorter than 52 bytes", lf_with([](FakeInstaller& i) { i.valueLength = 48; }), false, {}},
        {"file ends inside the block", lf_with([](FakeInstaller& i) { i.blockBytes = 40; }), false, {}},
        {"file ends inside a block without header",
         lf_with([](FakeInstaller& i) {
             i.withKey = false;
             i.blockBytes = 51;
         }),
         false, {}},
        {"large numbers",
         lf_with([](FakeInstaller& i) {
             i.productVersion[0] = 65535;
             i.productVersion[1] = 1;
             i.productVersion[2] = 40000;
             i.productVersion[3] = 2;
         }),
         true, {65535, 1, 40000, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = readOf(c.installer);
        if (!c.ok) {
            EXPECT_EQ(result.status, ProductVersionStatus::invalidData);
            continue;
        }
        ASSERT_EQ(result.status, ProductVersionStatus::ok);
        EXPECT_EQ(result.version.major, c.expected.major);
        EXPECT_EQ(result.version.minor, c.expected.minor);
        EXPECT_EQ(result.version.patch, c.expected.patch);
        EXPECT_EQ(result.version.build, c.expected.build);
    }
}

// The file is read in chunks of 1 MiB: the header, the signature and the
// block may each be cut by a chunk's end.
TEST_F(InstallerOsTest, BlockCutByTheReadChunksIsStillFound) {
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    // The resource header starts at `header` ("MZ" and the filler before it);
    // the signature follows 40 bytes later.
    for (std::size_t header = kChunk - 100; header <= kChunk + 8; header += 4) {
        FakeInstaller installer;
        installer.leadingBytes = header - 2 - 66;  // the decoy's 66 bytes come first
        installer.decoyBefore = true;
        const auto result = readOf(installer);
        ASSERT_EQ(result.status, ProductVersionStatus::ok) << "header at " << header;
        EXPECT_EQ(result.version.major, 16);
        EXPECT_EQ(result.version.build, 7);
    }
}

TEST_F(InstallerOsTest, SizeQueryAndReadFailuresCarryTheSystemError) {
    auto missing = gf_osReadProductVersion("absent.exe");
    EXPECT_EQ(missing.status, ProductVersionStatus::sizeQueryFailed);
    EXPECT_EQ(missing.systemError, ENOENT);
    fs::create_directory("folder.exe");
    EXPECT_EQ(gf_osReadProductVersion("folder.exe").status, ProductVersionStatus::sizeQueryFailed);

    writeFile("setup.exe", FakeInstaller{}.bytes());
    for (const auto op : {OsOperation::productVersionSize, OsOperation::productVersionRead}) {
        gf_osSetFaultHook([op](OsOperation asked, const fs::path& from, const fs::path&) {
            return asked == op && from == "setup.exe" ? std::make_error_code(std::errc::io_error) : std::error_code{};
        });
        const auto result = gf_osReadProductVersion("setup.exe");
        EXPECT_EQ(result.status, op == OsOperation::productVersionSize ? ProductVersionStatus::sizeQueryFailed
                                                                       : ProductVersionStatus::readFailed);
        EXPECT_EQ(result.systemError, EIO);
    }
}

TEST_F(InstallerOsTest, ProgramFilesFoldersAreSettable) {
    EXPECT_EQ(gf_osProgramFilesFolders().programFiles, fs::path("/usr"));
    EXPECT_EQ(gf_osProgramFilesFolders().programFilesX86, fs::path("/opt"));
    gf_osSetProgramFilesFolders(ProgramFilesFolders{"/a", "/b"});
    EXPECT_EQ(gf_osProgramFilesFolders().programFiles, fs::path("/a"));
    EXPECT_EQ(gf_osProgramFilesFolders().programFilesX86, fs::path("/b"));
}

TEST_F(InstallerOsTest, ElevationFollowsTheEffectiveUserUnlessFixedOrFailing) {
    EXPECT_EQ(gf_osIsElevated(), ::geteuid() == 0);
    gf_osSetElevated(true);
    EXPECT_TRUE(gf_osIsElevated());
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::elevationQuery ? std::make_error_code(std::errc::permission_denied)
                                                 : std::error_code{};
    });
    EXPECT_FALSE(gf_osIsElevated()) << "a question that cannot be asked counts as not elevated";
    gf_osSetFaultHook({});
    gf_osSetElevated(false);
    EXPECT_FALSE(gf_osIsElevated());
}

TEST_F(InstallerOsTest, WriteProbeLeavesNothingBehind) {
    EXPECT_TRUE(gf_osProbeWritable(dir()).succeeded());
    EXPECT_FALSE(fs::exists(dir() / ".write_test.tmp"));
    writeFile(".write_test.tmp", "left over");
    EXPECT_TRUE(gf_osProbeWritable(dir()).succeeded()) << "a stale probe file is replaced";
    EXPECT_FALSE(fs::exists(dir() / ".write_test.tmp"));
    // A link under the probe's name: the probe writes its own file, never
    // through the link, and the file the link named keeps its content.
    writeFile("elsewhere.txt", "twenty-four bytes of it.");
    fs::create_symlink(dir() / "elsewhere.txt", dir() / ".write_test.tmp");
    EXPECT_TRUE(gf_osProbeWritable(dir()).succeeded());
    EXPECT_EQ(readFile("elsewhere.txt"), "twenty-four bytes of it.");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir() / ".write_test.tmp")));
    EXPECT_EQ(gf_osProbeWritable(dir() / "missing").error(), std::errc::no_such_file_or_directory);
    gf_osSetFaultHook([](OsOperation op, const fs::path&, const fs::path&) {
        return op == OsOperation::writeProbe ? std::make_error_code(std::errc::read_only_file_system)
                                             : std::error_code{};
    });
    EXPECT_EQ(gf_osProbeWritable(dir()).error(), std::errc::read_only_file_system);
}

}  // namespace
