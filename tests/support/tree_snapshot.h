#pragma once
// A folder tree as data (relative paths with the files' contents) so that two
// trees, or one tree before and after, compare with ==.

#include <filesystem>
#include <map>
#include <string>

namespace tavo::test {

struct TreeSnapshot {
    bool exists = false;
    // Relative path (generic form) -> file content; folders map to "<dir>".
    std::map<std::string, std::string> entries;

    friend bool operator==(const TreeSnapshot&, const TreeSnapshot&) = default;
};

TreeSnapshot snapshotTree(const std::filesystem::path& root);
// A readable listing for failure messages.
std::string describe(const TreeSnapshot& snapshot);

}  // namespace tavo::test
