#include "support/tree_snapshot.h"

#include "support/scoped_temp_dir.h"

namespace tavo::test {

TreeSnapshot snapshotTree(const std::filesystem::path& root) {
    TreeSnapshot snapshot;
    std::error_code ec;
    snapshot.exists = std::filesystem::is_directory(root, ec);
    if (!snapshot.exists) return snapshot;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string relative = entry.path().lexically_relative(root).generic_string();
        snapshot.entries[relative] = entry.is_directory() ? std::string("<dir>") : readFile(entry.path());
    }
    return snapshot;
}

std::string describe(const TreeSnapshot& snapshot) {
    if (!snapshot.exists) return "(no folder)";
    std::string out = "{";
    for (const auto& [path, content] : snapshot.entries) out += " " + path + "=" + content + ";";
    return out + " }";
}

}  // namespace tavo::test
