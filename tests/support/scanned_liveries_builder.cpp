#include "support/scanned_liveries_builder.h"

#include <utility>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/xml.h"
#include "liveries/scanned_liveries.h"
#include "support/scoped_temp_dir.h"

void PrintTo(const ScannedLivery& l, std::ostream* os) {
    *os << "{" << l.title << ", " << l.registration << ", " << gf_acKeyText(l.key) << ", " << l.priority << "}";
}

namespace tavo::test {

namespace {

// Attribute values escaped as the program's XML writer escapes them: '&', '<',
// '"' and control characters ('>' stays as it is).
void lf_appendAttribute(std::string& out, std::string_view name, const std::optional<std::string>& value) {
    if (!value) return;
    out += fmt::format(" {}=\"", name);
    for (const char c : *value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) < 32) {
                    out += fmt::format("&#{};", static_cast<int>(c));
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

ScannedLiveriesBuilder& ScannedLiveriesBuilder::livery(std::string a, std::string m, std::string t, std::string r,
                                                       std::string o, bool cargo) {
    Record record;
    record.a = std::move(a);
    if (!o.empty()) record.o = std::move(o);
    record.m = std::move(m);
    if (cargo) record.c = "true";
    record.t = std::move(t);
    if (!r.empty()) record.r = std::move(r);
    return add(std::move(record));
}

ScannedLiveriesBuilder& ScannedLiveriesBuilder::add(Record record) {
    records.push_back(std::move(record));
    return *this;
}

std::string ScannedLiveriesBuilder::xml() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName + ">\n";
    if (withMeta) {
        out += "  <meta>\n";
        const std::pair<const char*, std::string> infos[] = {{"author", "TAVO"},
                                                             {"version", version},
                                                             {"date", date},
                                                             {"copyright", std::string(kDataFileCopyright)},
                                                             {"sim", sim}};
        for (const auto& [name, value] : infos) {
            out += "    <info";
            lf_appendAttribute(out, "name", name);
            lf_appendAttribute(out, "value", value);
            out += " />\n";
        }
        out += "  </meta>\n";
    }
    if (liveriesName) {
        if (records.empty()) {
            out += fmt::format("  <{} />\n", *liveriesName);
        } else {
            out += fmt::format("  <{}>\n", *liveriesName);
            for (const Record& record : records) {
                out += "    <" + record.element;
                for (const auto& [name, value] : {std::pair{"a", &record.a}, std::pair{"o", &record.o},
                                                  std::pair{"m", &record.m}, std::pair{"c", &record.c},
                                                  std::pair{"t", &record.t}, std::pair{"r", &record.r}})
                    lf_appendAttribute(out, name, *value);
                out += " />\n";
            }
            out += fmt::format("  </{}>\n", *liveriesName);
        }
    }
    out += "</" + rootName + ">\n";
    return out;
}

void ScannedLiveriesBuilder::write(const std::filesystem::path& path) const {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeFile(path, xml());
}

std::filesystem::path ScannedLiveriesBuilder::writeToOutput() const {
    const std::filesystem::path path = sim == "1" ? liveriesScanned2020File : liveriesScanned2024File;
    write(path);
    return path;
}

ScannedLiveriesBuilder ScannedLiveriesBuilder::generated(std::size_t count) {
    static const char* const airlines[] = {"DLH", "KLM", "BAW", "AFR", "UAL", "DAL", "AAL", "RYR", "EZY", "SWR"};
    static const char* const models[] = {"A319", "A320", "A321", "A20N", "B737", "B738", "B739", "B38M",
                                         "B77W", "B788", "E190", "CRJ9", "DH8D", "AT76", "A388"};
    ScannedLiveriesBuilder b;
    b.records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string airline = airlines[i % std::size(airlines)];
        const std::string model = models[(i / std::size(airlines)) % std::size(models)];
        b.livery(airline, model, fmt::format("AI {} {} livery {:05}", airline, model, i),
                 i % 7 == 0 ? std::string() : fmt::format("R-{:05}", i), i % 4 == 0 ? "KLC" : "", i % 5 == 0);
    }
    return b;
}

}  // namespace tavo::test
