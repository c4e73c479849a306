#pragma once
// Folder listings in one order on every machine. Windows file systems list a
// folder's entries sorted by name, Linux ones in whatever order the disk
// keeps; the scans take "the first folder listed" and "the first title
// found", so they list here sorted by name as the platform's case-insensitive
// order does: ASCII letters folded to upper case (so "_" and the other
// characters between "Z" and "a" sort after the letters), the other bytes
// compared as they are (UTF-8 names sort by code point), names equal but for
// letter case in byte order.
//
// Both the listing and the walk pass over an entry whose type cannot be read
// and tell the caller through the error sink, then go on. A symbolic link that
// leads nowhere is passed over without a word: it names nothing to read.
// Listing (OsOperation::listFolder) and reading an entry's type
// (OsOperation::readEntry) pass through the fault hook of os.h.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/os/os.h"

struct OsDirEntry {
    std::filesystem::path path;  // the folder's path joined with the name
    std::string name;            // the last component, as its bytes
    // What the entry is with links followed: a link to a folder is a
    // directory here, with isLink set.
    std::filesystem::file_type type = std::filesystem::file_type::none;
    bool isLink = false;

    bool isFolder() const { return type == std::filesystem::file_type::directory; }
    bool isRegularFile() const { return type == std::filesystem::file_type::regular; }
};

// Told each error met while listing or walking: the path it concerns (the
// folder that could not be listed, or the entry that could not be read) and
// the system's error.
using OsWalkErrorSink = std::function<void(const std::filesystem::path& path, const std::error_code& error)>;

// True when `left` comes before `right` in the listing order.
bool gf_osNameBefore(std::string_view left, std::string_view right);

// The entries directly in the folder, sorted by name. When the folder itself
// cannot be listed that is the result and the list is empty (the sink is
// not told: the caller has the error). A link given as the folder is followed.
OsResult gf_osListFolder(const std::filesystem::path& folder, std::vector<OsDirEntry>& entries,
                         const OsWalkErrorSink& onError = {});

// Decides, for each entry of a walk, whether the walk goes into it. Only a
// folder that is no link can be entered; for every other entry the answer is
// ignored.
using OsWalkVisitor = std::function<bool(const OsDirEntry& entry)>;

// Walks the tree under `root` depth first: each folder's entries in listing
// order, a folder's content right after the folder itself when the visitor
// asks to enter it. A link to a folder inside the tree is shown to the visitor
// but never entered, so no tree is walked twice and no loop is followed; the
// root itself may be a link. A subfolder that cannot be listed is told to the
// sink and passed over. Fails when the root cannot be listed (the visitor saw
// nothing). An exception of the visitor ends the walk and leaves
// to the caller.
OsResult gf_osWalkSorted(const std::filesystem::path& root, const OsWalkVisitor& visitor,
                         const OsWalkErrorSink& onError = {});
