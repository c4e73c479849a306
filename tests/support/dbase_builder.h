#pragma once
// Aircraft databases (dbase.enc) for tests and benchmarks: every section from
// code lists (any can be left out), wing spans, fixes and `d` records whose
// attributes may be missing or odd, encrypted with the program's key.

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tavo::test {

struct DbaseBuilder {
    // A missing optional means the attribute is not written at all.
    struct Wingspan {
        std::optional<std::string> type, meters;
    };
    struct Fix {
        std::optional<std::string> wro, cor;
    };
    struct Record {
        std::optional<std::string> r, a, o, m, c;
    };

    std::vector<std::string> aircrafts, cargoTypes, heavy, large, bizjet, twoProps, highPerf, rotorcraft;
    std::vector<std::string> icaoAirlines, cargoOperators;
    std::vector<std::vector<std::string>> similar;  // one `similar` element per group
    std::vector<Wingspan> wingspans;
    std::vector<Fix> fixes;
    std::vector<Record> records;

    // Section names ("heavy", "wingspans", ...) not written; every other
    // section is written, empty or not.
    std::set<std::string> leftOut;
    // The name of the document element ("root" for a readable file).
    std::string rootName = "root";
    // Codes per `types`/`codes` attribute; a list takes as many elements as it needs.
    std::size_t codesPerElement = 16;

    DbaseBuilder& record(std::string r, std::string a, std::string m, std::optional<std::string> o = {},
                         std::optional<std::string> c = {});
    DbaseBuilder& wingspan(std::string type, std::string meters);
    DbaseBuilder& fix(std::string wro, std::string cor);

    // The XML text.
    std::string xml() const;
    // Encrypts xml() into path (folders are created).
    void write(const std::filesystem::path& path) const;
    // Into input/dbase.enc under the working folder, where the program reads it.
    void writeToInput() const;

    // A few common models and airlines in every class, cargo types and
    // operators, wing spans, fixes (A32N -> A20N, B7M8 -> B38M, EC135 -> EC35,
    // B77X -> B77W) and some registrations (D-AIBA, EI-DCL, G-STBA, N855FD,
    // PH-BXA, PH-EXA with operator KLC, ...).
    static DbaseBuilder smallProfile();
    // The small profile and 2,000 more models (M000..M1999), 1,200 airlines,
    // wing spans for all models and 80,000 records (most with an operator,
    // all with a cargo flag): about 5 MB of XML. Fewer records on request.
    static DbaseBuilder largeProfile(std::size_t records = 80000);
};

// Empties the code tables and the database, then reads the builder's file
// from a temporary folder of its own; throws std::runtime_error when it
// cannot be read (which fails the test or the benchmark).
// No other thread may use the tables meanwhile.
void loadDbase(const DbaseBuilder& builder);
// loadDbase of the small profile: the tables most tests stand on.
void resetToSmallDbase();

}  // namespace tavo::test
