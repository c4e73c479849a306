#pragma once
// Archives data files (archives.enc) for tests and fuzzing: publishers,
// rejected publisher values, simaddon airports and thirdparty publishers of
// both simulators, any section left out, encrypted with the program's key.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tavo::test {

struct ArchivesBuilder {
    struct Thirdparty {
        std::optional<std::string> pub, aps;
        // `ap` children: (f, v); a missing optional leaves the attribute out.
        std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> versions;
    };

    // One `pub` element per value (nullopt: no `pn` attribute).
    std::vector<std::optional<std::string>> publishers;
    // One `rp` element per value.
    std::vector<std::string> rejected;
    // One `s20`/`s24` element per value.
    std::vector<std::string> simaddons20, simaddons24;
    std::vector<Thirdparty> thirdparties20, thirdparties24;

    // Section names ("publishers", "rejectedpublishers", "simaddons20", ...)
    // not written at all.
    std::set<std::string> leftOut;
    std::string rootName = "root";

    std::string xml() const;
    // Encrypts xml() into path (folders are created).
    void write(const std::filesystem::path& path) const;
    // Into input/archives.enc under the working folder.
    void writeToInput() const;
};

}  // namespace tavo::test
