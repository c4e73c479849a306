#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/install_path_check.h"
#include "app/main_thread.h"
#include "app/window_controls.h"
#include "app_test_support.h"
#include "foundation/text.h"
#include "services/install_path.h"
#include "services/shell.h"

namespace {

namespace fs = std::filesystem;

struct Box {
    std::string text;
    MessageBoxIcon icon;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "{" << box.text << ", icon " << static_cast<int>(box.icon) << "}";
}

class InstallPathCheckTest : public tavo::test::ShellStartTest {
protected:
    void SetUp() override {
        ShellStartTest::SetUp();
        MainWindowSpec setup;
        setup.title = "TAVO";
        setup.width = 900;
        setup.height = 700;
        setup.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
        window = gf_createMainWindow(setup);
        g_mainWindow.store(window);
    }
    void TearDown() override {
        g_mainWindow.store(WindowHandle::None);
        ShellStartTest::TearDown();
    }

    std::vector<Box> boxes() {
        std::vector<Box> result;
        for (const auto& record : backend->messageBoxes()) {
            EXPECT_EQ(record.caption, "TAVO");
            EXPECT_EQ(record.owner, window);
            result.push_back({record.text, record.icon});
        }
        return result;
    }
    bool check(bool msfs2020, const fs::path& picked) {
        chooseSimulator(msfs2020);
        return lf_checkInstallPathDialog(msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH, picked);
    }

    WindowHandle window = WindowHandle::None;
};

const Box kOkay{"Okay!", MessageBoxIcon::None};

TEST_F(InstallPathCheckTest, CommunityInAnyLetterCaseIsAcceptedAndItsParentSaved) {
    makeFolders(dir(), {"sim/community", "sim/Official"});
    EXPECT_TRUE(check(true, dir() / "sim/community"));
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), dir() / "sim");
    EXPECT_EQ(boxes(), std::vector<Box>{kOkay});
    EXPECT_EQ(gf_gui().statusLine, "Okay: " + gf_pathToUtf8(dir() / "sim/community"));
    EXPECT_TRUE(logHas("MSFS_INSTALL_PATH=\"" + gf_pathToUtf8(dir() / "sim") + "\"")) << "saved";
    EXPECT_TRUE(MSFS_2024_INSTALL_PATH.value().empty());
}

TEST_F(InstallPathCheckTest, FoldersPickedInAnotherCaseAreFoundByTheLaterLookUps) {
    struct Case {
        bool msfs2020;
        std::vector<const char*> folders;  // below the root; the first is the one picked
        std::vector<const char*> lookUps;  // as the scans name them
    };
    const Case cases[] = {
        {true, {"community", "official"}, {"Community", "Official"}},
        {false, {"COMMUNITY", "streamedpackages", "community2024"}, {"Community", "StreamedPackages", "Community2024"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folders.front());
        const fs::path root = dir() / (c.msfs2020 ? "sim2020" : "sim2024");
        for (const char* folder : c.folders) fs::create_directories(root / folder);
        backend = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend);
        window = WindowHandle::None;
        g_mainWindow.store(window);
        backend->scriptFolderAnswer(root / c.folders.front());
        chooseSimulator(c.msfs2020);
        const auto picked = gf_pickFolder(window, {});
        ASSERT_TRUE(picked);
        ASSERT_TRUE(check(c.msfs2020, *picked));
        EXPECT_EQ(boxes(), std::vector<Box>{kOkay}) << "the siblings are found in their case";
        for (std::size_t i = 0; i < c.lookUps.size(); ++i) {
            EXPECT_EQ(gf_checkInstallPath(c.lookUps[i]), root / c.folders[i]) << c.lookUps[i];
        }
    }
    EXPECT_FALSE(logHas("does not exist or is not a directory"));
}

// A picker gives a folder the user went into with a trailing separator; the
// folder picked is the folder all the same, and a root stays a root.
TEST_F(InstallPathCheckTest, APickedFolderCountsWithoutItsTrailingSeparators) {
    makeFolders(dir(), {"sim/Community", "sim/Official"});
    const std::string community = gf_pathToUtf8(dir() / "sim/Community");
    for (const std::string& answer : {community + "/", community + "//"}) {
        SCOPED_TRACE(answer);
        MSFS_INSTALL_PATH.setValue("");
        chooseSimulator(true);
        backend->scriptFolderAnswer(fs::path(answer));
        EXPECT_TRUE(lf_checkInstallPaths());
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), dir() / "sim");
        EXPECT_EQ(gf_gui().statusLine, "Okay: " + community);
    }
    backend->scriptFolderAnswer(fs::path("/"));
    EXPECT_EQ(gf_pickFolder(window, {}), fs::path("/"));
}

TEST_F(InstallPathCheckTest, RejectedFoldersLeaveTheParameterAlone) {
    makeFolders(dir(), {"sim/Community", "sim/Official", "sim/Communities", "Community"});
    MSFS_INSTALL_PATH.setValue("/before");
    struct Case {
        const char* name;
        fs::path picked;
        Box box;
        std::string statusLine;
    };
    const Case cases[] = {
        {"trailing separator", fs::path(gf_pathToUtf8(dir() / "sim/Community") + "/"),
         {"This path is not a valid Community folder.", MessageBoxIcon::Error}, ""},
        {"another name", dir() / "sim/Communities",
         {"This path is not a valid Community folder.", MessageBoxIcon::Error}, ""},
        {"missing folder", dir() / "gone/Community", {"This install path does not exist.", MessageBoxIcon::Error},
         "This install path does not exist: '" + gf_pathToUtf8(dir() / "gone/Community") + "'"},
        {"no parent", fs::path("Community"), {"There is no root for the Community folder.", MessageBoxIcon::Error},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend);
        window = WindowHandle::None;  // the fresh backend's boxes have no window to own them
        g_mainWindow.store(window);
        gf_gui().reset();
        EXPECT_FALSE(check(true, c.picked));
        EXPECT_EQ(boxes(), std::vector<Box>{c.box});
        EXPECT_EQ(gf_gui().statusLine, c.statusLine);
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), fs::path("/before"));
    }
}

TEST_F(InstallPathCheckTest, AFolderThatCannotBeQueriedIsAnError) {
    fs::create_directory_symlink("loop", dir() / "loop");  // resolving it never ends
    const fs::path picked = dir() / "loop/Community";
    EXPECT_FALSE(check(false, picked));
    EXPECT_EQ(boxes(), (std::vector<Box>{{"Error in accessing install path.", MessageBoxIcon::Error}}));
    EXPECT_EQ(gf_gui().statusLine, "Error " + std::to_string(ELOOP) + " accessing install path '" +
                                       gf_pathToUtf8(picked) + "': " + std::generic_category().message(ELOOP));
}

TEST_F(InstallPathCheckTest, MissingSiblingsOfTheChosenSimulatorOnlyWarn) {
    const Box noStreamed{"Warning: There is no StreamedPackages folder parallel to the Community folder.",
                         MessageBoxIcon::Warning};
    const Box noCommunity2024{"Warning: There is no Community2024 folder parallel to the Community folder.",
                              MessageBoxIcon::Warning};
    const Box noOfficial{"Warning: There is no Official folder parallel to the Community folder.",
                         MessageBoxIcon::Warning};

    makeFolders(dir(), {"a/Community"});
    EXPECT_TRUE(check(false, dir() / "a/Community"));
    EXPECT_EQ(boxes(), (std::vector<Box>{noStreamed, noCommunity2024, kOkay}));
    EXPECT_EQ(logCount("Warning: No StreamedPackages folder?\n"), 1u);
    EXPECT_EQ(logCount("Warning: No Community2024 folder?\n"), 1u);
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value(), dir() / "a");
    EXPECT_FALSE(logHas(" accessing ")) << "a missing folder is no failed query";

    // 2024 does not look for Official, 2020 not for the 2024 folders.
    makeFolders(dir(), {"b/Community", "b/StreamedPackages", "b/Community2024", "c/Community", "c/Official"});
    backend = std::make_shared<HeadlessBackend>();
    gf_installWindowBackend(backend);
    window = WindowHandle::None;
    g_mainWindow.store(window);
    EXPECT_TRUE(check(false, dir() / "b/Community"));
    EXPECT_TRUE(check(true, dir() / "c/Community"));
    EXPECT_EQ(boxes(), (std::vector<Box>{kOkay, kOkay}));

    // 2020 without Official: the folder's path is logged before the warning.
    EXPECT_TRUE(check(true, dir() / "b/Community"));
    EXPECT_EQ(boxes().at(2), noOfficial);
    EXPECT_TRUE(logHas("\n" + gf_pathToUtf8(dir() / "b/Official") + "\nWarning: No Official folder?\n"));
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), dir() / "b");
}

TEST_F(InstallPathCheckTest, ASiblingThatCannotBeQueriedIsReportedAndWarned) {
    makeFolders(dir(), {"d/Community"});
    fs::create_directory_symlink("Official", dir() / "d/Official");  // a loop
    EXPECT_TRUE(check(true, dir() / "d/Community"));
    EXPECT_TRUE(logHas("Error " + std::to_string(ELOOP) + " accessing '" + gf_pathToUtf8(dir() / "d/Official") + "': "));
    EXPECT_EQ(boxes().size(), 2u);
    EXPECT_EQ(boxes().front().icon, MessageBoxIcon::Warning);
}

}  // namespace
