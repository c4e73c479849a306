#include "platform/os/sorted_walk.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Folds to upper case, as the platform's case-insensitive order does: the
// six characters between 'Z' and 'a' ("[", "\", "]", "^", "_", "`") then
// sort after every letter, so "FSLTLB738" comes before "FSLTL_A320".
unsigned char lf_foldAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// -1, 0 or 1: the names with ASCII letters folded to upper case, bytes
// unsigned.
int lf_compareFolded(std::string_view left, std::string_view right) {
    const std::size_t n = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char a = lf_foldAscii(left[i]), b = lf_foldAscii(right[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

void lf_tell(const OsWalkErrorSink& onError, const fs::path& path, const std::error_code& error) {
    if (onError) onError(path, error);
}

// Fills the entry from the listing's own record; false when it is passed over.
bool lf_readEntry(const fs::directory_entry& listed, OsDirEntry& entry, const OsWalkErrorSink& onError) {
    entry.path = listed.path();
    entry.name = entry.path.filename().string();
    if (const std::error_code fault = gf_osInjectedFault(OsOperation::readEntry, entry.path)) {
        lf_tell(onError, entry.path, fault);
        return false;
    }
    std::error_code ec;
    const fs::file_status own = listed.symlink_status(ec);  // mostly from the listing, no system call
    if (ec) {
        lf_tell(onError, entry.path, ec);
        return false;
    }
    if (own.type() != fs::file_type::symlink) {
        entry.type = own.type();
        return true;
    }
    entry.isLink = true;
    const fs::file_status target = fs::status(entry.path, ec);
    if (ec) {
        // A link to nothing is nothing to read; a loop of links or a target
        // that may not be looked at is worth telling.
        if (ec != std::errc::no_such_file_or_directory) lf_tell(onError, entry.path, ec);
        return false;
    }
    entry.type = target.type();
    return true;
}

}  // namespace

bool gf_osNameBefore(std::string_view left, std::string_view right) {
    const int folded = lf_compareFolded(left, right);
    if (folded != 0) return folded < 0;
    return left < right;  // std::string_view compares bytes unsigned
}

OsResult gf_osListFolder(const fs::path& folder, std::vector<OsDirEntry>& entries, const OsWalkErrorSink& onError) {
    entries.clear();
    if (std::error_code fault = gf_osInjectedFault(OsOperation::listFolder, folder)) return fault;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return ec;
    const fs::directory_iterator end;
    while (it != end) {
        OsDirEntry entry;
        if (lf_readEntry(*it, entry, onError)) entries.push_back(std::move(entry));
        it.increment(ec);
        if (ec) {
            // The folder's remaining entries cannot be reached; what was
            // listed so far is kept.
            lf_tell(onError, folder, ec);
            break;
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const OsDirEntry& a, const OsDirEntry& b) { return gf_osNameBefore(a.name, b.name); });
    return {};
}

OsResult gf_osWalkSorted(const fs::path& root, const OsWalkVisitor& visitor, const OsWalkErrorSink& onError) {
    // An explicit stack: a deep tree costs heap, never the thread's stack.
    struct Frame {
        std::vector<OsDirEntry> entries;
        std::size_t next = 0;
    };
    std::vector<Frame> stack(1);
    if (const OsResult listed = gf_osListFolder(root, stack.back().entries, onError); listed.failed()) return listed;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.entries.size()) {
            stack.pop_back();
            continue;
        }
        const OsDirEntry& entry = frame.entries[frame.next++];
        if (!visitor(entry) || !entry.isFolder() || entry.isLink) continue;
        Frame child;
        if (const OsResult listed = gf_osListFolder(entry.path, child.entries, onError); listed.failed()) {
            lf_tell(onError, entry.path, listed.error());
            continue;
        }
        stack.push_back(std::move(child));
    }
    return {};
}
