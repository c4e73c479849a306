// Folder listings and walks in name order, whatever order the disk keeps:
// ASCII letters folded to upper case, links to folders shown but never
// entered, unreadable entries and folders told and passed over.

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/os/os.h"
#include "platform/os/sorted_walk.h"
#include "support/scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

class SortedWalk : public ::testing::Test {
protected:
    void TearDown() override { gf_osSetFaultHook({}); }

    fs::path folder(const std::string& relative) {
        const fs::path path = dir_.path() / relative;
        fs::create_directories(path);
        return path;
    }
    fs::path file(const std::string& relative) {
        const fs::path path = dir_.path() / relative;
        fs::create_directories(path.parent_path());
        tavo::test::writeFile(path, "x");
        return path;
    }
    std::string relative(const fs::path& path) const { return path.lexically_relative(dir_.path()).generic_string(); }

    tavo::test::ScopedTempDir dir_;
};

TEST_F(SortedWalk, NamesSortWithAsciiLettersFoldedToUpperCaseAndOtherBytesAsTheyAre) {
    // Created in an order no sort would give.
    const std::vector<std::string> created = {"b", "\xC3\xA4rger", "B", "a_x", "A-x", "Zeta", "_under", "10", "9", "a"};
    for (const auto& name : created) file("list/" + name);
    std::vector<OsDirEntry> entries;
    ASSERT_TRUE(gf_osListFolder(dir_.path() / "list", entries).succeeded());
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    // Digits < letters (folded) < '_' < UTF-8 lead bytes; a name before its
    // longer names; equal folded names in byte order (upper case first).
    const std::vector<std::string> expected = {"10",   "9",      "a",           "A-x", "a_x",
                                               "B",    "b",      "Zeta",        "_under", "\xC3\xA4rger"};
    EXPECT_EQ(names, expected);

    // The six characters between 'Z' and 'a' sort after every letter, as
    // letters folded to upper case leave them; those above 'z' stay last.
    struct Row {
        std::string_view left, right;
    };
    const std::vector<Row> ascending = {
        {"FSLTLA320", "FSLTLB738"}, {"FSLTLB738", "FSLTL_A320"}, {"fsltlz", "FSLTL_a"}, {"az", "a["},
        {"aZ", "a\\"},           {"a]", "a^"},                 {"az", "a^"},        {"AZ", "a`"},
        {"a_", "a`"},               {"a`", "a{"},                 {"a@", "aa"},        {"a9", "a@"},
        {"fsltl-traffic-base", "fsltl-traffic-base-liveries"},   {"user-aitraffic_CVT_", "user-aitraffic_mine"}};
    for (const Row& row : ascending) {
        SCOPED_TRACE(std::string(row.left) + " < " + std::string(row.right));
        EXPECT_TRUE(gf_osNameBefore(row.left, row.right));
        EXPECT_FALSE(gf_osNameBefore(row.right, row.left));
    }
    EXPECT_FALSE(gf_osNameBefore("a", "a"));
}

TEST_F(SortedWalk, AWalkGoesDepthFirstInNameOrderAndEntersWhatTheVisitorAllows) {
    file("root/b.txt");
    file("root/A/z.cfg");
    file("root/A/Inner/deep.cfg");
    file("root/skip/hidden.cfg");
    file("root/c/one.cfg");
    std::vector<std::string> seen;
    const OsResult result = gf_osWalkSorted(dir_.path() / "root", [&](const OsDirEntry& e) {
        seen.push_back(relative(e.path) + (e.isFolder() ? "/" : ""));
        return e.name != "skip";
    });
    EXPECT_TRUE(result.succeeded());
    const std::vector<std::string> expected = {"root/A/",    "root/A/Inner/", "root/A/Inner/deep.cfg", "root/A/z.cfg",
                                               "root/b.txt", "root/c/",       "root/c/one.cfg",        "root/skip/"};
    EXPECT_EQ(seen, expected);
}

TEST_F(SortedWalk, LinksToFoldersAreShownButNeverEnteredWhileALinkedRootIsWalked) {
    file("outside/inside.cfg");
    file("real/own.cfg");
    fs::create_directory_symlink(dir_.path() / "outside", folder("real") / "link");
    fs::create_symlink(dir_.path() / "outside" / "inside.cfg", dir_.path() / "real" / "file-link.cfg");
    fs::create_symlink(dir_.path() / "nowhere", dir_.path() / "real" / "dangling");
    fs::create_symlink(dir_.path() / "real" / "loop", dir_.path() / "real" / "loop");  // a link to itself
    fs::create_directory_symlink(dir_.path() / "real", dir_.path() / "root-link");

    std::vector<std::string> seen;
    std::vector<std::pair<std::string, std::error_code>> errors;
    const OsResult result = gf_osWalkSorted(
        dir_.path() / "root-link",
        [&](const OsDirEntry& e) {
            seen.push_back(e.name + (e.isLink ? " link" : "") + (e.isFolder() ? " folder" : "") +
                           (e.isRegularFile() ? " file" : ""));
            return true;
        },
        [&](const fs::path& p, const std::error_code& error) { errors.emplace_back(p.filename().string(), error); });
    EXPECT_TRUE(result.succeeded());
    // The dangling link is passed over without a word; the loop is told.
    const std::vector<std::string> expected = {"file-link.cfg link file", "link link folder", "own.cfg file"};
    EXPECT_EQ(seen, expected);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, "loop");
}

TEST_F(SortedWalk, UnreadableFoldersAndEntriesAreToldAndPassedOver) {
    file("root/a/one.cfg");
    file("root/b/two.cfg");
    file("root/c/three.cfg");
    file("root/d.cfg");
    const fs::path locked = dir_.path() / "root" / "b";
    const fs::path unreadable = dir_.path() / "root" / "c" / "three.cfg";
    gf_osSetFaultHook([&](OsOperation op, const fs::path& from, const fs::path&) -> std::error_code {
        if (op == OsOperation::listFolder && from == locked) return std::make_error_code(std::errc::permission_denied);
        if (op == OsOperation::readEntry && from == unreadable) return std::make_error_code(std::errc::io_error);
        return {};
    });
    std::vector<std::string> seen;
    std::vector<std::string> errors;
    const OsResult result = gf_osWalkSorted(
        dir_.path() / "root",
        [&](const OsDirEntry& e) {
            seen.push_back(relative(e.path));
            return true;
        },
        [&](const fs::path& p, const std::error_code& error) {
            errors.push_back(relative(p) + ": " + error.message());
        });
    EXPECT_TRUE(result.succeeded());
    const std::vector<std::string> expected = {"root/a", "root/a/one.cfg", "root/b", "root/c", "root/d.cfg"};
    EXPECT_EQ(seen, expected);
    const std::vector<std::string> expectedErrors = {
        "root/b: " + std::make_error_code(std::errc::permission_denied).message(),
        "root/c/three.cfg: " + std::make_error_code(std::errc::io_error).message()};
    EXPECT_EQ(errors, expectedErrors);
}

TEST_F(SortedWalk, ARootThatCannotBeListedIsTheWalksErrorAndAVisitorsExceptionEndsIt) {
    int visits = 0;
    const auto count = [&](const OsDirEntry&) {
        ++visits;
        return true;
    };
    EXPECT_EQ(gf_osWalkSorted(dir_.path() / "missing", count).error(), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(gf_osWalkSorted(file("plain.txt"), count).failed());
    EXPECT_EQ(visits, 0);

    file("root/a.cfg");
    file("root/b.cfg");
    const auto throwing = [&](const OsDirEntry& e) -> bool {
        ++visits;
        if (e.name == "a.cfg") throw std::runtime_error("bad file");
        return true;
    };
    EXPECT_THROW(gf_osWalkSorted(dir_.path() / "root", throwing), std::runtime_error);
    EXPECT_EQ(visits, 1);

    std::vector<OsDirEntry> entries{OsDirEntry{}};
    EXPECT_EQ(gf_osListFolder(dir_.path() / "missing", entries).error(), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(entries.empty());
}

}  // namespace
