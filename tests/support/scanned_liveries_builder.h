#pragma once
// Scanned-liveries files (output/LiveriesScanned_MSFS20xx.xml) for tests and
// benchmarks: records with their codes as text, written as the program's
// writer lays the file out, or with any element, attribute or the meta block
// left out or renamed.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct ScannedLivery;
// How test failures show a record: {title, registration, key, priority}.
void PrintTo(const ScannedLivery& livery, std::ostream* os);

namespace tavo::test {

struct ScannedLiveriesBuilder {
    // A missing optional means the attribute is not written at all.
    struct Record {
        std::optional<std::string> a, o, m, c, t, r;
        std::string element = "l";  // the element's name
    };

    std::vector<Record> records;
    bool withMeta = true;
    std::string version = "16.8.0";  // the meta block's program version
    std::string sim = "2";           // the meta block's simulator value
    std::string date = "7 Dec 2026";  // the meta block's date, as the writer formats it
    std::string rootName = "root";
    std::optional<std::string> liveriesName = "liveries";  // none: no liveries element

    // A record as the writer writes it: o only when not empty, c "true" only
    // for cargo, r only when not empty.
    ScannedLiveriesBuilder& livery(std::string a, std::string m, std::string t, std::string r = {},
                                   std::string o = {}, bool cargo = false);
    ScannedLiveriesBuilder& add(Record record);

    // The XML text, two-blank indentation as the program saves it.
    std::string xml() const;
    // Writes xml() to the path (folders are created).
    void write(const std::filesystem::path& path) const;
    // Into output/LiveriesScanned_MSFS2024.xml (sim "2") or _MSFS2020.xml
    // (sim "1") under the working folder; returns the path.
    std::filesystem::path writeToOutput() const;

    // `count` records over the codes of the small database profile: every
    // fourth with an operator, every fifth cargo, most with a registration.
    static ScannedLiveriesBuilder generated(std::size_t count);
};

}  // namespace tavo::test
