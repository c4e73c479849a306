// The program update against a loopback download server, with archives and
// installers the tests make.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/program_update.h"
#include "app/updater.h"
#include "app_test_support.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "platform/os/installer.h"
#include "support/package_files.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::FakeInstaller;
using tavo::test::HttpReply;
using tavo::test::readFile;
using tavo::test::writeFile;
using tavo::test::ZipItem;

const VersionData kWeb{16, 9, 0};
const std::string kArchivePath = "release/TAVO_latest_version.zip";
constexpr const char* kNormalAdvice =
    "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
constexpr const char* kAdminAdvice = "A new version is available. Run the installer as Administrator";

class ProgramUpdateTest : public tavo::test::UpdateServerTest {
protected:
    void TearDown() override {
        gf_osSetElevated(std::nullopt);
        gf_osSetProgramFilesFolders(std::nullopt);
        UpdateServerTest::TearDown();
    }
    std::string zipBytes(const std::vector<ZipItem>& items) {
        tavo::test::writeZip(dir() / "made.zip", items);
        std::string bytes = readFile(dir() / "made.zip");
        fs::remove(dir() / "made.zip");
        return bytes;
    }
    void publishInstaller(const FakeInstaller& installer) {
        serve(kArchivePath, zipBytes({{"install_new_version.exe", installer.bytes()}}));
    }
    fs::path placed() const { return newVersionDir / installerFile; }
    void expectNothingLeft() {
        EXPECT_FALSE(fs::exists(installerFile));
        EXPECT_FALSE(fs::exists(placed()));
        EXPECT_FALSE(fs::exists(updateArchiveFile));
    }
    static FakeInstaller installerOf(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
        FakeInstaller installer;
        installer.productVersion[0] = a;
        installer.productVersion[1] = b;
        installer.productVersion[2] = c;
        installer.productVersion[3] = d;
        return installer;
    }
};

TEST_F(ProgramUpdateTest, TheVerifiedInstallerIsLeftInTheNewVersionFolder) {
    const FakeInstaller installer = installerOf(16, 9, 0, 7);  // the fourth number is not compared
    publishInstaller(installer);
    fs::create_directories(newVersionDir / "old");
    writeFile(newVersionDir / "old/notes.txt", "from the last update");
    writeFile(installerFile, "stale installer");

    ASSERT_TRUE(lf_installNewVersion(kWeb));
    EXPECT_EQ(readFile(placed()), installer.bytes());
    EXPECT_FALSE(fs::exists(newVersionDir / "old")) << "the folder is emptied first";
    EXPECT_FALSE(fs::exists(installerFile));
    EXPECT_FALSE(fs::exists(updateArchiveFile));
    EXPECT_FALSE(fs::exists(newVersionDir / "install_new_version.exe.part"));
    EXPECT_TRUE(logHas("Downloaded " + server.url("/downloads/") + kArchivePath + " => latest_version.zip\n"));
    EXPECT_TRUE(logHas("\nlatest_version.zip unzipped to install_new_version.exe\n"));
    EXPECT_TRUE(logHas("\nDownloaded installer ProductVersion 16.9.0 verified\n"));
}

TEST_F(ProgramUpdateTest, ArchivesAndInstallersThatDoNotFitAreRejected) {
    const std::string installer = installerOf(16, 9, 0, 0).bytes();
    FakeInstaller noSignature;
    noSignature.withSignature = false;
    FakeInstaller shortBlock;
    shortBlock.valueLength = 40;
    struct Case {
        const char* name;
        std::string archive;
        bool accepted;
        std::vector<std::string> logLines;
    };
    const std::string notExists = "==> install_new_version.exe does not exists?";
    const std::string noVersion = "==> Downloaded installer has no readable ProductVersion";
    const Case cases[] = {
        {"a folder entry and a file", zipBytes({{"setup/", ""}, {"setup/install_new_version.exe", installer}}), true,
         {}},
        {"two files", zipBytes({{"a.exe", installer}, {"b.txt", "readme"}}), false,
         {"==> Update archive contains 2 files instead of exactly one", notExists}},
        {"only a folder", zipBytes({{"setup/", ""}}), false,
         {"==> Update archive contains 0 files instead of exactly one", notExists}},
        {"an empty installer", zipBytes({{"install_new_version.exe", ""}}), false,
         {"==> Invalid installer size in update archive: 0 bytes", notExists}},
        {"an installer of 1073741825 bytes", tavo::test::handMadeZip("install_new_version.exe", "MZ", 1073741825),
         false, {"==> Invalid installer size in update archive: 1073741825 bytes", notExists}},
        {"an installer that declares 10 bytes and inflates to 50,000,000",
         tavo::test::handMadeDeflatedZip("install_new_version.exe", 50000000, 10), false,
         {"==> Unzipping failed or produced an incomplete installer (result 21, expected 10, actual 10)", notExists}},
        {"no archive", "this is not a zip file", false, {"==> Could not open latest_version.zip", notExists}},
        {"another product version", zipBytes({{"i.exe", installerOf(16, 9, 1, 0).bytes()}}), false,
         {"==> Downloaded installer ProductVersion 16.9.1 does not match web version 16.9.0"}},
        {"no version block", zipBytes({{"i.exe", noSignature.bytes()}}), false,
         {"==> Invalid ProductVersion data in 'install_new_version.exe'", noVersion}},
        {"a version block under 52 bytes", zipBytes({{"i.exe", shortBlock.bytes()}}), false,
         {"==> Invalid ProductVersion data in 'install_new_version.exe'", noVersion}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gf_openLogFile();
        serve(kArchivePath, c.archive);
        EXPECT_EQ(lf_installNewVersion(kWeb), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(readFile(placed()), installer);
            continue;
        }
        expectNothingLeft();
        const std::string log = logText();
        std::size_t at = 0;
        for (const auto& line : c.logLines) {
            at = log.find(line + "\n", at);
            EXPECT_NE(at, std::string::npos) << "missing or out of order: " << line;
        }
    }
}

TEST_F(ProgramUpdateTest, AFailedArchiveDownloadNamesTheVersion) {
    writeFile(updateArchiveFile, "left from an earlier run");
    EXPECT_FALSE(lf_installNewVersion(kWeb));
    EXPECT_TRUE(logHas("\nDownloading program installer file version 16.9.0 failed\n"));
    EXPECT_TRUE(logHas("==> install_new_version.exe does not exists?\n"));
    expectNothingLeft();
}

TEST_F(ProgramUpdateTest, AFailingMoveLeavesNoInstallerInTheNewVersionFolder) {
    for (const bool first : {true, false}) {
        SCOPED_TRACE(first ? "into the temporary name" : "to the final name");
        gf_openLogFile();
        publishInstaller(installerOf(16, 9, 0, 0));
        const fs::path failing = first ? installerFile : fs::path(placed().string() + ".part");
        gf_osSetFaultHook([failing](OsOperation op, const fs::path& from, const fs::path&) {
            return op == OsOperation::move && from == failing ? std::make_error_code(std::errc::io_error)
                                                              : std::error_code{};
        });
        EXPECT_FALSE(lf_installNewVersion(kWeb));
        gf_osSetFaultHook({});
        expectNothingLeft();
        EXPECT_FALSE(fs::exists(placed().string() + ".part"));
        const std::string io = std::make_error_code(std::errc::io_error).message();
        EXPECT_TRUE(logHas(first ? "\ncould not rename install_new_version.exe => new_version/"
                                   "install_new_version.exe.part: " + io + "\n"
                                 : "\ncould not finalize rename new_version/install_new_version.exe.part => "
                                   "new_version/install_new_version.exe: " + io + "\n"));
    }
}

TEST_F(ProgramUpdateTest, AdministratorRightsAreAdvisedOnlyForAnUnwritableProgramFilesFolder) {
    struct Case {
        const char* name;
        bool inProgramFiles, x86, writable, elevated;
        const char* advice;
    };
    const Case cases[] = {
        {"writable, in Program Files", true, false, true, false, kNormalAdvice},
        {"unwritable, in Program Files", true, false, false, false, kAdminAdvice},
        {"unwritable, in Program Files (x86)", true, true, false, false, kAdminAdvice},
        {"unwritable, in Program Files, elevated", true, false, false, true, kNormalAdvice},
        {"unwritable, elsewhere", false, false, false, false, kNormalAdvice},
    };
    const fs::path programFiles = dir() / "Programs";
    const fs::path elsewhere = dir() / "Elsewhere";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = (c.inProgramFiles ? programFiles : elsewhere) / "TAVO";
        fs::create_directories(folder);
        gf_osSetProgramFilesFolders(c.x86 ? ProgramFilesFolders{"/nowhere", programFiles}
                                          : ProgramFilesFolders{programFiles, "/nowhere"});
        gf_osSetElevated(c.elevated);
        const bool writable = c.writable;
        gf_osSetFaultHook([writable](OsOperation op, const fs::path&, const fs::path&) {
            return op == OsOperation::writeProbe && !writable ? std::make_error_code(std::errc::permission_denied)
                                                               : std::error_code{};
        });
        EXPECT_EQ(lf_installerAdvice(folder), c.advice);
    }
    gf_osSetFaultHook({});
    EXPECT_TRUE(lf_startsWith("/opt/TAVO", "/opt"));
    EXPECT_FALSE(lf_startsWith("/OPT/TAVO", "/opt")) << "the same case";
    EXPECT_FALSE(lf_startsWith("/op", "/opt"));
}

class HandOverTest : public ProgramUpdateTest {
protected:
    void SetUp() override {
        ProgramUpdateTest::SetUp();
        publishInstaller(installerOf(16, 9, 0, 1));
        serve("docs/ReleaseNotes.pdf", "%PDF notes");
        const nlohmann::json manifest = {{"msfs", {{"major", 16}, {"minor", 9}, {"patch", 0}}},
                                         {"maintenance", {{"major", 1}, {"minor", 0}, {"patch", 0}}},
                                         {"dbase", {{"major", 9}, {"minor", 0}, {"patch", 0}}}};
        serve("versions.json", manifest.dump());
        gf_osSetProgramFilesFolders(ProgramFilesFolders{"/nowhere", "/nowhere"});
    }
    std::pair<std::uint32_t, std::uint32_t> pendingStop() {
        const auto request = gf_pendingStopRequest();
        return request ? std::make_pair(request->reason, request->countdown) : std::make_pair(99u, 99u);
    }
};

TEST_F(HandOverTest, TheUserFindsInstallerReadmeAndNotesAndTheProgramStops) {
    ScopedOsLaunchRecorder launches;
    EXPECT_FALSE(gf_checkForUpdates(VersionData{16, 8, 0}));
    EXPECT_EQ(readFile(newVersionDir / readmeFile),
              std::string("Deze installer installeert TAVO 16.9.0.\n\n") + kNormalAdvice + "\n");
    EXPECT_EQ(readFile(newVersionDir / releaseNotesFile), "%PDF notes");
    EXPECT_TRUE(fs::exists(placed()));
    ASSERT_EQ(launches.launches().size(), 1u);
    EXPECT_EQ(launches.launches()[0], (std::vector<std::string>{"xdg-open", (dir() / newVersionDir).string()}));
    EXPECT_EQ(pendingStop(), std::make_pair(static_cast<std::uint32_t>(StopReason::NewVersion), 0u));
    EXPECT_TRUE(backend->messageBoxes().empty());
    // The run ends here: no maintenance check, no data files.
    EXPECT_FALSE(g_webServerMaintenance.load());
    EXPECT_EQ(requested("input/dbase.enc"), 0u);
}

TEST_F(HandOverTest, MissingNotesAndAFileManagerThatFailsDoNotStopTheHandOver) {
    server.setReply("GET", "/downloads/docs/ReleaseNotes.pdf", HttpReply::notFound());
    ScopedOsLaunchRecorder launches;
    launches.setResult(false);
    EXPECT_FALSE(gf_checkForUpdates(VersionData{16, 8, 0}));
    EXPECT_TRUE(logHas("==> could not download ReleaseNotes.pdf to new_version/ReleaseNotes.pdf\n"));
    EXPECT_FALSE(fs::exists(newVersionDir / releaseNotesFile));
    EXPECT_TRUE(fs::exists(newVersionDir / readmeFile));
    const auto boxes = backend->messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, WindowHandle::None);
    EXPECT_EQ(boxes[0].text, "Could not open File Explorer at new version");
    EXPECT_EQ(boxes[0].caption, "TAVO");
    EXPECT_EQ(boxes[0].icon, MessageBoxIcon::Exclamation);
    EXPECT_TRUE(logHas("\nOpening file explorer at the new version failed? Try manually via the Ombrevale website.\n"));
    EXPECT_EQ(pendingStop(), std::make_pair(static_cast<std::uint32_t>(StopReason::NewVersion), 0u));
}

TEST_F(HandOverTest, AFailedUpdateThrows112AndPostsNoStop) {
    server.setReply("GET", "/downloads/" + kArchivePath, HttpReply::notFound());
    try {
        gf_checkForUpdates(VersionData{16, 8, 0});
        FAIL() << "no exception";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 112);
        EXPECT_STREQ(e.what(),
                     "112: The downloading/unzipping of the new version failed? Try manually via the Ombrevale website");
    }
    EXPECT_FALSE(gf_pendingStopRequest());
    EXPECT_FALSE(fs::exists(newVersionDir / readmeFile));
}

}  // namespace
