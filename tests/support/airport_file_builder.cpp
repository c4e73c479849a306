#include "support/airport_file_builder.h"


#include <fmt/format.h>

#include "support/scoped_temp_dir.h"
#include "support/xml_text.h"

namespace tavo::test {

namespace {

void appendAttributes(std::string& out, const XmlAttributes& attributes) {
    for (const auto& [name, value] : attributes) {
        appendXmlAttribute(out, name, value);
    }
}

}  // namespace

std::string ApfFile::defaultMeta(std::uint32_t simulator) {
    return fmt::format(
        "<meta><info name=\"author\" value=\"TAVO\"/><info name=\"version\" value=\"16.8.0\"/>"
        "<info name=\"date\" value=\"2026-01-01\"/><info name=\"copyright\" value=\"Copyright test\"/>"
        "<info name=\"sim\" value=\"{}\"/></meta>\n",
        simulator);
}

std::string ApfFile::text() const {
    std::string out = "<?xml version=\"1.0\"?>\n";
    if (withRoot) out += "<root>\n";
    if (metaXml) out += *metaXml;
    out += "<parameters>\n";
    for (const auto& [name, value] : parameters) {
        out += "<parameter";
        appendXmlAttribute(out, "name", name);
        appendXmlAttribute(out, "value", value);
        out += "/>\n";
    }
    out += "</parameters>\n";
    if (withParkpositions) {
        out += "<parkpositions>\n";
        for (const ApfStand& stand : stands) {
            out += "<parkpos";
            appendAttributes(out, stand.attributes);
            out += ">\n";
            for (const XmlAttributes& option : stand.options) {
                out += "<opt";
                appendAttributes(out, option);
                out += "/>\n";
            }
            out += "</parkpos>\n";
        }
        out += "</parkpositions>\n";
    }
    if (withRoot) out += "</root>\n";
    return out;
}

void ApfFile::write(const std::filesystem::path& path) const {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeFile(path, text());
}

ApfStand apfStand(const std::string& id, const std::string& typestr, double latitude, double longitude,
                  double headingDegrees, double radiusMetres) {
    ApfStand stand;
    stand.attributes = {{"id", id},
                        {"typestr", typestr},
                        {"latitude", fmt::format("{:.6f}", latitude)},
                        {"longitude", fmt::format("{:.6f}", longitude)},
                        {"heading", fmt::format("{:.1f}", headingDegrees)},
                        {"radius", fmt::format("{:.1f}", radiusMetres)}};
    return stand;
}

XmlAttributes apfOption(const std::string& reg, const std::string& day, const std::string& hh,
                        const std::optional<std::string>& cs) {
    XmlAttributes option{{"reg", reg}, {"day", day}, {"hh", hh}};
    if (cs) option.emplace_back("cs", *cs);
    return option;
}

}  // namespace tavo::test
