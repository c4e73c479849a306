#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/install_paths.h"
#include "app_test_support.h"
#include "foundation/text.h"
#include "services/install_path.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::writeFile;

enum class Encoding { utf8, utf8Bom, utf16le, utf16be, ansi };

std::string lf_encode(const std::string& utf8, Encoding encoding) {
    switch (encoding) {
        case Encoding::utf8: return utf8;
        case Encoding::utf8Bom: return "\xEF\xBB\xBF" + utf8;
        case Encoding::ansi: {
            std::string out;  // only the few letters the tests use
            for (std::size_t i = 0; i < utf8.size(); ++i) {
                if (utf8.compare(i, 2, "\xC3\xBC") == 0) {
                    out.push_back('\xFC');
                    ++i;
                } else {
                    out.push_back(utf8[i]);
                }
            }
            return out;
        }
        case Encoding::utf16le:
        case Encoding::utf16be: {
            const bool big = encoding == Encoding::utf16be;
            std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
            for (const char16_t unit : utf8_to_wide(utf8)) {
                const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
                out.push_back(big ? hi : lo);
                out.push_back(big ? lo : hi);
            }
            return out;
        }
    }
    return utf8;
}

class InstallPathsTest : public tavo::test::ShellStartTest {
protected:
    fs::path roaming() const { return dir() / "roaming"; }
    fs::path local() const { return dir() / "local"; }
    fs::path candidate(int n) const { return lf_userCfgCandidates()[static_cast<std::size_t>(n)]; }
    static void writeCfg(const fs::path& file, const std::string& text, Encoding encoding = Encoding::utf8) {
        fs::create_directories(file.parent_path());
        writeFile(file, lf_encode(text, encoding));
    }
    static std::string line(const fs::path& folder) {
        return "InstalledPackagesPath \"" + gf_pathToUtf8(folder) + "\"";
    }
};

TEST_F(InstallPathsTest, CandidatesFollowTheChosenSimulator) {
    chooseSimulator(true);
    EXPECT_EQ(candidate(0),
              local() / "Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt");
    EXPECT_EQ(candidate(1), roaming() / "Microsoft Flight Simulator/UserCfg.opt");
    EXPECT_EQ(candidate(2), local() / "Packages/Microsoft.FlightDashboard_8wekyb3d8bbwe/LocalCache/UserCfg.opt");
    EXPECT_EQ(candidate(3), local() / "MSFSPackages/UserCfg.opt");
    chooseSimulator(false);
    EXPECT_EQ(candidate(0), local() / "Packages/Microsoft.Limitless_8wekyb3d8bbwe/LocalCache/UserCfg.opt");
    EXPECT_EQ(candidate(1), roaming() / "Microsoft Flight Simulator 2024/UserCfg.opt");
}

// The roaming Packages folder wins when it is a root of the chosen simulator;
// otherwise the folder UserCfg.opt names is taken when it is one.
TEST_F(InstallPathsTest, RoamingPackagesFolderBeforeUserCfg) {
    struct Case {
        const char* name;
        bool msfs2020;
        std::initializer_list<const char*> roamingFolders;  // inside the roaming Packages folder
        std::initializer_list<const char*> namedFolders;    // inside the folder UserCfg.opt names
        const char* expected;                               // "roaming", "named" or ""
    };
    const Case cases[] = {
        {"2020 roaming root wins", true, {"Community", "Official"}, {"Community", "Official"}, "roaming"},
        {"2020 roaming without Official", true, {"Community"}, {"Community", "Official"}, "named"},
        {"2020 roaming holds only the 2024 folder", true, {"Community", "Official2024"}, {"Community", "Official"},
         "named"},
        {"2024 roaming root wins", false, {"Community", "Official2024"}, {"Community", "Official2024"}, "roaming"},
        {"2024 roaming without Official2024", false, {"Community", "Official"}, {"Community", "Official2024"},
         "named"},
        {"2024 named folder without Community", false, {}, {"Official2024"}, ""},
        {"neither is a root", true, {"Official"}, {"Community"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(roaming());
        fs::remove_all(local());
        fs::remove_all(dir() / "named");
        chooseSimulator(c.msfs2020);
        const fs::path roamingRoot =
            roaming() / (c.msfs2020 ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024") / "Packages";
        fs::create_directories(roamingRoot);
        makeFolders(roamingRoot, c.roamingFolders);
        fs::create_directories(dir() / "named");
        makeFolders(dir() / "named", c.namedFolders);
        writeCfg(candidate(0), "Version 1\n" + line(dir() / "named") + "\n");
        const std::string expected = c.expected;
        EXPECT_EQ(gf_findSimulatorPaths(), expected == "roaming" ? roamingRoot
                                           : expected == "named" ? dir() / "named"
                                                                 : fs::path{});
    }
}

TEST_F(InstallPathsTest, FirstExistingCandidateIsTheOnlyOneRead) {
    chooseSimulator(true);
    makeFolders(dir(), {"good/Community", "good/Official", "other/Community", "other/Official"});
    EXPECT_EQ(lf_findUserCfg(), fs::path{});
    EXPECT_EQ(gf_findSimulatorPaths(), fs::path{});

    writeCfg(candidate(3), line(dir() / "other") + "\n");
    writeCfg(candidate(1), line(dir() / "good") + "\n");
    EXPECT_EQ(lf_findUserCfg(), candidate(1)) << "the first is missing, the second is read";
    EXPECT_EQ(gf_findSimulatorPaths(), dir() / "good");

    // An existing first candidate without a usable line ends the search.
    writeCfg(candidate(0), "GraphicsOptions 1\n");
    EXPECT_EQ(lf_findUserCfg(), candidate(0));
    EXPECT_EQ(lf_readInstalledPackagesPath(), fs::path{});
    EXPECT_EQ(gf_findSimulatorPaths(), fs::path{});
    // Any kind of entry counts as existing.
    fs::remove(candidate(0));
    fs::create_directory(candidate(0));
    EXPECT_EQ(lf_findUserCfg(), candidate(0));
    EXPECT_EQ(gf_findSimulatorPaths(), fs::path{});
}

TEST_F(InstallPathsTest, TheFirstLineNamingTheKeyGivesTheFolder) {
    chooseSimulator(false);
    const fs::path folder = dir() / "Pak\xC3\xBC" "ete";  // "Paküete": not ASCII
    makeFolders(folder, {"Community", "Official2024"});
    const std::string good = line(folder);
    struct Case {
        const char* name;
        std::string text;
        bool found;
    };
    const Case cases[] = {
        {"quoted value", "A 1\n" + good + "\nB 2\n", true},
        {"CRLF line ends", "A 1\r\n" + good + "\r\n", true},
        {"unquoted value: the whole line is no folder", "InstalledPackagesPath " + gf_pathToUtf8(folder) + "\n", false},
        {"only the first matching line counts", "InstalledPackagesPath \"\"\n" + good + "\n", false},
        {"a comment-like first mention counts too", "# InstalledPackagesPath moved\n" + good + "\n", false},
        {"closing quote missing", "InstalledPackagesPath \"" + gf_pathToUtf8(folder) + "\n", false},
        {"key in another case", "installedpackagespath \"" + gf_pathToUtf8(folder) + "\"\n", false},
        {"named folder does not exist", "InstalledPackagesPath \"" + gf_pathToUtf8(dir() / "gone") + "\"\n", false},
        {"empty file", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeCfg(candidate(0), c.text);
        EXPECT_EQ(lf_readInstalledPackagesPath(), c.found ? folder : fs::path{});
    }
    for (const Encoding encoding :
         {Encoding::utf8, Encoding::utf8Bom, Encoding::utf16le, Encoding::utf16be, Encoding::ansi}) {
        SCOPED_TRACE(static_cast<int>(encoding));
        writeCfg(candidate(0), "Version 2\r\n" + good + "\r\n", encoding);
        EXPECT_EQ(lf_readInstalledPackagesPath(), folder);
        EXPECT_EQ(gf_findSimulatorPaths(), folder);
    }
}

TEST_F(InstallPathsTest, PackagesRootNeedsAllThreeFolders) {
    chooseSimulator(true);
    EXPECT_FALSE(lf_isPackagesRoot(fs::path{}));
    makeFolders(dir(), {"root/Community"});
    EXPECT_FALSE(lf_isPackagesRoot(dir() / "root"));
    writeFile(dir() / "root/Official", "a file, not a folder");
    EXPECT_FALSE(lf_isPackagesRoot(dir() / "root"));
    fs::remove(dir() / "root/Official");
    makeFolders(dir(), {"root/Official"});
    EXPECT_TRUE(lf_isPackagesRoot(dir() / "root"));
    chooseSimulator(false);
    EXPECT_FALSE(lf_isPackagesRoot(dir() / "root"));
}

TEST_F(InstallPathsTest, CheckInstallPathGivesExistingSubfoldersOfTheChosenSimulatorsPath) {
    chooseSimulator(false);
    EXPECT_FALSE(gf_checkInstallPath("Community"));
    EXPECT_EQ(logCount("==> Install path is empty?\n"), 1u);

    makeFolders(dir(), {"r24/Community", "r20/Official"});
    MSFS_2024_INSTALL_PATH.setValue(dir() / "r24");
    MSFS_INSTALL_PATH.setValue(dir() / "r20");
    EXPECT_EQ(gf_checkInstallPath("Community"), dir() / "r24/Community");
    EXPECT_FALSE(gf_checkInstallPath("StreamedPackages"));
    EXPECT_TRUE(logHas("==> '" + gf_pathToUtf8(dir() / "r24/StreamedPackages") +
                       "' does not exist or is not a directory.\n"));
    chooseSimulator(true);
    EXPECT_EQ(gf_checkInstallPath("Official"), dir() / "r20/Official");
    EXPECT_FALSE(gf_checkInstallPath("Community"));
}

}  // namespace
