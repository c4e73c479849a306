#include "support/dbase_builder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "foundation/files.h"
#include "liveries/dbase.h"
#include "support/enc_writer.h"
#include "support/scoped_temp_dir.h"
#include "support/xml_text.h"

namespace tavo::test {

DbaseBuilder& DbaseBuilder::record(std::string r, std::string a, std::string m, std::optional<std::string> o,
                                   std::optional<std::string> c) {
    records.push_back(Record{std::move(r), std::move(a), std::move(o), std::move(m), std::move(c)});
    return *this;
}

DbaseBuilder& DbaseBuilder::wingspan(std::string type, std::string meters) {
    wingspans.push_back(Wingspan{std::move(type), std::move(meters)});
    return *this;
}

DbaseBuilder& DbaseBuilder::fix(std::string wro, std::string cor) {
    fixes.push_back(Fix{std::move(wro), std::move(cor)});
    return *this;
}

std::string DbaseBuilder::xml() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName + ">\n";
    // A section of `child` elements, each with the attributes `attributes`
    // gives for one item; nothing when the section is left out.
    const auto section = [&](const char* name, const char* child, const auto& items, const auto& attributes) {
        if (leftOut.contains(name)) return;
        out += fmt::format("  <{}>\n", name);
        for (const auto& item : items) {
            out += fmt::format("    <{}", child);
            for (const auto& [attribute, value] : attributes(item)) appendXmlAttribute(out, attribute, value);
            out += "/>\n";
        }
        out += fmt::format("  </{}>\n", name);
    };
    using Attributes = std::vector<std::pair<const char*, std::optional<std::string>>>;
    const auto joined = [](auto first, auto last) {
        std::string text;
        for (auto it = first; it != last; ++it) text += (it == first ? "" : ",") + *it;
        return text;
    };
    // A code list in elements of codesPerElement codes.
    const auto list = [&](const char* name, const char* child, const char* attribute,
                          const std::vector<std::string>& codes) {
        const std::size_t step = codesPerElement == 0 ? 1 : codesPerElement;
        std::vector<std::string> pieces;
        for (std::size_t i = 0; i < codes.size(); i += step)
            pieces.push_back(joined(codes.begin() + static_cast<std::ptrdiff_t>(i),
                                    codes.begin() + static_cast<std::ptrdiff_t>(std::min(codes.size(), i + step))));
        section(name, child, pieces, [&](const std::string& piece) { return Attributes{{attribute, piece}}; });
    };
    list("aircrafts", "aircraft", "types", aircrafts);
    list("cargo_types", "cargo_type", "types", cargoTypes);
    list("heavy", "hvy", "types", heavy);
    list("large", "lar", "types", large);
    list("buzjet", "bzj", "types", bizjet);
    list("twoprops", "tpr", "types", twoProps);
    list("high_performance", "hpf", "types", highPerf);
    list("rotorcraft", "rot", "types", rotorcraft);
    section("similar_types", "similar", similar, [&](const std::vector<std::string>& group) {
        return Attributes{{"types", joined(group.begin(), group.end())}};
    });
    list("ICAO_airlines", "ICAO", "codes", icaoAirlines);
    list("cargo_operators", "ICAO", "codes", cargoOperators);
    section("wingspans", "wingspan", wingspans,
            [](const Wingspan& w) { return Attributes{{"type", w.type}, {"meters", w.meters}}; });
    section("fixes", "fx", fixes, [](const Fix& f) { return Attributes{{"wro", f.wro}, {"cor", f.cor}}; });
    section("dbase", "d", records, [](const Record& r) {
        return Attributes{{"r", r.r}, {"a", r.a}, {"o", r.o}, {"m", r.m}, {"c", r.c}};
    });
    out += "</" + rootName + ">\n";
    return out;
}

void DbaseBuilder::write(const std::filesystem::path& path) const {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeEncryptedFile(path, xml());
}

void DbaseBuilder::writeToInput() const { write(dbaseEncFile); }

DbaseBuilder DbaseBuilder::smallProfile() {
    DbaseBuilder b;
    b.heavy = {"A332", "A333", "A359", "A388", "B744", "B748", "B763", "B772", "B777", "B77W", "B77L", "B77F",
               "B788", "B789", "MD11"};
    b.large = {"A319", "A320", "A321", "A20N", "A21N", "B737", "B738", "B739", "B38M", "B752", "E190", "E195", "CRJ9"};
    b.bizjet = {"C56X", "GLF5", "E55P"};
    b.twoProps = {"DH8D", "AT76"};
    b.highPerf = {"F16"};
    b.rotorcraft = {"EC35", "B06"};
    b.aircrafts = {"C172", "C208", "PC12"};
    for (const auto* list : {&b.heavy, &b.large, &b.bizjet, &b.twoProps, &b.highPerf, &b.rotorcraft})
        b.aircrafts.insert(b.aircrafts.end(), list->begin(), list->end());
    b.cargoTypes = {"B77F"};
    b.icaoAirlines = {"DLH", "KLM", "KLC", "BAW", "AFR", "UAL", "DAL", "AAL", "RYR", "EZY",
                      "SWR", "FDX", "UPS", "GTI", "CLX", "BOX"};
    b.cargoOperators = {"FDX", "UPS", "GTI", "CLX", "BOX", "ABW"};
    b.similar = {{"A320", "A319", "A321"}, {"B738", "B737", "B739"}};
    const std::pair<const char*, const char*> spans[] = {
        {"A319", "35.8"}, {"A320", "35.8"},  {"A321", "35.8"}, {"A20N", "35.8"}, {"A388", "79.75"},
        {"B738", "35.8"}, {"B77W", "64.8"},  {"B77F", "64.8"}, {"B744", "64.4"}, {"E190", "28.72"},
        {"DH8D", "28.4"}, {"C172", "11.0"},  {"EC35", "10.2"}, {"C56X", "16.98"}};
    for (const auto& [type, meters] : spans) b.wingspan(type, meters);
    b.fix("A32N", "A20N").fix("B7M8", "B38M").fix("EC135", "EC35").fix("B77X", "B77W");
    b.record("D-AIBA", "DLH", "A319")
        .record("D-AIMA", "DLH", "A388")
        .record("EI-DCL", "RYR", "B738")
        .record("G-EUPA", "BAW", "A319")
        .record("G-STBA", "BAW", "B77W")
        .record("HB-JNA", "SWR", "B77W")
        .record("N855FD", "FDX", "B77F", std::nullopt, "yes")
        .record("PH-BXA", "KLM", "B738")
        .record("PH-EXA", "KLM", "E190", "KLC");
    return b;
}

DbaseBuilder DbaseBuilder::largeProfile(std::size_t records) {
    DbaseBuilder b = smallProfile();
    b.codesPerElement = 40;
    for (int i = 0; i < 2000; ++i) {
        std::string model = fmt::format("M{:03}", i);
        (i % 3 == 0 ? b.large : i % 3 == 1 ? b.heavy : b.twoProps).push_back(model);
        if (i % 50 == 0) b.cargoTypes.push_back(model);
        b.wingspan(model, fmt::format("{:.2f}", 10.0 + i % 70));
        b.aircrafts.push_back(std::move(model));
    }
    for (int i = 0; i < 1200; ++i) {
        std::string airline = fmt::format("{}{}{}", static_cast<char>('A' + i / 676 % 26),
                                          static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26));
        if (i % 40 == 0) b.cargoOperators.push_back(airline);
        b.icaoAirlines.push_back(std::move(airline));
    }
    static const char* prefixes[] = {"D-A", "G-", "F-G", "HB-", "PH-", "EI-", "OE-", "SE-", "N"};
    b.records.reserve(b.records.size() + records);
    for (int i = 0; i < static_cast<int>(records); ++i) {
        const char* prefix = prefixes[i % 9];
        std::string suffix;
        int n = i / 9;
        for (int k = 0; k < 4; ++k, n /= 26) suffix.insert(suffix.begin(), static_cast<char>('A' + n % 26));
        std::string registration = prefix[0] == 'N' ? fmt::format("N{}", 10000 + i / 9) : prefix + suffix;
        b.record(std::move(registration), b.icaoAirlines[static_cast<std::size_t>(i) % b.icaoAirlines.size()],
                 b.aircrafts[static_cast<std::size_t>(i * 7) % b.aircrafts.size()],
                 i % 4 != 0 ? std::optional<std::string>(b.icaoAirlines[static_cast<std::size_t>(i / 4) % 1200])
                            : std::nullopt,
                 std::optional<std::string>(i % 11 == 0 ? "true" : "false"));
    }
    return b;
}

void loadDbase(const DbaseBuilder& builder) {
    gf_resetAircraftDatabaseForTest();
    ScopedTempDir dir;
    const auto file = dir.path() / "dbase.enc";
    builder.write(file);
    // Thrown, not asserted: benchmarks load databases too, and a test fails
    // on the exception all the same.
    if (!gf_readDbase(file)) throw std::runtime_error("loadDbase: the aircraft database could not be read");
}

void resetToSmallDbase() {
    static const DbaseBuilder small = DbaseBuilder::smallProfile();
    loadDbase(small);
}

}  // namespace tavo::test
